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

# Debian's Qt source, kept beside the cached Qt; the change made to it before
# it is built ships in the package with the licences.
VX_QT_SRC=$VX_CACHE/src/qt6-base-6.4.2+dfsg
VX_QT_PATCH=$VX_ROOT/packaging/windows/qt6-base-directwrite-needs-direct2d.patch

# The programs built against the cached Qt, and their package. The build
# folder is named after that Qt: one configured against another is not reused.
VX_WINDOWS_OUT=$VX_BUILD/windows
VX_APP_BUILD=$VX_WINDOWS_OUT/build-$(basename "$VX_QT")
VX_PACKAGE=vxconfig-windows-x64
VX_STAGE=$VX_WINDOWS_OUT/$VX_PACKAGE
VX_ZIP=$VX_WINDOWS_OUT/$VX_PACKAGE.zip

# The project's version, as the programs carry it, and its installer.
vx_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$VX_APP_BUILD/CMakeCache.txt"
}
vx_release_msi() {
  echo "$VX_WINDOWS_OUT/vxconfig-$(vx_version)-x64.msi"
}

# The installer of the staged files, as version $1, into $2. wixl reads
# paths relative to where it runs, so it runs in the output folder.
vx_msi() {
  local version=$1 msi=$2 work=$VX_WINDOWS_OUT/msi
  rm -rf "$work" && mkdir -p "$work"
  cp "$VX_APP_BUILD/packaging/windows/vxconfig.ico" "$work/"
  # Every staged file but the window's program, which the installer's own
  # description holds together with its Start menu shortcut.
  (cd "$VX_WINDOWS_OUT" && find "$VX_PACKAGE" -type f ! -path "$VX_PACKAGE/vxconfig.exe" | sort \
    | wixl-heat --prefix "$VX_PACKAGE/" --directory-ref INSTALLDIR --component-group Files \
      --var var.SourceDir | sed 's/<Component /<Component Win64="yes" /') >"$work/files.wxs" \
    || vx_die "could not list the files to install"
  (cd "$VX_WINDOWS_OUT" && wixl --arch x64 --define "Version=$version" --define "SourceDir=$VX_PACKAGE" \
    --define Icon=msi/vxconfig.ico --output "$msi" \
    "$VX_ROOT/packaging/windows/vxconfig.wxs" msi/files.wxs) || vx_die "wixl could not build $msi"
  vx_msi_tables "$msi" "$work"
}

# What wixl 0.101 cannot say, written into the installer's tables: a rebuilt
# package of the installed version replaces it rather than going beside it
# (the upgrade row's highest version counts as older), and the programs'
# folder at the end of the system PATH, taken off again on removal.
vx_msi_tables() {
  local msi=$1 work=$2
  msiinfo export "$msi" Upgrade | awk -F'\t' -v OFS='\t' 'NR > 3 && $3 != "" && $5 < 512 { $5 += 512 } 1' \
    >"$work/Upgrade.idt"
  printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tS255\ts72\nEnvironment\tEnvironment\n%s\n' \
    $'Path\t=-*PATH\t[~];[INSTALLDIR]\tvxconfig.exe' >"$work/Environment.idt"
  { msiinfo export "$msi" InstallExecuteSequence
    printf 'RemoveEnvironmentStrings\t\t3300\nWriteEnvironmentStrings\t\t5200\n'; } >"$work/InstallExecuteSequence.idt"
  for table in Upgrade Environment InstallExecuteSequence; do
    msibuild "$msi" -i "$work/$table.idt" || vx_die "could not write the $table table of $msi"
  done
}

# Signs each file in place with the publisher's certificate (PEM, with its
# chain) $1 and key $2, time-stamped where VX_SIGN_TIMESTAMP names a server.
vx_sign_files() {
  local cert=$1 key=$2 file
  shift 2
  for file in "$@"; do
    osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n vxconfig \
      ${VX_SIGN_TIMESTAMP:+-ts "$VX_SIGN_TIMESTAMP"} -in "$file" -out "$file.signed" >/dev/null \
      || vx_die "could not sign $file"
    mv "$file.signed" "$file"
  done
}

# The files Windows checks a signature of: the programs and every DLL.
vx_signable_files() {
  find "$1" -type f \( -name '*.exe' -o -name '*.dll' \) | sort
}
