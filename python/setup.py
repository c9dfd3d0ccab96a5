"""The wheel carries libtavrin.so.1, native code for one platform, so it is
tagged py3-none-<platform> rather than py3-none-any (its Python runs on any
Python 3, its library only where it can load), and installs as platform
code. `make python` stages this folder with the library, the version and
the platform tag (manylinux_2_X_<machine>, read from the library) and
builds the wheel there.

This folder alone holds no library: the build backend
(build_backend/tavrin_staged_build.py) runs this file only once the folder
is staged, and otherwise says to run `make python`, rather than install a
package that cannot load.
"""

import os

from setuptools import Distribution, setup
from wheel.bdist_wheel import bdist_wheel

HERE = os.path.dirname(os.path.abspath(__file__))

with open(os.path.join(HERE, "PLATFORM"), encoding="ascii") as file:
    PLATFORM = file.read().strip()


class NativeDistribution(Distribution):
    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self) -> tuple:
        return "py3", "none", PLATFORM


setup(distclass=NativeDistribution, cmdclass={"bdist_wheel": PlatformWheel})
