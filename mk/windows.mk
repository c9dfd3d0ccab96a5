# make windows: cross-builds Tavrin.dll with Debian's mingw-w64 toolchains,
# for 32-bit Windows hosts (i686) into build/windows and for 64-bit ones
# (x86-64) into build/windows-x64, each with its import library Tavrin.lib:
# what the Windows zip of make package holds. It needs mingw-w64 alone (the
# windows group). Under make test each tree also builds the Windows host
# programs that make test runs under Wine, the MSVC-ABI one with clang and
# lld-link (the wine group, which make test installs).

WINDOWS_BUILD_DIR := $(BUILD_DIR)/windows
WINDOWS_X64_BUILD_DIR := $(BUILD_DIR)/windows-x64

DEPS_GROUPS += windows wine
# The host programs, when make test is among the goals (make package test
# builds the trees once, for both).
WINDOWS_HOSTS := $(if $(filter test,$(MAKECMDGOALS)),ON,OFF)
TEST_PREREQS += windows
TEST_CMAKE_FLAGS += -DTAVRIN_WINDOWS_DIR=$(abspath $(WINDOWS_BUILD_DIR)) \
  -DTAVRIN_WINDOWS_X64_DIR=$(abspath $(WINDOWS_X64_BUILD_DIR))

# The configure and build steps of one cross build: $(call windows_build,DIR,TOOLCHAIN)
windows_build = \
	cmake -S . -B $(1) -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/$(2).cmake) \
	  -DCMAKE_BUILD_TYPE=Release \
	  -DTAVRIN_BUILD_TESTS=$(WINDOWS_HOSTS) -DTAVRIN_BUILD_TOOLS=OFF \
	  -DTAVRIN_BUILD_BENCH=OFF -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE= && \
	cmake --build $(1) -j $(JOBS)

.PHONY: windows
help::
	@$(HELP_ROW) windows "$(WINDOWS_BUILD_DIR)" "32-bit Tavrin.dll and Tavrin.lib (mingw-w64); under make test the Wine host programs too"
	@$(HELP_ROW) "" "$(WINDOWS_X64_BUILD_DIR)" "the same for 64-bit Windows"
	@$(HELP_INSTALLS) build windows
windows:
	@scripts/ensure-deps.sh build windows $(if $(filter ON,$(WINDOWS_HOSTS)),wine)
	$(call windows_build,$(WINDOWS_BUILD_DIR),mingw-w64-i686)
	$(call windows_build,$(WINDOWS_X64_BUILD_DIR),mingw-w64-x86_64)
