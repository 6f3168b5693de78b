"""The package as users and packagers get it: the sdist and the manylinux wheel of scripts/dist, the
wheel installed into a fresh virtual environment and used from outside the source tree and from the
repository root, the README's offline install commands, and the suite run against the installed
wheel from the unpacked sdist."""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path

import pytest

import tintwell

SOURCE = Path(__file__).resolve().parent.parent
if not (SOURCE / "scripts" / "dist").exists():
    pytest.skip("builds the package from a checkout", allow_module_level=True)
pytestmark = pytest.mark.packaging

VERSION = tintwell.__version__
EXT = sysconfig.get_config_var("EXT_SUFFIX")
# The interpreter and machine of this run: the wheel is for them.
PYTHON = f"python{sys.version_info.major}.{sys.version_info.minor}"
MACHINE = sysconfig.get_platform().removeprefix("linux-")
PACKAGE_FILES = {
    "tintwell/__init__.py", "tintwell/__main__.py", "tintwell/colors.pyi", "tintwell/detect.pyi",
    "tintwell/_paint.pyi", "tintwell/py.typed", "tintwell/style.py", "tintwell/_logging.py", "tintwell/_text.py",
    "tintwell/_colour_help.py", f"tintwell/colors{EXT}", f"tintwell/detect{EXT}", f"tintwell/_paint{EXT}",
}
# Variables that would let the source tree or the build tree stand in for the installed package,
# or that change what the colour check prints.
CLEARED = {"PYTHONPATH", "PYTHONSAFEPATH", "PYTHONHOME", "MYPYPATH", "NO_COLOR", "FORCE_COLOR",
           "COLORTERM", "TERM"}
# What a checkout holds besides the sources; a copy of it leaves these out, as a fresh clone would.
NOT_CLONED = {".git", "build", "dist", ".venv", ".pytest_cache", ".hypothesis", ".mypy_cache"}


def clean_env(**variables):
    env = {k: v for k, v in os.environ.items() if k not in CLEARED and not k.startswith("PIP_")}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", **variables)
    return env


def check_run(args, cwd, **variables):
    proc = subprocess.run(args, cwd=cwd, env=clean_env(**variables), capture_output=True, text=True,
                          timeout=900)
    assert proc.returncode == 0, f"{args}\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout


def clone(destination):
    """A copy of the checkout as a fresh clone has it: no build, no environments, no caches."""
    shutil.copytree(SOURCE, destination, symlinks=True,
                    ignore=lambda folder, names: NOT_CLONED & set(names) if Path(folder) == SOURCE else
                    {"__pycache__"} & set(names))
    return destination


def sdist_names(sdist):
    with tarfile.open(sdist) as archive:
        prefix = f"tintwell-{VERSION}/"
        names = archive.getnames()
    assert all(name.startswith(prefix) for name in names), names
    return {name.removeprefix(prefix) for name in names}


def source_files(root):
    """What the sdist must hold: everything building reads, the licence, the README, the tests."""
    files = {"pyproject.toml", "CMakeLists.txt", "LICENSE", "README.md", "tools/index_readme.py"}
    for folder in ("frame", "tintwell", "python", "tests"):
        files |= {path.relative_to(root).as_posix() for path in (root / folder).rglob("*")
                  if path.is_file() and "__pycache__" not in path.parts}
    return files


def auditwheel_show(wheel):
    out = check_run(["auditwheel", "show", str(wheel)], wheel.parent)
    tag = re.search(r'consistent with the\s+following platform tag:\s+"([^"]+)"', out)
    assert tag, out
    return tag[1], set(re.findall(r"(lib[\w+-]+\.so[\w.]*) with versions", out)), out


@pytest.fixture(scope="module")
def dist(tmp_path_factory):
    """The sdist and the manylinux wheel of scripts/dist, made from the checkout as it is (built)."""
    out = tmp_path_factory.mktemp("dist")
    paths = [Path(line) for line in
             check_run([str(SOURCE / "scripts" / "dist"), "--python", sys.executable, str(out)], out).split()]
    assert sorted(p.name for p in out.iterdir()) == sorted(p.name for p in paths)
    [sdist] = [p for p in paths if p.name.endswith(".tar.gz")]
    [wheel] = [p for p in paths if p.name.endswith(".whl")]
    return sdist, wheel


