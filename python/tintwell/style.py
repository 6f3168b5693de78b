"""Colour text as far as the terminal goes: one painter per stream, true nearest-colour downgrades.

A :class:`Painter` asks once how much colour its stream can show and then turns any colour that
``tintwell.colors.fg_code`` accepts into the sequence that shows it best at that level::

    from tintwell.style import Painter

    paint = Painter().paint          # for sys.stdout
    print(paint("warning:", fg="#ff8000"), "disk almost full")

24-bit colours are reduced to the nearest entry of the 256-colour palette, or of the 16 basic
colours, by distance in RGB; :func:`nearest_ansi256` and :func:`nearest_ansi16` expose the two
mappings.
"""

import operator
import sys
from typing import Final, Protocol

from tintwell import Color
from tintwell.colors import RESET_BG, RESET_FG, bg_code, fg_code, parse_hex
from tintwell.detect import ColorLevel, detect_color_level, enable_windows_vt

__all__ = ["RESET_BG", "RESET_FG", "Color", "ColorLevel", "Painter", "nearest_ansi16", "nearest_ansi256", "palette_rgb"]


class _Stream(Protocol):
    """What colour detection asks of a stream."""

    def isatty(self) -> bool:
        """Whether the stream is a terminal."""
        ...


# The six channel levels of the 256-colour cube (entries 16-231) and where each one's share of the
# 0-255 range ends: a component up to _CUBE_UPPER[n] is nearest to _CUBE_LEVELS[n], ties to the lower.
_CUBE_LEVELS: Final = (0, 95, 135, 175, 215, 255)
_CUBE_UPPER: Final = (47, 115, 155, 195, 235)

# The 16 basic colours as xterm shows them by default, in palette order.
_BASIC_RGB: Final = (
    (0, 0, 0), (205, 0, 0), (0, 205, 0), (205, 205, 0), (0, 0, 238), (205, 0, 205), (0, 205, 205), (229, 229, 229),
    (127, 127, 127), (255, 0, 0), (0, 255, 0), (255, 255, 0), (92, 92, 255), (255, 0, 255), (0, 255, 255),
    (255, 255, 255),
)
_BASIC_NAMES: Final = (
    "black", "red", "green", "yellow", "blue", "magenta", "cyan", "white",
    "bright_black", "bright_red", "bright_green", "bright_yellow", "bright_blue", "bright_magenta", "bright_cyan",
    "bright_white",
)

# Sequences a painter keeps per layer: two generations of this many entries each, 1,024 in all. A
# hit costs one dictionary lookup; a colour found in the older generation moves to the newer one,
# and when the newer one is full the older one is dropped, so what goes is what has not been used
# for longest.
_GENERATION: Final = 256


def _components(r: int, g: int, b: int) -> tuple[int, int, int]:
    """(r, g, b) as the integers the colour module validates, or its error for them."""
    if type(r) is int and type(g) is int and type(b) is int and 0 <= r <= 255 and 0 <= g <= 255 and 0 <= b <= 255:
        return r, g, b
    # The colour module's own check raises its exact error for a bad component; what passes it is a
    # number whose int() lies in 0-255 (one whose int() then changes still gives some valid index).
    fg_code((r, g, b))
    return int(r), int(g), int(b)


def _cube_level(value: int) -> int:
    for level, upper in enumerate(_CUBE_UPPER):
        if value <= upper:
            return level
    return 5


