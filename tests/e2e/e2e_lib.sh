# Sourced by every end-to-end scenario. Gives each scenario a Wine prefix of its own, made from
# one template prefix per build, with its own wineserver that is stopped when the scenario ends
# (by a signal too; a scenario killed outright leaves it to the clean-up test that runs after all
# scenarios), and the helpers the scenarios share.
#
# Wine's output never goes through a pipe that anything waits on: every Wine process writes to a
# file in the scenario's folder (its background services inherit those files, never the test's
# output).
set -euo pipefail

: "${VEXA_E2E_BIN:?the folder of the built programs}"
: "${VEXA_E2E_WORK:?the folder for prefixes and logs}"

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine_lib.sh"

E2E_TEMPLATE=$VEXA_E2E_WORK/template

# A booted prefix that every scenario copies; made once per build (again when Wine changes).
e2e_prepare_template() {
    mkdir -p "$VEXA_E2E_WORK"
    {
        flock 9
        "$WINE" --version >"$VEXA_E2E_WORK/wine-version.now" 2>&1 9>&- || true
        if ! cmp -s "$VEXA_E2E_WORK/wine-version.now" "$E2E_TEMPLATE/.vexa-wine-version"; then
            wine_stop_server "$E2E_TEMPLATE"
            rm -rf "$E2E_TEMPLATE"
            WINEPREFIX=$E2E_TEMPLATE "$WINE" wineboot -i </dev/null >"$VEXA_E2E_WORK/template-boot.log" 2>&1 9>&- || true
            # The template's server must be gone (and the registry on disk) before any copy.
            WINEPREFIX=$E2E_TEMPLATE "$WINESERVER" -w 9>&- || true
            [ -f "$E2E_TEMPLATE/system.reg" ] || { echo "wineboot made no prefix (see $VEXA_E2E_WORK/template-boot.log)" >&2; return 1; }
            cp "$VEXA_E2E_WORK/wine-version.now" "$E2E_TEMPLATE/.vexa-wine-version"
        fi
    } 9>"$VEXA_E2E_WORK/template.lock"
}

# e2e_begin NAME: the scenario's folder ($E2E_DIR), its prefix (hard links into the template,
# except the files Wine rewrites in place) and its wineserver.
e2e_begin() {
    E2E_NAME=$1
    E2E_DIR=$VEXA_E2E_WORK/$E2E_NAME
    E2E_LOGS=$E2E_DIR/logs
    E2E_STEP=0
    # A server left from an earlier run must be gone before its prefix is.
    wine_stop_server "$E2E_DIR/prefix"
    rm -rf "$E2E_DIR"
    mkdir -p "$E2E_LOGS"
    e2e_prepare_template
    cp -al "$E2E_TEMPLATE" "$E2E_DIR/prefix"
    local file
    for file in system.reg user.reg userdef.reg .update-timestamp; do
        rm -f "$E2E_DIR/prefix/$file"
        cp -p "$E2E_TEMPLATE/$file" "$E2E_DIR/prefix/$file"
    done
    export WINEPREFIX=$E2E_DIR/prefix
    trap e2e_end EXIT
    # CTest kills a test that overruns its time-out with SIGKILL, which no trap sees: the
    # scenarios run under `timeout`, which sends SIGTERM first (to the whole process group, so a
    # hung Wine program ends too and the trap can run). SIGTERM and ^C end the scenario through
    # the EXIT trap, which stops the server. Whatever still escapes (a SIGKILL) is stopped by the
    # clean-up test after all scenarios.
    trap 'echo "stopped by SIGTERM (time-out?)" >&2; exit 143' TERM
    trap 'exit 130' INT
    e2e_start_server
    E2E_STARTED=$(date +%s)
}

e2e_start_server() {
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
}

# Stops every Wine process of the scenario's prefix with its server.
e2e_stop_server() {
    wine_stop_server "$WINEPREFIX"
}

