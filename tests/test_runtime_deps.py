"""Every extension module the CMake project builds needs only the C library and libm, whichever
compiler and C++ standard library build it: no C++ runtime (libstdc++, libc++, libc++abi) is loaded,
and nothing is initialised when the module is loaded, before the interpreter asks for it."""

import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import extra_build

ROOT = Path(__file__).resolve().parent.parent
if not (ROOT / "CMakeLists.txt").exists():
    pytest.skip("builds the sources of a checkout", allow_module_level=True)
if not sys.platform.startswith("linux"):
    pytest.skip("reads ELF files", allow_module_level=True)
# Three builds of their own: left to the full suite, out of scripts/test --quick.
pytestmark = pytest.mark.rebuilds

# name: (compiler, extra flags). -Wpedantic -Werror: each compiler's build must stay free of warnings.
TOOLCHAINS = {
    "g++": ("g++", ""),
    "clang++-libstdc++": ("clang++", ""),
    "clang++-libc++": ("clang++", "-stdlib=libc++"),
}
ALLOWED_NEEDED = {"libc.so.6", "libm.so.6"}
# What only a C++ runtime defines: the ABI's support calls (guards, pure virtual, exceptions), the
# personality and unwinder, and every mangled name (operator new, std::).
RUNTIME_SYMBOL = re.compile(r"^(__cxa_|__gxx_|__cxx|_Unwind_|_Z)")


def build(name):
    """Builds the whole project with the toolchain `name`; returns the module files, found through
    CMake's file API (every MODULE library target: as many as the project has)."""
    compiler, flags = TOOLCHAINS[name]
    if shutil.which(compiler) is None or shutil.which("cmake") is None or shutil.which("ninja") is None:
        pytest.skip(f"needs {compiler}, cmake and ninja")
    # Kept beside the other builds, so that the next run (the sanitizer run, at the same time) only
    # checks they are up to date.
    tree = Path(extra_build(ROOT, f"runtime-{name}"))
    query = tree / ".cmake" / "api" / "v1" / "query" / "codemodel-v2"
    query.parent.mkdir(parents=True, exist_ok=True)
    query.touch()
    # The compilers need not run under the sanitizer runtime that the sanitizer run preloads.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    with open(f"{tree}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        steps = [["cmake", "-S", ROOT, "-B", tree, "-G", "Ninja", f"-DPython_EXECUTABLE={sys.executable}",
                  "-DCMAKE_BUILD_TYPE=Release", f"-DCMAKE_CXX_COMPILER={compiler}",
                  f"-DCMAKE_CXX_FLAGS={flags} -Wpedantic -Werror"],
                 ["cmake", "--build", tree]]
        for step in steps:
            done = subprocess.run(step, capture_output=True, text=True, env=env)
            assert done.returncode == 0, f"{name}: {' '.join(map(str, step))}\n{done.stdout[-5000:]}{done.stderr[-5000:]}"
    reply = tree / ".cmake" / "api" / "v1" / "reply"
    index = json.loads(max(reply.glob("index-*.json")).read_text())
    codemodel = json.loads((reply / index["reply"]["codemodel-v2"]["jsonFile"]).read_text())
    modules = []
    for target in codemodel["configurations"][0]["targets"]:
        details = json.loads((reply / target["jsonFile"]).read_text())
        if details["type"] == "MODULE_LIBRARY":
            modules += [tree / artifact["path"] for artifact in details["artifacts"]]
    return modules


@pytest.fixture(scope="module", params=list(TOOLCHAINS))
def modules(request):
    return request.param, build(request.param)


def tool(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


def test_every_module_needs_only_libc_and_libm(modules):
    name, files = modules
    assert {f.name.split(".")[0] for f in files} >= {"colors", "detect"}, files
    for module in files:
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", tool("readelf", "-d", module))
        assert set(needed) <= ALLOWED_NEEDED, f"{name}: {module.name} needs {needed}"
        # The C library has a few such names (__cxa_atexit, __cxa_finalize), with its version tags. A
        # weak reference counts too: it binds to whatever runtime happens to be loaded.
        undefined = tool("nm", "-D", "--undefined-only", module).split()
        runtime = [s for s in undefined if RUNTIME_SYMBOL.match(s) and "@GLIBC_" not in s]
        assert runtime == [], f"{name}: {module.name} wants {runtime}"


def test_nothing_runs_when_a_module_is_loaded(modules):
    # A static object initialised by code at load time (a constructor with side effects, a name
    # registering itself) is what makes clang call the runtime's guard functions; and it would run
    # before the interpreter has asked for the module. Everything is built by the module's exec.
    name, files = modules
    for module in files:
        initialisers = [s for s in tool("nm", module).split() if s.startswith("_GLOBAL__sub_I_")]
        assert initialisers == [], f"{name}: {module.name} runs {initialisers} when loaded"
