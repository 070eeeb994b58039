#!/bin/sh
# Under with-private-cups.sh: opens a 300-entry playlist in the real program on a virtual
# display, presses Ctrl+P and Print, and reads the job's document back from the spool: the
# title, an empty line, then every entry in order. Exit 77 (skip) without Xvfb or xdotool.
# Usage: print-from-program.sh /path/to/cadrell
set -u
PROGRAM=$1

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    exit 1
}
[ -x "$PROGRAM" ] || fail "no program at $PROGRAM"
[ -n "${CADRELL_TEST_CUPS_SPOOL:-}" ] || skip "needs the private CUPS server of with-private-cups.sh"
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/cadrell-print-XXXXXX") || skip "no temporary folder"
XVFB_PID=
APP_PID=
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# Waits up to ten seconds for a condition (a shell command) to hold.
until_true() {
    for _ in $(seq 1 100); do
        if eval "$1"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
export XDG_CACHE_HOME="$WORK/home/.cache" XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

LIST="$WORK/long list.m3u"
i=1
while [ $i -le 300 ]; do
    printf 'C:\\Music\\track %d.mp3\r\n' $i
    i=$((i + 1))
done >"$LIST"

Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$WORK/display" >/dev/null 2>&1 &
XVFB_PID=$!
until_true '[ -s "$WORK/display" ]' || skip "Xvfb did not start"
DISPLAY=":$(cat "$WORK/display")"
export DISPLAY

# The program notes what it did (and any error it would show) in its event log.
export CADRELL_EVENT_LOG="$WORK/events"
"$PROGRAM" "$LIST" >"$WORK/program.log" 2>&1 &
APP_PID=$!
until_true 'grep -q "^opened" "$CADRELL_EVENT_LOG" 2>/dev/null' || fail "the playlist was not opened"
until_true 'W=$(xdotool search --onlyvisible --pid $APP_PID --name "^Cadrell" 2>/dev/null | head -n 1); [ -n "$W" ]' ||
    fail "the program's window did not appear"

# The print dialog's window, by its own title ("Print", as the desktop may add the program's).
print_dialog() {
    for w in $(xdotool search --onlyvisible --pid $APP_PID --name . 2>/dev/null); do
        case "$(xdotool getwindowname "$w" 2>/dev/null)" in
            Print*) echo "$w" && return ;;
        esac
    done
}

xdotool windowfocus --sync "$W"
until_true 'D=$(print_dialog); [ -n "$D" ] || { xdotool key ctrl+p; sleep 0.5; false; }' ||
    fail "Ctrl+P showed no print dialog"
# Print is the dialog's default button; a key that arrives before the dialog takes input is
# lost, so press it until the dialog is gone.
until_true 'xdotool windowfocus --sync "$D" 2>/dev/null; xdotool key Return 2>/dev/null; sleep 0.2;
            [ -z "$(print_dialog)" ]' ||
    fail "the print dialog did not close"
if grep "^error" "$CADRELL_EVENT_LOG"; then
    fail "the program reported an error"
fi

until_true 'ls "$CADRELL_TEST_CUPS_SPOOL"/d*-001 >/dev/null 2>&1' || fail "no job reached the printer"
DOC=$(ls "$CADRELL_TEST_CUPS_SPOOL"/d*-001 | head -n 1)

{
    echo "$LIST"
    echo
    i=1
    while [ $i -le 300 ]; do
        printf 'C:\\Music\\track %d.mp3\n' $i
        i=$((i + 1))
    done
} >"$WORK/expected"
# Page one's first lines as laid out; then every line that holds text, across all pages.
pdftotext -layout "$DOC" - | tr -d '\f' | sed 's/^ *//; s/ *$//' >"$WORK/printed" || fail "pdftotext failed"
[ "$(sed -n 1p "$WORK/printed")" = "$LIST" ] && [ -z "$(sed -n 2p "$WORK/printed")" ] ||
    fail "page one does not start with the title and an empty line: $(head -n 2 "$WORK/printed")"
grep -v '^$' "$WORK/printed" >"$WORK/printed-lines"
grep -v '^$' "$WORK/expected" >"$WORK/expected-lines"
if ! cmp -s "$WORK/printed-lines" "$WORK/expected-lines"; then
    diff "$WORK/expected-lines" "$WORK/printed-lines" | head -n 20
    fail "the printed lines differ from the playlist"
fi
[ "$(ls "$CADRELL_TEST_CUPS_SPOOL"/d* | wc -l)" -eq 1 ] || fail "more than one job"
echo "PASS: $(pdfinfo "$DOC" | grep Pages), $(wc -l <"$WORK/printed-lines") lines"
