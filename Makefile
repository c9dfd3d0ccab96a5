# Tavrin's entry points. A fresh machine needs only these:
#   make demo   builds the library and the tavrin tool and runs them on examples/
#   make test   builds everything and runs every suite, ending with CTest's summary
#               and a line naming each check that did not run here, and why
# and also: make python, make bench, make fuzz, make windows, make install PREFIX=...,
# make clean
#
# Missing packages are installed by scripts/ensure-deps.sh (Debian, as root),
# or it stops with the command to run; no suite is ever skipped silently.

SHELL := /bin/bash
.DEFAULT_GOAL := all

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

# Each fragment under mk/ adds the packages it needs to DEPS_GROUPS, the
# targets that must be built before the test run to TEST_PREREQS, and the
# cache settings that register its suites with the main build to
# TEST_CMAKE_FLAGS (only make test sets them, so make demo needs only the
# core packages).
DEPS_GROUPS := core
TEST_PREREQS :=
# The JUnit reports of the test run, as PREFIX=FILE: the main one, and those
# that tests of it write for the runs they make in other trees. The run's
# last line (tests/ReportNotRun.cmake) names what did not run in any of them.
NOT_RUN_REPORTS := =$(abspath $(BUILD_DIR))/Testing/junit.xml
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
# make test asks for the tests, so that a missing GoogleTest fails the configure.
TEST_CMAKE_FLAGS := -DTAVRIN_BUILD_TESTS=ON

include $(sort $(wildcard mk/*.mk))

.PHONY: all deps build test install clean

all: build

# Everything make test needs; building the library, the tool and the demo
# needs only the core group.
deps:
	@scripts/ensure-deps.sh $(DEPS_GROUPS)

build:
	@scripts/ensure-deps.sh core
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) $(SUITE_CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The other trees are built first; the main build then registers their suites.
# The last line says which checks did not run on this machine, and why.
test: SUITE_CMAKE_FLAGS = $(TEST_CMAKE_FLAGS)
test: deps $(TEST_PREREQS) build
	@status=0; rm -f $(foreach r,$(NOT_RUN_REPORTS),$(lastword $(subst =, ,$(r)))); \
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) \
	  --output-junit $(abspath $(BUILD_DIR))/Testing/junit.xml || status=$$?; \
	cmake "-DREPORTS=$(NOT_RUN_REPORTS)" -P tests/ReportNotRun.cmake; \
	exit $$status

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR)
