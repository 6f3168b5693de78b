"""Terminal capability detection: the colour level of an output stream, Windows console set-up."""

from enum import IntEnum
from typing import Protocol, type_check_only

@type_check_only
class _Stream(Protocol):
    def isatty(self) -> bool: ...

class ColorLevel(IntEnum):
    NONE = 0
    BASIC = 1
    EXTENDED = 2
    TRUECOLOR = 3

# Doctest collection table (empty).
__test__: dict[str, object]

def _has_windows_console() -> bool: ...
def detect_color_level(stream: _Stream | None = None) -> ColorLevel: ...
def supports_color(stream: _Stream | None = None) -> bool: ...
def enable_windows_vt() -> bool: ...
