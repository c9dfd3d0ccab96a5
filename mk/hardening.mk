# Sanitizer, fuzzing and large-input runs (tests/hardening/, fuzz/).
#
# make test builds three more trees with clang and runs them from the main
# CTest run (each under BUILD_DIR):
#   asan  everything under AddressSanitizer + UndefinedBehaviorSanitizer;
#         its whole suite, and load/unload cycles under LeakSanitizer
#   tsan  the concurrency tests under ThreadSanitizer
#   fuzz  the libFuzzer targets (ASan + UBSan): saved regressions replayed,
#         then about half a minute of fuzzing
# make fuzz runs each fuzz target for FUZZ_SECONDS (default 300), keeping what
# it learns in fuzz/corpus-work/.

ASAN_BUILD_DIR := $(BUILD_DIR)/asan
TSAN_BUILD_DIR := $(BUILD_DIR)/tsan
FUZZ_BUILD_DIR := $(BUILD_DIR)/fuzz
FUZZ_SECONDS ?= 300

# These trees are configured on their own, without TEST_CMAKE_FLAGS: none of the
# main build's other suites (Windows, these trees) is registered in them.
HARDENING_CMAKE := -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRIN_BUILD_BENCH=OFF

DEPS_GROUPS += fuzz
TEST_PREREQS += hardening-asan hardening-tsan hardening-fuzz
TEST_NOTES += hardening-memory-note
NOT_RUN_REPORTS += Asan.=$(abspath $(ASAN_BUILD_DIR))/Testing/junit.xml
TEST_CMAKE_FLAGS += -DTAVRIN_ASAN_DIR=$(abspath $(ASAN_BUILD_DIR)) \
  -DTAVRIN_TSAN_DIR=$(abspath $(TSAN_BUILD_DIR)) \
  -DTAVRIN_FUZZ_DIR=$(abspath $(FUZZ_BUILD_DIR))

.PHONY: hardening-asan hardening-tsan hardening-fuzz hardening-memory-note fuzz
help::
	@$(HELP_ROW) hardening-asan "$(ASAN_BUILD_DIR)" "everything under AddressSanitizer + UBSan (clang), for make test"
	@$(HELP_ROW) hardening-tsan "$(TSAN_BUILD_DIR)" "the concurrency tests under ThreadSanitizer, for make test"
	@$(HELP_ROW) hardening-fuzz "$(FUZZ_BUILD_DIR)" "the libFuzzer targets (ASan + UBSan), for make test"
	@$(HELP_ROW) fuzz "$(FUZZ_BUILD_DIR)" "runs each fuzz target for FUZZ_SECONDS=$(FUZZ_SECONDS), corpus in fuzz/corpus-work/"
	@$(HELP_ROW) "" "" "each of these four installs what make deps installs"
	@$(HELP_ROW) hardening-memory-note "" "the memory the large-input tests may have; make test prints it before CTest"

hardening-asan: deps
	cmake -S . -B $(ASAN_BUILD_DIR) $(HARDENING_CMAKE) \
	  -DTAVRIN_SANITIZE=address,undefined -DTAVRIN_BUILD_FUZZ=OFF
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)

hardening-tsan: deps
	cmake -S . -B $(TSAN_BUILD_DIR) $(HARDENING_CMAKE) \
	  -DTAVRIN_SANITIZE=thread -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_BUILD_TOOLS=OFF
	cmake --build $(TSAN_BUILD_DIR) -j $(JOBS) --target first_fill_test concurrent_calls_test

hardening-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD_DIR) $(HARDENING_CMAKE) \
	  -DTAVRIN_SANITIZE=address,undefined -DTAVRIN_BUILD_FUZZ=ON \
	  -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_TOOLS=ON
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target tavrin_fuzzers

fuzz: hardening-fuzz
	cmake -DFUZZ_BIN_DIR=$(abspath $(FUZZ_BUILD_DIR))/fuzz -DSOURCE_DIR=$(abspath fuzz) \
	  -DWORK_DIR=$(abspath fuzz/corpus-work) -DSECONDS=$(FUZZ_SECONDS) -DKEEP_CORPUS=ON \
	  -P fuzz/RunFuzzer.cmake

# The large-input tests need a few GiB; one that cannot have them reports
# itself skipped. Said here too, since CTest's summary gives no reasons.
hardening-memory-note:
	@awk '/^MemAvailable:/ { printf "Large-input tests: /proc/meminfo shows %d MiB available; a test needing more is listed as Skipped below, its reason in $(BUILD_DIR)/Testing/Temporary/LastTest.log\n", $$2 / 1024 }' /proc/meminfo
