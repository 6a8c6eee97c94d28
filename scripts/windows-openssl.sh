# Sourced by the Windows scripts (after windows-common.sh): Debian's OpenSSL
# cross-built for Windows, static, once, into the cache beside Qt. Secure
# network ports then run the same code on both systems, and the programs
# carry it, so no DLL of another OpenSSL on the machine can stand in for it.

readonly VX_OPENSSL=$VX_CACHE/openssl-mingw64-static
readonly OPENSSL_SRC_ROOT=$VX_CACHE/src/openssl

# Debian's openssl source through a private source list, as for Qt: the
# release's own suite, whose sources every mirror carries (a security
# update's may not be there); the release's point updates bring the fixes.
vx_fetch_openssl_source() {
  local tree
  tree=$(find "$OPENSSL_SRC_ROOT" -maxdepth 1 -type d -name 'openssl-3*' 2>/dev/null | head -n 1)
  if [ -n "$tree" ] && [ -f "$tree/Configure" ]; then
    echo "$tree"
    return 0
  fi
  local apt_dir=$OPENSSL_SRC_ROOT/apt
  mkdir -p "$apt_dir/lists/partial"
  apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' \
    | grep -v -- '-security\|-updates' | sort -u \
    | while read -r uri suite; do echo "deb-src $uri $suite main"; done >"$apt_dir/sources.list"
  [ -s "$apt_dir/sources.list" ] || vx_die "no Debian archive found in the apt sources"
  local apt_opts=(-o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o Dir::Etc::sourceparts=-
    -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update -qq || vx_die "could not read the source package list"
  (cd "$OPENSSL_SRC_ROOT" && apt-get "${apt_opts[@]}" source -qq openssl) >/dev/null 2>&1 \
    || vx_die "could not download and unpack the openssl source"
  find "$OPENSSL_SRC_ROOT" -maxdepth 1 -type d -name 'openssl-3*' | head -n 1
}

vx_build_openssl() {
  [ -f "$VX_OPENSSL/.vx-complete" ] && return 0
  mkdir -p "$VX_CACHE"
  exec 8>"$VX_CACHE/openssl.lock"
  flock 8
  [ -f "$VX_OPENSSL/.vx-complete" ] && return 0
  rm -rf "$VX_OPENSSL"
  echo "vxconfig: cross-building OpenSSL into $VX_OPENSSL (once; a few minutes)"
  local src
  src=$(vx_fetch_openssl_source)
  # Only the libraries (build_libs): no programs, no tests, no loadable
  # engines or modules. The programs read no OpenSSL configuration and no
  # default roots on Windows, yet the built-in folder for them must not be
  # one a user could create (as C:\root\.cache would be): Configure puts this
  # Windows path below the prefix, and a drive colon in mid-path names a
  # folder that cannot exist.
  (cd "$src" && make distclean >/dev/null 2>&1; ./Configure mingw64 \
      --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$VX_OPENSSL" \
      --openssldir='C:/Program Files/Common Files/SSL' --libdir=lib no-shared no-module no-engine no-tests \
      no-legacy && nice -n 15 make -j "$(nproc)" build_libs \
      && make install_dev) >"$VX_CACHE/openssl-build.log" 2>&1 \
    || vx_die "building OpenSSL failed; see $VX_CACHE/openssl-build.log"
  cp "$src/LICENSE.txt" "$VX_OPENSSL/LICENSE.txt"
  cp "$src/debian/copyright" "$VX_OPENSSL/copyright" 2>/dev/null || true
  touch "$VX_OPENSSL/.vx-complete"
}
