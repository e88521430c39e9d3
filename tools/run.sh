#!/usr/bin/env bash
# Installs what is missing, builds, and starts the Quillmote window with the given
# launch settings ("-replayPath data/demo-capture.json" replays the demo room).
# "tools/run.sh cli ARGS" runs quillmote-cli instead.
# A replay without -historyPath gets the demo activity history, ending now, in a
# temporary folder that goes when the window closes.
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
replay=no history=no
for argument in "$@"; do
    case $argument in
        -replayPath) replay=yes ;;
        -historyPath) history=yes ;;
    esac
done
if [ $replay = yes ] && [ $history = no ]; then
    folder=$(mktemp -d)
    trap 'rm -rf "$folder"' EXIT
    python3 tools/make_demo_history.py --end now --zone local "$folder"
    build/ui/quillmote "$@" -historyPath "$folder"
    exit
fi
exec build/ui/quillmote "$@"
