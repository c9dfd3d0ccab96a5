# make package: every artefact a user installs, in $(PACKAGE_DIR):
#   libtavrin1, libtavrin-dev, tavrin   Debian packages, made by CPack
#       (packaging/Debian.cmake) in their own tree, $(PACKAGE_BUILD_DIR):
#       installed under /usr, a Release build with Debian's hardening flags
#   tavrin-VERSION-windows.zip          the Windows SDK, from make windows
#                                       (packaging/WindowsZip.cmake)
#   tavrin-VERSION-*.whl                the Python wheel, from make python
# make test installs each of them into a scratch folder and uses it
# (tests/package/, tests/windows/), and runs lintian on the Debian packages.

PACKAGE_BUILD_DIR := $(BUILD_DIR)/deb
PACKAGE_DIR := $(BUILD_DIR)/package

DEPS_GROUPS += package package-check
TEST_PREREQS += package
TEST_CMAKE_FLAGS += -DTAVRIN_PACKAGE_DIR=$(abspath $(PACKAGE_DIR))

# Debian's build flags for the package tree: hardening (fortified functions,
# stack protector, full RELRO, bind now); CMake does not read CPPFLAGS.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

.PHONY: package
help::
	@$(HELP_ROW) package "$(PACKAGE_BUILD_DIR)" "the Debian packages, then with the Windows zip and the wheel in $(PACKAGE_DIR)"
	@$(HELP_INSTALLS) build windows wheel package

package: windows python
	@scripts/ensure-deps.sh build package
	cmake -S . -B $(PACKAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_TOOLS=ON -DTAVRIN_BUILD_BENCH=OFF \
	  -DTAVRIN_BUILD_FUZZ=OFF -DTAVRIN_SANITIZE= \
	  "-DCMAKE_CXX_FLAGS=$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  "-DCMAKE_SHARED_LINKER_FLAGS=$$($(DEB_FLAGS) LDFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS)
	rm -rf $(PACKAGE_DIR) $(PACKAGE_BUILD_DIR)/cpack
	cpack --config $(PACKAGE_BUILD_DIR)/CPackConfig.cmake -B $(abspath $(PACKAGE_BUILD_DIR))/cpack
	mkdir -p $(PACKAGE_DIR)
	cp $(PACKAGE_BUILD_DIR)/cpack/*.deb $(BUILD_DIR)/python/tavrin-*.whl $(PACKAGE_DIR)/
	cmake -DX86_DIR=$(WINDOWS_BUILD_DIR) -DX64_DIR=$(WINDOWS_X64_BUILD_DIR) -DSOURCE_DIR=. \
	  -DSTRIP_x86=i686-w64-mingw32-strip -DSTRIP_x64=x86_64-w64-mingw32-strip \
	  -DOUTPUT_DIR=$(abspath $(PACKAGE_DIR)) \
	  -P packaging/WindowsZip.cmake
	@ls -l $(PACKAGE_DIR)
