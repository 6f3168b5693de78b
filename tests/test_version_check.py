"""The version check of module exec, on a build that claims to be made for Python 3.13."""

import fcntl
import os
import shutil
import subprocess
import sys

import pytest
from conftest import extra_build

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# A build of its own: left to the full suite, out of scripts/test --quick.
pytestmark = pytest.mark.rebuilds


@pytest.fixture(scope="module")
def mismatched_build(tmp_path_factory):
    if shutil.which("cmake") is None or shutil.which("ninja") is None:
        pytest.skip("needs cmake and ninja")
    # Kept beside the other builds, so that the next run (the sanitizer run, at the same time) only
    # checks it is up to date; in a tree that cannot be written, made afresh.
    build = extra_build(ROOT, "built-for-3.13")
    try:
        os.makedirs(build, exist_ok=True)
        lock = open(build + ".lock", "w")
    except OSError:
        build, lock = str(tmp_path_factory.mktemp("built-for-3.13")), open(os.devnull)
    # The compiler need not run under the sanitizer runtime that the sanitizer run preloads.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    with lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", f"-DPython_EXECUTABLE={sys.executable}",
                        "-DCMAKE_BUILD_TYPE=Release", "-DTINTWELL_BUILT_FOR_MINOR=13"], check=True,
                       capture_output=True, env=env)
        subprocess.run(["cmake", "--build", build, "--target", "colors", "detect", "stage_package"], check=True,
                       capture_output=True, env=env)
    return os.path.join(build, "pkg")


def run(pkg, code, *options):
    env = dict(os.environ, PYTHONPATH=str(pkg), PYTHONSAFEPATH="1")
    return subprocess.run([sys.executable, *options, "-c", code], capture_output=True, text=True, env=env)


@pytest.mark.parametrize("module", ["colors", "detect"])
def test_mismatch_warns_and_imports(mismatched_build, module):
    code = (f"import warnings\nwith warnings.catch_warnings(record=True) as seen:\n"
            f"    warnings.simplefilter('always')\n    import tintwell.{module} as m\n"
            f"print([(w.category.__name__, str(w.message)) for w in seen]); print(m.__test__)")
    child = run(mismatched_build, code)
    assert child.returncode == 0, child.stderr
    runtime = f"{sys.version_info.major}.{sys.version_info.minor}"
    expected = (f"compile time Python version 3.13 of module 'tintwell.{module}' does not match runtime version "
                f"{runtime}")
    assert child.stdout.splitlines() == [str([("RuntimeWarning", expected)]), "{}"]


@pytest.mark.parametrize("module", ["colors", "detect"])
def test_mismatch_as_error_fails_the_import_and_can_be_retried(mismatched_build, module):
    code = (f"import sys, warnings\nwarnings.simplefilter('error', RuntimeWarning)\n"
            f"try:\n    import tintwell.{module}\nexcept RuntimeWarning as e:\n    print('refused:', e)\n"
            f"print('tintwell.{module}' in sys.modules)\nwarnings.simplefilter('ignore')\n"
            f"import tintwell.{module} as m\nprint(list(vars(m))[-1])")
    child = run(mismatched_build, code)
    assert child.returncode == 0, child.stderr
    refused, registered, last = child.stdout.splitlines()
    assert refused.startswith(f"refused: compile time Python version 3.13 of module 'tintwell.{module}'")
    assert registered == "False"
    assert last == "__test__"
