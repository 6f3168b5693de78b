"""Terminal colour check: ``python -m tintwell``.

Reports the colour level detected for stdout and the environment behind it, then shows swatches
suited to that level. ``python -m tintwell show COLOUR...`` prints the escape sequences of given
colours. Only the public interface of ``tintwell.colors`` and ``tintwell.detect`` is used.
"""

import argparse
import colorsys
import os
import re
import sys

import tintwell
from tintwell import colors, detect

ColorLevel = detect.ColorLevel

LEVEL_TEXT = {
    ColorLevel.NONE: "no colour",
    ColorLevel.BASIC: "16 colours",
    ColorLevel.EXTENDED: "256 colours",
    ColorLevel.TRUECOLOR: "24-bit colour",
}

# Read by detection on every platform.
COMMON_VARIABLES = ("NO_COLOR", "FORCE_COLOR", "COLORTERM", "TERM")
# Read on Windows only. ANSICON is read as well, though it does not raise the level.
WINDOWS_VARIABLES = (
    "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED", "WT_SESSION", "ConEmuANSI",
    "ANSICON",
)
# Windows variables whose exact value decides, not just whether they are set.
VALUE_MATTERS = ("TERM_PROGRAM", "ConEmuANSI")

SHOW_EXAMPLE = "python -m tintwell show red '#ff8000' 196 '10,20,30'"
INTEGER_RE = re.compile(r"[+-]?[0-9]+")


class BadColour(Exception):
    """A colour the colors module rejected; the message is the module's own."""


def stdout_is_terminal():
    try:
        return bool(sys.stdout.isatty())
    except (AttributeError, ValueError, OSError):
        return False


def decided_by(env, windows, tty):
    """Names the input that settled the level, following the order in which detection reads them."""
    if env.get("NO_COLOR", ""):
        return f"NO_COLOR={env['NO_COLOR']!r}"
    if env.get("FORCE_COLOR", ""):
        return f"FORCE_COLOR={env['FORCE_COLOR']!r}"
    if windows:
        if env.get("TERM_PROGRAM") == "vscode":
            return "TERM_PROGRAM='vscode' (IDE)"
        for name in ("VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED"):
            if env.get(name):
                return f"{name} is set (IDE)"
    if not tty:
        return "stdout is not a terminal"
    if windows:
        if env.get("WT_SESSION"):
            return "WT_SESSION is set (Windows Terminal)"
        if env.get("ConEmuANSI") == "ON":
            return "ConEmuANSI='ON' (ConEmu)"
        if env.get("ANSICON"):
            return "Windows console with ANSICON"
        return "Windows console"
    colorterm = env.get("COLORTERM", "")
    if colorterm.lower() in ("truecolor", "24bit"):
        return f"COLORTERM={colorterm!r}"
    if env.get("TERM", ""):
        return f"TERM={env['TERM']!r}"
    return "TERM is unset"


def parse_colour(text):
    """Command-line text to a colour: 'r,g,b' a tuple, digits an index, else a str."""
    parts = text.split(",")
    if len(parts) > 1 and all(INTEGER_RE.fullmatch(p.strip()) for p in parts):
        return tuple(int(p) for p in parts)
    if INTEGER_RE.fullmatch(text.strip()):
        return int(text)
    return text


def colour_level(colour):
    """The lowest level at which the sequence for `colour` is understood."""
    if isinstance(colour, str) and not colour.startswith("#"):
        return ColorLevel.BASIC
    if isinstance(colour, int):
        return ColorLevel.EXTENDED
    return ColorLevel.TRUECOLOR


def colour_kind(colour):
    if isinstance(colour, tuple):
        return f"RGB tuple {colour!r}, 24-bit"
    if isinstance(colour, int):
        return "palette index"
    if colour.startswith("#"):
        return "hexadecimal, 24-bit"
    return "colour name"


def colour_rgb(colour):
    if isinstance(colour, tuple):
        return colour
    return colors.parse_hex(colour)


def codes(colour):
    try:
        return colors.fg_code(colour), colors.bg_code(colour)
    except (ValueError, TypeError) as exc:
        raise BadColour(str(exc)) from None


