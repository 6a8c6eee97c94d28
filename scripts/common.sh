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
  ser2net libssl-dev openssl
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
vx_configure_sanitized() {
  vx_configure sanitize "$VX_SANITIZE_BUILD"
}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Configures (once) and builds everything into VX_BUILD, with warnings as
# errors: this is our own build, not a user's.
vx_build() {
  vx_configure default "$VX_BUILD"
  cmake --build "$VX_BUILD" -j "$(nproc)" "$@" || vx_die "the build failed (see the compiler messages above)"
}

# Configures the build folder $2 with CMake preset $1 (CMakePresets.json
# holds every build's options and flags) and the arguments that follow, once;
# the log stays inside that folder.
vx_configure() {
  local preset=$1 dir=$2
  shift 2
  [ -f "$dir/build.ninja" ] && return 0
  mkdir -p "$dir"
  cmake --preset "$preset" -S "$VX_ROOT" -B "$dir" "$@" >"$dir/configure.log" 2>&1 \
    || { tail -n 30 "$dir/configure.log" >&2; vx_die "configuring failed (full log: $dir/configure.log)"; }
}