@pytest.fixture(scope="module")
def wheel(dist):
    return dist[1]


@pytest.fixture(scope="module")
def venv(wheel, tmp_path_factory):
    home = tmp_path_factory.mktemp("venv")
    # The system site packages only lend pip and the test tools; tintwell itself is nowhere but in
    # the wheel.
    check_run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(home / "env")],
              home)
    python = home / "env" / "bin" / "python"
    check_run([str(python), "-m", "pip", "install", "--no-deps", str(wheel)], home)
    return python


def test_sdist_holds_exactly_the_sources(dist):
    # The checkout has been built (scripts/test builds before the suite), so build/ holds objects.
    names = sdist_names(dist[0])
    assert names == source_files(SOURCE) | {"PKG-INFO"}
    assert not [n for n in names if n.startswith(("build/", "dist/")) or n.endswith((".o", ".so", ".pyc"))]


def test_sdist_leaves_out_stray_files(dist, tmp_path):
    tree = clone(tmp_path / "tree")
    strays = ["build/release/pkg/tintwell/colors.so", "build/release/CMakeFiles/frame.dir/frame/module.cpp.o",
              "frame/module.cpp.o", "tintwell/colors/module.cpp~", "python/tintwell/__pycache__/x.pyc",
              "tests/__pycache__/conftest.cpython-314.pyc", "dist/old.whl", ".venv/bin/python", "notes.txt",
              "tintwell/__init__.py"]
    for stray in strays:
        (tree / stray).parent.mkdir(parents=True, exist_ok=True)
        (tree / stray).write_text("stray")
    check_run([sys.executable, "-m", "build", "--sdist", "--no-isolation", "--outdir", str(tmp_path / "out"),
               str(tree)], tmp_path)
    [sdist] = (tmp_path / "out").iterdir()
    assert sdist_names(sdist) == sdist_names(dist[0])


def test_wheel_holds_only_the_package_and_licence(wheel):
    with zipfile.ZipFile(wheel) as archive:
        names = {n for n in archive.namelist() if not n.endswith("/")}  # auditwheel adds folder entries
        licence = archive.read(f"tintwell-{VERSION}.dist-info/licenses/LICENSE")
    dist_info = f"tintwell-{VERSION}.dist-info/"
    assert {n for n in names if not n.startswith(dist_info)} == PACKAGE_FILES
    assert not [n for n in names if n.endswith((".cpp", ".hpp", ".txt", ".cmake", ".toml"))]
    assert licence == (SOURCE / "LICENSE").read_bytes()


def test_installed_wheel_keeps_no_test_counters(venv, tmp_path):
    # The counters are for the suite's own builds: the wheel's modules export no tintwell_test_counter.
    out = check_run([str(venv), "-c", "import ctypes, tintwell.colors as c, tintwell.detect as d\n"
                     "print([hasattr(ctypes.CDLL(m.__file__), 'tintwell_test_counter') for m in (c, d)])"], tmp_path)
    assert out.split() == ["[False,", "False]"]


def read_metadata(dist, which):
    sdist, wheel = dist
    if which == "sdist":
        with tarfile.open(sdist) as archive:
            return archive.extractfile(f"tintwell-{VERSION}/PKG-INFO").read().decode()
    with zipfile.ZipFile(wheel) as archive:
        return archive.read(f"tintwell-{VERSION}.dist-info/METADATA").decode()


