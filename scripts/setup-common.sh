# Sourced first by the scripts in this folder, which then call bimcore_start:
# it installs what the build needs on a Debian machine and, when started as
# root, hands the work to an unprivileged account (root may delete read-only
# files, which would hide real faults). Sourcing alone only sets
# BIMCORE_SOURCE (the source tree) and defines the helpers.
BIMCORE_SOURCE="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

BIMCORE_PACKAGES="build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools libsqlite3-dev libcurl4-openssl-dev sqlite3 clang libclang-rt-dev ccache curl openssl fonts-dejavu-core doxygen graphviz qttools5-dev-tools g++-mingw-w64-x86-64-posix libz-mingw-w64-dev zlib1g-dev"
BIMCORE_USER="${BIMCORE_USER:-builder}"

bimcore_install_packages() {
    [ "$(id -u)" = 0 ] || return 0
    local missing=""
    for pkg in $BIMCORE_PACKAGES; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
    done
    if [ -n "$missing" ]; then
        echo "== installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends $missing
    fi
}

# Re-runs the calling script as $BIMCORE_USER on a private copy of the source
# tree when started as root; returns when already unprivileged.
bimcore_drop_root() {
    [ "$(id -u)" = 0 ] || return 0
    id -u "$BIMCORE_USER" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$BIMCORE_USER"
    local work="${BIMCORE_WORK:-/tmp/bimcore-$BIMCORE_USER}"
    # A fresh copy each time: files left from an earlier copy would be built.
    [ "$BIMCORE_SOURCE" = "$work/src" ] || rm -rf "$work/src"
    mkdir -p "$work/src"
    # A copy the unprivileged account owns: the clone may sit below /root.
    tar -C "$BIMCORE_SOURCE" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$work/src" -xf -
    chown -R "$BIMCORE_USER:" "$work"
    local script
    script="$(basename "$0")"
    # HOME too: tools that keep a cache there (Wine, ccache) must not reach root's.
    exec runuser -u "$BIMCORE_USER" -- env BIMCORE_BUILD_ROOT="$work" \
        HOME="$(getent passwd "$BIMCORE_USER" | cut -d: -f6)" \
        ${BIMCORE_WIN64_TOOLCHAIN:+BIMCORE_WIN64_TOOLCHAIN="$BIMCORE_WIN64_TOOLCHAIN"} \
        bash "$work/src/scripts/$script" "$@"
}

# The start of every script here: installs what is missing, hands the script
# over to $BIMCORE_USER when started as root, and sets build_root, the folder
# that holds the build folders.
bimcore_start() {
    bimcore_install_packages
    bimcore_drop_root "$@"
    build_root="${BIMCORE_BUILD_ROOT:-$BIMCORE_SOURCE}"
}

# bimcore_configure_and_build BUILD_DIR [cmake options]; BIMCORE_TARGETS, when
# set, names the targets to build instead of all. The project's own builds
# treat warnings as errors; a packager's plain build does not.
bimcore_configure_and_build() {
    local build="$1"; shift
    local launcher=() targets=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    [ -n "${BIMCORE_TARGETS:-}" ] && targets=(--target $BIMCORE_TARGETS)
    cmake -S "$BIMCORE_SOURCE" -B "$build" "${launcher[@]}" -DBIMCORE_WERROR=ON "$@" >/dev/null
    cmake --build "$build" -j "$(nproc)" "${targets[@]}"
}

# Sanitizer reports end the run, leaks included.
bimcore_sanitizer_env() {
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    export LSAN_OPTIONS="suppressions=$BIMCORE_SOURCE/scripts/lsan.supp"
}
