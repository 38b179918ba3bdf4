#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need, and the two
# locales the tests also run under (a decimal comma, and a decimal point that is no ASCII).
# The report's PDF takes its font from fontconfig (DejaVu); the tests read it back with
# poppler-utils. bench/record-records.sh reads a records file with sqlite3. The sanitizer build
# links with lld. CI keeps its compilations with ccache.
set -euo pipefail
packages=(
    cmake ninja-build g++ pkg-config lld ccache
    qt6-base-dev libgl-dev
    libusb-1.0-0-dev umockdev libumockdev-dev
    qt6-tools-dev qt6-documentation-tools libqt6sql6-sqlite
    libqt6sql6-psql libpq-dev
    dpkg-dev file fakeroot lintian devscripts
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth
    locales shared-mime-info
    fonts-dejavu-core poppler-utils sqlite3
)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The server the shared database's tests start: where it cannot be installed, those tests skip
# and say why, and everything else is tested as usual.
if ! dpkg-query -W -f='${Status}' postgresql 2>/dev/null | grep -q "install ok installed"; then
    [ ${#missing[@]} -gt 0 ] || $SUDO apt-get update || true
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends postgresql ||
        echo "PostgreSQL could not be installed: the shared database's tests will be skipped" >&2
fi
generate=0
for l in de_DE ar_EG; do
    if ! locale -a 2>/dev/null | grep -qx "$l.utf8"; then
        grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
        generate=1
    fi
done
if [ "$generate" -eq 1 ]; then $SUDO locale-gen; fi
