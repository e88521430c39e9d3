#!/usr/bin/env bash
# Installs what is missing, builds, and starts quillmote-cli with the given arguments
# (its help when none are given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quillmote-cli
[ $# -eq 0 ] && set -- --help
exec build/cli/quillmote-cli "$@"
