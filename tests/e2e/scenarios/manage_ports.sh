#!/usr/bin/env bash
# An administrator's round through portmonctl: install, add a port for a printer on loopback,
# find it in the spooler's port list and in "ports"/"show", test a printer, change the retry
# time-out, restart the Wine server (the port comes back from the registry), uninstall.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin manage_ports

install_monitor
start_sink printer

expect_ok portmonctl add add E2E_PORT "127.0.0.1:$SINK_PORT"
expect_log "^added E2E_PORT -> 127\.0\.0\.1:$SINK_PORT$"

list_spooler_ports
expect_log '^E2E_PORT\|VEXA Port Monitor\|VEXA Port Monitor$'
expect_ok portmonctl ports ports
expect_log "^E2E_PORT 127\.0\.0\.1:$SINK_PORT$"
expect_ok portmonctl show show E2E_PORT
expect_log "^E2E_PORT 127\.0\.0\.1:$SINK_PORT$"

# A second port of the same name, in any letter case, is refused by the spooler-wide name check
# (183), with or without the connection test; the stored port stays as it was.
expect_fails portmonctl add-again add E2E_PORT "127.0.0.1:$SINK_PORT"
expect_log 'error 183'
expect_fails portmonctl add-again-unchecked add e2e_port 127.0.0.2:9101 --no-check
expect_log 'error 183'
expect_not_log '^added'
expect_ok portmonctl show-after-add-again show E2E_PORT
expect_log "^E2E_PORT 127\.0\.0\.1:$SINK_PORT$"
expect_ok wine_run registry-after-add-again reg query \
    'HKLM\System\CurrentControlSet\Control\Print\Monitors\VEXA Port Monitor\Ports\E2E_PORT'
expect_log 'IPAddress.*127\.0\.0\.1$'
expect_log "PortNumber.*0x$(printf '%x' "$SINK_PORT")$"
# The default TCP port is 9100; nothing else changes the first port.
expect_ok portmonctl add-default add E2E_DEFAULT 127.0.0.1 --no-check
expect_ok portmonctl show-default show E2E_DEFAULT
expect_log '^E2E_DEFAULT 127\.0\.0\.1:9100$'

expect_ok portmonctl test test "127.0.0.1:$SINK_PORT"
expect_log 'accepts connections'

# Without a stored value the default of 45 seconds stands. The value lives in a key that every
# Windows has and a fresh Wine prefix lacks.
expect_ok portmonctl timeout-default timeout
expect_log '^transmission retry time-out: 45 seconds$'
expect_ok wine_run settings-key reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows' /f
expect_ok portmonctl timeout-set timeout 30
expect_log '^transmission retry time-out: 30 seconds$'
expect_ok portmonctl timeout-read timeout
expect_log '^transmission retry time-out: 30 seconds$'

# Wrong arguments never reach the spooler.
expect_fails portmonctl bad-address add E2E_BAD 127.0.0.256
expect_fails portmonctl bad-port add E2E_BAD 127.0.0.1:65536
expect_ok portmonctl help-add add --help
expect_log '^usage: portmonctl add NAME ADDRESS'

e2e_stop_server
e2e_start_server

expect_ok portmonctl ports-after-restart ports
expect_log "^E2E_PORT 127\.0\.0\.1:$SINK_PORT$"
expect_log '^E2E_DEFAULT 127\.0\.0\.1:9100$'

expect_ok portmonctl uninstall uninstall
list_spooler_ports spooler-ports-after-uninstall
expect_not_log 'VEXA Port Monitor'
