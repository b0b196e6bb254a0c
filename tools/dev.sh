#!/usr/bin/env bash
# One entry point for a newcomer and for CI:
#   tools/dev.sh run [FILE...]  install what is missing, build, start the app
#                               (with a new bank, or the files given)
#   tools/dev.sh test   install what is missing, build, run every test, check
#                       the Debian package, then run each fuzzer briefly
#   tools/dev.sh package
#                       install what is missing, build, make the Debian
#                       package build/a3-librarian_VERSION_ARCH.deb and check it
#   tools/dev.sh bench  install what is missing, build, run the benchmarks on
#                       a virtual X server
#   tools/dev.sh screenshots [FOLDER]
#                       install what is missing, build, make the README's
#                       pictures anew in FOLDER (docs/) with tools/screenshots.sh
#   tools/dev.sh fuzz FUZZER [FLAG...]
#                       install what is missing, build the fuzzers, run one
#                       with libFuzzer's FLAGs (such as -max_total_time=3600)
#                       on its corpus in build-fuzz/corpus/FUZZER, then check
#                       that corpus for leaks
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    cmake ninja-build g++ pkg-config clang libclang-rt-dev
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    libgtest-dev libgmock-dev libbenchmark-dev libxcb1-dev
    fonts-dejavu-core fonts-urw-base35 libqt6svg6
    xvfb xauth poppler-utils util-linux mount
    desktop-file-utils appstream shared-mime-info groff-base
    librtmidi-dev libjack-jackd2-dev libasound2-dev jackd2 libsqlite3-dev libarchive-dev libsimdjson-dev
    dpkg-dev file lintian midicsv
)

# What tools/screenshots.sh drives the app with, besides the above.
SCREENSHOT_PACKAGES=(openbox xdotool imagemagick x11-xserver-utils x11-utils zip)

# Installs the packages named (all of PACKAGES when none are) that are missing.
install_dependencies() {
    local missing=() wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${PACKAGES[@]}")
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    # jackd2 asks whether to let JACK run with realtime priority; answered
    # here so that an install never waits for a person (the tests need none).
    echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo[@]}" debconf-set-selections
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

run_main_job() {
    build default
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        # This build's app, even when an installed one is running already.
        exec build/bin/a3-librarian --new-instance "$@"
    fi
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the app cannot"
    echo "open a window. This is what a new bank holds, as 'a3bank list' shows it:"
    echo
    local bank
    bank=$(mktemp --suffix=.syx)
    build/bin/a3bank new --force "$bank"
    build/bin/a3bank list "$bank"
    rm -f "$bank"
}

# The Debian package of the default build, checked as a user gets it.
make_package() {
    cmake --build --preset default --target package
    bash tests/package/check-package.sh build
}

run_tests() {
    build default
    ctest --preset default
    make_package
    # The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
    build asan
    ctest --preset asan
    run_fuzzers
}

FUZZERS=(a3alldata_fuzzer a3textform_fuzzer a3pastable_fuzzer a3paste_fuzzer
    a3scanstream_fuzzer a3scanmidifile_fuzzer a3scanhex_fuzzer a3archive_fuzzer
    a3soundsfile_fuzzer)
# The longest input each fuzzer tries; fuzz/README.md says why.
declare -A FUZZ_MAX_LEN=(
    [a3alldata_fuzzer]=29198 [a3textform_fuzzer]=2048
    [a3pastable_fuzzer]=2048 [a3paste_fuzzer]=6489
    [a3scanstream_fuzzer]=65536 [a3scanmidifile_fuzzer]=65536 [a3scanhex_fuzzer]=8192
    [a3archive_fuzzer]=12288 [a3soundsfile_fuzzer]=16384
)

# One fuzzer with the options every run of it gets, on its corpus folder and
# then its seeds; the FLAGs come last, so they can override any of them.
fuzz_one() {
    local fuzzer=$1 corpus=$2
    shift 2
    [ -n "${FUZZ_MAX_LEN[$fuzzer]:-}" ] || { echo "no such fuzzer: $fuzzer" >&2; return 2; }
    mkdir -p "$corpus"
    # A small quarantine: see fuzz/README.md. Options in the caller's
    # ASAN_OPTIONS come after it and win.
    ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
        LSAN_OPTIONS=suppressions=fuzz/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
        "build-fuzz/bin/$fuzzer" -max_len="${FUZZ_MAX_LEN[$fuzzer]}" -timeout=25 "$@" \
        "$corpus" "fuzz/corpus/$fuzzer" tests/data
}

# Each fuzzer for a fixed number of runs from its seeds, so that they keep
# building and stay clean: a crash, a leak or a broken property fails the run.
run_fuzzers() {
    build fuzz
    local fuzzer scratch
    for fuzzer in "${FUZZERS[@]}"; do
        scratch=build-fuzz/ci/$fuzzer
        rm -rf "$scratch"
        mkdir -p "$scratch"
        if ! fuzz_one "$fuzzer" "$scratch/corpus" -runs=20000 -seed=1 \
            -artifact_prefix="$scratch/" >"$scratch/log" 2>&1; then
            tail -n 60 "$scratch/log"
            echo "$fuzzer failed; the input that did it is in $scratch/" >&2
            return 1
        fi
        echo "$fuzzer: $(grep '^Done' "$scratch/log")"
    done
}

# One fuzzer for long, as fuzz/README.md describes. Leaks are looked for at
# the end: LeakSanitizer still checks the process when it exits, and every
# input of the corpus is then run once more with libFuzzer's leak check.
run_fuzzer_long() {
    local fuzzer=${1:?usage: tools/dev.sh fuzz FUZZER [FLAG...]}
    shift
    build fuzz
    local corpus=build-fuzz/corpus/$fuzzer artifacts=build-fuzz/artifacts/$fuzzer
    mkdir -p "$artifacts"
    fuzz_one "$fuzzer" "$corpus" -detect_leaks=0 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$@"
    echo "Checking every input of $corpus for leaks"
    fuzz_one "$fuzzer" "$corpus" -runs=0 -detect_leaks=1 -artifact_prefix="$artifacts/"
}

run_benchmarks() {
    build default
    # Start-up and windows are measured on a real X server of their own, with
    # each benchmark's repetitions interleaved with those of its baseline.
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
        env -u QT_QPA_PLATFORM bash -c '
            for benchmark in build/bin/*_bench; do
                "$benchmark" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
                    --benchmark_report_aggregates_only=true
            done'
}

case "${1:-}" in
run) shift; install_dependencies; run_main_job "$@" ;;
test) install_dependencies; run_tests ;;
bench) install_dependencies; run_benchmarks ;;
package) install_dependencies; build default; make_package ;;
screenshots)
    shift
    install_dependencies
    install_dependencies "${SCREENSHOT_PACKAGES[@]}"
    build default
    bash tools/screenshots.sh "$@"
    ;;
fuzz) shift; install_dependencies; run_fuzzer_long "$@" ;;
*) echo "usage: tools/dev.sh run|test|bench|fuzz|package|screenshots" >&2; exit 2 ;;
esac