# The servers of every scenario's prefix and of the template: the clean-up after all scenarios.
e2e_stop_all_servers() {
    wine_stop_servers "$E2E_TEMPLATE" "$VEXA_E2E_WORK"/*/prefix
}

e2e_end() {
    local status=$?
    trap - EXIT
    e2e_stop_server
    if [ "$status" -ne 0 ]; then
        echo "---- logs of $E2E_NAME (in $E2E_LOGS) ----"
        local log
        for log in "$E2E_LOGS"/*; do
            [ -f "$log" ] || continue
            echo "== $(basename "$log")"
            tail -n 20 "$log"
        done
        echo "FAILED: $E2E_NAME"
    else
        echo "passed: $E2E_NAME in $(( $(date +%s) - E2E_STARTED )) s"
    fi
    exit "$status"
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wine_run LABEL PROGRAM ARGS...: runs a Windows program; its output goes to the log LABEL,
# whose path is left in $E2E_LAST_LOG. Returns the program's exit code.
wine_run() {
    E2E_STEP=$((E2E_STEP + 1))
    E2E_LAST_LOG=$E2E_LOGS/$(printf '%02d' "$E2E_STEP")-$1.log
    shift
    local status=0
    "$WINE" "$@" </dev/null >"$E2E_LAST_LOG" 2>&1 || status=$?
    # Windows programs end their lines with CR LF.
    sed -i 's/\r$//' "$E2E_LAST_LOG"
    return "$status"
}

# portmonctl LABEL ARGS... and e2e_spooler LABEL ARGS...
portmonctl() {
    local label=$1
    shift
    wine_run "$label" "$VEXA_E2E_BIN/portmonctl.exe" "$@"
}
e2e_spooler() {
    local label=$1
    shift
    wine_run "$label" "$VEXA_E2E_BIN/e2e_spooler.exe" "$@"
}

# expect_ok CMD...: the command must succeed. expect_fails CMD...: it must fail (non-zero).
expect_ok() {
    "$@" || fail "$* exited with $? (log: $E2E_LAST_LOG)"
}
expect_fails() {
    if "$@"; then
        fail "$* succeeded, a failure was expected (log: $E2E_LAST_LOG)"
    fi
}

# expect_log PATTERN / expect_not_log PATTERN: grep -E on the last command's log.
expect_log() {
    grep -Eq -- "$1" "$E2E_LAST_LOG" || fail "\"$1\" not in $E2E_LAST_LOG: $(cat "$E2E_LAST_LOG")"
}
expect_not_log() {
    if grep -Eq -- "$1" "$E2E_LAST_LOG"; then
        fail "\"$1\" unexpectedly in $E2E_LAST_LOG: $(cat "$E2E_LAST_LOG")"
    fi
}

install_monitor() {
    expect_ok portmonctl install install "$(winpath "$VEXA_E2E_BIN/portmonsrv.dll")"
    expect_log "installed VEXA Port Monitor"
}

# start_sink NAME [MODE]: a printsink on 127.0.0.1; its port is left in $SINK_PORT, its output
# in $E2E_DIR/NAME.log, its job files in $E2E_DIR/NAME-jobs. It ends with the prefix's server
# (or after five idle minutes).
start_sink() {
    local name=$1 mode=${2:-save}
    local log=$E2E_DIR/$name.log
    wine_start_printsink "$VEXA_E2E_BIN/printsink.exe" "$log" --mode "$mode" --idle-exit 300 \
        --out "$(winpath "$E2E_DIR/$name-jobs")" || fail "printsink $name did not start"
    SINK_PORT=$PRINTSINK_PORT
    cp "$log" "$E2E_LOGS/sink-$name-started.log"
}

# make_document NAME BYTES: a file of random bytes in the scenario's folder; its path is left in
# $DOCUMENT and its SHA-256 in $DOCUMENT_SHA.
make_document() {
    DOCUMENT=$E2E_DIR/$1
    head -c "$2" /dev/urandom >"$DOCUMENT"
    DOCUMENT_SHA=$(sha256sum "$DOCUMENT" | cut -d' ' -f1)
}

# expect_job SINK BYTES SHA: the sink saved a job of that size and digest (waits up to 30 s; the
# sink may still be reading the end of the connection when the print command returns).
expect_job() {
    local log=$E2E_DIR/$1.log waited=0
    until grep -Eq "^job [0-9]+: $2 bytes, sha256 $3, saved" "$log"; do
        [ "$waited" -lt 300 ] || fail "sink $1 has no job of $2 bytes with sha256 $3: $(cat "$log")"
        sleep 0.1
        waited=$((waited + 1))
    done
}

# The number of jobs a sink has saved so far.
sink_jobs() {
    grep -c '^job [0-9]*: .*saved' "$E2E_DIR/$1.log" || true
}

# Every port the spooler lists, as NAME|MONITOR|DESCRIPTION lines, in the last log.
list_spooler_ports() {
    expect_ok e2e_spooler "${1:-spooler-ports}" ports
}
