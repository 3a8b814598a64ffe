#!/usr/bin/env bash
# The demo: installs what is missing, builds, and prints a sample document through Wine's print
# spooler and the VEXA Port Monitor to printsink, a printer simulator on 127.0.0.1, then shows
# the SHA-256 the printer received next to the document's own. Everything it starts (the Wine
# server of its prefix, Wine's services, printsink) is stopped when it ends, on an error, ^C or
# SIGTERM too; a server that a killed demo left behind is stopped by the next demo.
#
# The printer queue is made by the test helper e2e_spooler.exe, which is built with the tests
# (setup.sh builds them).
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

step() { printf '\n== %s\n' "$*"; }

step "Installing what is missing and building into $VEXA_BUILD"
vexa_install_missing
vexa_build

source "$VEXA_ROOT/scripts/wine_lib.sh"
BIN=$VEXA_BUILD/bin
DEMO=$VEXA_BUILD/demo
export WINEPREFIX=$DEMO/prefix
[ -f "$BIN/e2e_spooler.exe" ] || { echo "demo: $BIN/e2e_spooler.exe is missing (it is built with the tests: -DVEXA_BUILD_TESTS=ON)" >&2; exit 1; }

# Wine's output goes to log files only (never to a pipe anything waits on).
run() {
    local log=$DEMO/$1.log
    shift
    if ! "$WINE" "$@" </dev/null >"$log" 2>&1; then
        sed 's/\r$//' "$log" >&2
        echo "demo: $* failed (log: $log)" >&2
        return 1
    fi
    sed 's/\r$//; s/^/   /' "$log"
}

stop_all() {
    local status=$?
    wine_stop_server "$WINEPREFIX"
    [ "$status" -eq 0 ] || echo "demo: failed (logs in $DEMO)" >&2
    exit "$status"
}

step "Preparing a fresh Wine prefix in $WINEPREFIX (about 20 seconds)"
# A server left from an earlier demo must be gone before its prefix is.
wine_stop_server "$WINEPREFIX"
rm -rf "$DEMO"
mkdir -p "$DEMO"
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$WINE" wineboot -i </dev/null >"$DEMO/wineboot.log" 2>&1 || true
"$WINESERVER" -w >/dev/null 2>&1 || true
"$WINESERVER" -p </dev/null >/dev/null 2>&1

step "Starting printsink on 127.0.0.1"
wine_start_printsink "$BIN/printsink.exe" "$DEMO/printsink.log" --jobs 1 --idle-exit 300 \
    --out "$(winpath "$DEMO/jobs")"
port=$PRINTSINK_PORT
echo "   printsink listens on 127.0.0.1:$port"

step "Installing the monitor (portmonctl install)"
run install "$BIN/portmonctl.exe" install "$(winpath "$BIN/portmonsrv.dll")"

step "Adding the port DEMO for the printer at 127.0.0.1:$port (portmonctl add)"
run add "$BIN/portmonctl.exe" add DEMO "127.0.0.1:$port"
run ports "$BIN/portmonctl.exe" ports

step "Creating the printer queue \"VEXA Demo\" on DEMO (RAW, Wine's winprint; test helper e2e_spooler)"
run queue "$BIN/e2e_spooler.exe" add-queue "VEXA Demo" DEMO

step "Printing a sample document through the queue (portmonctl print)"
sample=$DEMO/sample-page.txt
{
    printf 'VEXA Port Monitor demo page\r\n'
    printf 'Printed %s through Wine'"'"'s spooler to port DEMO (127.0.0.1:%s).\r\n' "$(date -u '+%Y-%m-%d %H:%M:%S UTC')" "$port"
    for line in $(seq 1 40); do
        printf 'Line %02d: the quick brown fox jumps over the lazy dog.\r\n' "$line"
    done
    printf '\f'
} >"$sample"
run print "$BIN/portmonctl.exe" print "$(winpath "$sample")" --printer "VEXA Demo"

step "What the printer received"
for _ in $(seq 300); do
    grep -q '^job 1:' "$DEMO/printsink.log" && break
    sleep 0.1
done
received=$(sed -n 's/\r$//; s/^job 1: .*sha256 \([0-9a-f]*\).*/\1/p' "$DEMO/printsink.log")
sent=$(sha256sum "$sample" | cut -d' ' -f1)
echo "   printsink: $(sed -n 's/\r$//; /^job 1:/p' "$DEMO/printsink.log")"
echo "   document:  $(stat -c %s "$sample") bytes, sha256 $sent"
if [ "$received" != "$sent" ]; then
    echo "demo: the printer did not receive the document unchanged" >&2
    exit 1
fi
echo
echo "The SHA-256 values match: the document reached the printer byte for byte."
