#!/usr/bin/env bash
# Makes the Debian package, unpacks it into a scratch root, validates its desktop entry and
# metainfo, and starts the installed program as its desktop entry says, under a virtual X
# server. Arguments: the build folder, the project's version, the desktop entry's id.
set -euo pipefail
build_dir=$1 version=$2 app_id=$3
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
package=$(echo "$scratch"/package/*.deb)
[ -f "$package" ] || fail "no package made"
depends=$(dpkg-deb -f "$package" Depends)
echo "package $(basename "$package"): $(stat -c %s "$package") bytes"
echo "depends: $depends"
# Computed, not written by hand: the toolkit and the video library come from the program's links.
grep -Eq 'libqt[56]core' <<<"$depends" || fail "the toolkit is not among the dependencies"
grep -q 'libopencv-videoio' <<<"$depends" || fail "the video library is not among the dependencies"

root=$scratch/root
dpkg -x "$package" "$root"
desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop entry"
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" ||
    { cat "$scratch/appstream.log"; fail "metainfo"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "the desktop entry's icon $icon is not installed"

# The desktop entry's command must find the installed program and nothing else.
program=$(PATH=$root/usr/bin command -v "$(sed -n 's/^Exec=//p' "$desktop")") ||
    fail "the desktop entry's command is not installed"
installed_version=$("$program" --version)
[[ $installed_version == "eyeblink-recorder $version "* ]] ||
    fail "the installed program says \"$installed_version\", not version $version"
"$here/smoke_real_window.sh" "$program"
