# Tavrin's entry points. A fresh machine needs only these two:
#   make demo   builds the library and the tavrin tool and runs them on examples/
#   make test   builds everything and runs every suite, ending with CTest's summary
#               and a line naming each check that did not run here, and why
# `make help` lists every target, what it builds and the build tree it uses.
#
# Missing packages are installed by scripts/ensure-deps.sh (Debian, as root),
# or it stops with the command to run; no suite is ever skipped silently.
# Every build tree lies under BUILD_DIR.

SHELL := /bin/bash
.DEFAULT_GOAL := all

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

# Each fragment under mk/ is one more build tree (or none, for demo) and adds
#   DEPS_GROUPS       the ensure-deps groups make test needs for it,
#   TEST_PREREQS      the targets make test builds before the main tree,
#   TEST_NOTES        targets that print a note just before the CTest run,
#   TEST_CMAKE_FLAGS  the cache settings that register its suites with the
#                     main tree (only make test sets them; CMakeLists.txt
#                     declares each one),
#   help::            its rows of make help.
# The library and the tool need only the build group (a compiler and CMake);
# the test group is what the main tree's own tests need.
DEPS_GROUPS := build test csharp
TEST_PREREQS :=
TEST_NOTES :=
# The JUnit reports of the test run, as PREFIX=FILE: the main one, and those
# that tests of it write for the runs they make in other trees. The run's
# last line (tests/ReportNotRun.cmake) names what did not run in any of them.
NOT_RUN_REPORTS := =$(abspath $(BUILD_DIR))/Testing/junit.xml
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
# make test asks for the tests, so that a missing GoogleTest fails the configure.
TEST_CMAKE_FLAGS := -DTAVRIN_BUILD_TESTS=ON

# One row of make help: $(HELP_ROW) TARGET TREE WHAT
HELP_ROW = printf '  %-22s %-28s %s\n'
# The line under a row that says what its target installs, from the
# groups' own words in scripts/ensure-deps.sh: $(HELP_INSTALLS) GROUP...
HELP_INSTALLS = help_installs() { $(HELP_ROW) "" "" "installs $$(scripts/ensure-deps.sh --summary "$$@")"; }; help_installs

.PHONY: all help deps build test install clean

all: build

help::
	@echo "make TARGET: what each target builds, and the build tree it uses (BUILD_DIR=$(BUILD_DIR))"
	@echo
	@$(HELP_ROW) TARGET TREE WHAT
	@$(HELP_ROW) build "$(BUILD_DIR)" "the library, the tool, and the tests where GoogleTest is found"
	@$(HELP_INSTALLS) build
	@$(HELP_ROW) test "$(BUILD_DIR) and the trees of" "$(TEST_PREREQS): built first, then one CTest run over all"
	@$(HELP_ROW) "" "" "installs what make deps installs"
	@$(HELP_ROW) install "$(BUILD_DIR)" "installs the build into PREFIX=$(PREFIX)"
	@$(HELP_INSTALLS) build
	@$(HELP_ROW) deps "" "installs every package make test needs: ensure-deps.sh $(DEPS_GROUPS)"
	@$(HELP_ROW) clean "" "removes $(BUILD_DIR), every tree with it"

# Everything make test needs; the library, the tool and the demo need only
# the build group.
deps:
	@scripts/ensure-deps.sh $(DEPS_GROUPS)

# Configures the main tree (BUILD_DIR), keeping what an earlier configure
# set there (make test's suites).
CONFIGURE_MAIN = cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) $(SUITE_CMAKE_FLAGS)

build:
	@scripts/ensure-deps.sh build
	$(CONFIGURE_MAIN)
	cmake --build $(BUILD_DIR) -j $(JOBS)

include $(sort $(wildcard mk/*.mk))

# Under make test every tree waits for deps, which installs what all of
# them need, so that no two of them install packages at once under make -j.
ifneq ($(filter test,$(MAKECMDGOALS)),)
$(TEST_PREREQS) build: | deps
endif

# The other trees are built first; the main build then registers their suites.
# The last line says which checks did not run on this machine, and why.
test: SUITE_CMAKE_FLAGS = $(TEST_CMAKE_FLAGS)
test: deps $(TEST_PREREQS) build
	@$(if $(TEST_NOTES),$(MAKE) --no-print-directory $(TEST_NOTES))
	@status=0; rm -f $(foreach r,$(NOT_RUN_REPORTS),$(lastword $(subst =, ,$(r)))); \
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) \
	  --output-junit $(abspath $(BUILD_DIR))/Testing/junit.xml || status=$$?; \
	cmake "-DREPORTS=$(NOT_RUN_REPORTS)" -P tests/ReportNotRun.cmake; \
	exit $$status

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR)
