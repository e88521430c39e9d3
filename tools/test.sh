#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the suites, the core
# suites again under AddressSanitizer + UndefinedBehaviorSanitizer, and a short
# bounded run of each fuzz target.
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh test || exit 1

jobs=$(nproc)
fuzz_seconds=${QUILLMOTE_FUZZ_SECONDS:-5}
passed=0
failed=0
stage() {  # stage NAME COMMAND...
    local name=$1
    shift
    echo "== $name"
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "== $name FAILED"; fi
}

suites() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMOTE_WERROR=ON >/dev/null &&
        cmake --build build -j "$jobs" &&
        ctest --test-dir build --output-on-failure -j "$jobs"
}

sanitized() {
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMOTE_SANITIZE=ON -DQUILLMOTE_BENCH=OFF \
        -DQUILLMOTE_WERROR=ON >/dev/null &&
        cmake --build build-asan -j "$jobs" --target quillmote-core-tests &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            ctest --test-dir build-asan --output-on-failure -j "$jobs" -L core
}

fuzz() {
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMOTE_FUZZ=ON \
        -DQUILLMOTE_WERROR=ON >/dev/null &&
        cmake --build build-fuzz -j "$jobs" || return 1
    local target corpus
    for target in build-fuzz/tests/fuzz/fuzz_*; do
        corpus=$(mktemp -d)
        # Work on a copy so a run never writes new inputs into the tree.
        cp tests/fuzz/corpus/"$(basename "$target" | sed 's/^fuzz_//')"/* "$corpus"/ 2>/dev/null
        echo "-- $(basename "$target") for ${fuzz_seconds}s"
        if ! "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus" 2>&1 | tail -n 12; then
            rm -rf "$corpus"
            return 1
        fi
        rm -rf "$corpus"
    done
}

stage "test suites" suites
stage "core suites under ASan + UBSan" sanitized
stage "fuzz targets" fuzz

echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
