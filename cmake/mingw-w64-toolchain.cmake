# Cross build for 64-bit Windows with Debian's mingw-w64 compilers.
#
# The -posix flavour of the compilers is used on purpose: it provides
# std::thread / std::mutex through winpthreads, which the win32 flavour lacks.
#
# Third-party libraries for this target are not taken from the system: they
# are built by scripts/deps-windows.sh into a per-user cache, which is searched
# here before the compiler's own sysroot.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANE_MINGW_TRIPLE}-windres)

# Must agree with scripts/deps-windows.sh. try_compile() re-reads this file in
# a child project where cache variables are gone, so the environment (with the
# same default) is the single source of truth.
if(DEFINED ENV{ORVANE_DEPS_CACHE} AND NOT "$ENV{ORVANE_DEPS_CACHE}" STREQUAL "")
  set(ORVANE_DEPS_CACHE_DIR "$ENV{ORVANE_DEPS_CACHE}")
else()
  set(ORVANE_DEPS_CACHE_DIR "$ENV{HOME}/.cache/orvane-deps")
endif()
set(ORVANE_DEPS_PREFIX "${ORVANE_DEPS_CACHE_DIR}/mingw64")

set(CMAKE_FIND_ROOT_PATH
    "${ORVANE_DEPS_PREFIX}"
    /usr/${ORVANE_MINGW_TRIPLE})

# Build tools (protoc, python, ...) come from the host; headers, libraries and
# package configs only from the target roots, never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets ctest and add_custom_command run the produced .exe files on the build
# machine. Wine is looked up on the host PATH; a bare name is kept when it is
# missing so that configuring still works on machines that only compile.
find_program(ORVANE_WINE NAMES wine wine64)
if(ORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ORVANE_WINE}")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()

# The environment the tests run in under wine (a ctest ENVIRONMENT value), the same as
# scripts/test.sh sets up: a prefix of our own beside the libraries, so that a plain
# ctest neither uses nor sets up the user's ~/.wine, and no debug chatter.
set(ORVANE_WINEPREFIX "${ORVANE_DEPS_CACHE_DIR}/wineprefix" CACHE PATH
    "Wine prefix the Windows tests run in")
set(ORVANE_WINE_TEST_ENVIRONMENT "WINEPREFIX=${ORVANE_WINEPREFIX}" "WINEDEBUG=-all")
