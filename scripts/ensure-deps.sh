#!/usr/bin/env bash
# Makes sure the tools that the build and the test suites need are on this
# machine. On Debian, as root, it installs what is missing; anywhere else it
# stops with the exact command to run. It never skips a suite silently.
#
#   scripts/ensure-deps.sh GROUP...
#
# build: the library and the tool (a compiler and CMake); test: the main
# tree's own tests; the others are named after the tree or suite that needs
# them. The csharp group is optional: where Mono cannot be installed, the
# CSharp tests are reported as Skipped, with that reason.
set -euo pipefail

want=("$@")
[ ${#want[@]} -gt 0 ] || want=(build)

pkgs=()
optional=()
# The foreign architectures (dpkg --add-architecture) the packages need.
foreign=()
for group in "${want[@]}"; do
  case "$group" in
    build)   pkgs+=(cmake make g++) ;;
    # gettext, fortunes-zh, manpages-zh, manpages: the real text the scanner
    # suite checks the kernels on (bench/real_text.py).
    test)    pkgs+=(pkg-config libgtest-dev libgmock-dev valgrind binutils locales-all python3
                    gettext fortunes-zh manpages-zh manpages) ;;
    csharp)  optional+=(mono-mcs mono-runtime libmono-i18n-cjk4.0-cil) ;;
    windows) pkgs+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
                   binutils-mingw-w64-x86-64 wine wine64 wine32:i386 clang lld llvm)
             foreign+=(i386) ;;
    linux32) pkgs+=(g++-multilib googletest qemu-user-static) ;;
    # clang, not Debian's aarch64 g++, which cannot be installed beside
    # g++-multilib; libc6:arm64 for the C library's GBK converter (gconv),
    # which the cross libraries lack.
    arm64)   pkgs+=(clang binutils-aarch64-linux-gnu libstdc++-12-dev-arm64-cross
                    googletest qemu-user-static libc6:arm64)
             foreign+=(arm64) ;;
    # The real text the benchmark screens: Chinese from the zh_CN message
    # catalogues (msgunfmt), fortunes-zh and manpages-zh; English from manpages.
    bench)   pkgs+=(libhyperscan-dev pkg-config ripgrep python3 gettext fortunes-zh
                    manpages-zh manpages) ;;
    # llvm-mca 19: the first in Debian with the Neoverse cores' own timings.
    model)   pkgs+=(llvm-19 clang libstdc++-12-dev-arm64-cross python3) ;;
    fuzz)    pkgs+=(clang libclang-rt-14-dev llvm) ;;
    python)  pkgs+=(python3 python3-venv python3-build python3-setuptools python3-wheel
                    python3-pytest python3-dask python3-distributed python3-fsspec) ;;
    package) pkgs+=(dpkg-dev help2man lintian man-db) ;;
    # scripts/make-docs.py, which makes docs/rows.md and docs/options.md.
    docs)    pkgs+=(python3) ;;
    *) echo "ensure-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

# The packages of LIST that are not installed, one a line.
not_installed() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}

mapfile -t missing < <(not_installed "${pkgs[@]}")
mapfile -t missing_optional < <(not_installed "${optional[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

# An optional package that cannot be installed here is only reported.
skip_optional() {
  echo "ensure-deps: not installed: ${missing_optional[*]} ($1); the tests that need them are reported as Skipped" >&2
}

cmd="apt-get install -y --no-install-recommends ${missing[*]} ${missing_optional[*]}"
if [ ${#foreign[@]} -gt 0 ]; then
  add=""
  for arch in "${foreign[@]}"; do add+="dpkg --add-architecture $arch && "; done
  cmd="${add}apt-get update && $cmd"
fi
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  [ ${#missing[@]} -eq 0 ] && { skip_optional "not root, or no apt-get"; exit 0; }
  echo "ensure-deps: missing packages: ${missing[*]}" >&2
  echo "ensure-deps: run as root: $cmd" >&2
  exit 1
fi

echo "ensure-deps: installing ${missing[*]} ${missing_optional[*]}"
export DEBIAN_FRONTEND=noninteractive
for arch in "${foreign[@]}"; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    dpkg --add-architecture "$arch"
    rm -f /var/lib/apt/lists/.tavrin-updated
  fi
done
# One index refresh per machine is enough; a failed install retries it.
if [ ! -e /var/lib/apt/lists/.tavrin-updated ]; then
  apt-get update -qq && touch /var/lib/apt/lists/.tavrin-updated
fi
install() {
  apt-get install -y -qq --no-install-recommends "$@" >/tmp/tavrin-apt.log 2>&1 ||
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" >/tmp/tavrin-apt.log 2>&1; }
}
if [ ${#missing[@]} -gt 0 ] && ! install "${missing[@]}"; then
  tail -n 20 /tmp/tavrin-apt.log >&2
  echo "ensure-deps: install failed; run as root: $cmd" >&2
  exit 1
fi
if [ ${#missing_optional[@]} -gt 0 ] && ! install "${missing_optional[@]}"; then
  tail -n 5 /tmp/tavrin-apt.log >&2
  skip_optional "apt-get could not install them"
fi
