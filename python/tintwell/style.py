"""Style terminal text as far as the terminal goes: colours, attributes, nesting, nearest colours.

A :class:`Painter` asks once how much colour its stream can show and then turns any colour that
``tintwell.colors.fg_code`` accepts, and the text attributes bold, dim, italic, underline, blink,
reverse and strike, into the sequences that show them best at that level::

    from tintwell.style import Painter

    painter = Painter()                          # for sys.stdout
    warn = painter.style(fg="#ff8000", bold=True)
    print(warn("warning:"), "disk almost full")
    print(painter.paint("a " + warn("b") + " c", fg="blue"))   # " c" is blue again

24-bit colours are reduced to the palette entry, or basic colour, perceived as nearest (CIEDE2000
against xterm's default palette); :func:`nearest_ansi256` and :func:`nearest_ansi16` expose the two
mappings, :func:`perceived_difference` the measure. ``Painter()`` follows ``sys.stdout``: under
``contextlib.redirect_stdout`` or a test runner's capture it writes no escapes, and back on the
terminal colour returns.

:class:`ColorHandler` colours log records by level (``logging.basicConfig(level=logging.INFO,
handlers=[ColorHandler()])``); :func:`strip_ansi` and :func:`visible_width` give coloured text as a
terminal shows it, and the cells it takes. The painter's work is done by the extension module
``tintwell._paint``; this module is its public face.
"""

from typing import TYPE_CHECKING

from tintwell import Color
from tintwell._paint import Painter, Style, nearest_ansi16, nearest_ansi256, palette_rgb, perceived_difference
from tintwell._text import strip_ansi, visible_width
from tintwell.colors import RESET_BG as RESET_BG, RESET_FG as RESET_FG
from tintwell.detect import ColorLevel as ColorLevel

if TYPE_CHECKING:
    from tintwell._logging import ColorHandler, StyleOptions

__all__ = [
    "RESET_BG", "RESET_FG", "Color", "ColorHandler", "ColorLevel", "Painter", "Style", "StyleOptions",
    "nearest_ansi16", "nearest_ansi256", "palette_rgb", "perceived_difference", "strip_ansi", "visible_width",
]


def __getattr__(name: str) -> object:
    # ColorHandler and StyleOptions need the logging package, some 15 ms to import: it is imported for
    # the programs that use them, at their first use.
    if name in ("ColorHandler", "StyleOptions"):
        from tintwell import _logging

        value: object = getattr(_logging, name)
        globals()[name] = value  # found directly from now on
        return value
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
