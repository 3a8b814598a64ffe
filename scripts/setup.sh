# Sourced by the scripts: installs what the build and the tests need when it is missing, then
# configures and builds into build/, tests included (the demo uses their helper e2e_spooler).
set -euo pipefail

VEXA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VEXA_BUILD=${VEXA_BUILD:-$VEXA_ROOT/build}
VEXA_PACKAGES="g++-mingw-w64-x86-64-posix wine64 cmake ninja-build googletest"

vexa_install_missing() {
    local missing=""
    for package in $VEXA_PACKAGES; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    # env, so that the setting reaches apt-get through sudo as well.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

vexa_build() {
    cmake -S "$VEXA_ROOT" -B "$VEXA_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$VEXA_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_BUILD_TESTS=ON >/dev/null
    cmake --build "$VEXA_BUILD"
}
