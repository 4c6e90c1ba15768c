#!/bin/bash
# Installs the program into a scratch folder and builds its Debian package, and
# checks what a desktop and a package manager rely on: the menu entry and the
# software-centre description pass their validators, the icons are there, only
# the program's own files are installed, the package declares its dependencies,
# installs with apt, and the installed program keeps its settings in the user's
# configuration folder.
#
# Usage: packaging/check_install.sh [BUILD_DIR]
# With BUILD_DIR (already built, e.g. the test build) that build is installed
# and packaged; without it a Release build without tests is made first.
# Installing the package with apt needs root; elsewhere that step is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

APP_ID=de.ornavex.Ornavex
ICON_SIZES="16 32 48 64 128 256"

work=$(mktemp -d)
app_pid=""
installed_by_us=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    if [ -n "$installed_by_us" ]; then
        # shellcheck disable=SC2086 # a list of package names
        apt-get remove -y -qq $installed_by_us >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "check_install: $*" >&2
    exit 1
}
step() {
    echo "== $*"
}

build=${1:-}
if [ -z "$build" ]; then
    build="$work/build"
    step "Release build without tests"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORNAVEX_TESTS=OFF \
        -DORNAVEX_BENCH=OFF >/dev/null
    cmake --build "$build"
fi
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"
build=$(cd "$build" && pwd)

# The expected files of an installation under the prefix /usr.
expected_files() {
    echo "usr/bin/ornavex"
    echo "usr/share/applications/$APP_ID.desktop"
    echo "usr/share/metainfo/$APP_ID.metainfo.xml"
    echo "usr/share/icons/hicolor/scalable/apps/$APP_ID.svg"
    for size in $ICON_SIZES; do
        echo "usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
    done
}

# Width and height of a PNG, from its header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

step "install into a scratch folder"
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
if [ "$actual" != "$(expected_files | sort)" ]; then
    diff <(expected_files | sort) <(echo "$actual") >&2 || true
    fail "the installation holds other files than expected (< missing, > extra)"
fi
[ -x "$root/usr/bin/ornavex" ] || fail "the program is not executable"

step "validate the desktop entry and the metainfo"
desktop-file-validate "$root/usr/share/applications/$APP_ID.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$APP_ID.metainfo.xml"
grep -qx "Icon=$APP_ID" "$root/usr/share/applications/$APP_ID.desktop" ||
    fail "the desktop entry names another icon"

step "check the icons"
for size in $ICON_SIZES; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
    [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png"), not ${size}x${size}"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/$APP_ID.svg" ||
    fail "the scalable icon is no SVG"

# Starts the program as a user who cannot write beside it, and waits until it
# has written its settings: the document folder that start-up takes from the
# last file replaces the stale one, in the user's configuration folder.
check_settings_in_config_folder() {
    local program=$1
    local home="$work/home"
    rm -rf "$home"
    mkdir -p "$home/.config" "$home/run" "$home/scans" "$home/sane"
    # A two-pixel JPEG as the last stored page.
    printf 'P6\n2 1\n255\n\377\0\0\0\0\377' | cjpeg -quality 90 >"$home/scans/seite.jpg"
    printf '[Default]\nOrdner=/nirgends/\nLastFile=%s\n' "$home/scans/seite.jpg" \
        >"$home/.config/ornavex.ini"
    chown -R nobody:nogroup "$home"
    chmod 700 "$home/run"

    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -i HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/.config" \
        QT_QPA_PLATFORM=offscreen SANE_CONFIG_DIR="$home/sane" PATH=/usr/bin:/bin \
        "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
    local written=""
    for _ in $(seq 1 150); do
        if grep -qx "Ordner=$home/scans/" "$home/.config/ornavex.ini"; then
            written=yes
            break
        fi
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.2
    done
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    if [ -z "$written" ]; then
        cat "$work/program.log" >&2
        fail "$program did not keep its settings in the configuration folder"
    fi
    [ ! -e "$(dirname "$program")/ornavex.ini" ] || fail "$program wrote settings beside itself"
}

if [ "$(id -u)" -eq 0 ]; then
    step "run the installed program as a user without write access to it"
    chmod 755 "$work"
    check_settings_in_config_folder "$root/usr/bin/ornavex"
fi

step "build the Debian package"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/ornavex_*.deb)
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libsane1 qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libturbojpeg0; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "the package does not depend on $needed"
done
recommends=$(dpkg-deb --field "$deb" Recommends)
grep -Eq "(^|, )qt6-wayland( |,|$)" <<<"$recommends" || fail "the package does not recommend qt6-wayland"
packaged=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
[ "$packaged" = "$(expected_files | sort)" ] || fail "the package holds other files than expected"

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    step "installing the package needs root and apt-get: skipped"
    exit 0
fi
if dpkg-query -W -f='${Status}' ornavex 2>/dev/null | grep -q "ok installed"; then
    step "ornavex is already installed on this machine: installing the package skipped"
    exit 0
fi
step "install the package with apt"
# Whatever apt brings in for it is removed again afterwards.
installed_by_us=$(apt-get install -s -y "$deb" | awk '/^Inst /{print $2}' | tr '\n' ' ')
[ -n "$installed_by_us" ] || fail "apt-get would not install the package"
apt-get install -y -qq "$deb" >/dev/null
[ -x /usr/bin/ornavex ] || fail "the package installed no /usr/bin/ornavex"
check_settings_in_config_folder /usr/bin/ornavex
step "remove the package again"
# shellcheck disable=SC2086 # a list of package names
apt-get remove -y -qq $installed_by_us >/dev/null
installed_by_us=""
step "installation and package are fine"
