#!/usr/bin/env bash
# Runs quillmote-cli as a user would and checks what reaches stdout, stderr and the exit status.
set -u
cli=${QUILLMOTE_CLI:?}
data=${QUILLMOTE_TEST_DATA:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: keeps stdout, stderr and the exit status in $work.
run() {
    "$cli" "$@" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
}
status() { cat "$work/status"; }

# A capture prints normalised and is stable when read back.
run fixture "$data/sample-capture.json"
[ "$(status)" = 0 ] || fail "fixture of the sample exited $(status): $(cat "$work/err")"
[ -s "$work/err" ] && fail "fixture of the sample wrote to stderr"
cp "$work/out" "$work/normal.json"
grep -q '"manufacturerData": "4C 00 10 06 1B 1E 8A 4F 3C 18"' "$work/normal.json" || fail "hex not normalised"
grep -q '"time": "2026-03-01T14:05:10.000Z"' "$work/normal.json" || fail "time not normalised"
run fixture "$work/normal.json"
cmp -s "$work/out" "$work/normal.json" || fail "re-encoding a normalised capture changed its bytes"
"$cli" fixture - <"$work/normal.json" | cmp -s - "$work/normal.json" || fail "reading standard input differs"

# Unreadable files: one line on stderr naming the file and the reason, nothing on stdout, status 1.
bad() {
    local name=$1 contents=$2 reason=$3
    printf '%s' "$contents" >"$work/$name"
    run fixture "$work/$name"
    [ "$(status)" = 1 ] || fail "$name: status $(status), expected 1"
    [ -s "$work/out" ] && fail "$name: something reached stdout"
    [ "$(wc -l <"$work/err")" = 1 ] || fail "$name: stderr is not one line: $(cat "$work/err")"
    grep -qF "$work/$name" "$work/err" || fail "$name: stderr does not name the file"
    grep -qF -- "$reason" "$work/err" || fail "$name: stderr lacks '$reason': $(cat "$work/err")"
}
ad='"advertisement": {"serviceData": {}, "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}}'
bad date.json "[{\"source\": \"LE\", \"deviceKey\": \"K\", \"time\": \"1 March\", $ad}]" "Not an ISO 8601 date: 1 March"
bad hex.json '[{"source": "LE", "deviceKey": "K", "time": "2026-03-01T14:05:09Z", "advertisement": {"manufacturerData": "4C0"}}]' "Not hex: 4C0"
bad key.json '[{"source": "LE", "time": "2026-03-01T14:05:09Z"}]' '"deviceKey"'
bad object.json '{"sightings": []}' "not a JSON array"
bad syntax.json '[{"source": ' "not valid JSON"
run fixture "$work/absent.json"
[ "$(status)" = 1 ] && grep -qF "$work/absent.json: No such file or directory" "$work/err" || fail "missing file: $(cat "$work/err")"

# Help and usage errors.
run --help
[ "$(status)" = 0 ] && grep -q "fixture FILE" "$work/out" || fail "--help"
run fixture --help
[ "$(status)" = 0 ] && grep -q "normalised" "$work/out" || fail "fixture --help"
run frobnicate
[ "$(status)" = 2 ] && grep -q "unknown subcommand 'frobnicate'" "$work/err" && grep -q "Subcommands:" "$work/err" || fail "unknown subcommand"
run fixture --frob "$data/sample-capture.json"
[ "$(status)" = 2 ] && grep -q "unknown option '--frob'" "$work/err" && grep -q "Usage: quillmote-cli fixture FILE" "$work/err" || fail "unknown option"
[ -s "$work/out" ] && fail "unknown option wrote to stdout"
run fixture
[ "$(status)" = 2 ] || fail "fixture without FILE exited $(status)"
run
[ "$(status)" = 2 ] || fail "no subcommand exited $(status)"

if [ "$failures" -gt 0 ]; then
    echo "$failures cli check(s) failed"
    exit 1
fi
echo "cli checks passed"
