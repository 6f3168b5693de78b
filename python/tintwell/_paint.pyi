"""The painter behind ``tintwell.style``: styles with text attributes, nesting, nearest colours.

Import these names from ``tintwell.style``, the public module; this extension module does the work.

Example:
    >>> from tintwell.style import Painter
    >>> painter = Painter(level=3)
    >>> painter.paint("ok", fg="green", bold=True)
    '\\x1b[1m\\x1b[32mok\\x1b[22;39m'
"""

from typing import Literal, Protocol, final, type_check_only

from tintwell import Color
from tintwell.detect import ColorLevel

@type_check_only
class _Stream(Protocol):
    def isatty(self) -> bool: ...

@final
class Style:
    """A painter's colours and text attributes, made once and applied by calling it.

    ``style(text)`` returns `text` with `before` in front and `after` behind it. Where `text`
    already holds escape sequences (another style's, another library's, ``tintwell.colors``'),
    every SGR sequence in it that resets something this style sets (its layer's reset 39 or 49, an
    attribute's reset such as 22 for bold and dim, or the full reset 0) is followed by this style's
    own sequence for that part, so the text after an inner span shows this style again. Other
    escape sequences (hyperlinks, cursor movement) pass through untouched. At level NONE, and for a
    style of no colour and no attribute, `text` comes back as it is.

    Styles are immutable. Two styles are equal, and hash alike, when they write the same
    sequences: the same attributes and the same colour sequences at their level. So
    ``Painter(level=1).style(fg="red") == Painter(level=1).style(fg=1)`` (both write SGR 31), and
    every style at level NONE equals every other one there.

    A style of a painter that follows ``sys.stdout`` (``Painter()``) follows it too: called, and
    asked for `before`, `after` or `level`, it paints at its painter's level at that moment, so a
    style made at start-up writes no escapes under ``contextlib.redirect_stdout`` to a file, and
    colour again once the output is the terminal again. Its equality and hash stay those of the style
    as it was made. A style of any other painter keeps the level it was made at.

    Styles are made by `Painter.style`, never directly.

    Example:
        >>> warn = Painter(level=3).style(fg="#ff8000", bold=True)
        >>> warn("careful")
        '\\x1b[1m\\x1b[38;2;255;128;0mcareful\\x1b[22;39m'
        >>> warn
        Style(fg='#ff8000', bold=True, level=ColorLevel.TRUECOLOR)
    """

    def __call__(self, text: str, /) -> str:
        """`text` between the style's sequences, nested sequences kept as the class describes.

        Raises:
            TypeError: `text` is not a ``str``.
        """

    @property
    def before(self) -> str:
        """The sequence written before the text: the attributes, then the foreground, then the
        background ("" when the style writes nothing).

        Example:
            >>> Painter(level=1).style(fg="red", underline=True).before
            '\\x1b[4m\\x1b[31m'
        """

    @property
    def after(self) -> str:
        """The sequence written after the text, resetting exactly what `before` set.

        Example:
            >>> Painter(level=1).style(fg="red", underline=True).after
            '\\x1b[24;39m'
        """

    @property
    def fg(self) -> Color | None:
        """The foreground colour as given (a ``str`` subclass such as a ``StrEnum`` member as its
        plain string), or None.

        Example:
            >>> Painter(level=2).style(fg=(255, 128, 0)).fg
            (255, 128, 0)
        """

    @property
    def bg(self) -> Color | None:
        """The background colour as given, or None.

        Example:
            >>> Painter(level=2).style(bg="blue").bg
            'blue'
        """

    @property
    def level(self) -> ColorLevel:
        """The colour level the style paints at: that of the painter that made it (at this moment, for
        a painter that follows ``sys.stdout``).

        Example:
            >>> Painter(level=2).style(bold=True).level
            <ColorLevel.EXTENDED: 2>
        """

    @property
    def bold(self) -> bool:
        """Whether the style asks for bold text (SGR 1, reset by 22).

        Example:
            >>> Painter(level=0).style(bold=True).bold
            True
        """

    @property
    def dim(self) -> bool:
        """Whether the style asks for dim (faint) text (SGR 2, reset by 22).

        Example:
            >>> Painter(level=1).style(dim=True).before
            '\\x1b[2m'
        """

    @property
    def italic(self) -> bool:
        """Whether the style asks for italic text (SGR 3, reset by 23).

        Example:
            >>> Painter(level=1).style(italic=True).after
            '\\x1b[23m'
        """

    @property
    def underline(self) -> bool:
        """Whether the style asks for underlined text (SGR 4, reset by 24).

        Example:
            >>> Painter(level=1).style(underline=1).underline
            True
        """

    @property
    def blink(self) -> bool:
        """Whether the style asks for blinking text (SGR 5, reset by 25).

        Example:
            >>> Painter(level=1).style(blink=False).blink
            False
        """

    @property
    def reverse(self) -> bool:
        """Whether the style asks for reversed foreground and background (SGR 7, reset by 27).

        Example:
            >>> Painter(level=1).style(reverse=True).before
            '\\x1b[7m'
        """

    @property
    def strike(self) -> bool:
        """Whether the style asks for struck-through text (SGR 9, reset by 29).

        Example:
            >>> Painter(level=1).style(strike=True).after
            '\\x1b[29m'
        """

    def __eq__(self, other: object, /) -> bool:
        """Whether `other` is a style that writes the same sequences."""

    def __copy__(self) -> Style:
        """The style itself: styles are immutable."""

    def __deepcopy__(self, memo: object, /) -> Style:
        """The style itself: styles are immutable."""

    def __hash__(self) -> int:
        """A hash of the sequences the style writes: equal styles hash alike."""

