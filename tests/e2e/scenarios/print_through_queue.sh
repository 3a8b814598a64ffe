#!/usr/bin/env bash
# Documents of 1 byte, 1 MiB and 16 MiB printed through a Wine printer queue (RAW, winprint):
# the spooler spools each one and hands it to the monitor inside EndDocPrinter; the sink
# receives it whole, with the file's SHA-256.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin print_through_queue

install_monitor
start_sink printer
expect_ok portmonctl add add E2E_PORT "127.0.0.1:$SINK_PORT"
expect_ok e2e_spooler add-queue add-queue "E2E Queue" E2E_PORT

for size in 1 1048576 16777216; do
    make_document "document-$size.bin" "$size"
    expect_ok portmonctl "print-$size" print "$(winpath "$DOCUMENT")" --printer "E2E Queue"
    expect_log "^printed $size bytes"
    expect_job printer "$size" "$DOCUMENT_SHA"
done
[ "$(sink_jobs printer)" -eq 3 ] || fail "the sink saved $(sink_jobs printer) jobs, not 3"
