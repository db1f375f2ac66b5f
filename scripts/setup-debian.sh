#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those that are
# missing, as root or through sudo.
#   scripts/setup-debian.sh [-n] [GROUP...]     (no GROUP: main; -n: only list what is missing)
#     main      the library and qelcfg: cmake, make, g++, CLI11
#     tests     main, GoogleTest, the de_DE.UTF-8 locale the tests read numbers in, the
#               shells that evaluate qelcfg's shell output (zsh, ksh; dash and bash are
#               Debian's own), and python3 and git, which read the edited real files
#     consumer  pkg-config, for a project that finds the installed library through it
#     arm       the 32-bit ARM cross compiler and qemu-user to run its tests
#     windows   the MinGW-w64 cross compiler for 64-bit Windows and Wine to run its tests
#     clang     clang++
#     bench     Google Benchmark (bench/run.sh installs the peer libraries itself)
#     valgrind  valgrind
#     fuzz      clang++ with the libFuzzer runtime
#     ci        every group above, as .ci/run needs them
set -euo pipefail

usage() {
    awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2
    exit 2
}

# The packages of a group, one a line.
group_packages() {
    case "$1" in
        main) printf '%s\n' cmake make g++ libcli11-dev ;;
        tests) group_packages main && printf '%s\n' libgtest-dev locales zsh ksh python3 git ;;
        consumer) printf '%s\n' pkg-config ;;
        arm) printf '%s\n' g++-arm-linux-gnueabihf qemu-user ;;
        windows) printf '%s\n' g++-mingw-w64-x86-64-posix wine64 wine ;;
        clang) printf '%s\n' clang ;;
        bench) printf '%s\n' libbenchmark-dev pkg-config ;;
        valgrind) printf '%s\n' valgrind ;;
        fuzz) printf '%s\n' clang libclang-rt-14-dev ;;
        ci)
            for g in tests consumer arm windows clang bench valgrind fuzz; do
                group_packages "$g"
            done
            ;;
        *) return 1 ;;
    esac
}

# Whether a package is there, judged by what the build uses of it: a command or a file.
# A package the build may get from elsewhere (a cmake of one's own on the PATH) counts
# as there.
installed() {
    case "$1" in
        cmake | make | g++ | pkg-config | valgrind | zsh | ksh | python3 | git) command -v "$1" ;;
        clang) command -v clang++ ;;
        qemu-user) command -v qemu-arm ;;
        g++-arm-linux-gnueabihf) command -v arm-linux-gnueabihf-g++ ;;
        g++-mingw-w64-x86-64-posix) command -v x86_64-w64-mingw32-g++-posix ;;
        wine64) test -x /usr/lib/wine/wine64 ;;
        libcli11-dev) test -f /usr/include/CLI/CLI.hpp ;;
        libgtest-dev) test -f /usr/include/gtest/gtest.h ;;
        libbenchmark-dev) test -f /usr/include/benchmark/benchmark.h ;;
        libclang-rt-14-dev)
            compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' ;;
        locales) command -v localedef && test -f /usr/share/i18n/locales/de_DE ;;
        *) dpkg-query -W -f='${Status}\n' "$1" | grep -q '^install ok installed$' ;;
    esac >/dev/null 2>&1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "setup-debian.sh: $1 needs root: run as root, or install sudo" >&2
        exit 1
    fi
}

has_de_locale() {
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'
}

dry_run=0
case "${1-}" in
    -n | --dry-run) dry_run=1 && shift ;;
    -h | --help) usage ;;
esac
[ $# -gt 0 ] || set -- main
packages=()
want_locale=0
for group in "$@"; do
    case "$group" in
        tests | ci) want_locale=1 ;;
    esac
    list="$(group_packages "$group")" || {
        echo "setup-debian.sh: no group '$group'" >&2
        usage
    }
    mapfile -t -O "${#packages[@]}" packages <<<"$list"
done

missing=()
for p in "${packages[@]}"; do
    if ! installed "$p" && [[ " ${missing[*]-} " != *" $p "* ]]; then
        missing+=("$p")
    fi
done

if [ "$dry_run" -eq 1 ]; then
    echo "missing: ${missing[*]-}"
    [ "$want_locale" -eq 0 ] || has_de_locale || echo "missing: the de_DE.UTF-8 locale"
    exit 0
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "== every package is there for: $*"
fi

# A decimal-comma locale lets the tests show that numbers are read and written with "."
# whatever the process locale.
if [ "$want_locale" -eq 1 ] && ! has_de_locale; then
    echo "== generating the de_DE.UTF-8 locale"
    as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
