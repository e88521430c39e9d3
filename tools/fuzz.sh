#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each for SECONDS on
# a copy of its corpus in tests/fuzz/corpus/. With --merge, the inputs that reached new
# code are then merged, minimised, into the tree's corpus. A crash stops the run and
# leaves its input in build-fuzz/. QUILLMOTE_FUZZ_RUNS=N also stops each target after N
# executions. Usage: tools/fuzz.sh SECONDS [--merge] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh SECONDS [--merge] [TARGET...]}
shift
merge=0
if [ "${1:-}" = --merge ]; then merge=1; shift; fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMOTE_FUZZ=ON \
    -DQUILLMOTE_WERROR=ON >/dev/null &&
    cmake --build build-fuzz -j "$(nproc)" || exit 1

targets=("$@")
[ ${#targets[@]} -eq 0 ] && for path in build-fuzz/tests/fuzz/fuzz_*; do targets+=("$(basename "$path" | sed 's/^fuzz_//')"); done
for target in "${targets[@]}"; do
    corpus=$(mktemp -d)
    # Work on a copy so a run never writes new inputs into the tree.
    cp tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
    echo "-- $target for ${seconds}s"
    if ! build-fuzz/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" -runs="${QUILLMOTE_FUZZ_RUNS:--1}" \
        -print_final_stats=1 -timeout=10 \
        -artifact_prefix=build-fuzz/ "$corpus" 2>&1 | grep -E '^(#|stat::number_of_executed_units|==|SUMMARY|artifact_prefix)|ERROR|Test unit written' | tail -n 6; then
        rm -rf "$corpus"
        exit 1
    fi
    if [ "$merge" = 1 ]; then
        mkdir -p tests/fuzz/corpus/"$target"
        build-fuzz/tests/fuzz/fuzz_"$target" -merge=1 tests/fuzz/corpus/"$target" "$corpus" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files' || true
    fi
    rm -rf "$corpus"
done
