#!/bin/sh
# Runs a command against a CUPS server of its own: a raw queue that discards what it prints,
# set as the default, with every job's document kept in the spool folder for reading back.
# The system's own CUPS, if any, is not touched. Exit 77 (skip) when no server can be started.
set -u

skip() {
    echo "SKIP: $*"
    exit 77
}

CUPSD=$(command -v cupsd || echo /usr/sbin/cupsd)
LPADMIN=$(command -v lpadmin || echo /usr/sbin/lpadmin)
[ -x "$CUPSD" ] || skip "cupsd is not installed (Debian package cups)"
[ -x "$LPADMIN" ] || skip "lpadmin is not installed (Debian package cups-client)"
command -v pdftotext >/dev/null || skip "pdftotext is not installed (Debian package poppler-utils)"
[ -d /usr/lib/cups ] || skip "no CUPS server programs in /usr/lib/cups"

DIR=$(mktemp -d "${TMPDIR:-/tmp}/cadrell-cups-XXXXXX") || skip "no temporary folder"
CUPSD_PID=
cleanup() {
    [ -n "$CUPSD_PID" ] && kill "$CUPSD_PID" 2>/dev/null && wait "$CUPSD_PID" 2>/dev/null
    rm -rf "$DIR"
}
trap cleanup EXIT INT TERM

mkdir -p "$DIR/etc/ppd" "$DIR/spool/tmp" "$DIR/cache" "$DIR/state" "$DIR/log"
SOCK="$DIR/cups.sock"

cat >"$DIR/etc/cupsd.conf" <<CONF
Listen $SOCK
LogLevel warn
PreserveJobFiles Yes
PreserveJobHistory Yes
DirtyCleanInterval 0
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

cat >"$DIR/etc/cups-files.conf" <<CONF
ServerRoot $DIR/etc
RequestRoot $DIR/spool
TempDir $DIR/spool/tmp
CacheDir $DIR/cache
StateDir $DIR/state
ErrorLog $DIR/log/error_log
AccessLog $DIR/log/access_log
PageLog $DIR/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice Yes
CONF
if [ "$(id -u)" != 0 ]; then
    # An unprivileged server runs everything as its own user.
    echo "User $(id -un)" >>"$DIR/etc/cups-files.conf"
    echo "Group $(id -gn)" >>"$DIR/etc/cups-files.conf"
fi

"$CUPSD" -f -c "$DIR/etc/cupsd.conf" -s "$DIR/etc/cups-files.conf" >"$DIR/log/stdout" 2>&1 &
CUPSD_PID=$!

export CUPS_SERVER="$SOCK"
QUEUE=cadrell-test
ready=
for _ in $(seq 1 100); do
    if ! kill -0 "$CUPSD_PID" 2>/dev/null; then
        break
    fi
    if [ -S "$SOCK" ] && "$LPADMIN" -p "$QUEUE" -v file:///dev/null -E 2>/dev/null; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ -z "$ready" ]; then
    cat "$DIR/log/stdout" "$DIR/log/error_log" 2>/dev/null | tail -n 20
    skip "cupsd could not be started"
fi
"$LPADMIN" -d "$QUEUE" || skip "cannot make $QUEUE the default printer"

export CADRELL_TEST_CUPS_QUEUE="$QUEUE"
export CADRELL_TEST_CUPS_SPOOL="$DIR/spool"
"$@"
status=$?
[ $status -ne 0 ] && tail -n 20 "$DIR/log/error_log" 2>/dev/null
exit $status
