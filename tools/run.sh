#!/usr/bin/env bash
# Installs what is missing, builds, and starts the Quillmote window with the given
# launch settings ("-replayPath data/demo-capture.json" replays the demo room).
# "tools/run.sh cli ARGS" runs quillmote-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMOTE_WERROR=ON >/dev/null
if [ "${1:-}" = cli ]; then
    shift
    cmake --build build --target quillmote-cli
    [ $# -eq 0 ] && set -- --help
    exec build/cli/quillmote-cli "$@"
fi
cmake --build build --target quillmote
exec build/ui/quillmote "$@"
