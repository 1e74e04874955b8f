#!/usr/bin/env bash
# The Debian package: built by tools/package, its files and fields checked, passed through
# lintian, and unpacked into a scratch root whose ulocfg runs.   package_test.sh TOP VERSION
set -euo pipefail
top=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$("$top/tools/package" "$scratch/out")
[ "$(basename "$deb")" = "ulocfg_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file $deb"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)
want=$(printf '%s\n' ./usr/bin/ulocfg ./usr/share/bash-completion/completions/ulocfg \
    ./usr/share/man/man1/ulocfg.1.gz ./usr/share/doc/ulocfg/changelog.gz \
    ./usr/share/doc/ulocfg/copyright ./usr/share/doc/ulocfg/json.md \
    ./usr/share/doc/ulocfg/examples/ulo.txt | sort)
[ "$files" = "$want" ] || fail "files: $files"

# lintian: no errors or warnings, and none of its notes on a binary built without hardening
# (they are only informational).
lint=$(lintian --allow-root --fail-on none -I "$deb" 2>&1) ||
    fail "lintian could not check the package: $lint"
bad=$(grep -E '^[EW]: |hardening-|binary-has-unneeded-section|unstripped' <<<"$lint" || true)
[ -z "$bad" ] || fail "lintian: $bad"

[ "$(dpkg-deb -f "$deb" Package)" = ulocfg ] || fail "Package"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libncursesw6 libtinfo6 libstdc++6; do
    [[ $depends == *"$lib "* || $depends == *"$lib," || $depends == *"$lib" ]] ||
        fail "Depends lacks $lib: $depends"
done
[[ $depends != *asan* && $depends != *ubsan* ]] || fail "a sanitizer in Depends: $depends"

dpkg -x "$deb" "$scratch/root"
doc=$scratch/root/usr/share/doc/ulocfg
cmp "$doc/examples/ulo.txt" "$top/examples/ulo.txt" || fail "examples/ulo.txt is not the sample"
# The documents the README links, besides the licence (the copyright file holds its text).
for link in $(grep -o '](docs/[^)#]*)' "$top/README.md" | sed 's/^](docs\///; s/)$//'); do
    cmp "$doc/$link" "$top/docs/$link" || fail "the README links docs/$link, not in the package"
done
zcat "$doc/changelog.gz" >"$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
    fail "the changelog has no entry for $version"
zcat "$scratch/root/usr/share/man/man1/ulocfg.1.gz" >"$scratch/ulocfg.1"
grep -qF /usr/share/doc/ulocfg/examples/ulo.txt "$scratch/ulocfg.1" ||
    fail "the man page does not name the example image"
[ "$("$scratch/root/usr/bin/ulocfg" --version)" = "ulocfg $version" ] || fail "--version"
"$scratch/root/usr/bin/ulocfg" show "$top/examples/ulo.txt" | grep -qx 'can_id = 18DAF110' ||
    fail "show of the sample"
echo "ok $(basename "$deb"): $(echo "$files" | wc -l) files, Depends: $depends"
