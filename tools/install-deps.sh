#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Usage: tools/install-deps.sh build|test
set -euo pipefail
packages=(cmake make g++)
if [ "${1:-build}" = test ]; then
  packages+=(googletest libgtest-dev libgmock-dev)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
