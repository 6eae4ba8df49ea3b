#!/usr/bin/env bash
# install-packages.sh PACKAGE...: installs with apt-get, as root or through sudo, those of the
# Debian packages named that are not installed yet, without their recommendations. A package
# that ships a systemd unit enables it when installed; the units of the packages installed here
# are disabled and stopped again, so that nothing installed for the centre runs as a service.
set -euo pipefail

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2

command -v systemctl >/dev/null || exit 0
for p in "${missing[@]}"; do
    dpkg-query -L "$p" |
        sed -nE 's#^/(usr/)?lib/systemd/system/([^/@]*\.(service|socket|timer))$#\2#p' |
        while read -r unit; do
            echo "Disabling $unit (from $p): nothing installed here runs as a service" >&2
            "${as_root[@]}" systemctl disable --quiet "$unit" 2>/dev/null || true
            "${as_root[@]}" systemctl stop "$unit" 2>/dev/null || true
        done
done
