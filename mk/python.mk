# make python: the Python package tavrin (python/) as exactly one wheel,
# build/python/tavrin-VERSION-py3-none-manylinux_2_X_MACHINE.whl, built by
# Debian's python3 -m build from python/pyproject.toml. Its libtavrin.so.1
# is a Release build of its own (build/python/library), stripped, with the
# C++ runtime linked in; X is the newest glibc it needs.
#
# make test then installs that wheel offline into a fresh venv and runs the
# package's tests and the Dask example (examples/screen_archive.py) against
# it, on a LocalCluster of two worker processes.

DEPS_GROUPS += python
TEST_PREREQS += python
TEST_CMAKE_FLAGS += -DTAVRIN_PYTHON_TESTS=ON

.PHONY: python
help::
	@$(HELP_ROW) python "$(BUILD_DIR)" "the Python wheel: $(BUILD_DIR)/python/tavrin-*.whl"

python: build
	@scripts/ensure-deps.sh python
	cmake --build $(BUILD_DIR) --target tavrin_python_wheel
