#!/usr/bin/env bash
# Installs what is missing, builds the monitor and its tests, and runs every test under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
vexa_install_missing
vexa_build
cd "$VEXA_BUILD"
status=0
ctest --output-on-failure -j2 || status=$?
# The run's wineserver stops with it, by its own prefix.
WINEPREFIX="$VEXA_BUILD/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
