# Shared by the project's scripts: set-up of the machine and of a build.
# Source it; it stops the calling script on the first failure.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES=(cmake g++ make pkg-config libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev
          libbenchmark-dev valgrind clang libclang-rt-dev python3)
# The loader's name table (header-only, needed to build only).
PACKAGES+=(robin-map-dev)
# Building the Debian packages needs dpkg-shlibdeps and file; the install
# tests check them with lintian.
PACKAGES+=(dpkg-dev file lintian)
# scripts/bench draws its chart with it.
BENCH_PACKAGES=(python3-matplotlib)

step() { printf '\n==> %s\n' "$*"; }
fail() { printf '\nerror: %s\n' "$*" >&2; exit 1; }
trap 'fail "command failed (exit $?): $BASH_COMMAND"' ERR

# install_packages [PACKAGE...]: those named, or all of PACKAGES.
install_packages() {
  local missing=() package wanted=("${@:-${PACKAGES[@]}}")
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' \
      || missing+=("$package")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    step "All required packages are installed"
    return
  fi
  [ "$(id -u)" -eq 0 ] || fail "missing packages (${missing[*]}); run as root or install them"
  step "Installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir=$1; shift
  step "Configuring $dir"
  cmake -S "$ROOT" -B "$dir" "$@"
  step "Building $dir"
  cmake --build "$dir" -j "$JOBS"
}
