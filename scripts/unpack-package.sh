#!/usr/bin/env bash
# unpack-package.sh [--libraries] PACKAGE FILE: unpacks Debian's PACKAGE into build/tools/PACKAGE,
# unless its FILE (a path inside the package) is there already. For a program the tests run
# whose package, installed, would enable and start a system service: unpacked, nothing of it
# runs but the program. With --libraries, the shared libraries the package depends on (which
# start nothing) are installed with apt-get first.
set -euo pipefail
cd "$(dirname "$0")/.."

libraries=
if [ "${1:-}" = --libraries ]; then
    libraries=yes
    shift
fi
[ $# -eq 2 ] || { echo "usage: $0 [--libraries] PACKAGE FILE" >&2; exit 2; }
package=$1
root=build/tools/$package
[ ! -e "$root/$2" ] || exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Unpacking Debian's $package package into $root" >&2
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
(cd "$download" && apt-get download -qq "$package" 2>/dev/null) || {
    "${as_root[@]}" apt-get update -qq
    (cd "$download" && apt-get download -qq "$package")
}
deb=("$download/${package}"_*.deb)
if [ -n "$libraries" ]; then
    # "libfoo1 (>= 1.2), libbar2 | libbaz2": the first of each choice that is a library.
    mapfile -t needed < <(dpkg-deb -f "${deb[0]}" Depends | tr ',' '\n' |
        sed 's/|.*//; s/(.*//; s/[[:space:]]//g' | grep '^lib')
    scripts/install-packages.sh "${needed[@]}"
fi
mkdir -p "$root"
dpkg-deb -x "${deb[0]}" "$root"
[ -e "$root/$2" ] || { echo "$package has no $2" >&2; exit 1; }
