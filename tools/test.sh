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
    bash tools/fuzz.sh "$fuzz_seconds"
}

stage "test suites" suites
stage "core suites under ASan + UBSan" sanitized
stage "fuzz targets" fuzz

echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
