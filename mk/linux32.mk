# The library on 32-bit x86 Linux. make test first finds out, once, whether
# this machine's kernel runs 32-bit programs at all, by running one
# (cmake/ProbeI386.cmake). It then builds the in-process suites (behaviour
# and length rules, the scanner on every kernel) with g++ -m32 into
# build/linux32, statically and with GoogleTest compiled from Debian's
# sources, and runs them from the main CTest run: natively where 32-bit
# programs run, else under qemu-i386-static -cpu max. Where they do not run,
# the 32-bit Wine hosts are reported as Skipped (tests/windows/).

LINUX32_BUILD_DIR := $(BUILD_DIR)/linux32
I386_PROBE_FILE := $(BUILD_DIR)/i386-probe.cmake

DEPS_GROUPS += linux32
TEST_PREREQS += i386-probe linux32
TEST_CMAKE_FLAGS += -C $(abspath $(I386_PROBE_FILE)) \
  -DTAVRIN_LINUX32_DIR=$(abspath $(LINUX32_BUILD_DIR))
NOT_RUN_REPORTS += Linux32.=$(abspath $(LINUX32_BUILD_DIR))/Testing/junit.xml

.PHONY: i386-probe linux32
help::
	@$(HELP_ROW) i386-probe "$(I386_PROBE_FILE)" "finds out whether this machine's kernel runs 32-bit programs"
	@$(HELP_ROW) linux32 "$(LINUX32_BUILD_DIR)" "the in-process suites as 32-bit x86 code (g++ -m32), for make test"
	@$(HELP_ROW) "" "" "both install what make deps installs"

i386-probe: deps
	@mkdir -p $(dir $(I386_PROBE_FILE))
	@cmake -DOUTPUT=$(abspath $(I386_PROBE_FILE)) -P cmake/ProbeI386.cmake

linux32: i386-probe
	cmake -S . -B $(LINUX32_BUILD_DIR) -C $(abspath $(I386_PROBE_FILE)) \
	  -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/linux-i386.cmake) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_GOOGLETEST_SOURCE_DIR=/usr/src/googletest \
	  -DTAVRIN_BUILD_TESTS=ON -DTAVRIN_BUILD_TOOLS=OFF \
	  -DTAVRIN_BUILD_BENCH=OFF -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE=
	cmake --build $(LINUX32_BUILD_DIR) -j $(JOBS) --target tavrin_tests scanner_tests
