#!/usr/bin/env bash
# Installs the Debian packages the build, the viewer and the tests need.
# Checks with dpkg-query first, so a machine that has everything goes straight on.
ORVANTA_PACKAGES=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev libxkbcommon-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
  libtiff-dev libgeotiff-dev libjpeg-dev libpng-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  hershey-fonts-data fonts-dejavu-core
  xvfb xauth
)

orvanta_install_deps() {
  local missing=()
  local p
  for p in "${ORVANTA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || return 1
  $sudo apt-get install -y --no-install-recommends "${missing[@]}" || return 1
}
