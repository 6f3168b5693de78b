"""The Windows build without Windows: scripts/windows-check compiles each extension module with
mingw-w64 against the interpreter's headers (warnings as errors), links it into a .pyd and checks that
it needs no DLL but Python's, KERNEL32's and the C runtime's."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
if not (ROOT / "scripts" / "windows-check").exists():
    pytest.skip("compiles the sources of a checkout", allow_module_level=True)
if shutil.which("x86_64-w64-mingw32-g++") is None:
    pytest.skip("needs mingw-w64 (x86_64-w64-mingw32-g++)", allow_module_level=True)
# Builds modules of its own, with no instrumented code in them.
pytestmark = pytest.mark.packaging


@pytest.mark.parametrize("module", ["colors", "detect"])
def test_compiles_and_links_for_windows(module):
    proc = subprocess.run([str(ROOT / "scripts" / "windows-check"), module], capture_output=True, text=True,
                          timeout=900, env=dict(os.environ, TINTWELL_PYTHON=sys.executable))
    assert proc.returncode == 0, proc.stdout + proc.stderr[-5000:]
    dll = f"python{sys.version_info.major}{sys.version_info.minor}.dll"
    assert proc.stdout.splitlines() == [
        f"windows-check: {module}: compiles and links for Windows; imports KERNEL32.dll msvcrt.dll {dll}; "
        f"exports PyInit_{module}"]
