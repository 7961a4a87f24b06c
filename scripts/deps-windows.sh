#!/usr/bin/env bash
# Builds the third-party libraries of the Windows (x86-64, mingw-w64) host as
# static libraries, from Debian's own source packages:
#
#   protobuf  libprotobuf-lite.a, libprotobuf.a, headers, CMake package config
#   opus      libopus.a, headers under include/opus/, pkg-config file
#
# Everything lands outside the work tree:
#   $ORVANE_DEPS_CACHE/mingw64   install prefix (include/, lib/)
#   $ORVANE_DEPS_CACHE/src       unpacked Debian sources
#   $ORVANE_DEPS_CACHE/build     scratch build trees
#   $ORVANE_DEPS_CACHE/logs      build logs (printed only when a step fails)
#   $ORVANE_DEPS_CACHE/apt       the private apt configuration sources come through
# with ORVANE_DEPS_CACHE defaulting to $HOME/.cache/orvane-deps.
#
# A stamp per library records the Debian source version it was built from;
# when both stamps are current the script returns at once. Remove a stamp
# (or the whole prefix) to force a rebuild. With --check it only tells, by its
# exit status, whether both are current, and changes nothing.
#
# The sources are fetched through that private apt configuration (its own
# deb-src list, package lists and cache), which mirrors the Debian entries the
# system's apt uses; the system's apt configuration and lists are only read.
#
# Code generation uses Debian's native protoc, so the protobuf runtime built
# here must be the same upstream release as that protoc.

set -euo pipefail

CACHE="${ORVANE_DEPS_CACHE:-$HOME/.cache/orvane-deps}"
PREFIX="$CACHE/mingw64"
STAMPS="$PREFIX/share/orvane-deps"
JOBS="${ORVANE_DEPS_JOBS:-2}"

# Upstream releases we build against. A different Debian revision of the same
# release (security fixes) is accepted; a different release is not.
PROTOBUF_UPSTREAM=3.21.12
OPUS_UPSTREAM=1.3.1

# Bump when the way the libraries are built changes, so that stamps written by
# an older recipe no longer count.
RECIPE=1

# Files that must exist for a library to count as installed, besides its stamp.
PROTOBUF_FILES=(lib/libprotobuf-lite.a lib/libprotobuf.a
    include/google/protobuf/message_lite.h lib/cmake/protobuf/protobuf-config.cmake)
OPUS_FILES=(lib/libopus.a include/opus/opus.h lib/pkgconfig/opus.pc)

# ---------------------------------------------------------------------------
# Fast path: only bash builtins, so a warm run costs a few milliseconds.

stamp_current() { # name upstream files...
    local name=$1 upstream=$2 line f
    shift 2
    [[ -r "$STAMPS/$name.stamp" ]] || return 1
    line=$(<"$STAMPS/$name.stamp")
    # "<debian source version> recipe <n>"; the upstream part is what precedes
    # the last '-' of the Debian version, after an optional epoch.
    local re='^([0-9]+:)?([^ ]+)-[^ -]+ recipe ([0-9]+)$'
    [[ "$line" =~ $re ]] || return 1
    [[ "${BASH_REMATCH[2]}" == "$upstream" && "${BASH_REMATCH[3]}" == "$RECIPE" ]] || return 1
    for f in "$@"; do
        [[ -e "$PREFIX/$f" ]] || return 1
    done
}

need_protobuf=1
need_opus=1
stamp_current protobuf "$PROTOBUF_UPSTREAM" "${PROTOBUF_FILES[@]}" && need_protobuf=0
stamp_current opus "$OPUS_UPSTREAM" "${OPUS_FILES[@]}" && need_opus=0
if (( !need_protobuf && !need_opus )); then
    exit 0
fi
if [[ "${1:-}" == --check ]]; then
    exit 1
fi

# ---------------------------------------------------------------------------

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TOOLCHAIN="$(cd "$HERE/.." && pwd)/cmake/mingw-w64-toolchain.cmake"
SRC="$CACHE/src"
BUILD="$CACHE/build"
LOGS="$CACHE/logs"
LOG="$LOGS/deps-windows.log"

