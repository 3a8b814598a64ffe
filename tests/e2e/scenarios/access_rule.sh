#!/usr/bin/env bash
# Through an Xcv handle opened without SERVER_ACCESS_ADMINISTER, every command that changes a
# port or a setting is refused with 5 and changes nothing; reading commands still answer.
source "$(dirname "$0")/../e2e_lib.sh"
e2e_begin access_rule

install_monitor
expect_ok portmonctl add add E2E_PORT 127.0.0.1:9100 --no-check
# The time-out lives in a key that every Windows has and a fresh Wine prefix lacks: with the key
# an administrator's "ConfigureLPTPortCommandOK" would succeed, so an unchanged time-out shows
# the refusal.
expect_ok wine_run settings-key reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows' /f
expect_ok portmonctl timeout-before timeout
expect_log '^transmission retry time-out: ([0-9]+) seconds$'
timeout_before=$(sed -n 's/^transmission retry time-out: \([0-9]*\) seconds$/\1/p' "$E2E_LAST_LOG")

expect_ok e2e_spooler unprivileged xcv-unprivileged E2E_PORT
for command in PortData AddPort ModifyPort DeletePort ConfigureLPTPortCommandOK SetDefaultCommConfig; do
    expect_log "^$command 5$"
done
for command in GetDefaultPortConfig GetTransmissionRetryTimeout MonitorUI; do
    expect_log "^$command 0$"
done

expect_ok portmonctl ports ports
expect_log '^E2E_PORT 127\.0\.0\.1:9100$'
[ "$(grep -c '^E2E_PORT ' "$E2E_LAST_LOG")" -eq 1 ] || fail "E2E_PORT is listed more than once"
expect_ok portmonctl timeout-after timeout
expect_log "^transmission retry time-out: $timeout_before seconds$"