class Painter:
    """Writes text with colours when the level allows them, and plain text otherwise."""

    def __init__(self, level):
        self.level = level

    def fg(self, colour, text):
        if self.level == ColorLevel.NONE:
            return text
        return f"{colors.fg_code(colour)}{text}{colors.RESET_FG}"

    def bg(self, colour, text):
        if self.level == ColorLevel.NONE:
            return text
        return f"{colors.bg_code(colour)}{text}{colors.RESET_BG}"


def report(out, level, detected, preview, vt):
    windows = sys.platform == "win32"
    env = os.environ
    tty = stdout_is_terminal()
    out(f"tintwell {tintwell.__version__} terminal colour check")
    out(f"Colour level of stdout: {detected.name} ({LEVEL_TEXT[detected]})")
    out(f"stdout is a terminal: {'yes' if tty else 'no'}")
    out(f"Decided by: {decided_by(env, windows, tty)}")
    if vt is not None:
        out(f"Windows virtual-terminal processing: {'on' if vt else 'could not be enabled'}")
    if preview:
        out(f"Previewing level: {level.name} ({LEVEL_TEXT[level]}), from --level")
    out("Environment:")
    for name in COMMON_VARIABLES:
        value = env.get(name)
        out(f"  {name:<16}{'unset' if value is None else repr(value)}")
    if windows:
        for name in WINDOWS_VARIABLES:
            value = env.get(name)
            if value is None:
                shown = "unset"
            elif name in VALUE_MATTERS:
                shown = f"set ({value!r})"
            else:
                shown = "set"
            out(f"  {name:<16}{shown}")


def named_swatches(out, paint):
    out("")
    out("Named colours, fg_code(name) and bg_code(name):")
    names = list(colors.NAMED_COLORS)
    half = (len(names) + 1) // 2
    for left, right in zip(names[:half], names[half:] + [None]):
        cells = []
        for name in (left, right):
            if name is None:
                continue
            if paint.level == ColorLevel.NONE:
                cells.append(f"{name:<15}")
            else:
                # The background swatch carries no text: no text colour reads on all sixteen.
                cells.append(f"{paint.fg(name, f'{name:<15}')} {paint.bg(name, ' ' * 8)}")
        out("  " + "  ".join(cells).rstrip())
    targets = {}
    for alias, target in colors.COLOR_ALIASES.items():
        targets.setdefault(target, []).append(alias)
    prefix = "Aliases: "
    for target, aliases in targets.items():
        out(f"{prefix}{', '.join(aliases)} -> {target}")
        prefix = " " * len(prefix)


def palette_swatches(out, paint):
    out("")
    out("256-colour palette, bg_code(index):")
    out("  0-15     " + "".join(paint.bg(i, "    ") for i in range(16)))
    # The cube, one red level per row: index 16 + 36*r + 6*g + b.
    for red in range(6):
        start = 16 + 36 * red
        label = f"{start}-{start + 35}"
        out(f"  {label:<9}" + "".join(paint.bg(i, "  ") for i in range(start, start + 36)))
    out("  232-255  " + "".join(paint.bg(i, "   ") for i in range(232, 256)))


def truecolor_swatches(out, paint, width=72):
    out("")
    out("24-bit colour, bg_code((r, g, b)):")
    hues = []
    for i in range(width):
        r, g, b = colorsys.hsv_to_rgb(i / width, 1.0, 1.0)
        hues.append((round(r * 255), round(g * 255), round(b * 255)))
    row = "".join(paint.bg(rgb, " ") for rgb in hues)
    out("  hue      " + row)
    out("           " + row)
    greys = [round(i * 255 / (width - 1)) for i in range(width)]
    out("  grey     " + "".join(paint.bg((v, v, v), " ") for v in greys))


def skipped(out, what, needs, level):
    out("")
    out(f"{what}: not shown (needs {needs.name}, level is {level.name})")


