# make windows: cross-builds Tavrin.dll for 32-bit Windows hosts with the
# mingw-w64 i686 toolchain into build/windows, with its import library
# Tavrin.lib and the Windows host programs that make test runs under Wine.

WINDOWS_BUILD_DIR := build/windows

DEPS_GROUPS += windows
TEST_PREREQS += windows
TEST_CMAKE_FLAGS += -DTAVRIN_WINDOWS_DIR=$(abspath $(WINDOWS_BUILD_DIR))

.PHONY: windows
windows: deps
	cmake -S . -B $(WINDOWS_BUILD_DIR) \
	  -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw-w64-i686.cmake) \
	  -DCMAKE_BUILD_TYPE=Release \
	  -DTAVRIN_BUILD_TESTS=ON -DTAVRIN_BUILD_TOOLS=OFF \
	  -DTAVRIN_BUILD_BENCH=OFF -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE=
	cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS)
