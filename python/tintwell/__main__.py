"""Terminal colour check: ``python3.14 -m tintwell``.

Reports the colour level detected for stdout and the environment behind it, then shows swatches
suited to that level, laid out for the terminal's width. ``python3.14 -m tintwell show COLOUR...``
prints the escape sequences of given colours. Besides the public interface of ``tintwell.colors``,
``tintwell.detect`` and ``tintwell.style``, it uses the painter's classifier of colour forms, so
that the two tell every form alike.
"""

import argparse
import colorsys
import os
import re
import shutil
import sys
import textwrap
import unicodedata
from collections.abc import Mapping, Sequence
from typing import TYPE_CHECKING, Final, NamedTuple, cast, override

import tintwell
from tintwell import Color, colors, detect
from tintwell._paint import _colour_form
from tintwell.detect import ColorLevel
from tintwell.style import Painter, nearest_ansi16, nearest_ansi256, palette_rgb, perceived_difference

if TYPE_CHECKING:
    from _typeshed import SupportsWrite

LEVEL_TEXT: Final[dict[ColorLevel, str]] = {
    ColorLevel.NONE: "no colour",
    ColorLevel.BASIC: "16 colours",
    ColorLevel.EXTENDED: "256 colours",
    ColorLevel.TRUECOLOR: "24-bit colour",
}
LEVEL_NAMES: Final = tuple(member.name.lower() for member in ColorLevel)

# The variables detection reads, in the order it reads them.
POSIX_VARIABLES: Final = ("NO_COLOR", "FORCE_COLOR", "COLORTERM", "TERM")
WINDOWS_VARIABLES: Final = ("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK",
                            "PYCHARM_HOSTED", "WT_SESSION", "ConEmuANSI")
# On Windows COLORTERM and TERM are never read; ANSICON is, but leaves a console at 16 colours.
WINDOWS_IGNORED: Final = ("COLORTERM", "TERM", "ANSICON")
# Variables whose presence alone decides: their values (ids, paths) are not shown.
PRESENCE_ONLY: Final = ("VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED", "WT_SESSION", "ANSICON")
NAME_COLUMN: Final = 18  # "  VSCODE_IPC_HOOK "

# The command as the README writes it, for the interpreter that runs it.
PROG: Final = f"python{sys.version_info.major}.{sys.version_info.minor} -m tintwell"
SHOW_EXAMPLE: Final = f"{PROG} show red '#ff8000' 196 '10,20,30'"
ATTRIBUTES: Final = ("bold", "dim", "italic", "underline", "blink", "reverse", "strike")
# The SGR code of each attribute and the one that resets it.
ATTRIBUTE_RESETS: Final = {"1": "22", "2": "22", "3": "23", "4": "24", "5": "25", "7": "27", "9": "29"}
INTEGER_RE: Final = re.compile(r"[+-]?[0-9]+")
SGR_SPLIT_RE: Final = re.compile(r"(\x1b\[[0-9;]*m)")

class BadColour(Exception):
    """A colour the colors module rejected; the message is the module's own."""


class Reason(NamedTuple):
    """What settled the colour level: the text shown, and the variable named with its value
    (``None`` when unset), or no variable when a fact about the stream or console decided."""

    text: str
    variable: str | None = None
    value: str | None = None


# Layout

def char_width(char: str) -> int:
    """Columns a character takes in a terminal: 2 for wide East Asian characters, 0 for
    combining marks, 1 otherwise."""
    if unicodedata.combining(char):
        return 0
    return 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1


def display_width(text: str) -> int:
    """Columns `text` takes in a terminal, its colour sequences aside."""
    return sum(char_width(c) for i, part in enumerate(SGR_SPLIT_RE.split(text)) if not i % 2
               for c in part)


