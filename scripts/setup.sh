#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that inkdot needs to build and test.
# Idempotent: packages already present are skipped. Run as root (or with
# sudo available) on Debian 12.
set -euo pipefail

PACKAGES=(
  build-essential
  cmake
  ninja-build
  pkg-config
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  g++-multilib
  libpng-dev
  libtiff-dev
  libdeflate-dev
  libjpeg62-turbo-dev
  libcli11-dev
  nlohmann-json3-dev
  g++-mingw-w64-i686
  qemu-user-static
  liblcms2-dev
  icc-profiles-free  # public printing-condition characterisation data (CGATS)
  clang
  libclang-rt-14-dev
  libcups2-dev
  libcupsimage2-dev
  cups
  cups-client
  cups-filters
  netpbm           # peers in bench/page_bench.sh
  liblcms2-utils   # tificc, a peer in bench/page_bench.sh
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "setup: installing ${missing[*]}"
# A mirror in the middle of a sync can make the update fail; the lists we
# already have may still hold every package, so carry on and let the install
# decide.
$SUDO apt-get update -qq || echo "setup: apt-get update failed; using the package lists at hand" >&2
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
