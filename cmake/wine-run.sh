#!/usr/bin/env bash
# Runs one Windows program under Wine: CTest's emulator for the test programs, and the way to run
# a built program by hand (e.g. the benchmark).
#
# One prefix per build folder (VEXA_WINEPREFIX overrides it), created once under a lock, with one
# persistent wineserver for the whole run. Wine's background services are started with their
# output on /dev/null and without the lock descriptor: a service that inherits a test's output
# pipe or the lock keeps it open and makes every later step wait.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/wine_lib.sh"

prefix=${VEXA_WINEPREFIX:-${VEXA_BUILD_DIR:-$(pwd)}/wineprefix}
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
export WINEPREFIX=$prefix

{
    flock 9
    if [ ! -f "$prefix/.vexa-ready" ]; then
        wine_stop_server "$prefix"
        rm -rf "$prefix"
        "$WINE" wineboot -i </dev/null >"$prefix.boot.log" 2>&1 9>&- || true
        "$WINESERVER" -w 9>&- || true
        # Only a prefix that really booted is marked; otherwise the next run tries again.
        if [ ! -f "$prefix/system.reg" ]; then
            echo "wine-run: wineboot made no prefix in $prefix (see $prefix.boot.log)" >&2
            exit 1
        fi
        touch "$prefix/.vexa-ready"
    fi
    # One persistent server for the run. "wineserver -p" leaves a running server alone and exits
    # with 2; the server's lock decides that, so a socket file left by a killed server does not
    # count. When it has started a new server, Wine's services start under it now, before any
    # test, so that none of them inherits a test's output.
    server_status=0
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&- || server_status=$?
    if [ "$server_status" -ne 2 ]; then
        "$WINE" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
} 9>"$prefix.lock"

exe=$1; shift
exec "$WINE" "$exe" "$@"
