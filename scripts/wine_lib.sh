# Sourced by the scripts, the Wine runner and the end-to-end tests: finds Wine, and starts and
# stops what runs under it. Wine's output never goes to a pipe that anything waits on: everything
# started here writes to files (Wine's background services inherit those, never a caller's pipe).

# The loader and its server: Debian keeps both in /usr/lib/wine, other layouts put the server on
# PATH. Sourcing fails (127) when there is no Wine.
WINE=""
for wine_dir in /usr/lib/wine /usr/lib64/wine /usr/bin; do
    if [ -x "$wine_dir/wine64" ]; then
        WINE=$wine_dir/wine64
        break
    fi
done
if [ -z "$WINE" ]; then
    echo "wine64 not found (apt-get install wine64)" >&2
    return 127
fi
WINESERVER=$wine_dir/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo "$wine_dir/wineserver")
unset wine_dir
export WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# A Linux path as Wine's Z: drive sees it.
winpath() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# wine_stop_server [PREFIX]: stops every Wine process of the prefix (default: $WINEPREFIX) with
# its server, and returns once the server has gone (so the prefix can be removed or copied).
wine_stop_server() {
    local prefix=${1:-${WINEPREFIX:-}}
    [ -n "$prefix" ] && [ -d "$prefix" ] || return 0
    WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix "$WINESERVER" -w >/dev/null 2>&1 || true
}

# wine_stop_servers PREFIX...: wine_stop_server for each of them that exists.
wine_stop_servers() {
    local prefix
    for prefix in "$@"; do
        wine_stop_server "$prefix"
    done
}

# wine_start_printsink PROGRAM LOG [ARGS...]: printsink on 127.0.0.1 and a free TCP port, in the
# background under $WINEPREFIX, with its output in LOG. Waits (up to 30 s) until it says where it
# listens and leaves that port in $PRINTSINK_PORT; fails with its output on stderr otherwise. It
# ends with the prefix's server, or as ARGS tell it (--jobs, --idle-exit).
wine_start_printsink() {
    local program=$1 log=$2
    shift 2
    PRINTSINK_PORT=""
    "$WINE" "$program" --port 0 "$@" </dev/null >"$log" 2>&1 &
    local waited=0
    until grep -q '127\.0\.0\.1:[0-9]' "$log" 2>/dev/null; do
        if [ "$waited" -ge 300 ]; then
            echo "printsink did not start: $(cat "$log")" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    PRINTSINK_PORT=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log" | head -n 1)
}
