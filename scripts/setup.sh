#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quorrel needs.
# Idempotent: asks apt only for what is missing and stays quiet when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  liblua5.1-0-dev zlib1g-dev
  libsdl2-dev
  libpng-dev libjpeg62-turbo-dev libfreetype-dev fonts-dejavu-core
  libsndfile1-dev
  libcurl4-openssl-dev
  locales xvfb xauth x11-utils imagemagick xdotool
  qemu-user  # the window test on an emulated processor without AVX2
  python3  # the loopback HTTP server of the network tests
  tinyproxy  # the forward proxy that the network tests send through
  strace  # the slow disk of the test with two copies of a game saving one file
  btrfs-progs  # the nearly full copy-on-write disk of the in-place save test
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
