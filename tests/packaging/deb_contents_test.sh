#!/usr/bin/env bash
# Builds the Debian package from this build folder, unpacks it, and checks the
# files it installs and the fields Debian reads.
# Usage: deb_contents_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"

failures=0
check() {  # description, then a command that must succeed
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}
field() { dpkg-deb -f "$deb" "$1"; }
root=$work/root

for program in vxconfig vxconfig-demo vxsim vxctl; do
  check "usr/bin/$program is an executable" test -x "$root/usr/bin/$program"
done
check "the desktop entry names our own icon" grep -qx 'Icon=vxconfig' "$root/usr/share/applications/vxconfig.desktop"
# Clean means without a hint or an info either, not merely without errors.
check "the desktop entry passes desktop-file-validate without a remark" \
  bash -c '[ -z "$(desktop-file-validate "$1" 2>&1)" ]' - "$root/usr/share/applications/vxconfig.desktop"
check "the AppStream data validates without a remark" \
  appstreamcli validate --no-net --strict "$root/usr/share/metainfo/io.github.vxconfig.vxconfig.metainfo.xml"
check "the AppStream data and the desktop entry agree" appstreamcli validate-tree --no-net --strict "$root"
check "the icon is there under hicolor" test -s "$root/usr/share/icons/hicolor/scalable/apps/vxconfig.svg"
check "the copyright file carries the font's licence" grep -q 'SIL Open Font License' "$root/usr/share/doc/vxconfig/copyright"
check "the changelog is compressed" gzip -t "$root/usr/share/doc/vxconfig/changelog.gz"
check "vxctl's manual page is compressed" gzip -t "$root/usr/share/man/man1/vxctl.1.gz"
check "vxctl completes in bash" test -s "$root/usr/share/bash-completion/completions/vxctl"
check "nothing is shipped under var (postinst makes the folder)" test ! -e "$root/var"
check "package name" test "$(field Package)" = vxconfig
check "section" test "$(field Section)" = electronics
check "depends on a CJK font" grep -q 'fonts-wqy-microhei | fonts-noto-cjk' <<<"$(field Depends)"
check "depends on the sound server's client library" grep -q 'libpulse0' <<<"$(field Depends)"
check "depends on Qt's widgets library" grep -q 'libqt6widgets6' <<<"$(field Depends)"
check "postinst gives dialout the settings folder" grep -q 'install -d -m 2775 -g dialout /var/lib/vxconfig' "$work/control/postinst"
check "postinst is executable" test -x "$work/control/postinst"

[ "$failures" -eq 0 ]
