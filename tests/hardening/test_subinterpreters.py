"""The one-interpreter rule under real subinterpreters: an isolated one (own GIL) is refused by the
import system, a legacy one (shared GIL) by the module's create step, and the interpreter that owns
the modules keeps working. Each scenario runs in a fresh process: the rule is process-wide."""

import json
import os
import subprocess
import sys

ONE_INTERPRETER = "Interpreter change detected - this module can only be loaded into one interpreter per process."

HELPERS = r'''
import json, _interpreters
import concurrent.interpreters as interpreters


def isolated(code):
    """(exception type name, message) of `code` in a new isolated interpreter, or None."""
    interp = interpreters.create()
    try:
        interp.exec(code)
    except interpreters.ExecutionFailed as failure:
        return [failure.excinfo.type.__name__, failure.excinfo.msg]
    finally:
        interp.close()
    return None


def legacy(code):
    """The same in an interpreter sharing the main GIL and allocator, as embedders create them."""
    interp = _interpreters.create(_interpreters.new_config("legacy"))
    try:
        failure = _interpreters.exec(interp, code)
    finally:
        _interpreters.destroy(interp)
    return None if failure is None else [failure.type.__name__, failure.msg]


def works():
    from tintwell import colors, detect
    return [colors.fg_code("red"), colors.rgb_to_ansi256(255, 128, 0), int(detect.detect_color_level(None))]
'''

MAIN_FIRST = HELPERS + r'''
from tintwell import colors, detect, style
report = {}
for name in ("tintwell.colors", "tintwell.detect", "tintwell._paint"):
    report[name] = [isolated(f"import {name}"), legacy(f"import {name}"), legacy(f"import {name}")]
report["main"] = works()
print(json.dumps(report))
'''

SUBINTERPRETER_FIRST = HELPERS + r'''
report = {"isolated": isolated("import tintwell.colors")}
# An isolated refusal happens before the module is created: the main interpreter may still take it.
report["main after isolated"] = works()
report["legacy after main"] = legacy("import tintwell.detect")
print(json.dumps(report))
'''

LEGACY_FIRST = HELPERS + r'''
report = {"legacy": legacy("from tintwell import colors; assert colors.fg_code('red') == '\\x1b[31m'")}
try:
    import tintwell.colors
except ImportError as exc:
    report["main"] = ["ImportError", str(exc)]
else:
    report["main"] = None
report["second legacy"] = legacy("import tintwell.colors")
from tintwell import detect
report["detect in main"] = int(detect.detect_color_level(None))
print(json.dumps(report))
'''


def run(code):
    # Without NO_COLOR and FORCE_COLOR the level of the piped stdout is NONE.
    env = {name: value for name, value in os.environ.items() if name not in ("NO_COLOR", "FORCE_COLOR")}
    result = subprocess.run([sys.executable, "-X", "faulthandler", "-c", code], capture_output=True, text=True,
                            env=env, timeout=300)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def test_main_interpreter_first():
    report = run(MAIN_FIRST)
    for name in ("tintwell.colors", "tintwell.detect", "tintwell._paint"):
        isolated, legacy, again = report[name]
        assert isolated[0] == "ImportError" and name in isolated[1]
        assert legacy == again == ["ImportError", ONE_INTERPRETER]
    assert report["main"] == ["\x1b[31m", 214, 0]


def test_isolated_refusal_leaves_the_module_free():
    report = run(SUBINTERPRETER_FIRST)
    assert report["isolated"][0] == "ImportError"
    assert report["main after isolated"] == ["\x1b[31m", 214, 0]
    assert report["legacy after main"] == ["ImportError", ONE_INTERPRETER]


def test_first_interpreter_keeps_the_module():
    # The first interpreter to import a module owns it for the life of the process, even after it
    # is gone; importing elsewhere fails cleanly, the other module is unaffected.
    report = run(LEGACY_FIRST)
    assert report["legacy"] is None
    assert report["main"] == ["ImportError", ONE_INTERPRETER]
    assert report["second legacy"] == ["ImportError", ONE_INTERPRETER]
    assert report["detect in main"] == 0
