"""ANSI colour codes: escape sequences for names, palette indices, hex strings and RGB tuples."""

import re
from typing import Final, TypeAlias

# What fg_code and bg_code accept: a colour name or "#RGB"/"#RRGGBB" string, a 256-colour palette
# index, or an (r, g, b) tuple of components 0-255.
_Color: TypeAlias = str | int | tuple[int, int, int]

ESC: Final = "\x1b["
RESET_FG: Final = "\x1b[39m"
RESET_BG: Final = "\x1b[49m"
NAMED_COLORS: Final[dict[str, int]]
COLOR_ALIASES: Final[dict[str, str]]
_HEX_RE: Final[re.Pattern[str]]
_SHORT_HEX_RE: Final[re.Pattern[str]]
# Doctest collection table (empty).
__test__: dict[str, object]

def parse_hex(color: str) -> tuple[int, int, int]: ...
def rgb_to_ansi256(r: int, g: int, b: int) -> int: ...
def fg_code(color: _Color) -> str: ...
def bg_code(color: _Color) -> str: ...
def _color_code(color: _Color, *, foreground: bool) -> str: ...
def _validate_rgb(r: int, g: int, b: int) -> None: ...