@pytest.mark.parametrize("which", ["sdist", "wheel"])
def test_metadata_for_an_index(dist, which):
    headers, _, description = read_metadata(dist, which).partition("\n\n")
    fields = [tuple(line.split(": ", 1)) for line in headers.splitlines()]
    assert {("Version", VERSION), ("Requires-Python", ">=3.14"), ("License-Expression", "MIT"),
            ("License-File", "LICENSE"), ("Description-Content-Type", "text/markdown")} <= set(fields)
    classifiers = {value for key, value in fields if key == "Classifier"}
    assert {"Typing :: Typed", "Programming Language :: Python :: Implementation :: CPython",
            "Programming Language :: Python :: 3.14"} <= classifiers
    assert [c for c in classifiers if c.startswith("Development Status :: ")]
    assert [c for c in classifiers if c.startswith("Operating System :: ")]
    assert "terminal" in dict(fields)["Keywords"].split(",")
    # The README for a reader of the index: what tintwell is, how to install and use it, not the
    # sections about working in the repository; and no picture or link points at a file of it.
    readme = (SOURCE / "README.md").read_text()
    headings = set(re.findall(r"^#+ (.*)$", description, re.M))
    assert {"Install", "Running your program", "Quick start", "The command-line tool"} <= headings
    assert not {"Set-up", "Build", "Test"} & headings
    assert "scripts/py314" not in description and "screenshot" not in description
    targets = re.findall(r"\]\(([^)\s]*)", description) + re.findall(r'(?:src|href)="([^"]*)"', description)
    assert not [t for t in targets if not re.match(r"[a-z][a-z0-9+.-]*:|#", t)]
    assert description.rstrip("\n") == index_readme().for_index(readme).rstrip("\n")


def index_readme():
    module_spec = importlib.util.spec_from_file_location("index_readme", SOURCE / "tools" / "index_readme.py")
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


@pytest.mark.parametrize("text, expected", [
    ("Intro:\n\n![shot](docs/screenshot.png)\n\n## Next\n", "Intro:\n\n## Next\n"),
    ("See [the guide](docs/guide.md) or [the site](https://example.org/x).\n",
     "See the guide or [the site](https://example.org/x).\n"),
    ('![a](a.png "title") and [b](#section) [m](mailto:x@example.org)\n',
     " and [b](#section) [m](mailto:x@example.org)\n"),
    ("![remote](https://example.org/a.png)\n", "![remote](https://example.org/a.png)\n"),
    ("```md\n![kept](in/code.png)\n```\n", "```md\n![kept](in/code.png)\n```\n"),
    ("# T\n\n## Set-up\n\n```sh\n# no heading\n```\n\n### Layout\n\nx\n\n## Install\n\ny\n", "# T\n\n## Install\n\ny\n"),
])
def test_index_readme_drops_relative_targets(text, expected):
    assert index_readme().for_index(text) == expected


def test_manylinux_at_the_oldest_policy(wheel):
    # `auditwheel show` names the most compatible tag the modules allow; the wheel must carry it.
    tag, libraries, out = auditwheel_show(wheel)
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    assert wheel.name.startswith(f"tintwell-{VERSION}-{python}-{python}-")
    assert tag in wheel.name.removesuffix(".whl").split("-")[-1].split("."), (tag, wheel.name)
    # Only the C library and libm: nothing is grafted into the wheel, and no newer glibc is needed
    # than that of manylinux2014.
    assert libraries <= {"libc.so.6", "libm.so.6"}, out
    with zipfile.ZipFile(wheel) as archive:
        assert not [n for n in archive.namelist() if ".libs/" in n]
    assert int(re.fullmatch(rf"manylinux_2_(\d+)_{MACHINE}", tag)[1]) <= 17


def test_installed_package_imports(venv, tmp_path):
    code = """if True:
        import sys
        import tintwell
        # The package itself loads neither extension module.
        assert "tintwell.colors" not in sys.modules and "tintwell.detect" not in sys.modules
        from tintwell import colors, detect
        print(tintwell.__file__)
        print(repr(colors.fg_code("red") + colors.bg_code("#ff8000") + colors.RESET_FG))
        print(detect.detect_color_level().name, detect.supports_color())
    """
    out = check_run([str(venv), "-c", code], tmp_path, FORCE_COLOR="2").splitlines()
    assert Path(out[0]).is_relative_to(venv.parent.parent)
    assert out[1] == repr("\x1b[31m\x1b[48;2;255;128;0m\x1b[39m")
    assert out[2] == "EXTENDED True"


