#!/usr/bin/env bash
# Makes sure the tools that the build and the test suites need are on this
# machine. On Debian, as root, it installs what is missing; anywhere else it
# stops with the exact command to run. It never skips a suite silently.
#
#   scripts/ensure-deps.sh GROUP...
#   scripts/ensure-deps.sh --summary GROUP...   what the groups install, in
#                                               a few words (for make help)
#
# build: the library and the tool (a compiler and CMake); test: the main
# tree's own tests; the others are named after the artefact, tree or suite
# that needs them. Building an artefact needs only its own group (windows,
# wheel, package); running its tests needs the group after it (wine, python,
# package-check), which make test installs. The csharp group is optional:
# where Mono cannot be installed, the CSharp tests are reported as Skipped,
# with that reason.
set -euo pipefail

summarize=0
if [ "${1:-}" = --summary ]; then
  summarize=1
  shift
fi
want=("$@")
[ ${#want[@]} -gt 0 ] || want=(build)

pkgs=()
optional=()
# The foreign architectures (dpkg --add-architecture) the packages need.
foreign=()
summaries=()
for group in "${want[@]}"; do
  case "$group" in
    build)   summary="a C++ compiler, CMake and make"
             pkgs+=(cmake make g++) ;;
    # gettext, fortunes-zh, manpages-zh, manpages: the real text the scanner
    # suite checks the kernels on (bench/real_text.py).
    test)    summary="GoogleTest, Valgrind, binutils, the locales, Python and Chinese text"
             pkgs+=(pkg-config libgtest-dev libgmock-dev valgrind binutils locales-all python3
                    gettext fortunes-zh manpages-zh manpages) ;;
    csharp)  summary="Mono, if it can be installed"
             optional+=(mono-mcs mono-runtime libmono-i18n-cjk4.0-cil) ;;
    # Tavrin.dll and Tavrin.lib for 32-bit and 64-bit Windows, which the
    # Windows zip holds.
    windows) summary="the mingw-w64 cross compilers"
             pkgs+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
                    binutils-mingw-w64-x86-64) ;;
    # The Windows tests: the hosts run under Wine, the MSVC-ABI host built
    # by clang and lld-link, the modules' tables read by llvm-nm.
    wine)    summary="Wine (64- and 32-bit), clang, lld and llvm"
             pkgs+=(wine wine64 wine32:i386 clang lld llvm)
             foreign+=(i386) ;;
    linux32) summary="g++-multilib, GoogleTest's sources and qemu-user-static"
             pkgs+=(g++-multilib googletest qemu-user-static) ;;
    # clang, not Debian's aarch64 g++, which cannot be installed beside
    # g++-multilib; libc6:arm64 for the C library's GBK converter (gconv),
    # which the cross libraries lack.
    arm64)   summary="clang, the aarch64 binutils and C++ library, libc6:arm64 and qemu"
             pkgs+=(clang binutils-aarch64-linux-gnu libstdc++-12-dev-arm64-cross
                    googletest qemu-user-static libc6:arm64)
             foreign+=(arm64) ;;
    # The real text the benchmark screens: Chinese from the zh_CN message
    # catalogues (msgunfmt), fortunes-zh and manpages-zh; English from manpages.
    bench)   summary="Hyperscan, ripgrep and real Chinese and English text"
             pkgs+=(libhyperscan-dev pkg-config ripgrep python3 gettext fortunes-zh
                    manpages-zh manpages) ;;
    # llvm-mca 19: the first in Debian with the Neoverse cores' own timings.
    model)   summary="llvm-mca 19 and the aarch64 C++ library"
             pkgs+=(llvm-19 clang libstdc++-12-dev-arm64-cross python3) ;;
    fuzz)    summary="clang with its sanitizer and libFuzzer runtimes"
             pkgs+=(clang libclang-rt-14-dev llvm) ;;
    # Building the wheel: python3 -m build --no-isolation over setuptools.
    wheel)   summary="python3-build, setuptools and wheel"
             pkgs+=(python3 python3-build python3-setuptools python3-wheel) ;;
    # The wheel's tests and the Dask example: a fresh venv, pytest, Dask.
    python)  summary="python3-venv, pytest and Dask"
             pkgs+=(python3 python3-venv python3-pytest python3-dask python3-distributed
                    python3-fsspec) ;;
    # The Debian packages: CPack runs dpkg-shlibdeps; the manual page is
    # made by help2man.
    package) summary="dpkg-dev and help2man"
             pkgs+=(dpkg-dev help2man) ;;
    # Their tests: lintian's verdict, and man rendering the page.
    package-check) summary="lintian and man-db"
             pkgs+=(lintian man-db) ;;
    # scripts/make-docs.py, which makes docs/rows.md and docs/options.md.
    docs)    summary="python3"
             pkgs+=(python3) ;;
    *) echo "ensure-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
  summaries+=("$summary ($group)")
done

if [ $summarize = 1 ]; then
  joined=""
  for summary in "${summaries[@]}"; do joined+="${joined:+; }$summary"; done
  echo "$joined"
  exit 0
fi

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
