#!/usr/bin/env bash
# The window program as a user starts it, without a screen.
set -u
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A replay that cannot be read stops the program before anything starts.
"$QUILLMOTE_APP" -replayPath "$work/absent.json" -historyPath "$work/history" 2>"$work/err" >/dev/null
status=$?
[ "$status" = 1 ] || fail "bad replay exited with $status"
grep -qF -- "-replayPath $work/absent.json couldn't be read as a capture: No such file or directory" "$work/err" ||
    fail "bad replay message: $(cat "$work/err")"
[ ! -e "$work/history" ] || fail "history was started for a bad replay"

# The demo room replays until the program is stopped.
timeout 4 "$QUILLMOTE_APP" -replayPath "$QUILLMOTE_DEMO" -historyPath "$work/history" 2>"$work/err" >/dev/null
status=$?
[ "$status" = 124 ] || fail "demo replay ended with $status: $(cat "$work/err")"
echo "launch checks passed"