def nearest_ansi256(r: int, g: int, b: int) -> int:
    """The index 16-255 of the 256-colour palette entry nearest to ``(r, g, b)``.

    Entries 16-231 are the colour cube ``16 + 36*r + 6*g + b`` over the levels 0, 95, 135, 175,
    215 and 255; entries 232-255 are the greys ``8 + 10*(n - 232)``. Nearest means the smallest
    squared distance in RGB, ties to the lower index. Components are validated as
    ``tintwell.colors`` validates them (numbers are truncated, then must lie in 0-255), with its
    ``TypeError`` or ``ValueError``.
    """
    r, g, b = _components(r, g, b)
    cr, cg, cb = _cube_level(r), _cube_level(g), _cube_level(b)
    vr, vg, vb = _CUBE_LEVELS[cr], _CUBE_LEVELS[cg], _CUBE_LEVELS[cb]
    cube = (r - vr) ** 2 + (g - vg) ** 2 + (b - vb) ** 2
    # The grey ramp point nearest to the colour is the one nearest to its mean, 3 * mean = r + g + b:
    # the offset from the first grey, 3 * 8, rounded to a multiple of 3 * 10, ties down.
    step = min(max((r + g + b - 24 + 14) // 30, 0), 23)
    v = 8 + 10 * step
    grey = (r - v) ** 2 + (g - v) ** 2 + (b - v) ** 2
    if grey < cube:  # on a tie the cube's lower index wins
        return 232 + step
    return 16 + 36 * cr + 6 * cg + cb


def nearest_ansi16(r: int, g: int, b: int) -> int:
    """The index 0-15 of the basic colour nearest to ``(r, g, b)``.

    The 16 colours are taken as xterm shows them by default (0: black (0, 0, 0), 1: red
    (205, 0, 0), ..., 12: bright blue (92, 92, 255), ..., 15: bright white (255, 255, 255)); nearest
    means the smallest squared distance in RGB, ties to the lower index. Components are validated as
    for :func:`nearest_ansi256`.
    """
    r, g, b = _components(r, g, b)
    best, best_distance = 0, 3 * 256 * 256
    for index, (pr, pg, pb) in enumerate(_BASIC_RGB):
        distance = (r - pr) ** 2 + (g - pg) ** 2 + (b - pb) ** 2
        if distance < best_distance:
            best, best_distance = index, distance
    return best


def palette_rgb(index: int) -> tuple[int, int, int]:
    """The RGB colour a terminal shows for palette entry ``index`` (0-255), with xterm's defaults.

    Entries 0-15 are the basic colours of :func:`nearest_ansi16`, 16-231 the colour cube and
    232-255 the grey ramp of :func:`nearest_ansi256`. For example ``palette_rgb(208)`` is
    ``(255, 135, 0)``. Raises ``TypeError`` for a value that is not an ``int``, ``ValueError`` for
    one outside 0-255.
    """
    if not isinstance(index, int):  # pyright: ignore[reportUnnecessaryIsInstance]
        raise TypeError(f"palette index must be an int, not {type(index).__name__}")
    if not 0 <= index <= 255:
        raise ValueError(f"palette index must lie in 0-255, got {index!r}")
    if index < 16:
        return _BASIC_RGB[index]
    if index >= 232:
        grey = 8 + 10 * (index - 232)
        return grey, grey, grey
    index -= 16
    return _CUBE_LEVELS[index // 36], _CUBE_LEVELS[index // 6 % 6], _CUBE_LEVELS[index % 6]


def _level_of(level: object) -> ColorLevel:
    if not isinstance(level, int):
        raise TypeError(f"level must be a ColorLevel or an int 0-3, not {type(level).__name__}")
    try:
        return ColorLevel(level)
    except ValueError:
        raise ValueError(f"level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got {level!r}") from None


class Painter:
    """Escape sequences for one stream's terminal: each colour as well as the terminal can show it.

    ``Painter(stream)`` detects the colour level of ``stream`` (default ``sys.stdout``) once, with
    ``tintwell.detect.detect_color_level``; on Windows, when that stream is the process's standard
    output or error, it first switches the console into virtual-terminal mode with
    ``enable_windows_vt()``. ``Painter(level=...)`` uses the given level (a ``ColorLevel`` or an int
    0-3) and detects nothing.

    At ``TRUECOLOR`` every colour is shown as given. At ``EXTENDED``, hex strings and RGB tuples
    become the nearest palette entry (:func:`nearest_ansi256`). At ``BASIC``, palette indices 0-15
    become the basic colour of that number, and other indices, hex strings and tuples the nearest
    basic colour (:func:`nearest_ansi16`). At ``NONE`` there are no sequences. A colour that
    ``fg_code`` rejects raises its error at every level. A painter keeps the sequences of the
    colours it has recently shown, so showing them again costs a dictionary lookup.
    """

    __slots__ = ("_bg", "_bg_old", "_fg", "_fg_old", "_level")

    def __init__(self, stream: _Stream | None = None, *, level: ColorLevel | int | None = None) -> None:
        if level is None:
            if sys.platform == "win32" and (stream is None or any(
                    stream is std for std in (sys.stdout, sys.stderr, sys.__stdout__, sys.__stderr__))):
                enable_windows_vt()
            self._level = detect_color_level(stream)
        else:
            self._level = _level_of(level)
        self._fg: dict[Color, str] = {}
        self._bg: dict[Color, str] = {}
        self._fg_old: dict[Color, str] = {}
        self._bg_old: dict[Color, str] = {}

    @property
    def level(self) -> ColorLevel:
        """The colour level this painter paints for."""
        return self._level

    def __repr__(self) -> str:
        return f"{type(self).__name__}(level=ColorLevel.{self._level.name})"

    def fg(self, color: Color) -> str:
        """The sequence that makes ``color`` the foreground colour at this painter's level ("" at NONE)."""
        # Only exact str, int and tuples of three ints are kept: equal values of other types (1.0
        # and 1, a str subclass and its text, (1+0j, 2, 3) and (1, 2, 3)) may give another result.
        if type(color) is tuple:
            try:
                r, g, b = color
            except ValueError:
                return self._sequence(color, True)
            if type(r) is not int or type(g) is not int or type(b) is not int:
                return self._sequence(color, True)
        elif type(color) is not int and type(color) is not str:
            return self._sequence(color, True)
        try:
            return self._fg[color]
        except KeyError:
            return self._remember(color, True)

    def bg(self, color: Color) -> str:
        """The sequence that makes ``color`` the background colour at this painter's level ("" at NONE)."""
        # The same steps as fg, written out: a helper shared by both would add a call to every hit.
        if type(color) is tuple:
            try:
                r, g, b = color
            except ValueError:
                return self._sequence(color, False)
            if type(r) is not int or type(g) is not int or type(b) is not int:
                return self._sequence(color, False)
        elif type(color) is not int and type(color) is not str:
            return self._sequence(color, False)
        try:
            return self._bg[color]
        except KeyError:
            return self._remember(color, False)

    def paint(self, text: str, fg: Color | None = None, bg: Color | None = None) -> str:
        """``text`` in the colours ``fg`` and ``bg`` (either may be None), followed by the resets that undo them.

        At ``NONE`` the text comes back unchanged, but the colours are still checked.
        """
        if not isinstance(text, str):  # pyright: ignore[reportUnnecessaryIsInstance]
            raise TypeError(f"paint() argument 'text' must be str, not {type(text).__name__}")
        before = after = ""
        if fg is not None:
            before = self.fg(fg)
            after = RESET_FG
        if bg is not None:
            before += self.bg(bg)
            after = RESET_BG + after
        if not before:  # level NONE, or no colour given
            return text
        return before + text + after

    def _remember(self, color: Color, foreground: bool) -> str:
        recent, old = (self._fg, self._fg_old) if foreground else (self._bg, self._bg_old)
        sequence = old.pop(color, None)
        if sequence is None:
            sequence = self._sequence(color, foreground)
        if len(recent) >= _GENERATION:
            old = recent
            recent = {}
            if foreground:
                self._fg, self._fg_old = recent, old
            else:
                self._bg, self._bg_old = recent, old
        recent[color] = sequence
        return sequence

    def _sequence(self, color: Color, foreground: bool) -> str:
        code = fg_code if foreground else bg_code
        sequence = code(color)  # for an invalid colour, the colour module's own error at every level
        level = self._level
        if level == ColorLevel.TRUECOLOR:
            return sequence
        if level == ColorLevel.NONE:
            return ""
        if isinstance(color, tuple):
            r, g, b = color
            rgb = _components(r, g, b)
        elif isinstance(color, int):
            if level == ColorLevel.EXTENDED:
                return sequence
            index = operator.index(color)
            if index < 16:
                return code(_BASIC_NAMES[index])
            rgb = palette_rgb(index)
        elif type(color) is str and color.startswith("#"):
            rgb = parse_hex(color)
        else:  # a colour name
            return sequence
        if level == ColorLevel.EXTENDED:
            return code(nearest_ansi256(*rgb))
        return code(_BASIC_NAMES[nearest_ansi16(*rgb)])