def test_installed_command_line_tool(venv, tmp_path):
    out = check_run([str(venv), "-m", "tintwell"], tmp_path, FORCE_COLOR="1")
    assert "Colour level of stdout: BASIC (16 colours)" in out
    assert "\x1b[31mred" in out
    out = check_run([str(venv), "-m", "tintwell", "show", "196"], tmp_path, NO_COLOR="1")
    assert "  fg_code: '\\x1b[38;5;196m'" in out and "\x1b" not in out


# The source folder tintwell/ is in the current directory here; the installed package must win.
@pytest.mark.parametrize("args, expected", [
    (["-m", "tintwell"], "Colour level of stdout: BASIC (16 colours)"),
    (["-c", "import sys, tintwell.colors as c; print(c.__file__.startswith(sys.prefix), repr(c.fg_code(9)))"],
     "True '\\x1b[38;5;9m'"),
    (["-m", "mypy.stubtest", "tintwell.colors", "tintwell.detect"], "Success: no issues found in 2 modules"),
], ids=["command", "import", "stubtest"])
def test_from_the_repository_root(venv, args, expected, tmp_path):
    assert expected in check_run([str(venv), *args], SOURCE, FORCE_COLOR="1", MYPY_CACHE_DIR=str(tmp_path))


def readme_block(heading):
    """The first sh code block after the README heading that starts with `heading`, for the interpreter
    of this run (the README names python3.14)."""
    readme = (SOURCE / "README.md").read_text()
    match = re.search(rf"^#+ {re.escape(heading)}.*?^```sh\n(.*?)^```", readme, re.M | re.S)
    assert match, f"no sh block under {heading!r} in README.md"
    return match[1].replace("python3.14", PYTHON)


def test_readme_offline_install(tmp_path):
    tree = clone(tmp_path / "tintwell")
    proc = subprocess.run(["bash", "-euo", "pipefail", "-c", readme_block("Offline")], cwd=tree,
                          env=clean_env(FORCE_COLOR="1"), capture_output=True, text=True, timeout=900)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "Colour level of stdout: BASIC (16 colours)" in proc.stdout
    # The environment it made serves from anywhere.
    python = tree / ".venv" / "bin" / "python"
    out = check_run([str(python), "-c", "import tintwell.colors as c; print(c.__file__, repr(c.fg_code('red')))"],
                    tmp_path)
    assert out.split() == [str(tree / ".venv" / "lib" / PYTHON / "site-packages" / "tintwell" /
                               f"colors{EXT}"), repr("\x1b[31m")]


def test_suite_against_the_installed_wheel(dist, venv, tmp_path):
    # A packager's run: the tests of the unpacked sdist, the interpreter of the environment that
    # holds the wheel, the README's command. The packaging tests need a checkout and are left out.
    with tarfile.open(dist[0]) as archive:
        archive.extractall(tmp_path, filter="data")
    command = readme_block("Against an installed package").strip() + " -rA -p no:cacheprovider"
    path = f"{venv.parent}{os.pathsep}{os.environ['PATH']}"
    proc = subprocess.run(["bash", "-c", command], cwd=tmp_path / f"tintwell-{VERSION}",
                          env=clean_env(PATH=path), capture_output=True, text=True, timeout=900)
    assert proc.returncode == 0, proc.stdout[-5000:] + proc.stderr[-5000:]
    assert re.search(r"^=+ \d+ passed.* in [\d.]+s", proc.stdout, re.M), proc.stdout[-2000:]
    for test in ("test_stubs.py::test_stubtest", "test_stubs.py::test_mypy_strict[package]",
                 "test_stubs.py::test_mypy_strict[user-code]", "test_style.py::",
                 "test_cli.py::", "hardening/test_hostile.py::"):
        assert f"PASSED tests/{test}" in proc.stdout, test
