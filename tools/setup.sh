# Sourced by tools/run and tools/test: makes sure Debian's packages the project needs are
# installed, installing them with apt-get when run as root.

need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing ${missing[*]} ..."
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
            { echo "apt-get could not install: ${missing[*]}" >&2; exit 1; }
    else
        echo "These packages are missing. Install them, then run this again:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}

# What building the editor needs.
build_packages=(g++ cmake ninja-build pkg-config libncurses-dev nlohmann-json3-dev)
# What the unit tests need on top (GoogleTest; CMake also finds it to set up any tests).
unit_packages=(libgtest-dev)
# What the end-to-end harness needs: the program in tmux, found there with pgrep.
harness_packages=(tmux python3 procps)
# What the end-to-end tests of the Linux program need on top: /usr/bin/time, strace, setfacl,
# and zsh for the README's examples.
e2e_packages=("${harness_packages[@]}" time strace acl zsh)
# The check that the C++ sources are formatted as .clang-format says.
format_packages=(clang-format)
# What building the Debian package needs on top (tools/package): dpkg-shlibdeps, file; and
# lintian, which its test runs on it.
package_packages=(dpkg-dev file lintian)
# What the Windows program needs on top: the mingw-w64 cross compiler (tools/package windows);
# Wine and GoogleTest's sources for its tests.
windows_packages=(g++-mingw-w64-x86-64-posix wine64 wine googletest)
