"""ANSI colour codes: escape sequences for colour names, palette indices, hex strings and RGB tuples.

The functions only build strings: they write nothing and do not ask what the terminal supports
(``tintwell.detect`` does). The module's own docstrings and error messages are in Chinese.

Example:
    >>> from tintwell import colors
    >>> colors.fg_code("red") + "error" + colors.RESET_FG
    '\\x1b[31merror\\x1b[39m'
"""

import re
from typing import Final, TypeAlias

from tintwell import Color

# The former name of tintwell.Color, for code that still uses it.
_Color: TypeAlias = Color

ESC: Final = "\x1b["
"""The control sequence introducer that starts every sequence: the escape character and ``[``."""
RESET_FG: Final = "\x1b[39m"
"""Restores the terminal's default foreground colour (SGR 39); write it after coloured text."""
RESET_BG: Final = "\x1b[49m"
"""Restores the terminal's default background colour (SGR 49)."""
NAMED_COLORS: Final[dict[str, int]]
"""The 16 colour names and their foreground SGR codes: ``black`` 30 to ``white`` 37, then
``bright_black`` 90 to ``bright_white`` 97. A background code is the foreground code plus 10.

Example:
    >>> NAMED_COLORS["bright_red"]
    91
"""
COLOR_ALIASES: Final[dict[str, str]]
"""Other names for entries of `NAMED_COLORS`: ``grey``, ``gray``, ``bright_grey`` and
``bright_gray`` mean ``bright_black``; ``purple`` means ``magenta``; ``bright_purple`` means
``bright_magenta``.

Example:
    >>> COLOR_ALIASES["grey"]
    'bright_black'
"""
_HEX_RE: Final[re.Pattern[str]]
_SHORT_HEX_RE: Final[re.Pattern[str]]
# Doctest collection table (empty).
__test__: dict[str, object]

def parse_hex(color: str) -> tuple[int, int, int]:
    """Parse a ``"#RRGGBB"`` or ``"#RGB"`` string into its ``(r, g, b)`` components, 0-255.

    Digits may be upper or lower case; in the short form each digit is doubled (``"#abc"`` is
    ``"#aabbcc"``). One line feed at the very end is ignored.

    Raises:
        TypeError: `color` is not a ``str`` (a subclass of ``str`` is refused as well).
        ValueError: the string is in neither form.

    Example:
        >>> parse_hex("#ff8000")
        (255, 128, 0)
        >>> parse_hex("#abc")
        (170, 187, 204)
    """

def rgb_to_ansi256(r: int, g: int, b: int) -> int:
    """Map an RGB colour approximately to an index of the 256-colour palette.

    Three equal components go to the grey ramp 232-255 (below 8 to 16, black; above 248 to 231,
    white); any other colour goes to the 6x6x6 cube, ``16 + 36*R + 6*G + B``, with each component
    rounded on a uniform scale of six steps (0, 51, 102, ...). Terminals show the cube levels as
    0, 95, 135, 175, 215 and 255, so the entry chosen is often not the nearest one:
    ``(255, 128, 0)`` gives 214, shown as (255, 175, 0) at RGB distance 47, while 208,
    (255, 135, 0), is at distance 7. ``tintwell.style.nearest_ansi256`` finds the nearest entry.

    Floats are truncated. Components are not range-checked: outside 0-255 the result can lie
    outside 16-255.

    Raises:
        TypeError: a component is not a number.

    Example:
        >>> rgb_to_ansi256(255, 128, 0)
        214
        >>> fg_code(rgb_to_ansi256(255, 128, 0))
        '\\x1b[38;5;214m'
    """

def fg_code(color: Color) -> str:
    """Return the escape sequence that sets the foreground (text) colour to `color`.

    `color` is one of:

    - a colour name of `NAMED_COLORS` or `COLOR_ALIASES`; case does not matter and ``-`` and
      spaces count as ``_`` (``"Bright Red"``): gives ``ESC`` + code + ``"m"``, e.g. ``"\\x1b[31m"``;
    - a palette index 0-255: ``"\\x1b[38;5;<index>m"``, for 256-colour terminals;
    - a ``"#RGB"`` or ``"#RRGGBB"`` string or an ``(r, g, b)`` tuple of components 0-255:
      ``"\\x1b[38;2;<r>;<g>;<b>m"``, 24-bit colour, never reduced to the palette.

    Write `RESET_FG` after the text to restore the default colour.

    Raises:
        TypeError: `color` is of another type (a list, a float, ``None``).
        ValueError: an unknown name, a malformed hex string, an index or a component outside
            0-255, or a tuple of other than three items.

    Example:
        >>> fg_code("red"), fg_code(196), fg_code("#ff8000"), fg_code((255, 128, 0))
        ('\\x1b[31m', '\\x1b[38;5;196m', '\\x1b[38;2;255;128;0m', '\\x1b[38;2;255;128;0m')
    """

def bg_code(color: Color) -> str:
    """Return the escape sequence that sets the background colour to `color`.

    Accepts and raises exactly what `fg_code` does; names give codes 40-47 and 100-107, indices
    ``"\\x1b[48;5;<index>m"`` and RGB colours ``"\\x1b[48;2;<r>;<g>;<b>m"``. Write `RESET_BG` after
    the text.

    Example:
        >>> bg_code("red"), bg_code("bright_white"), bg_code(196)
        ('\\x1b[41m', '\\x1b[107m', '\\x1b[48;5;196m')
    """

def _color_code(color: Color, *, foreground: bool) -> str: ...
def _validate_rgb(r: int, g: int, b: int) -> None: ...