@final
class Painter:
    """Escape sequences for one stream's terminal: each colour and attribute as well as it can show.

    ``Painter(stream)`` detects the colour level of `stream` once, with
    ``tintwell.detect.detect_color_level``; on Windows, when that stream is the process's standard
    output or error, it first switches the console into virtual-terminal mode with
    ``enable_windows_vt()``. ``Painter(level=...)`` uses the given level (a ``ColorLevel`` or an int
    0-3) and detects nothing.

    ``Painter()``, with neither a stream nor a level, paints for whatever ``sys.stdout`` is at the
    call: every call checks that ``sys.stdout`` is still the object it detected the level for (one
    lookup and one comparison), and detects again when it is not. Under
    ``contextlib.redirect_stdout(io.StringIO())`` or a test runner's output capture it writes no
    escapes; back on the terminal, colour returns. A change of level empties its cache of
    sequences. Its styles follow it too (see `Style`); copies and pickles of it follow
    ``sys.stdout`` as well. ``sys.stdout`` missing altogether makes a call raise detection's
    ``AttributeError``.

    Colours are everything ``tintwell.colors.fg_code`` accepts, and a ``str`` subclass (such as a
    ``StrEnum`` theme member ``ACCENT = "#ff8000"``) is taken by its plain string. At ``TRUECOLOR``
    every colour is shown as given. At ``EXTENDED``, hex strings and RGB tuples become the palette
    entry perceived as nearest (:func:`nearest_ansi256`). At ``BASIC``, palette indices 0-15 become
    the basic colour of that number, and other indices, hex strings and tuples the basic colour
    perceived as nearest (:func:`nearest_ansi16`). At ``NONE`` there are no sequences. Text
    attributes are written from ``BASIC`` on. A colour that ``fg_code`` rejects raises its error at
    every level, ``NONE`` included, and the painter stays usable.

    Attribute keywords (``bold``, ``dim``, ``italic``, ``underline``, ``blink``, ``reverse``,
    ``strike``) take ``True``, ``False`` or an int (on when non-zero); anything else raises
    ``TypeError`` naming the keyword.

    A painter keeps the sequences of the colours it has recently shown (exact ``str``, ``int`` and
    tuples of three ``int``, up to 1,024), so showing them again costs one dictionary lookup.

    Raises:
        TypeError: `level` is neither a ``ColorLevel`` nor an int.
        ValueError: `level` lies outside 0-3.

    Example:
        >>> painter = Painter(level=2)
        >>> painter.paint("warning", fg="#ff8000")
        '\\x1b[38;5;208mwarning\\x1b[39m'
    """

    def __new__(cls, stream: _Stream | None = None, *, level: ColorLevel | int | None = None) -> Painter: ...
    def __getnewargs_ex__(self) -> tuple[tuple[()], dict[str, ColorLevel]]:
        """What a copy or a pickle rebuilds the painter from: its level (nothing is detected again),
        or nothing for a painter that follows ``sys.stdout``, whose copy follows it too."""

    @property
    def level(self) -> ColorLevel:
        """The colour level this painter paints for (now, for a painter that follows ``sys.stdout``).

        Example:
            >>> Painter(level=1).level
            <ColorLevel.BASIC: 1>
        """

    def fg(self, color: Color) -> str:
        """The sequence that makes `color` the foreground colour at this painter's level ("" at NONE).

        Raises:
            TypeError, ValueError: ``fg_code`` rejects `color` (its own error).

        Example:
            >>> Painter(level=1).fg("#ff8000")
            '\\x1b[91m'
        """

    def bg(self, color: Color) -> str:
        """The sequence that makes `color` the background colour at this painter's level ("" at NONE).

        Raises:
            TypeError, ValueError: ``bg_code`` rejects `color` (its own error).

        Example:
            >>> Painter(level=2).bg((255, 128, 0))
            '\\x1b[48;5;208m'
        """

    def paint(
        self,
        text: str,
        fg: Color | None = None,
        bg: Color | None = None,
        *,
        bold: bool | int = False,
        dim: bool | int = False,
        italic: bool | int = False,
        underline: bool | int = False,
        blink: bool | int = False,
        reverse: bool | int = False,
        strike: bool | int = False,
    ) -> str:
        """`text` in the colours `fg` and `bg` (either may be None) with the attributes asked for,
        followed by the resets that undo them; ``painter.style(...)(text)`` in one call.

        At ``NONE``, or with no colour and no attribute, `text` comes back as it is (the colours are
        still checked). Sequences inside `text` are kept as ``Style`` describes.

        Raises:
            TypeError: `text` is not a ``str``; an attribute is not ``True``, ``False`` or an int;
                ``fg_code`` or ``bg_code`` rejects a colour (its own error).
            ValueError: ``fg_code`` or ``bg_code`` rejects a colour (its own error).

        Example:
            >>> painter = Painter(level=1)
            >>> painter.paint("a " + painter.paint("b", fg="red") + " c", fg="blue")
            '\\x1b[34ma \\x1b[31mb\\x1b[39m\\x1b[34m c\\x1b[39m'
        """

    def style(
        self,
        fg: Color | None = None,
        bg: Color | None = None,
        *,
        bold: bool | int = False,
        dim: bool | int = False,
        italic: bool | int = False,
        underline: bool | int = False,
        blink: bool | int = False,
        reverse: bool | int = False,
        strike: bool | int = False,
    ) -> Style:
        """A reusable `Style` of these colours and attributes at this painter's level.

        Raises:
            TypeError, ValueError: as `paint` for the colours and attributes.

        Example:
            >>> title = Painter(level=3).style(fg="bright_white", bg="blue", bold=True)
            >>> print(title(" Report "))  # doctest: +SKIP
        """

