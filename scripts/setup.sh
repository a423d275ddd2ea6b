#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# As root it installs them with apt-get; otherwise it uses sudo when available, or says what to install.
set -euo pipefail

packages=(cmake g++ make libeigen3-dev libgtest-dev libbenchmark-dev libbz2-dev libtbb-dev python3-matplotlib
  pybind11-dev python3-dev python3-numpy python3-pytest)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
elif command -v sudo >/dev/null 2>&1; then
  sudo apt-get update -qq
  sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
else
  echo "Please install these Debian packages first: ${missing[*]}" >&2
  exit 1
fi
