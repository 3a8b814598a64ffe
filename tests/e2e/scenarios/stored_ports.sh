#!/usr/bin/env bash
# Ports that only the registry holds: Wine's spooler starts a new monitor instance for every
# EnumPortsW and answers every registry callback with ERROR_CALL_NOT_IMPLEMENTED, so the monitor
# must read its ports through its own handle to the root key. A port written there directly is
# listed, a port in the older binary form is migrated into the current layout, and both are
# still listed after the Wine server (Wine's spooler state with it) has been restarted.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin stored_ports

root='HKLM\System\CurrentControlSet\Control\Print\Monitors\VEXA Port Monitor'

install_monitor

expect_ok wine_run reg-add-address reg add "$root\\Ports\\E2E_STORED" /v IPAddress /t REG_SZ /d 127.0.0.1 /f
expect_ok wine_run reg-add-number reg add "$root\\Ports\\E2E_STORED" /v PortNumber /t REG_DWORD /d 9100 /f

# The older form: a key below the root with one binary "Data" value: the TCP port at byte 20,
# at byte 56 the offset (64) of the address text, UTF-16 with its terminator.
legacy_record() {
    local port=$1 address=$2 hex=""
    hex+=$(printf '%040d' 0)                                            # bytes 0-19
    hex+=$(printf '%02x%02x%02x%02x' $((port & 255)) $((port >> 8 & 255)) 0 0)   # 20-23
    hex+=$(printf '%064d' 0)                                            # 24-55
    hex+=4000000000000000                                               # 56-63: 64
    local i
    for ((i = 0; i < ${#address}; i++)); do
        hex+=$(printf '%02x00' "'${address:i:1}")
    done
    printf '%s0000' "$hex"
}
expect_ok wine_run reg-add-legacy reg add "$root\\E2E_LEGACY" /v Data /t REG_BINARY /d "$(legacy_record 9101 127.0.0.2)" /f

list_spooler_ports
expect_log '^E2E_STORED\|VEXA Port Monitor\|VEXA Port Monitor$'
expect_log '^E2E_LEGACY\|VEXA Port Monitor\|VEXA Port Monitor$'

# The migration moved the legacy record below "Ports" and removed the old key.
expect_ok wine_run reg-query-migrated reg query "$root\\Ports\\E2E_LEGACY"
expect_log 'IPAddress.*127\.0\.0\.2'
expect_log 'PortNumber.*0x238d'
expect_fails wine_run reg-query-legacy-gone reg query "$root\\E2E_LEGACY"

e2e_stop_server
e2e_start_server

list_spooler_ports spooler-ports-after-restart
expect_log '^E2E_STORED\|VEXA Port Monitor\|VEXA Port Monitor$'
expect_log '^E2E_LEGACY\|VEXA Port Monitor\|VEXA Port Monitor$'
