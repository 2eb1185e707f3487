#!/bin/sh
# Installs the Debian packages kestro needs that are not installed yet.
# Does nothing (and needs no network) when everything is present.
set -eu

PACKAGES="g++ cmake make ninja-build python3 python3-dev python3-numpy python3-pytest
liblapack-dev libblas-dev libgtest-dev libbenchmark-dev ccache
python3-scipy libeigen3-dev python3-matplotlib"

missing=""
for pkg in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing Debian packages:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing || {
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends $missing
}