mkdir -p "$SRC" "$BUILD" "$LOGS" "$STAMPS"

# Two builds at once (say an IDE configure and a terminal) would trample each
# other's build trees; the second one waits and then finds the work done.
exec 9>"$CACHE/.lock"
flock 9
stamp_current protobuf "$PROTOBUF_UPSTREAM" "${PROTOBUF_FILES[@]}" && need_protobuf=0
stamp_current opus "$OPUS_UPSTREAM" "${OPUS_FILES[@]}" && need_opus=0
if (( !need_protobuf && !need_opus )); then
    exit 0
fi

: >"$LOG"

say() { printf 'deps-windows: %s\n' "$*"; }

fail() {
    say "FAILED: $*"
    if [[ -s "$LOG" ]]; then
        say "last lines of $LOG:"
        tail -n 60 "$LOG" | sed 's/^/    /'
    fi
    exit 1
}

# Runs a command with its output going to the log only.
run() {
    printf '\n+ %s\n' "$*" >>"$LOG"
    "$@" >>"$LOG" 2>&1
}

SUDO=()
if (( EUID != 0 )); then
    command -v sudo >/dev/null || fail "not root and no sudo: cannot use apt-get"
    SUDO=(sudo)
fi

# --- host packages ---------------------------------------------------------

ensure_host_packages() {
    local pkgs=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
        binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
        cmake make dpkg-dev patch xz-utils)
    local missing=() p
    for p in "${pkgs[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    (( ${#missing[@]} )) || return 0
    say "apt-get update"
    run "${SUDO[@]}" apt-get update || fail "apt-get update"
    say "installing ${missing[*]}"
    run "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}" ||
        fail "apt-get install ${missing[*]}"
}

# --- Debian source lists, in a private apt configuration -------------------

# Only the source list, the package lists and apt's cache are replaced: the
# rest of the system's apt configuration (proxies, keys, dpkg status) still
# applies, read-only. apt-get update runs the system's update hooks as usual.
APT_DIR="$CACHE/apt"
PRIVATE_APT=(apt-get
    -o Dir::Etc::SourceList="$APT_DIR/sources.list"
    -o Dir::Etc::SourceParts="$APT_DIR/sources.list.d"
    -o Dir::State::Lists="$APT_DIR/lists"
    -o Dir::Cache="$APT_DIR/cache")

