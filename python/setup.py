"""The wheel carries libtavrin.so.1, native code for one platform, so it is
tagged py3-none-<platform> rather than py3-none-any (its Python runs on any
Python 3, its library only where it was built), and installs as platform
code."""

from setuptools import Distribution, setup
from wheel.bdist_wheel import bdist_wheel


class NativeDistribution(Distribution):
    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self) -> tuple:
        _, _, platform = super().get_tag()
        return "py3", "none", platform


setup(distclass=NativeDistribution, cmdclass={"bdist_wheel": PlatformWheel})
