#!/usr/bin/env bash
# "set" moves a port to another printer: the next document goes there and nothing more to the
# first. "delete" removes the port from the spooler, the registry and the monitor.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin move_and_delete

install_monitor
start_sink first
first_port=$SINK_PORT
start_sink second
second_port=$SINK_PORT

expect_ok portmonctl add add E2E_PORT "127.0.0.1:$first_port"
make_document first.bin 4096
expect_ok portmonctl print-first print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_job first 4096 "$DOCUMENT_SHA"

expect_ok portmonctl set set E2E_PORT "127.000.000.001:$second_port"
expect_log "^changed E2E_PORT -> 127\.000\.000\.001:$second_port$"
expect_ok portmonctl show show E2E_PORT
expect_log "^E2E_PORT 127\.000\.000\.001:$second_port$"
list_spooler_ports
expect_log '^E2E_PORT\|VEXA Port Monitor\|'

make_document second.bin 8192
expect_ok portmonctl print-second print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_job second 8192 "$DOCUMENT_SHA"
[ "$(sink_jobs first)" -eq 1 ] || fail "the first sink got $(sink_jobs first) jobs, not 1"

expect_ok portmonctl delete delete E2E_PORT
expect_log '^deleted E2E_PORT$'
list_spooler_ports spooler-ports-after-delete
expect_not_log '^E2E_PORT\|'
expect_ok wine_run registry-after-delete reg query \
    'HKLM\System\CurrentControlSet\Control\Print\Monitors\VEXA Port Monitor\Ports'
expect_not_log 'E2E_PORT'
expect_fails portmonctl show-deleted show E2E_PORT
expect_fails portmonctl delete-again delete E2E_PORT
expect_log 'error 2\)'
expect_fails portmonctl print-deleted print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_not_log '^printed'
