#!/usr/bin/env bash
# Printers that refuse, drop or stall the connection: every such print fails visibly (non-zero
# exit, the failing call named) and is never reported as printed, straight to the port and
# through a queue.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin failing_printers

install_monitor
start_sink refusing refuse
refusing_port=$SINK_PORT

# The test connection of "add" and "test" sees the refusal.
expect_fails portmonctl add-checked add E2E_PORT "127.0.0.1:$refusing_port"
expect_log 'PortIsValid'
expect_fails portmonctl test test "127.0.0.1:$refusing_port"
list_spooler_ports
expect_not_log '^E2E_PORT\|'

expect_ok portmonctl add add E2E_PORT "127.0.0.1:$refusing_port" --no-check
expect_ok e2e_spooler add-queue add-queue "E2E Queue" E2E_PORT
make_document small.bin 1
expect_fails portmonctl print-refused-port print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_not_log '^printed'
expect_fails portmonctl print-refused-queue print "$(winpath "$DOCUMENT")" --printer "E2E Queue"
expect_not_log '^printed'

# A printer that drops each connection at once: a large document cannot be sent.
start_sink dropping close-at-once
expect_ok portmonctl set-dropping set E2E_PORT "127.0.0.1:$SINK_PORT"
make_document large.bin 16777216
expect_fails portmonctl print-dropped-port print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_not_log '^printed'
expect_fails portmonctl print-dropped-queue print "$(winpath "$DOCUMENT")" --printer "E2E Queue"
expect_not_log '^printed'

# A printer that accepts and never reads: once the connection's buffers are full the monitor
# gives up on the document.
start_sink stalling stop-reading
expect_ok portmonctl set-stalling set E2E_PORT "127.0.0.1:$SINK_PORT"
expect_fails portmonctl print-stalled-port print "$(winpath "$DOCUMENT")" --port E2E_PORT
expect_not_log '^printed'
expect_fails portmonctl print-stalled-queue print "$(winpath "$DOCUMENT")" --printer "E2E Queue"
expect_not_log '^printed'
