#!/usr/bin/env bash
# Usage: cli-under-wine.sh FLARECAST-CLI.EXE WINE-RUN
set -euo pipefail
cli=$(realpath "$1")
wine_run=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
    echo "FAILED: $*"
    echo "--- standard output"; cat out.txt 2>/dev/null || true
    echo "--- standard error"; cat err.txt 2>/dev/null || true
    exit 1
}

# A name of its own, so that copies from earlier runs in the demo phones' folders never count.
offer="offer-$$-$RANDOM.jpg"
head -c 300000 /dev/urandom >"$offer"

status=0
env -u FLARECAST_NEIGHBOURHOOD "$wine_run" "$cli" --file "$offer" --neighbourhood demo \
    --history history.sqlite --csv log.csv >out.txt 2>err.txt || status=$?
[[ $status == 0 ]] || fail "a pass among the demo phones ended with status $status"

inbox_line=$(grep -h "The demo phones save what they receive in " out.txt err.txt | head -n 1)
[[ -n $inbox_line ]] || fail "no line names the demo phones' folder"
inbox=$(env -u FLARECAST_NEIGHBOURHOOD "$wine_run" winepath -u \
    "${inbox_line#The demo phones save what they receive in }" | tr -d '\r')
sent=$(cat out.txt err.txt | grep -c "^Sent to " || true)
[[ $sent == 5 ]] || fail "$sent phones were sent the file, not the demo's five"
copies=0
while IFS= read -r -d '' copy; do
    cmp -s "$copy" "$offer" || fail "$copy differs from the file sent"
    copies=$((copies + 1))
done < <(find "$inbox" -type f -name "$offer" -print0)
[[ $copies == "$sent" ]] || fail "$copies copies received for $sent sent"

header=$(head -n 1 log.csv)
[[ $header == *$'\r' ]] || fail "the CSV's lines do not end with CR LF"
rows=$(($(wc -l <log.csv) - 1))
[[ $rows == 6 ]] || fail "the CSV holds $rows rows, not one per push of the demo"

# Without a neighbourhood the native stack runs; wine has no Bluetooth radio.
status=0
env -u FLARECAST_NEIGHBOURHOOD "$wine_run" "$cli" --file "$offer" --history history.sqlite \
    >out.txt 2>err.txt || status=$?
[[ $status == 0 ]] || fail "a pass without a radio ended with status $status"
[[ $(cat out.txt err.txt | grep -c "^Bluetooth is not available: " || true) == 1 ]] ||
    fail "no single line says that Bluetooth is not available"
grep -q "^Ended after 1 pass: 0 sent, 0 not sent" err.txt || fail "a pass without a radio found something"
echo "flarecast-cli.exe: $sent demo phones received the file intact; without a radio, one line"
