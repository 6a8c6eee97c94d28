# Shared by the scripts: the Debian packages the project needs, and a build.
# Sourced, not run.

VX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VX_BUILD=${VX_BUILD:-$VX_ROOT/build}

VX_PACKAGES=(
  cmake ninja-build g++ pkg-config dpkg-dev file
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpulse-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-wqy-microhei fonts-liberation2
  g++-mingw-w64-x86-64-posix googletest wine64 xdotool
  appstream desktop-file-utils libxcb-damage0-dev
  dbus at-spi2-core python3-pyatspi
  ser2net
  librsvg2-bin icoutils wixl msitools
)

vx_die() {
  printf 'vxconfig: %s\n' "$*" >&2
  exit 1
}

# Installs whatever of VX_PACKAGES is missing; does nothing when all are there.
vx_install_packages() {
  local missing=()
  for p in "${VX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "vxconfig: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || vx_die "missing packages (${missing[*]}); run this script as root or install them with apt-get"
    SUDO=sudo
  fi
  export DEBIAN_FRONTEND=noninteractive
  ${SUDO:-} apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null || vx_die "apt-get update failed; check the package sources"
  ${SUDO:-} apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || vx_die "could not install: ${missing[*]}"
}

# The build with AddressSanitizer and UndefinedBehaviorSanitizer: clang, the
# Qt-free libraries, their tests and the fuzz targets (scripts/sanitize,
# scripts/fuzz). Configures it once; its folder is VX_SANITIZE_BUILD.
VX_SANITIZE_BUILD=${VX_SANITIZE_BUILD:-$VX_ROOT/build/sanitize}
VX_SANITIZERS=-fsanitize=address,undefined
vx_configure_sanitized() {
  vx_configure "$VX_SANITIZE_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_WERROR=ON \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$VX_SANITIZERS,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$VX_SANITIZERS" \
    -DVX_BUILD_UI=OFF -DVX_BUILD_BENCH=OFF -DVX_BUILD_FUZZ=ON
}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Configures (once) and builds everything into VX_BUILD, with warnings as
# errors: this is our own build, not a user's.
vx_build() {
  vx_configure "$VX_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_WERROR=ON
  cmake --build "$VX_BUILD" -j "$(nproc)" "$@" || vx_die "the build failed (see the compiler messages above)"
}

# Configures the build folder $1 with the options that follow, once; the
# log stays inside that folder.
vx_configure() {
  local dir=$1
  shift
  [ -f "$dir/build.ninja" ] && return 0
  mkdir -p "$dir"
  cmake -S "$VX_ROOT" -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 \
    || { tail -n 30 "$dir/configure.log" >&2; vx_die "configuring failed (full log: $dir/configure.log)"; }
}