def check(out, level, detected, preview, vt):
    report(out, level, detected, preview, vt)
    paint = Painter(level)
    named_swatches(out, paint)
    if level >= ColorLevel.EXTENDED:
        palette_swatches(out, paint)
    else:
        skipped(out, "256-colour palette", ColorLevel.EXTENDED, level)
    if level >= ColorLevel.TRUECOLOR:
        truecolor_swatches(out, paint)
    else:
        skipped(out, "24-bit colour", ColorLevel.TRUECOLOR, level)
    out("")
    out(f"Colour sequences of any colour: {SHOW_EXAMPLE}")


def sample_line(colour, fg, bg, level):
    """The sample for one colour, in the form the level can show."""
    needs = colour_level(colour)
    if level == ColorLevel.NONE:
        return "sample: none at level NONE"
    if level >= needs:
        return f"sample: {fg}sample text{colors.RESET_FG} {bg}  sample  {colors.RESET_BG}"
    if level == ColorLevel.EXTENDED and needs == ColorLevel.TRUECOLOR:
        index = colors.rgb_to_ansi256(*colour_rgb(colour))
        return (f"sample: {colors.fg_code(index)}sample text{colors.RESET_FG} "
                f"{colors.bg_code(index)}  sample  {colors.RESET_BG} "
                f"(nearest of 256: {index}; 24-bit needs TRUECOLOR)")
    return f"sample: none ({needs.name} needed, level is {level.name})"


def show(out, texts, level):
    # Every colour is checked before anything is printed.
    parsed = [(text, parse_colour(text)) for text in texts]
    rows = []
    for text, colour in parsed:
        try:
            fg, bg = codes(colour)
        except BadColour as exc:
            raise BadColour(f"bad colour {text!r}: {exc}") from None
        rows.append((text, colour, fg, bg))
    for text, colour, fg, bg in rows:
        out(f"{text}: {colour_kind(colour)}")
        out(f"  fg_code: {fg!r}")
        out(f"  bg_code: {bg!r}")
        out(f"  {sample_line(colour, fg, bg, level)}")


def build_parser(color):
    levels = [m.name.lower() for m in ColorLevel]
    parser = argparse.ArgumentParser(
        prog="python -m tintwell", color=color,
        description="Check which colours this terminal shows: the level detected for stdout, the "
                    "environment variables behind it, and swatches suited to that level.",
        epilog=f"example: {SHOW_EXAMPLE}")
    parser.add_argument("--level", choices=levels, default=None,
                        help="preview another colour level instead of the detected one")
    parser.add_argument("--version", action="version", version=f"tintwell {tintwell.__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")
    show_parser = commands.add_parser(
        "show", color=color, help="print the escape sequences of colours",
        description="Print the foreground and background sequences of each colour as Python "
                    "string literals, with a sample.",
        epilog="COLOUR is a colour name (red, bright_blue, grey), '#rgb' or '#rrggbb', a palette "
               "index 0-255, or 'r,g,b'.")
    show_parser.add_argument("colours", nargs="+", metavar="COLOUR",
                             help="a colour in any of the forms below")
    show_parser.add_argument("--level", choices=levels, default=argparse.SUPPRESS,
                             help="preview another colour level instead of the detected one")
    return parser


def main(argv=None):
    vt = None
    if sys.platform == "win32":
        # Before anything is written, help included.
        vt = detect.enable_windows_vt()
    detected = detect.detect_color_level()
    # Help and usage messages are coloured only where this package's own detection allows it.
    args = build_parser(detected > ColorLevel.NONE).parse_args(argv)
    level = ColorLevel[args.level.upper()] if args.level else detected
    lines = []
    try:
        if args.command == "show":
            show(lines.append, args.colours, level)
        else:
            check(lines.append, level, detected, args.level is not None, vt)
    except BadColour as exc:
        print(f"tintwell: {exc}", file=sys.stderr)
        return 2
    sys.stdout.write("\n".join(lines) + "\n")
    sys.stdout.flush()
    return 0


if __name__ == "__main__":
    try:
        status = main()
    except BrokenPipeError:
        # Output cut short by a closed pipe (`| head`): not an error worth a traceback.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        status = 1
    sys.exit(status)
