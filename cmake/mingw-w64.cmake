# Cross-builds ulocfg.exe for 64-bit Windows with Debian's mingw-w64 (the POSIX threads
# variant, which C++20's standard library needs), as one program without DLLs:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix) # GoogleTest's project asks for C too
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Libraries and headers come from mingw's own tree, never the build machine's /usr/include,
# whose C library headers are not Windows's. The one exception is the header-only JSON
# library: a folder in the build tree holds links to its headers and its CMake package alone,
# and is searched as a second root.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers/usr)
file(MAKE_DIRECTORY ${host_headers}/include ${host_headers}/share/cmake)
if(EXISTS /usr/include/nlohmann AND NOT EXISTS ${host_headers}/include/nlohmann)
  file(CREATE_LINK /usr/include/nlohmann ${host_headers}/include/nlohmann SYMBOLIC)
endif()
if(EXISTS /usr/share/cmake/nlohmann_json AND NOT EXISTS ${host_headers}/share/cmake/nlohmann_json)
  file(CREATE_LINK /usr/share/cmake/nlohmann_json ${host_headers}/share/cmake/nlohmann_json
       SYMBOLIC)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${mingw} ${CMAKE_BINARY_DIR}/host-headers)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

