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
check() {  # description, then a command that must succeed; its output tells why not
  local what=$1 said
  shift
  if said=$("$@" 2>&1); then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    [ -z "$said" ] || sed 's/^/  /' <<<"$said"
    failures=$((failures + 1))
  fi
}
field() { dpkg-deb -f "$deb" "$1"; }
root=$work/root

# The packages Depends names, alternatives included, without versions.
depended() { tr ',|' '\n\n' <<<"$(field Depends)" | sed 's/(.*)//; s/[[:space:]]//g' | grep .; }

# Every library a program loads, linked or opened by name when first needed,
# comes with a package that the package depends on.
libraries_come_with_dependencies() {
  local multiarch soname owner missing=0 packages
  multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  packages=$(depended)
  for soname in $(strings -n 6 "$root"/usr/bin/* | grep -xE 'lib[[:alnum:]_+.-]+\.so\.[0-9]+' | sort -u); do
    owner=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | head -n 1 | cut -d: -f1)
    if [ -z "$owner" ] || ! grep -qx "$owner" <<<"$packages"; then
      echo "$soname comes with ${owner:-no package}, not a dependency"
      missing=1
    fi
  done
  return $missing
}

# The Chinese texts need a font from the system: one that a dependency
# installs here covers both Chinese scripts.
dependencies_bring_a_chinese_font() {
  local package fonts=()
  for package in $(depended); do
    mapfile -t -O ${#fonts[@]} fonts < <(dpkg-query -L "$package" 2>/dev/null | grep -E '\.(ttf|ttc|otf)$')
  done
  [ ${#fonts[@]} -gt 0 ] || { echo "no dependency installed here brings a font"; return 1; }
  # fontconfig lists the languages in order: simplified, then traditional.
  grep -qE 'zh-cn.*zh-tw' <<<"$(fc-query -f '%{lang}\n' "${fonts[@]}")"
}

# postinst as dpkg runs it into another root, on a fresh install and on an
# upgrade that finds a store file: both end up writable by dialout.
postinst_gives_dialout_the_store() {
  local target=$work/target store=$work/target/var/lib/vxconfig
  mkdir -p "$target/var/lib"
  DPKG_ROOT=$target "$work/control/postinst" configure || return 1
  install -m 600 /dev/null "$store/VXConfig.reg"
  DPKG_ROOT=$target "$work/control/postinst" configure || return 1
  stat -c '%n %A %G' "$store" "$store/VXConfig.reg"
  [ "$(stat -c '%a %G' "$store")" = "2775 dialout" ] &&
    [ "$(stat -c '%a %G' "$store/VXConfig.reg")" = "664 dialout" ]
}

# What the installed completion offers after "vxctl scan OPTION ".
completions() {
  bash -c 'source "$1"; COMP_WORDS=(vxctl scan "$2" ""); COMP_CWORD=3; _vxctl
    printf "%s\n" "${COMPREPLY[@]}"' - "$root/usr/share/bash-completion/completions/vxctl" "$1"
}

# Every word offered after OPTION is one the installed vxctl takes there.
completes_with_words_vxctl_takes() {
  local words word
  words=$(completions "$1")
  [ -n "$words" ] || { echo "nothing offered after $1"; return 1; }
  for word in $words; do
    "$root/usr/bin/vxctl" scan "$1" "$word" --help >/dev/null || return 1
  done
}

# And after --lock, all the line settings its help names.
completes_every_line_setting() {
  local pattern='[0-9]+,[a-z],[0-9],[0-9]+(\.[0-9]+)?'
  diff <(completions --lock | sort) \
    <("$root/usr/bin/vxctl" scan --help | grep -oE "$pattern" | sort -u)
}

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
check "vxctl's completion offers only ports vxctl takes" completes_with_words_vxctl_takes --port
check "vxctl's completion offers only line settings vxctl takes" completes_with_words_vxctl_takes --lock
check "vxctl's completion offers every line setting" completes_every_line_setting
check "nothing is shipped under var (postinst makes the folder)" test ! -e "$root/var"
check "apt would install it as vxconfig, its dependencies met" \
  bash -c 'apt-get install --simulate "$1" | grep "^Inst vxconfig "' - "$deb"
check "every library the programs load comes with a dependency" libraries_come_with_dependencies
check "a dependency brings a font for both Chinese scripts" dependencies_bring_a_chinese_font
check "postinst gives dialout the settings folder and store" postinst_gives_dialout_the_store

[ "$failures" -eq 0 ]
