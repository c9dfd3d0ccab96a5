# The library on 64-bit ARM Linux (aarch64): make arm64 cross-builds it
# (cmake/linux-aarch64.cmake) into build/arm64, libtavrin.so.1 and the
# in-process suites (behaviour and length rules, the scanner on every kernel
# of the list built for aarch64: portable and neon), with GoogleTest compiled
# from Debian's sources. make test runs those suites from the main CTest run
# under qemu-aarch64-static, which any machine can.

ARM64_BUILD_DIR := $(BUILD_DIR)/arm64

DEPS_GROUPS += arm64
TEST_PREREQS += arm64
TEST_CMAKE_FLAGS += -DTAVRIN_ARM64_DIR=$(abspath $(ARM64_BUILD_DIR))
NOT_RUN_REPORTS += Arm64.=$(abspath $(ARM64_BUILD_DIR))/Testing/junit.xml

.PHONY: arm64
help::
	@$(HELP_ROW) arm64 "$(ARM64_BUILD_DIR)" "libtavrin.so.1 and the in-process suites for aarch64 (clang), run under qemu by make test"
	@$(HELP_INSTALLS) build arm64

arm64:
	@scripts/ensure-deps.sh build arm64
	cmake -S . -B $(ARM64_BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/linux-aarch64.cmake) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_GOOGLETEST_SOURCE_DIR=/usr/src/googletest \
	  -DTAVRIN_BUILD_TESTS=ON -DTAVRIN_BUILD_TOOLS=OFF \
	  -DTAVRIN_BUILD_BENCH=OFF -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE=
	cmake --build $(ARM64_BUILD_DIR) -j $(JOBS) --target tavrin tavrin_tests scanner_tests
