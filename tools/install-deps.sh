#!/usr/bin/env bash
# Installs what the build and the tests need, only what is missing.
# Usage: tools/install-deps.sh build|test|fuzz
set -euo pipefail
packages=(cmake make g++ mingw-w64)
case "${1:-build}" in
  test) packages+=(googletest libgtest-dev libgmock-dev wine64 locales) ;;
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
esac
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# The Windows program is tested with a Japanese code page, which Wine takes
# from this locale.
if [ "${1:-build}" = test ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  "${as_root[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
