#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those missing. Groups: native (default),
# windows (MinGW-w64 cross build, Wine with both loaders, Xvfb, fonts, osslsigncode and openssl
# to sign an updater). wine32 installs on every machine but starts only where i386 programs run;
# wine64 serves the others.
set -euo pipefail

native=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev strace
        libbenchmark-dev libcli11-dev libinih-dev nlohmann-json3-dev nettle-dev python3)
windows=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest
         wine wine32:i386 wine64 xvfb xauth fonts-wqy-microhei imagemagick locales osslsigncode
         openssl)

want=()
for group in "${@:-native}"; do
  case "$group" in
    native) want+=("${native[@]}") ;;
    windows) want+=("${windows[@]}") ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
for pkg in "${missing[@]}"; do
  if [[ "$pkg" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
done
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
