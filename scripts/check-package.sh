#!/usr/bin/env bash
# Checks what an installation gives an operator: every file in the install tree (in a temporary
# prefix); the desktop entry, metainfo, manual page and service unit valid; the Debian package's
# fields and contents, and its programs, unpacked, run (the headless centre answers
# tarnwick-device and logs the record).
# The install check then installs the package with apt-get, verifies its unit, runs its programs
# from /usr and removes it again. It runs only where the machine is meant for it: in CI (CI=true)
# or when asked (TARNWICK_CHECK_INSTALL=1). It never removes or replaces what it did not install:
# where a tarnwick package, or a file the package would bring, is already there it refuses.
# It needs root or sudo.
# BUILD_DIR: the build folder to package (default build/release, as scripts/test.sh leaves it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}

fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}
step() { echo "-- $*"; }

check_install=
if [ "${CI:-}" = true ] || [ "${TARNWICK_CHECK_INSTALL:-}" = 1 ]; then
    check_install=yes
fi
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
centre=
installed=
cleanup() {
    [ -z "$centre" ] || kill "$centre" 2>/dev/null || true
    [ -z "$installed" ] || "${as_root[@]}" apt-get remove -y -qq tarnwick >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

[ -f "$build/CMakeCache.txt" ] || fail "$build is not a configured build folder"
cmake --build "$build" >"$work/build.log" 2>&1 ||
    fail "cmake --build: $(tail -40 "$work/build.log")"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

files=(
    bin/tarnwick
    bin/tarnwick-device
    share/applications/tarnwick.desktop
    share/metainfo/tarnwick.metainfo.xml
    share/icons/hicolor/scalable/apps/tarnwick.svg
    share/icons/hicolor/48x48/apps/tarnwick.png
    share/icons/hicolor/256x256/apps/tarnwick.png
    share/man/man1/tarnwick.1.gz
    lib/systemd/system/tarnwick@.service
)

check_install_tree() {  # prefix
    local prefix=$1 f size
    for f in "${files[@]}"; do
        [ -f "$prefix/$f" ] || fail "cmake --install did not install $f"
    done
    for size in 48 256; do
        [[ $(file -b "$prefix/share/icons/hicolor/${size}x${size}/apps/tarnwick.png") == \
            "PNG image data, $size x $size,"* ]] || fail "the ${size}x${size} icon is no such PNG"
    done
    [ "$("$prefix/bin/tarnwick" --version)" = "tarnwick $version" ] ||
        fail "the installed tarnwick --version does not print tarnwick $version"
    grep -q "^ExecStart=$prefix/bin/tarnwick --headless " \
        "$prefix/lib/systemd/system/tarnwick@.service" ||
        fail "the unit does not start $prefix/bin/tarnwick"
}

check_desktop_entry() {  # prefix
    local out
    out=$(desktop-file-validate "$1/share/applications/tarnwick.desktop" 2>&1) ||
        fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
}

check_metainfo() {  # prefix
    # The id is the desktop file's name, tarnwick; a reverse-DNS id needs a domain of our own.
    local out
    out=$(appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
        "$1/share/metainfo/tarnwick.metainfo.xml" 2>&1) || fail "appstreamcli validate: $out"
}

check_manual_page() {  # prefix
    local page=$1/share/man/man1/tarnwick.1.gz text warnings section
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$work/man-warnings") ||
        fail "man -l $page"
    warnings=$(cat "$work/man-warnings")
    [ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
    for section in "THE WINDOW" OPTIONS "HEADLESS MODE" "LOG FILES" SIGNALS "EXIT STATUS" \
        "THE DEVICE PEER" "tarnwick $version"; do
        grep -q "$section" <<<"$text" || fail "the manual page lacks \"$section\""
    done
}

# Start the headless centre from BINDIR, send it a record from tarnwick-device, stop it.
check_centre() {  # bindir
    local bin=$1 logs port='' status=0 entries
    logs=$(mktemp -d "$work/logs.XXXX")
    "$bin/tarnwick" --headless --port 0 --auto-reply --log-dir "$logs" </dev/null \
        >"$work/centre.out" 2>"$work/centre.err" &
    centre=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^tarnwick: listening on UDP port \([0-9]*\)$/\1/p' "$work/centre.err")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || fail "$bin/tarnwick did not start: $(cat "$work/centre.err")"
    "$bin/tarnwick-device" --port "$port" --record '#ST,123;STA:1,2;#' --expect-replies \
        >"$work/device.out" 2>&1 || fail "tarnwick-device: $(cat "$work/device.out")"
    grep -q "^sent 1, replies 1, missing 0," "$work/device.out" ||
        fail "tarnwick-device: $(cat "$work/device.out")"
    kill -TERM "$centre"
    wait "$centre" || status=$?
    centre=
    [ "$status" -eq 0 ] || fail "the centre exited $status on SIGTERM: $(cat "$work/centre.err")"
    grep -q '^tarnwick: stopped; ' "$work/centre.err" ||
        fail "no stop line: $(cat "$work/centre.err")"
    grep -Eqx '127\.0\.0\.1 \([0-9]+\):#ST,123;STA:1;#' "$work/centre.out" ||
        fail "the record is not on standard output: $(cat "$work/centre.out")"
    entries=("$logs"/Data_logs_*.txt)
    if [ ${#entries[@]} -ne 1 ] || [ ! -f "${entries[0]}" ]; then
        fail "not one log file in $logs"
    fi
    # One entry: the time line, 40 dashes, CR LF; the sender and the cut record, CR LF.
    local entry='\A-->\d{4}-\d\d-\d\d \d\d:\d\d:\d\d-{40}\r\n'
    entry+='127\.0\.0\.1 \(\d+\):#ST,123;STA:1;#\r\n\z'
    grep -Pzq "$entry" "${entries[0]}" || fail "the log entry is wrong: $(cat -A "${entries[0]}")"
}

# ARGS: an instance of the installed unit, or `--man=no FILE` for a unit file outside the
# installed ones (systemd would look for its manual page, not installed yet, under /usr).
check_unit() {  # args...
    if ! command -v systemd-analyze >/dev/null; then
        step "systemd-analyze is not here: the unit is not verified"
        return
    fi
    local out
    out=$(cd "$work" && systemd-analyze verify "$@" 2>&1) || fail "systemd-analyze verify: $out"
    [ -z "$out" ] || fail "systemd-analyze verify: $out"
}

# Refuses, before anything is installed, where the package or any of its files is already here.
check_nothing_installed() {
    local status f
    status=$(dpkg-query -W -f='${db:Status-Status}' tarnwick 2>/dev/null) || true
    if [ -n "$status" ] && [ "$status" != not-installed ]; then
        fail "a tarnwick package is already on this machine ($status); the install check" \
            "installs and removes its own, so it does not run here. Remove that package" \
            "first (sudo apt-get remove tarnwick) or check on another machine."
    fi
    for f in "${files[@]}"; do
        [ ! -e "/usr/$f" ] ||
            fail "/usr/$f is already here (not from a package); the install check would" \
                "replace it and then remove it, so it does not run here."
    done
}

step "install tree"
prefix=$work/tree/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
check_install_tree "$prefix"
step "desktop-file-validate"
check_desktop_entry "$prefix"
step "appstreamcli validate"
check_metainfo "$prefix"
step "manual page"
check_manual_page "$prefix"
step "systemd-analyze verify (the unit in the install tree)"
mkdir "$work/unit"
cp "$prefix/lib/systemd/system/tarnwick@.service" "$work/unit/tarnwick@5000.service"
check_unit --man=no "$work/unit/tarnwick@5000.service"

step "cpack"
cpack -G DEB -B "$work/deb" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$work/deb/tarnwick_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $deb"
expected_fields=$(printf 'Package: tarnwick\nVersion: %s\nSection: net' "$version")
[ "$(dpkg-deb -f "$deb" Package Version Section)" = "$expected_fields" ] ||
    fail "wrong control fields: $(dpkg-deb -f "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6widgets6; do
    [[ $depends == *"$library "* ]] || fail "shlibdeps gave no $library in Depends: $depends"
done
dpkg-deb -c "$deb" >"$work/contents"
for f in "${files[@]}"; do
    grep -q " \./usr/$f$" "$work/contents" || fail "the package lacks /usr/$f"
done
step "the unpacked package's headless centre against its tarnwick-device"
dpkg-deb -x "$deb" "$work/unpacked"
check_centre "$work/unpacked/usr/bin"

if [ -z "$check_install" ]; then
    step "install check skipped: it installs the package with apt-get and removes it again," \
        "and runs only with CI=true or TARNWICK_CHECK_INSTALL=1 (as root or through sudo, on" \
        "a machine without a tarnwick package), e.g. TARNWICK_CHECK_INSTALL=1 scripts/test.sh"
    echo "Packaging checks passed (without the install check)."
    exit 0
fi

step "apt-get install"
check_nothing_installed
chmod a+rx "$work" "$work/deb"  # apt's own user reads the file
installed=yes
"${as_root[@]}" apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
    fail "apt-get install: $(cat "$work/apt.log")"
[ "$(/usr/bin/tarnwick --version)" = "tarnwick $version" ] || fail "/usr/bin/tarnwick --version"
step "systemd-analyze verify (the installed unit)"
check_unit tarnwick@5000.service
step "the installed headless centre against tarnwick-device"
check_centre /usr/bin

step "apt-get remove"
"${as_root[@]}" apt-get remove -y -qq tarnwick >"$work/apt.log" 2>&1 ||
    fail "apt-get remove: $(cat "$work/apt.log")"
installed=
for f in "${files[@]}"; do
    [ ! -e "/usr/$f" ] || fail "/usr/$f is still there after apt-get remove"
done
echo "Packaging checks passed."
