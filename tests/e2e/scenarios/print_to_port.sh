#!/usr/bin/env bash
# Documents of 1 byte, 1 MiB and 16 MiB printed straight to the port ("NAME, Port"): the sink
# receives each one whole, with the file's SHA-256.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin print_to_port

install_monitor
start_sink printer
expect_ok portmonctl add add E2E_PORT "127.0.0.1:$SINK_PORT"

for size in 1 1048576 16777216; do
    make_document "document-$size.bin" "$size"
    expect_ok portmonctl "print-$size" print "$(winpath "$DOCUMENT")" --port E2E_PORT
    expect_log "^printed $size bytes"
    expect_job printer "$size" "$DOCUMENT_SHA"
done
# Large documents show how much has been sent.
expect_log '^sent 16777216 of 16777216 bytes \(100%\)$'
[ "$(sink_jobs printer)" -eq 3 ] || fail "the sink saved $(sink_jobs printer) jobs, not 3"
