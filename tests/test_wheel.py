"""The wheel as users get it: built from the source tree, installed into a fresh virtual environment,
and used from a directory that has no sources in it."""

import os
import re
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path

import pytest

import tintwell

SOURCE = Path(__file__).resolve().parent.parent
EXT = sysconfig.get_config_var("EXT_SUFFIX")
PACKAGE_FILES = {
    "tintwell/__init__.py", "tintwell/__main__.py", "tintwell/colors.pyi", "tintwell/detect.pyi",
    "tintwell/py.typed", "tintwell/style.py", f"tintwell/colors{EXT}", f"tintwell/detect{EXT}",
}
# Variables that would let the source tree or the build tree stand in for the installed package,
# or that change what the colour check prints.
CLEARED = {"PYTHONPATH", "PYTHONSAFEPATH", "PYTHONHOME", "MYPYPATH", "NO_COLOR", "FORCE_COLOR",
           "COLORTERM", "TERM"}


def clean_env(**variables):
    env = {k: v for k, v in os.environ.items() if k not in CLEARED and not k.startswith("PIP_")}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", **variables)
    return env


def check_run(args, cwd, **variables):
    proc = subprocess.run(args, cwd=cwd, env=clean_env(**variables), capture_output=True, text=True,
                          timeout=900)
    assert proc.returncode == 0, f"{args}\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("wheel")
    # A build directory of its own: the wheel must come out of the sources alone.
    build_dir = tmp_path_factory.mktemp("wheel-build")
    check_run([sys.executable, "-m", "pip", "wheel", str(SOURCE), "--no-build-isolation", "--no-deps",
               "-w", str(out), f"--config-settings=build-dir={build_dir}"], out)
    wheels = list(out.iterdir())
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def venv(wheel, tmp_path_factory):
    home = tmp_path_factory.mktemp("venv")
    # The system site packages only lend pip; tintwell itself is nowhere but in the wheel.
    check_run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(home / "env")],
              home)
    python = home / "env" / "bin" / "python"
    check_run([str(python), "-m", "pip", "install", "--no-deps", str(wheel)], home)
    return python


def test_wheel_name_and_metadata(wheel):
    tag = f"cp{sys.version_info.major}{sys.version_info.minor}"
    assert re.fullmatch(rf"tintwell-{re.escape(tintwell.__version__)}-{tag}-{tag}-[a-z0-9_]+\.whl",
                        wheel.name)
    with zipfile.ZipFile(wheel) as archive:
        metadata = archive.read(f"tintwell-{tintwell.__version__}.dist-info/METADATA").decode()
    assert f"\nVersion: {tintwell.__version__}\n" in metadata
    assert "\nRequires-Python: >=3.14\n" in metadata


def test_wheel_holds_only_the_package(wheel):
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
    dist_info = f"tintwell-{tintwell.__version__}.dist-info/"
    assert {n for n in names if not n.startswith(dist_info)} == PACKAGE_FILES
    assert not [n for n in names if n.endswith((".cpp", ".hpp", ".txt", ".cmake", ".toml"))]


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