def clip(line: str, width: int) -> str:
    """`line` cut to `width` columns, with any colour or attribute it leaves on switched off."""
    if display_width(line) <= width:
        return line
    kept: list[str] = []
    used = 0
    fg_on = bg_on = False
    owed: dict[str, None] = {}  # the resets of the attributes left on, in order
    for index, part in enumerate(SGR_SPLIT_RE.split(line)):
        if index % 2:
            code = part[2:-1]
            if code in ATTRIBUTE_RESETS:
                owed[ATTRIBUTE_RESETS[code]] = None
            elif code in ATTRIBUTE_RESETS.values():
                owed.pop(code, None)
            else:
                fg_on = code != "39" if code[:1] in ("3", "9") else fg_on
                bg_on = code != "49" if code[:1] in ("4", "1") else bg_on
            kept.append(part)
            continue
        for char in part:
            used += char_width(char)
            if used > width:
                resets = "".join(f"{colors.ESC}{reset}m" for reset in owed)
                return ("".join(kept) + resets + (colors.RESET_FG if fg_on else "")
                        + (colors.RESET_BG if bg_on else ""))
            kept.append(char)
    return "".join(kept)


def wrap(text: str, width: int, indent: int = 0) -> list[str]:
    """Plain `text` broken into lines of at most `width` columns, at spaces where it can be;
    continuation lines are indented by `indent` columns (less in a very narrow terminal)."""
    pad = " " * min(indent, width // 2)
    lines: list[str] = []
    for line in textwrap.wrap(text, width, subsequent_indent=pad, break_on_hyphens=False) or [""]:
        # textwrap counts characters; wide characters need a second cut.
        while display_width(line) > width and len(line) > len(pad) + 1:
            cut, used = len(pad) + 1, display_width(line[:len(pad) + 1])
            while used + char_width(line[cut]) <= width:
                used += char_width(line[cut])
                cut += 1
            lines.append(line[:cut])
            line = pad + line[cut:]
        lines.append(line)
    return lines


class Screen:
    """Output lines laid out for a terminal `width` columns wide; no line is wider."""

    def __init__(self, width: int) -> None:
        self.width: int = max(width, 1)
        self.lines: list[str] = []

    def line(self, text: str = "") -> None:
        """A line laid out by the caller; should it still not fit, it is clipped."""
        self.lines.append(clip(text, self.width))

    def text(self, text: str, indent: int = 0) -> None:
        """Plain text, wrapped; continuation lines indented by `indent` columns."""
        self.lines.extend(clip(line, self.width) for line in wrap(text, self.width, indent))


def terminal_width() -> int:
    """The width of the terminal behind stdout (or ``COLUMNS``), 80 when unknown."""
    return shutil.get_terminal_size((80, 24)).columns


# Colours

class Brush:
    """Colours text when the level allows it, and leaves it plain otherwise."""

    def __init__(self, level: ColorLevel) -> None:
        self.level: ColorLevel = level

    def fg(self, colour: Color, text: str) -> str:
        """`text` in foreground `colour`."""
        if self.level == ColorLevel.NONE:
            return text
        return f"{colors.fg_code(colour)}{text}{colors.RESET_FG}"

    def bg(self, colour: Color, text: str) -> str:
        """`text` on background `colour`."""
        if self.level == ColorLevel.NONE:
            return text
        return f"{colors.bg_code(colour)}{text}{colors.RESET_BG}"


def readable_on(rgb: tuple[int, int, int]) -> str:
    """The text colour, black or bright white, with the higher contrast on background `rgb`."""
    def linear(channel: int) -> float:
        c = channel / 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4

    luminance = 0.2126 * linear(rgb[0]) + 0.7152 * linear(rgb[1]) + 0.0722 * linear(rgb[2])
    # Above 0.179 black contrasts more than white does.
    return "black" if luminance > 0.179 else "bright_white"


def stdout_is_terminal() -> bool:
    """Whether stdout is a terminal; a stream that cannot tell is not."""
    try:
        return bool(sys.stdout.isatty())
    except (AttributeError, ValueError, OSError):
        return False


def decided_by(env: Mapping[str, str], windows: bool, tty: bool) -> Reason:
    """Names the input that settled the level, following the order in which detection reads them."""
    def named(variable: str, note: str = "") -> Reason:
        return Reason(f"{variable}={env[variable]!r}{note}", variable, env[variable])

    def present(variable: str, note: str) -> Reason:
        return Reason(f"{variable} is set ({note})", variable, env[variable])

    if env.get("NO_COLOR", ""):
        return named("NO_COLOR")
    if env.get("FORCE_COLOR", ""):
        return named("FORCE_COLOR")
    if windows:
        if env.get("TERM_PROGRAM") == "vscode":
            return named("TERM_PROGRAM", " (IDE)")
        for name in ("VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED"):
            if env.get(name):
                return present(name, "IDE")
    if not tty:
        return Reason("stdout is not a terminal")
    if windows:
        if env.get("WT_SESSION"):
            return present("WT_SESSION", "Windows Terminal")
        if env.get("ConEmuANSI") == "ON":
            return named("ConEmuANSI", " (ConEmu)")
        return Reason("Windows console (not Windows Terminal or ConEmu)")
    colorterm = env.get("COLORTERM", "")
    if colorterm.lower() in ("truecolor", "24bit"):
        return named("COLORTERM")
    term = env.get("TERM")
    if term:
        return named("TERM")
    return Reason(f"TERM is {'unset' if term is None else 'empty'}", "TERM", term)


def parse_colour(text: str) -> Color:
    """Command-line text to a colour: 'r,g,b' a tuple, digits an index, else a str. A tuple of
    another length is passed on as well, for the colors module to reject in its own words."""
    parts = text.split(",")
    if len(parts) > 1 and all(INTEGER_RE.fullmatch(p.strip()) for p in parts):
        return cast(Color, tuple(int(p) for p in parts))
    if INTEGER_RE.fullmatch(text.strip()):
        return int(text)
    return text


class Form(NamedTuple):
    """A colour form: the lowest level whose sequences show it as given, and its name in words."""

    level: ColorLevel
    words: str


# By the painter's classifier (tintwell._paint._colour_form), the one that decides its downgrades.
FORMS: Final = {
    "name": Form(ColorLevel.BASIC, "colour name"),
    "index": Form(ColorLevel.EXTENDED, "palette index"),
    "hex": Form(ColorLevel.TRUECOLOR, "hexadecimal, 24-bit"),
    "rgb": Form(ColorLevel.TRUECOLOR, "RGB tuple, 24-bit"),
}


def colour_form(colour: Color) -> str:
    """The form of `colour`, a colour the colors module accepted, as the painter classifies it."""
    form = _colour_form(colour)
    if form is None:
        raise TypeError(f"not a colour form: {type(colour).__name__}")
    return form


def colour_level(colour: Color) -> ColorLevel:
    """The lowest level at which the sequence for `colour` is understood."""
    return FORMS[colour_form(colour)].level


def colour_kind(colour: Color) -> str:
    """Which colour form `colour` is, in words."""
    form = colour_form(colour)
    return f"RGB tuple {colour!r}, 24-bit" if form == "rgb" else FORMS[form].words


def colour_rgb(colour: Color) -> tuple[int, int, int]:
    """The RGB colour that `colour`, accepted by the colors module, stands for."""
    match colour_form(colour):
        case "rgb":
            r, g, b = cast(tuple[int, int, int], colour)
            return int(r), int(g), int(b)
        case "index":
            return palette_rgb(cast(int, colour))
        case "hex":
            return colors.parse_hex(cast(str, colour))
        case _:
            return palette_rgb(named_index(cast(str, colour)))


def named_index(colour: str) -> int:
    """The palette index 0-15 of a colour name (or alias), read from its foreground sequence."""
    code = int(colors.fg_code(colour)[len(colors.ESC):-1])  # 30-37 or 90-97
    return code - 30 if code < 90 else code - 82


def codes(colour: Color) -> tuple[str, str]:
    """The foreground and background sequences of `colour`; `BadColour` when it is rejected."""
    try:
        return colors.fg_code(colour), colors.bg_code(colour)
    except (ValueError, TypeError) as exc:
        raise BadColour(str(exc)) from None


# The colour check

def variable_line(screen: Screen, env: Mapping[str, str], name: str, windows: bool) -> None:
    """One variable of the environment block and its value, or whether it is set."""
    value = env.get(name)
    if value is None:
        shown = "unset"
    elif windows and name in PRESENCE_ONLY:
        shown = "set" if value else "empty"
    else:
        shown = repr(value)
    screen.text(f"  {name:<{NAME_COLUMN - 2}}{shown}", indent=NAME_COLUMN)


def report(screen: Screen, level: ColorLevel, detected: ColorLevel, preview: bool,
           vt: bool | None) -> None:
    """The detected level, what decided it and the environment variables behind it."""
    windows = sys.platform == "win32"
    env = os.environ
    tty = stdout_is_terminal()
    screen.text(f"tintwell {tintwell.__version__} terminal colour check")
    screen.text(f"Colour level of stdout: {detected.name} ({LEVEL_TEXT[detected]})", indent=2)
    screen.text(f"stdout is a terminal: {'yes' if tty else 'no'}")
    screen.text(f"Decided by: {decided_by(env, windows, tty).text}", indent=2)
    if vt is not None:
        screen.text(f"Windows virtual-terminal processing: {'on' if vt else 'could not be enabled'}",
                    indent=2)
    if preview:
        screen.text(f"Previewing level: {level.name} ({LEVEL_TEXT[level]}), from --level", indent=2)
    if windows:
        screen.text("Environment, as detection reads it on Windows:", indent=2)
        for name in WINDOWS_VARIABLES:
            variable_line(screen, env, name, windows)
        screen.text("Not used for the level on Windows:", indent=2)
        for name in WINDOWS_IGNORED:
            variable_line(screen, env, name, windows)
    else:
        screen.text("Environment:")
        for name in POSIX_VARIABLES:
            variable_line(screen, env, name, windows)


def table(screen: Screen, rows: Sequence[Sequence[str]]) -> None:
    """Rows of cells in aligned columns two spaces apart, or one cell a line where they do not fit."""
    widths = [max(display_width(row[i]) for row in rows if i < len(row)) for i in range(len(rows[0]))]
    if 2 + sum(widths) + 2 * (len(widths) - 1) <= screen.width:
        for row in rows:
            cells = [cell + " " * (w - display_width(cell)) for cell, w in zip(row, widths)]
            screen.line(("  " + "  ".join(cells)).rstrip())
        return
    for column in range(len(widths)):
        for row in rows:
            if column < len(row):
                screen.line("  " + row[column])


def named_swatches(screen: Screen, brush: Brush) -> None:
    """The 16 named colours, each a background swatch and the name in the colour."""
    screen.line()
    screen.text("Named colours, bg_code(name) and fg_code(name):", indent=2)
    names = list(colors.NAMED_COLORS)
    half = (len(names) + 1) // 2
    cells = []
    for name in names:
        if brush.level == ColorLevel.NONE:
            cells.append(name)
        else:
            # The name is set on a background it reads on whatever the theme: black or blue text
            # alone would vanish on a dark one.
            chip = readable_on(palette_rgb(named_index(name)))
            cells.append(f"{brush.bg(name, '  ')} {brush.bg(chip, brush.fg(name, name))}")
    table(screen, [cells[i::half] for i in range(half)])
    targets: dict[str, list[str]] = {}
    for alias, target in colors.COLOR_ALIASES.items():
        targets.setdefault(target, []).append(alias)
    prefix = "Aliases: "
    for target, aliases in targets.items():
        screen.text(f"{prefix}{', '.join(aliases)} -> {target}", indent=len(prefix))
        prefix = " " * len(prefix)


def swatch_rows(screen: Screen, brush: Brush, colours: Sequence[Color], cell: int, unit: int = 1) -> None:
    """Background swatches `cell` columns wide in one indented row, or in rows of a divisor of
    their number (a multiple of `unit` where one fits) when the row would be too wide."""
    room = max(screen.width - 2, 1)
    count = len(colours)
    per_row = count
    if count * cell > room:
        cell = 1
        fits = [d for d in range(1, count + 1) if count % d == 0 and d <= room]
        per_row = max([d for d in fits if d % unit == 0] or fits)
    for start in range(0, count, per_row):
        screen.line("  " + "".join(brush.bg(c, " " * cell) for c in colours[start:start + per_row]))


def attribute_samples(screen: Screen, level: ColorLevel) -> None:
    """The text attributes, each name written in its own attribute, as many to a line as fit."""
    screen.line()
    screen.text("Text attributes, painter.style(bold=True) and so on, each in itself:", indent=2)
    painter = Painter(level=level)
    room = max(screen.width - 2, 1)
    cells: list[str] = []
    used = 0
    for name in ATTRIBUTES:
        word = name[:room]  # cut before it is styled, so that the line fits as it is
        if cells and used + 2 + len(word) > room:
            screen.line("  " + "  ".join(cells))
            cells, used = [], 0
        used += len(word) + 2 * bool(cells)
        cells.append(painter.paint(word, **{name: True}))
    screen.line("  " + "  ".join(cells))


def palette_swatches(screen: Screen, brush: Brush) -> None:
    """Background swatches of the 256-colour palette."""
    screen.line()
    screen.text("256-colour palette, bg_code(index): 0-15, the cube 16-231 (one row per red "
                "level), greys 232-255:", indent=2)
    room = max(screen.width - 2, 1)
    span = 36 * max(1, min(2, room // 36))  # the cube's row width; the other rows match it
    swatch_rows(screen, brush, range(16), max(1, min(span, room) // 16))
    for red in range(6):
        start = 16 + 36 * red
        swatch_rows(screen, brush, range(start, start + 36), span // 36, unit=6)
    swatch_rows(screen, brush, range(232, 256), max(1, min(span, room) // 24))


def truecolor_swatches(screen: Screen, brush: Brush) -> None:
    """24-bit gradients as wide as the terminal: a hue sweep and a grey ramp."""
    screen.line()
    screen.text("24-bit colour, bg_code((r, g, b)): hues, then greys from black to white:", indent=2)
    count = max(screen.width - 2, 1)
    hues = []
    for i in range(count):
        r, g, b = colorsys.hsv_to_rgb(i / count, 1.0, 1.0)
        hues.append((round(r * 255), round(g * 255), round(b * 255)))
    swatch_rows(screen, brush, hues, 1)
    swatch_rows(screen, brush, hues, 1)
    greys = [round(i * 255 / max(count - 1, 1)) for i in range(count)]
    swatch_rows(screen, brush, [(v, v, v) for v in greys], 1)


def skipped(screen: Screen, what: str, needs: ColorLevel, level: ColorLevel) -> None:
    """Says that `what` is not shown, as it needs level `needs`."""
    screen.line()
    screen.text(f"{what}: not shown (needs {needs.name}, level is {level.name})", indent=2)


def check(screen: Screen, level: ColorLevel, detected: ColorLevel, preview: bool,
          vt: bool | None) -> None:
    """The colour check: the report, then the swatches that `level` can show."""
    report(screen, level, detected, preview, vt)
    brush = Brush(level)
    named_swatches(screen, brush)
    if level >= ColorLevel.BASIC:
        attribute_samples(screen, level)
    else:
        skipped(screen, "Text attributes", ColorLevel.BASIC, level)
    if level >= ColorLevel.EXTENDED:
        palette_swatches(screen, brush)
    else:
        skipped(screen, "256-colour palette", ColorLevel.EXTENDED, level)
    if level >= ColorLevel.TRUECOLOR:
        truecolor_swatches(screen, brush)
    else:
        skipped(screen, "24-bit colour", ColorLevel.TRUECOLOR, level)
    screen.line()
    screen.text("Colour sequences of any colour:")
    screen.text(f"  {show_example(screen.width - 2)}", indent=4)


# show

def show_example(width: int) -> str:
    """The example command, with as many of its colours as fit in `width` columns."""
    words = SHOW_EXAMPLE.split(" ")
    while len(words) > 5 and len(" ".join(words)) > width:
        words.pop()
    return " ".join(words)


def sample(fg: str, bg: str, rgb: tuple[int, int, int]) -> str:
    """Text in the foreground colour, then text on the background in a colour that reads there."""
    ink = colors.fg_code(readable_on(rgb))
    return (f"{fg}sample text{colors.RESET_FG} "
            f"{bg}{ink}  sample  {colors.RESET_FG}{colors.RESET_BG}")


def distance_text(rgb: tuple[int, int, int], index: int) -> str:
    """Palette entry `index`, its colour, and how far that is seen to be from `rgb`."""
    shown = palette_rgb(index)
    return f"{index} {shown}, perceived difference {perceived_difference(rgb, shown):.1f}"


def sample_lines(screen: Screen, colour: Color, fg: str, bg: str, level: ColorLevel) -> None:
    """The sample for one colour, in the form the level can show: as given when it can, otherwise
    as tintwell.style's Painter downgrades it (the entry perceived as nearest, CIEDE2000), beside
    rgb_to_ansi256's approximation."""
    needs = colour_level(colour)
    if level == ColorLevel.NONE:
        screen.text("  sample: none at level NONE")
        return
    if level >= needs:
        screen.line(f"  sample: {sample(fg, bg, colour_rgb(colour))}")
        return
    rgb = colour_rgb(colour)
    screen.text(f"  {needs.name} needed, level is {level.name}", indent=4)
    if needs == ColorLevel.TRUECOLOR:
        screen.text(f"  rgb_to_ansi256's approximation: {distance_text(rgb, colors.rgb_to_ansi256(*rgb))}", indent=4)
    if level == ColorLevel.EXTENDED:
        nearest = nearest_ansi256(*rgb)
        screen.text(f"  nearest palette entry: {distance_text(rgb, nearest)}", indent=4)
    else:
        nearest = nearest_ansi16(*rgb)
        screen.text(f"  nearest basic colour: {distance_text(rgb, nearest)}", indent=4)
    painter = Painter(level=level)
    screen.line(f"  sample of {nearest}: {sample(painter.fg(colour), painter.bg(colour), palette_rgb(nearest))}")


def colour_lines(screen: Screen, text: str, colour: Color, level: ColorLevel) -> None:
    """Everything `show` prints for one colour, given on the command line as `text`."""
    fg, bg = codes(colour)
    screen.text(f"{text}: {colour_kind(colour)}", indent=2)
    screen.text(f"  fg_code: {fg!r}", indent=11)
    screen.text(f"  bg_code: {bg!r}", indent=11)
    sample_lines(screen, colour, fg, bg, level)


def show(screen: Screen, texts: Sequence[str], level: ColorLevel) -> None:
    """The `show` command: the sequences of the colours given as `texts`."""
    # Every colour is checked before anything is printed.
    parsed = [(text, parse_colour(text)) for text in texts]
    for text, colour in parsed:
        try:
            codes(colour)
        except BadColour as exc:
            raise BadColour(f"bad colour {text!r}: {exc}") from None
    for text, colour in parsed:
        colour_lines(screen, text, colour, level)


# Command line

class HelpFormatter(argparse.HelpFormatter):
    """Keeps the blank lines between the paragraphs of a description or epilog."""

    @override
    def _fill_text(self, text: str, width: int, indent: str) -> str:
        fill = super()._fill_text
        return "\n\n".join(fill(paragraph, width, indent) for paragraph in text.split("\n\n"))


class ArgumentParser(argparse.ArgumentParser):
    """An argparse parser whose help and version text, when stdout cannot take it, raises as all
    other output does instead of being dropped."""

    @override
    def _print_message(self, message: str, file: SupportsWrite[str] | None = None) -> None:
        if file is not None and file is sys.stdout:
            file.write(message)
        else:
            super()._print_message(message, file)


ENVIRONMENT_HELP: Final = (
    "environment: NO_COLOR set to any non-empty value turns colour off; so does FORCE_COLOR=0 "
    "(or false). FORCE_COLOR=1, 2 or 3 forces 16, 256 or 24-bit colour, also when stdout is not "
    "a terminal. NO_COLOR wins over FORCE_COLOR.")


def usage(width: int) -> str:
    """The usage line, which shows that the command is optional, broken between its parts to fit
    `width` columns as argparse breaks the usage lines it makes."""
    parts = ("[-h]", "[--version]", "[--level LEVEL]", "[show COLOUR [COLOUR ...]]")
    indent = len(f"usage: {PROG} ")
    narrow = width - indent < max(map(len, parts))
    if narrow:  # the parts go below the program name
        indent = len("usage: ")
    lines = [""]
    for part in parts:
        if lines[-1] and indent + len(lines[-1]) + 1 + len(part) > width:
            lines.append("")
        lines[-1] = f"{lines[-1]} {part}".lstrip()
    separator = "\n" + " " * indent
    return "%(prog)s" + (separator if narrow else " ") + separator.join(lines)


def build_parser(color: bool) -> argparse.ArgumentParser:
    """The command-line parser; its help and usage messages are coloured when `color` is true."""
    level_help = "preview another colour level instead of the detected one: none, basic, " \
                 "extended or truecolor (any case)"
    parser = ArgumentParser(
        prog=PROG, color=color, formatter_class=HelpFormatter,
        usage=usage(terminal_width() - 2),
        description="Check which colours this terminal shows: the level detected for stdout, the "
                    "environment variables behind it, and swatches suited to that level. With "
                    "show, print the escape sequences of colours instead.",
        epilog=f"{ENVIRONMENT_HELP}\n\nexample: {SHOW_EXAMPLE}")
    parser.add_argument("--level", type=str.lower, choices=LEVEL_NAMES, default=None,
                        metavar="LEVEL", help=level_help)
    parser.add_argument("--version", action="version", version=f"tintwell {tintwell.__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND",
                                     title="commands (optional)")
    show_parser = commands.add_parser(
        "show", color=color, formatter_class=HelpFormatter, help="print the escape sequences of colours",
        description="Print the foreground and background sequences of each colour as Python "
                    "string literals, with a sample.",
        epilog="COLOUR is a colour name (red, bright_blue, grey), '#rgb' or '#rrggbb', a palette "
               f"index 0-255, or 'r,g,b'.\n\n{ENVIRONMENT_HELP}")
    show_parser.add_argument("colours", nargs="+", metavar="COLOUR",
                             help="a colour in any of the forms below")
    show_parser.add_argument("--level", type=str.lower, choices=LEVEL_NAMES, default=argparse.SUPPRESS,
                             metavar="LEVEL", help=level_help)
    return parser


def error(message: str) -> None:
    """One line on stderr, if there is a stderr to write to."""
    try:
        if sys.stderr is not None:
            sys.stderr.write(f"tintwell: {message}\n")
            sys.stderr.flush()
    except (OSError, ValueError):
        pass


def discard_stdout() -> None:
    """Points stdout at the null device, so that the flush at exit does not fail a second time."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (AttributeError, ValueError, OSError):
        pass


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line `argv` (default: the process's) and returns the exit status."""
    vt = None
    if sys.platform == "win32":
        # Before anything is written, help included.
        vt = detect.enable_windows_vt()
    detected = detect.detect_color_level()
    # Help and usage messages are coloured only where this package's own detection allows it.
    args = build_parser(detected > ColorLevel.NONE).parse_args(argv)
    level = ColorLevel[args.level.upper()] if args.level else detected
    screen = Screen(terminal_width())
    try:
        if args.command == "show":
            show(screen, args.colours, level)
        else:
            check(screen, level, detected, args.level is not None, vt)
    except BadColour as exc:
        error(str(exc))
        return 2
    sys.stdout.write("\n".join(screen.lines) + "\n")
    return 0


def run(argv: Sequence[str] | None = None) -> int:
    """`main`, with a stdout that is closed or cannot be written reported in one line, status 1."""
    if sys.stdout is None:  # started with stdout closed (`>&-`)
        error("standard output is closed")
        return 1
    try:
        try:
            return main(argv)
        finally:  # also after --help and --version, which leave by SystemExit
            sys.stdout.flush()
    except BrokenPipeError:
        # The reader has gone (`| head`): it took what it wanted, as one that stays to the end and
        # leaves after a write that fitted in the pipe's buffer. Either way, status 0.
        discard_stdout()
        return 0
    except OSError as exc:
        discard_stdout()
        error(f"cannot write to standard output: {exc.strerror or exc}")
        return 1


if __name__ == "__main__":
    sys.exit(run())
