#!/usr/bin/env bash
# Installs what is missing, builds the monitor and its tests, and runs every test under Wine.
# When the run ends (on ^C or SIGTERM too), the Wine servers of its prefixes are stopped: the unit
# tests' build/wineprefix and every end-to-end prefix.
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
vexa_install_missing
vexa_build
source "$VEXA_ROOT/scripts/wine_lib.sh"

stop_servers() {
    local status=$?
    local e2e_work=$VEXA_BUILD/tests/e2e/work
    wine_stop_servers "$VEXA_BUILD/wineprefix" "$e2e_work/template" "$e2e_work"/*/prefix
    exit "$status"
}
trap stop_servers EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

cd "$VEXA_BUILD"
ctest --output-on-failure -j2
