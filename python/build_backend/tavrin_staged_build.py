"""The build backend of the Python package (pyproject.toml): setuptools' own,
once `make python` has staged the package with its library, version and
platform tag (BuildWheel.cmake).

The source folder alone holds no library, and a wheel built from it could
not load: there every hook stops with the command to run instead. The
backend asks for nothing to be installed before it runs (build-system
requires nothing), so that `pip install ./python` gets this message with no
network and no setuptools, where pip's build isolation used to fail first,
fetching setuptools. Staged, it asks for setuptools and wheel, which a
build without isolation finds installed (Debian's python3-setuptools and
python3-wheel).
"""

import os

_HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_STAGED = ["VERSION", "PLATFORM", os.path.join("src", "tavrin", "libtavrin.so.1")]
_REQUIRES = ["setuptools>=61", "wheel"]
_NOT_STAGED = (
    "tavrin: this folder is the package without its library. Build the wheel with "
    "`make python` at the top of the source tree (it builds libtavrin.so.1 first), "
    "then run: pip install build/python/tavrin-*.whl")


def _setuptools():
    """setuptools' backend, for a staged package; otherwise the message."""
    if not all(os.path.exists(os.path.join(_HERE, name)) for name in _STAGED):
        raise SystemExit(_NOT_STAGED)
    from setuptools import build_meta

    return build_meta


def get_requires_for_build_wheel(config_settings=None):
    return _REQUIRES + _setuptools().get_requires_for_build_wheel(config_settings)


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return _setuptools().prepare_metadata_for_build_wheel(metadata_directory, config_settings)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _setuptools().build_wheel(wheel_directory, config_settings, metadata_directory)


def get_requires_for_build_sdist(config_settings=None):
    return _REQUIRES + _setuptools().get_requires_for_build_sdist(config_settings)


def build_sdist(sdist_directory, config_settings=None):
    return _setuptools().build_sdist(sdist_directory, config_settings)


def get_requires_for_build_editable(config_settings=None):
    return _REQUIRES + _setuptools().get_requires_for_build_editable(config_settings)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    return _setuptools().build_editable(wheel_directory, config_settings, metadata_directory)
