#!/usr/bin/env bash
# The service units as systemd reads them, pointed at the built program.
set -u
units=${QUILLMOTE_UNITS:?}
cli=${QUILLMOTE_CLI:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for unit in "$units"/*.service; do
    sed "s|/usr/bin/quillmote-cli|$cli|" "$unit" >"$work/$(basename "$unit")"
    systemd-analyze verify "$work/$(basename "$unit")" || { echo "FAIL: $(basename "$unit")"; status=1; }
done
"$cli" --version | grep -qx "quillmote-cli [0-9.]*" || { echo "FAIL: quillmote-cli --version"; status=1; }
exit $status
