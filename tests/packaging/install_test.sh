#!/usr/bin/env bash
# Installs the build under a scratch prefix as `cmake --install --strip` does and checks the
# freedesktop layout: the stripped program, the desktop entry and the AppStream metadata (both
# through their standard validators, whose output this prints), the icon in every hicolor size
# at its real size, the licences, and nothing else.
#   install_test.sh BUILD_DIR APP_ID PROGRAM
set -euo pipefail
build=$1 app=$2 program=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" --strip >/dev/null

bin=$prefix/bin/$program
[ -x "$bin" ] || fail "no program $bin"
readelf -S "$bin" | grep -q '\.debug_info' && fail "$bin still has its debugging sections"

entry=$prefix/share/applications/$app.desktop
echo "desktop-file-validate $entry"
desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
[ "$(sed -n 's/^Exec=//p' "$entry")" = "$program" ] || fail "Exec= does not start $program"
[ "$(sed -n 's/^Icon=//p' "$entry")" = "$app" ] || fail "Icon= is not $app"

metainfo=$prefix/share/metainfo/$app.metainfo.xml
echo "appstreamcli validate --no-net $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $metainfo"
grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not launch $app.desktop"

png_size() { # file: "WIDTHxHEIGHT" from the PNG header
  local bytes
  read -ra bytes < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((bytes[0] << 24) + (bytes[1] << 16) + (bytes[2] << 8) + bytes[3]))x$(((bytes[4] << 24) +
    (bytes[5] << 16) + (bytes[6] << 8) + bytes[7]))"
}
expected=(bin/$program share/applications/$app.desktop share/metainfo/$app.metainfo.xml
  share/icons/hicolor/scalable/apps/$app.svg
  share/doc/$program/copyright share/doc/$program/THIRD-PARTY-LICENSES.md)
for size in 16 32 48 64 128 256; do
  icon=share/icons/hicolor/${size}x$size/apps/$app.png
  expected+=("$icon")
  [ -f "$prefix/$icon" ] || { fail "no icon $icon"; continue; }
  actual=$(png_size "$prefix/$icon")
  [ "$actual" = "${size}x$size" ] || fail "$icon is $actual"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$app.svg" || fail "the scalable icon is no SVG"
grep -q '^License: Expat' "$prefix/share/doc/$program/copyright" || fail "copyright names no licence"

installed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$installed" != "$wanted" ]; then
  fail "installed files differ from the expected ones:"
  diff <(echo "$wanted") <(echo "$installed") >&2 || true
fi
((failures == 0)) || exit 1
echo "installed $(echo "$installed" | wc -l) files as expected"
