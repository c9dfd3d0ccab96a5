# make python: the Python package tavrin (python/) as exactly one wheel,
# build/python/tavrin-VERSION-py3-none-manylinux_2_X_MACHINE.whl, built by
# Debian's python3 -m build from python/pyproject.toml. Its libtavrin.so.1
# is a Release build of its own (build/python/library), stripped, with the
# C++ runtime linked in; X is the newest glibc it needs.
#
# make test then installs that wheel offline into a fresh venv and runs the
# package's tests and the Dask example (examples/screen_archive.py) against
# it, on a LocalCluster of two worker processes.

DEPS_GROUPS += wheel python
TEST_PREREQS += python
TEST_CMAKE_FLAGS += -DTAVRIN_PYTHON_TESTS=ON

.PHONY: python
help::
	@$(HELP_ROW) python "$(BUILD_DIR)" "the Python wheel: $(BUILD_DIR)/python/tavrin-*.whl"
	@$(HELP_INSTALLS) build wheel

python: build
	@scripts/ensure-deps.sh wheel
	cmake --build $(BUILD_DIR) --target tavrin_python_wheel

# make bench-python: the Python package and the Dask example beside the tool
# on the same bytes (bench/python_bulk.py), medians and ratios. Its logs,
# about 1.2 GB, are generated once into $(BUILD_DIR)/python/bench-data.
.PHONY: bench-python
help::
	@$(HELP_ROW) bench-python "$(BUILD_DIR)/python" "screen_lines, is_valid_many and the Dask example beside tavrin check"
	@$(HELP_INSTALLS) build wheel python

bench-python: python
	@scripts/ensure-deps.sh python
	cmake -DPYTHON=/usr/bin/python3 -DVENV=$(abspath $(BUILD_DIR))/python/bench-venv \
	  -DWHEEL_DIR=$(abspath $(BUILD_DIR))/python -P python/InstallWheel.cmake
	$(BUILD_DIR)/python/bench-venv/bin/python bench/python_bulk.py --tool $(BUILD_DIR)/tools/tavrin \
	  --data $(BUILD_DIR)/python/bench-data
