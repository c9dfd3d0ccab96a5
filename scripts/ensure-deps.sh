#!/usr/bin/env bash
# Makes sure the tools that the build and the test suites need are on this
# machine. On Debian, as root, it installs what is missing; anywhere else it
# stops with the exact command to run. It never skips a suite silently.
#
#   scripts/ensure-deps.sh [core] [windows] [linux32] [bench] [fuzz] [python]
set -euo pipefail

want=("$@")
[ ${#want[@]} -gt 0 ] || want=(core)

pkgs=()
need_i386=0
for group in "${want[@]}"; do
  case "$group" in
    core)    pkgs+=(cmake make g++ pkg-config libgtest-dev libgmock-dev valgrind binutils locales-all python3) ;;
    windows) pkgs+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
                   binutils-mingw-w64-x86-64 wine wine64 wine32:i386 clang lld llvm)
             need_i386=1 ;;
    linux32) pkgs+=(g++-multilib googletest qemu-user-static) ;;
    bench)   pkgs+=(libhyperscan-dev pkg-config) ;;
    fuzz)    pkgs+=(clang libclang-rt-14-dev llvm) ;;
    python)  pkgs+=(python3 python3-venv python3-build python3-setuptools python3-wheel
                    python3-pytest python3-dask python3-distributed python3-fsspec) ;;
    *) echo "ensure-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

cmd="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$need_i386" = 1 ]; then
  cmd="dpkg --add-architecture i386 && apt-get update && $cmd"
fi
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "ensure-deps: missing packages: ${missing[*]}" >&2
  echo "ensure-deps: run as root: $cmd" >&2
  exit 1
fi

echo "ensure-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$need_i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  rm -f /var/lib/apt/lists/.tavrin-updated
fi
# One index refresh per machine is enough; a failed install retries it.
if [ ! -e /var/lib/apt/lists/.tavrin-updated ]; then
  apt-get update -qq && touch /var/lib/apt/lists/.tavrin-updated
fi
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/tavrin-apt.log 2>&1; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/tavrin-apt.log 2>&1 || {
    tail -n 20 /tmp/tavrin-apt.log >&2
    echo "ensure-deps: install failed; run as root: $cmd" >&2
    exit 1
  }
fi