def palette_rgb(index: int) -> tuple[int, int, int]:
    """The RGB colour a terminal shows for palette entry `index` (0-255), with xterm's defaults.

    Entries 0-15 are the basic colours (0: black (0, 0, 0), 1: red (205, 0, 0), ..., 12: bright
    blue (92, 92, 255), ..., 15: bright white (255, 255, 255)), 16-231 the colour cube
    ``16 + 36*r + 6*g + b`` over the levels 0, 95, 135, 175, 215 and 255, and 232-255 the greys
    ``8 + 10*(index - 232)``.

    Raises:
        TypeError: `index` is not an ``int``.
        ValueError: `index` lies outside 0-255.

    Example:
        >>> palette_rgb(208)
        (255, 135, 0)
    """

def nearest_ansi256(r: int, g: int, b: int) -> int:
    """The index 16-255 of the palette entry perceived as nearest to ``(r, g, b)``.

    Nearest means the least CIEDE2000 difference between the sRGB colours, the entries taken as
    :func:`palette_rgb` gives them (xterm's default palette); ties go to the lower index.
    Components are validated as ``tintwell.colors`` validates them (numbers are truncated, then must
    lie in 0-255), with its ``TypeError`` or ``ValueError``.

    Example:
        >>> nearest_ansi256(255, 128, 0)
        208
    """

def nearest_ansi16(r: int, g: int, b: int) -> int:
    """The index 0-15 of the basic colour perceived as nearest to ``(r, g, b)``.

    As :func:`nearest_ansi256`, over the 16 basic colours of xterm's default palette, except that a
    colour of HSV saturation and value 0.5 or more never becomes a grey (0 black, 7 white, 8 bright
    black, 15 bright white): it keeps its hue.

    Example:
        >>> nearest_ansi16(255, 128, 0)  # bright red: an orange is nearer red than the olive of yellow
        9
    """

def _colour_form(colour: object, /) -> Literal["name", "hex", "index", "rgb"] | None:
    """The form of `colour` as the painter tells colour forms apart, for the downgrades: ``"rgb"`` for
    a tuple, ``"index"`` for an int (``bool`` and ``IntEnum`` members too), ``"hex"`` for a str
    starting with ``#``, ``"name"`` for any other str, None for anything else. Whether
    ``fg_code`` accepts the colour is not asked. Private: the command line describes colours by it."""

def perceived_difference(rgb1: tuple[int, int, int], rgb2: tuple[int, int, int]) -> float:
    """The CIEDE2000 difference between two sRGB colours: about 1 is just noticeable, 0 is none.

    Each colour is an ``(r, g, b)`` tuple whose components are validated as ``fg_code`` validates a
    tuple's. This is the measure :func:`nearest_ansi256` and :func:`nearest_ansi16` minimise.

    Raises:
        TypeError: a colour is not a tuple, or a component not a number.
        ValueError: a tuple has not three components, or a component lies outside 0-255.

    Example:
        >>> round(perceived_difference((255, 128, 0), palette_rgb(208)), 2)
        2.25
    """
