"""pytest plugin for the sanitizer run (scripts/hardening asan).

The run must test the instrumented modules: the header names the files loaded, and the session
stops at once when they are not those of the build named by TINTWELL_SANITIZED_BUILD. Instrumented
code runs several times slower, so hypothesis gets no per-example deadline here. Tests marked
`packaging` build and install a wheel of their own, which holds no instrumented code: they are
deselected."""

import os

import pytest
from hypothesis import settings

settings.register_profile("sanitized", deadline=None)
settings.load_profile("sanitized")


def loaded_modules():
    import tintwell.colors
    import tintwell.detect

    return [tintwell.colors.__file__, tintwell.detect.__file__]


def pytest_report_header(config):
    return "tintwell under the sanitizers: " + ", ".join(loaded_modules())


def pytest_configure(config):
    build = os.environ.get("TINTWELL_SANITIZED_BUILD")
    if build and not all(os.path.realpath(path).startswith(os.path.realpath(build) + os.sep)
                         for path in loaded_modules()):
        raise pytest.UsageError(f"the modules loaded are not those of {build}: {loaded_modules()}")


def pytest_collection_modifyitems(config, items):
    packaging = [item for item in items if item.get_closest_marker("packaging")]
    if packaging:
        config.hook.pytest_deselected(items=packaging)
        items[:] = [item for item in items if not item.get_closest_marker("packaging")]
