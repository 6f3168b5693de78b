"""Threads calling every function in tight loops while another thread rebinds and restores module
attributes, environment variables and sys.platform: nothing crashes and every outcome is one that
some interleaving of the changes allows. Runs in a child process, whose switch interval is tiny so
that threads change hands inside the calls."""

import json
import subprocess
import sys

CHILD = r'''
import json, os, sys, threading
from tintwell import colors, detect

threads, calls = int(sys.argv[1]), int(sys.argv[2])
sys.setswitchinterval(1e-6)

NAMED, ALIASES, HEX_RE = colors.NAMED_COLORS, colors.COLOR_ALIASES, colors._HEX_RE
VALIDATE, COLOR_CODE = colors._validate_rgb, colors._color_code
ESCAPES = ("\x1b[", "<")


class Tty:
    def isatty(self):
        return True


def sequences(*tails):
    return {esc + tail for esc in ESCAPES for tail in tails}


def missing(name):
    return ("NameError", f"name '{name}' is not defined")


def bool_result(value):
    return type(value) is bool


def level_result(value):
    return type(value) is detect.ColorLevel


# (call, allowed results or a predicate, allowed exceptions as (type name, message or None))
CALLS = [
    (lambda: colors.fg_code("grey"), sequences("90m"), {missing("COLOR_ALIASES")}),
    (lambda: colors.bg_code("red"), sequences("41m", "48m"), {missing("COLOR_ALIASES")}),
    (lambda: colors._color_code("Blue", foreground=False), sequences("44m"), {missing("COLOR_ALIASES")}),
    (lambda: colors.fg_code("nope"), set(), {missing("COLOR_ALIASES"), ("ValueError", None)}),
    (lambda: colors.fg_code("#ff8000"), sequences("38;2;255;128;0m"), {missing("_HEX_RE")}),
    (lambda: colors.bg_code((1.5, 2, 3)), sequences("48;2;1;2;3m"), set()),
    (lambda: colors.fg_code(196), sequences("38;5;196m"), set()),
    (lambda: colors.fg_code(256), set(), {("ValueError", "256 色索引须在 0-255 范围内，收到: 256")}),
    (lambda: colors.parse_hex("#abc"), {(170, 187, 204)}, {missing("_HEX_RE")}),
    (lambda: colors._validate_rgb(1, 2.5, True), {None}, set()),
    (lambda: colors.rgb_to_ansi256(255, 128, 0), {214}, set()),
    (lambda: detect.detect_color_level(Tty()), level_result, set()),
    (lambda: detect.detect_color_level(), level_result, set()),
    (lambda: detect.supports_color(Tty()), bool_result, set()),
    (lambda: detect._has_windows_console(), {False}, set()),
    (lambda: detect.enable_windows_vt(), {False}, set()),
]

invalid = []
done = threading.Event()


def judge(call, allowed, errors):
    try:
        result = call()
    except Exception as exc:
        if (type(exc).__name__, str(exc)) not in errors and (type(exc).__name__, None) not in errors:
            invalid.append(f"{type(exc).__name__}: {exc}")
        return
    if not (allowed(result) if callable(allowed) else result in allowed):
        invalid.append(f"result {result!r}")


def worker():
    for _ in range(calls):
        for entry in CALLS:
            judge(*entry)


def python_color_code(color, *, foreground):
    return COLOR_CODE(color, foreground=foreground)


TOGGLES = [
    (colors, "ESC", "<"),
    (colors, "COLOR_ALIASES", None),
    (colors, "NAMED_COLORS", {**NAMED, "red": 38}),
    (colors, "_HEX_RE", None),
    (colors, "_validate_rgb", lambda r, g, b: None),
    (colors, "_color_code", python_color_code),
    (sys, "platform", "win32"),
]
ENVIRONMENT = [("TERM", "xterm-256color"), ("TERM", "dumb"), ("FORCE_COLOR", "3"), ("NO_COLOR", "1"),
               ("COLORTERM", "truecolor")]
changes = 0


def mutator():
    global changes
    while not done.is_set():
        for module, name, value in TOGGLES:
            original = vars(module)[name]
            if value is None:
                del vars(module)[name]
            else:
                setattr(module, name, value)
            setattr(module, name, original)
            changes += 2
        for name, value in ENVIRONMENT:
            os.environ[name] = value
            del os.environ[name]
            changes += 2
        for module, name, value in TOGGLES:  # several changes in force at once
            if value is None:
                del vars(module)[name]
            else:
                setattr(module, name, value)
        os.environ["TERM"] = "xterm-256color"
        for module, name, value in TOGGLES:
            setattr(module, name, {"ESC": "\x1b[", "COLOR_ALIASES": ALIASES, "NAMED_COLORS": NAMED,
                                   "_HEX_RE": HEX_RE, "_validate_rgb": VALIDATE, "_color_code": COLOR_CODE,
                                   "platform": "linux"}[name])
        del os.environ["TERM"]
        changes += 2 * len(TOGGLES) + 2


for name, _ in ENVIRONMENT:
    os.environ.pop(name, None)
changer = threading.Thread(target=mutator)
workers = [threading.Thread(target=worker) for _ in range(threads)]
changer.start()
for thread in workers:
    thread.start()
for thread in workers:
    thread.join()
done.set()
changer.join()
# Everything is back in place and answers as before.
assert colors.fg_code("red") == "\x1b[31m" and colors.parse_hex("#fff") == (255, 255, 255)
assert detect.detect_color_level(Tty()) is detect.ColorLevel.NONE
print(json.dumps({"calls": threads * calls * len(CALLS), "changes": changes, "invalid": invalid[:20],
                  "invalid_count": len(invalid)}))
'''

THREADS = 4
ROUNDS = 8000


def test_threads_calling_while_names_change():
    result = subprocess.run([sys.executable, "-X", "faulthandler", "-c", CHILD, str(THREADS), str(ROUNDS)],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    assert report["invalid"] == [], report
    assert report["calls"] == THREADS * ROUNDS * 16
    assert report["changes"] > 0