# Mirrors every enabled Debian "deb" entry of the system as "deb-src" in the
# private source list, so that sources come from the very mirror, suites and
# keys the binaries already come from. Entries of other vendors are left out:
# most publish no sources, and a missing Sources index would make apt-get
# update fail.
write_deb_src() {
    local deb822=() oneline=() f
    mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -r "$f" ]] && deb822+=("$f")
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -r "$f" ]] && oneline+=("$f")
    done

    : >"$APT_DIR/sources.list"
    : >"$APT_DIR/sources.list.d/debian-src.sources"
    if (( ${#deb822[@]} )); then
        awk '
            function flush(   i) {
                if (n && types ~ /(^|[[:space:]])deb([[:space:]]|$)/ && enabled != "no" &&
                    tolower(uris " " signed) ~ /debian/) {
                    print "Types: deb-src"
                    for (i = 1; i <= n; i++) print lines[i]
                    print ""
                }
                n = 0; types = ""; uris = ""; signed = ""; enabled = ""; keep = 0
            }
            FNR == 1 { flush() }
            /^[[:space:]]*#/ { next }
            /^[[:space:]]*$/ { flush(); next }
            /^[[:space:]]/ { if (keep) lines[++n] = $0; next }   # continuation (inline key)
            {
                field = tolower($0); sub(/:.*/, "", field)
                value = $0; sub(/^[^:]*:[[:space:]]*/, "", value)
                keep = 0
                if (field == "types") types = value
                else if (field == "enabled") enabled = tolower(value)
                else if (field ~ /^(uris|suites|components|signed-by|trusted|check-valid-until|check-date|allow-insecure|allow-weak|allow-downgrade-to-insecure)$/) {
                    keep = 1; lines[++n] = $0
                    if (field == "uris") uris = value
                    if (field == "signed-by") signed = value
                }
            }
            END { flush() }
        ' "${deb822[@]}" >"$APT_DIR/sources.list.d/debian-src.sources"
    fi
    if (( ${#oneline[@]} )); then
        sed -En '/^[[:space:]]*deb[[:space:]].*debian/s/^[[:space:]]*deb([[:space:]])/deb-src\1/p' \
            "${oneline[@]}" >"$APT_DIR/sources.list"
    fi
    [[ -s "$APT_DIR/sources.list" || -s "$APT_DIR/sources.list.d/debian-src.sources" ]] ||
        fail "found no Debian entry in the system's apt sources to mirror as deb-src"
}

# Runs apt-get source for PKG in the folder DIR.
apt_source() { # pkg dir
    (cd "$2" && run "${PRIVATE_APT[@]}" source --download-only "$1")
}

PRIVATE_APT_UPDATED=0
private_apt_update() {
    (( PRIVATE_APT_UPDATED )) && return 0
    say "apt-get update of the deb-src lists in $APT_DIR"
    run "${PRIVATE_APT[@]}" update || fail "apt-get update of the deb-src lists"
    PRIVATE_APT_UPDATED=1
}

# --- sources ---------------------------------------------------------------

# fetch_source PKG UPSTREAM -> sets SRCDIR and DEBVER
fetch_source() {
    local pkg=$1 upstream=$2 dl="$SRC/$1.download" dsc
    rm -rf "$dl"
    mkdir -p "$dl"
    say "fetching Debian source package $pkg"
    if ! apt_source "$pkg" "$dl"; then
        # The private lists were never fetched, or are so old that the mirror
        # dropped the version they name.
        private_apt_update
        apt_source "$pkg" "$dl" || fail "apt-get source $pkg"
    fi
    dsc=$(find "$dl" -maxdepth 1 -name "${pkg}_*.dsc" | head -n 1)
    [[ -n "$dsc" ]] || fail "apt-get source $pkg left no .dsc"
    DEBVER=$(sed -n 's/^Version:[[:space:]]*//p' "$dsc" | head -n 1)
    local up=${DEBVER#*:}
    up=${up%-*}
    [[ "$up" == "$upstream" ]] ||
        fail "Debian offers $pkg $DEBVER, but release $upstream is required"

    SRCDIR="$SRC/$pkg-${DEBVER#*:}"
    # The marker is written last, so a directory without it is a leftover of
    # an interrupted unpack.
    if [[ ! -e "$SRCDIR/.orvane-unpacked" ]]; then
        rm -rf "$SRCDIR" "$SRCDIR.tmp"
        say "unpacking $pkg $DEBVER"
        run dpkg-source --no-copy -x "$dsc" "$SRCDIR.tmp" || fail "dpkg-source -x $dsc"
        touch "$SRCDIR.tmp/.orvane-unpacked"
        mv "$SRCDIR.tmp" "$SRCDIR"
    fi
    # Sources of revisions built before are of no further use.
    find "$SRC" -mindepth 1 -maxdepth 1 \( -name "$pkg-*" -o -name "${pkg}_*" \) \
        ! -path "$SRCDIR" -exec rm -rf {} +
    rm -rf "$dl"
}

# --- install ---------------------------------------------------------------

# Moves a staged install (DESTDIR tree) into the prefix, replacing whatever an
# earlier build of the same library put there. The list of installed files is
# kept so that files dropped by a newer version do not linger.
commit_install() { # name stagedir
    local name=$1 stage=$2 manifest="$STAMPS/$1.files" f
    rm -f "$STAMPS/$name.stamp"
    if [[ -r "$manifest" ]]; then
        while IFS= read -r f; do
            rm -f "$PREFIX/$f"
        done <"$manifest"
    fi
    (cd "$stage" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$manifest.new"
    cp -a "$stage/." "$PREFIX/"
    mv "$manifest.new" "$manifest"
    printf '%s recipe %s\n' "$DEBVER" "$RECIPE" >"$STAMPS/$name.stamp"
}

cmake_build() { # name srcdir cmake-args...
    local name=$1 srcdir=$2 bdir="$BUILD/$1"
    shift 2
    rm -rf "$bdir"
    mkdir -p "$bdir"
    say "building $name $DEBVER (log: $LOG)"
    run cmake -S "$srcdir" -B "$bdir/tree" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_SHARED_LIBS=OFF \
        "$@" || fail "configuring $name"
    run cmake --build "$bdir/tree" --parallel "$JOBS" || fail "building $name"
    run env DESTDIR="$bdir/stage" cmake --install "$bdir/tree" || fail "installing $name"
    [[ -d "$bdir/stage$PREFIX" ]] || fail "$name installed nothing under $PREFIX"
    commit_install "$name" "$bdir/stage$PREFIX"
    rm -rf "$bdir"
}

build_protobuf() {
    fetch_source protobuf "$PROTOBUF_UPSTREAM"
    # Older releases keep their CMake project in cmake/ only; from 3.21 on
    # that directory is a deprecated shim around the top-level one.
    local top="$SRCDIR"
    [[ -f "$top/CMakeLists.txt" ]] || top="$SRCDIR/cmake"
    cmake_build protobuf "$top" \
        -Dprotobuf_BUILD_TESTS=OFF \
        -Dprotobuf_BUILD_CONFORMANCE=OFF \
        -Dprotobuf_BUILD_EXAMPLES=OFF \
        -Dprotobuf_BUILD_PROTOC_BINARIES=OFF \
        -Dprotobuf_BUILD_LIBPROTOC=OFF \
        -Dprotobuf_BUILD_SHARED_LIBS=OFF \
        -Dprotobuf_WITH_ZLIB=OFF
}

build_opus() {
    fetch_source opus "$OPUS_UPSTREAM"
    local bdir="$BUILD/opus"
    rm -rf "$bdir"
    mkdir -p "$bdir/tree"
    say "building opus $DEBVER (log: $LOG)"
    # Autotools rather than CMake: the CMake files shipped in this release are
    # incomplete (they include a file missing from the tarball and want git).
    # Stack protector and _FORTIFY_SOURCE off: with mingw-w64 both call into
    # libssp (__stack_chk_fail, __memcpy_chk, ...), which every program linking
    # the static library would then have to add. configure only adds its own
    # _FORTIFY_SOURCE when the macro is not defined yet, hence the =0.
    (cd "$bdir/tree" && run "$SRCDIR/configure" \
        --host=x86_64-w64-mingw32 \
        CC=x86_64-w64-mingw32-gcc-posix \
        CFLAGS="-O2 -D_FORTIFY_SOURCE=0" \
        --prefix="$PREFIX" --libdir="$PREFIX/lib" \
        --enable-static --disable-shared \
        --disable-doc --disable-extra-programs \
        --disable-stack-protector) || fail "configuring opus"
    run make -C "$bdir/tree" -j"$JOBS" || fail "building opus"
    run make -C "$bdir/tree" install DESTDIR="$bdir/stage" || fail "installing opus"
    # libtool's archive only lists dependency flags a CMake build never reads.
    rm -f "$bdir/stage$PREFIX/lib/libopus.la"
    commit_install opus "$bdir/stage$PREFIX"
    rm -rf "$bdir"
}

# ---------------------------------------------------------------------------

START=$SECONDS
[[ -r "$TOOLCHAIN" ]] || fail "missing $TOOLCHAIN"
ensure_host_packages
write_deb_src
if (( need_protobuf )); then build_protobuf; fi
if (( need_opus )); then build_opus; fi
say "done in $((SECONDS - START)) s; prefix $PREFIX"
