#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest and the scripts.
#
# One prefix per build folder (VEXA_WINEPREFIX overrides it), created once under a lock, with one
# persistent wineserver for the whole run. Wine's background services are started with their
# output on /dev/null and without the lock descriptor: a service that inherits a test's output
# pipe or the lock keeps it open and makes every later step wait.
set -euo pipefail

wine_bin=""
for dir in /usr/lib/wine /usr/lib64/wine /usr/bin; do
    if [ -x "$dir/wine64" ]; then wine_bin=$dir; break; fi
done
[ -n "$wine_bin" ] || { echo "wine-run: wine64 not found (apt-get install wine64)" >&2; exit 127; }
wineserver_bin=$wine_bin/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver)

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=${VEXA_WINEPREFIX:-${VEXA_BUILD_DIR:-$(pwd)}/wineprefix}
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

{
    flock 9
    if [ ! -f "$prefix/.vexa-ready" ]; then
        rm -rf "$prefix"
        "$wine_bin/wine64" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        "$wineserver_bin" -w 9>&- || true
        touch "$prefix/.vexa-ready"
    fi
    # One persistent server for the run. When it was not up yet, start Wine's services under it
    # now, before any test, so that none of them inherits a test's output.
    # (Debian's Wine keeps its server folder in /tmp/wine-XXXXXX, upstream in /tmp/.wine-UID.)
    server_dir=server-$(stat -c %D "$prefix")-$(printf %x "$(stat -c %i "$prefix")")
    server_up=no
    for socket in /tmp/.wine-"$(id -u)"/"$server_dir"/socket /tmp/wine-*/"$server_dir"/socket; do
        [ -S "$socket" ] && server_up=yes
    done
    if [ "$server_up" = no ]; then
        "$wineserver_bin" -p </dev/null >/dev/null 2>&1 9>&- || true
        "$wine_bin/wine64" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
} 9>"$prefix.lock"

exe=$1; shift
exec "$wine_bin/wine64" "$exe" "$@"
