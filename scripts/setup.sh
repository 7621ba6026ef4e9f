#!/usr/bin/env bash
# Installs what building and testing need, once: on a machine that has it
# all, this only looks and returns.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

for package in cmake ninja-build g++-multilib g++-mingw-w64-i686 g++-mingw-w64-i686-win32 wine wine32:i386 \
               googletest valgrind libc6-dbg:i386 clang libclang-rt-14-dev libbenchmark-dev:i386 \
               zip unzip libcli11-dev nlohmann-json3-dev "$@"; do
  have "$package" || need+=("$package")
done
[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${need[*]}; run this as root (or with sudo) once" >&2
  exit 1
fi
echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
