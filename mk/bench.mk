# make bench: builds the benchmark in its own tree (optimised, no sanitizers)
# and prints its tables: Tavrin's two functions beside Hyperscan and the
# literal walk, on generated corpora and on real text from Debian's packages
# (bench/real_text.py: Chinese from the zh_CN message catalogues,
# fortunes-zh and manpages-zh, English from manpages, written once into the
# tree), then the tavrin tool against ripgrep on generated chat logs
# (bench/tool_vs_ripgrep.py; the logs are kept in the tree and reused).
# Hyperscan and ripgrep are needed by the benchmark only; make test does not
# build it, so the test run never depends on them. Last, every kernel's inner
# loops as llvm-mca models them (make bench-model), the aarch64 kernels'
# too: modelled figures, not measured ones.

BENCH_BUILD_DIR := $(BUILD_DIR)/benchmark
BENCH_ROUNDS ?= 9

.PHONY: bench bench-model
help::
	@$(HELP_ROW) bench "$(BENCH_BUILD_DIR)" "the benchmark, then runs it: BENCH_ROUNDS=$(BENCH_ROUNDS); then bench-model"
	@$(HELP_INSTALLS) build bench model
	@$(HELP_ROW) bench-model "" "every kernel's inner loops on x86 and aarch64 cores, modelled by llvm-mca (not measured)"
	@$(HELP_INSTALLS) build model

bench-model:
	@scripts/ensure-deps.sh build model
	python3 bench/model_loops.py

bench:
	@scripts/ensure-deps.sh build bench model
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVRIN_BUILD_BENCH=ON -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_TOOLS=ON \
	  -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE=
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target tavrin_bench tavrin_tool
	test -s $(BENCH_BUILD_DIR)/real-text/en-lines.txt || \
	  python3 bench/real_text.py $(BENCH_BUILD_DIR)/real-text
	$(BENCH_BUILD_DIR)/bench/tavrin_bench $(BENCH_ROUNDS) --real-text $(BENCH_BUILD_DIR)/real-text
	@# The bulk calls run the selected kernel; on a processor with AVX-512,
	@# the AVX2 kernel's bulk calls too, beside Hyperscan's AVX2 code.
	if grep -qw avx512bw /proc/cpuinfo; then \
	  TAVRIN_FORCE_KERNEL=avx2 $(BENCH_BUILD_DIR)/bench/tavrin_bench $(BENCH_ROUNDS) \
	    --real-text $(BENCH_BUILD_DIR)/real-text --tables bulk; fi
	python3 bench/tool_vs_ripgrep.py --tool $(BENCH_BUILD_DIR)/tools/tavrin \
	  --library $(BENCH_BUILD_DIR)/src/libtavrin.so.1 \
	  --work $(BENCH_BUILD_DIR)/chat-logs --rounds $(BENCH_ROUNDS)
	@echo
	python3 bench/model_loops.py
