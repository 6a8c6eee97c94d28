# Shared by the Windows scripts (sourced after common.sh): where the
# cross-built Qt is cached, and Wine.

VX_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/vxconfig
# The installed Qt holds its own path in many files, so it is built straight
# into this place and never moved. The name changes with the way Qt is
# configured (here: with its own FreeType), so that a cache from an older
# configuration is not taken for this one.
VX_QT=$VX_CACHE/qt-6.4.2-mingw64-freetype
# Debian puts the 64-bit loader outside PATH.
VX_WINE=/usr/lib/wine/wine64
VX_WINESERVER=/usr/lib/wine/wineserver64
# The MinGW runtime DLLs, for programs that are not packed with them.
VX_MINGW_RUNTIME='Z:\usr\lib\gcc\x86_64-w64-mingw32\12-posix;Z:\usr\x86_64-w64-mingw32\lib'

# A fresh, headless Wine prefix at $1: no display, no prompts to install
# Mono or Gecko, no debug chatter, and no menu entries on the host for the
# shortcuts that installers make.
vx_wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  env -u DISPLAY "$VX_WINE" wineboot --init >/dev/null 2>&1 || vx_die "wineboot failed in $WINEPREFIX"
}

# Maps COM<n> to a Unix device path; Wine's mount manager reads the table
# when the Wine server starts, so the server is stopped here.
vx_wine_map_port() {
  "$VX_WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$1" /d "$2" /f >/dev/null 2>&1 \
    || vx_die "could not map COM$1 in Wine"
}
vx_wine_restart() {
  "$VX_WINESERVER" -k 2>/dev/null || true
  "$VX_WINESERVER" -w 2>/dev/null || true
}
