"""Coloured text as a terminal shows it: without its escape sequences, and the cells it takes.

Import :func:`strip_ansi` and :func:`visible_width` from ``tintwell.style``. One regular expression
does the stripping (the work is the ``re`` engine's), and widths come from the standard library's
Unicode data (``unicodedata``), so both follow the Unicode version of the running CPython.
"""

import re
import unicodedata

__all__ = ["strip_ansi", "visible_width"]

# What a terminal consumes without printing, as ECMA-48 delimits it. Each alternative also takes a
# sequence cut short (by a character that cannot continue it, or by the end of the text), since a
# terminal would consume that much of it too; the character that cut it short is kept.
_ESCAPE = re.compile(
    # CSI: ESC [, parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, a final byte 0x40-0x7E.
    r"\x1b\[[\x30-\x3f]*[\x20-\x2f]*[\x40-\x7e]?"
    # OSC, DCS, SOS, PM, APC: ESC ], P, X, ^ or _, a string, then BEL or ST (ESC \). Another ESC ends
    # the string (and starts a sequence of its own); so does the end of the text.
    r"|\x1b[\]PX^_][^\x07\x1b]*(?:\x07|\x1b\\)?"
    # Any other escape: ESC, intermediate bytes, a final byte 0x30-0x7E (ESC 7, ESC ( B, ESC c ...);
    # a lone ESC, or one before a character that no escape has, goes alone.
    r"|\x1b[\x20-\x2f]*[\x30-\x7e]?"
)
_ASCII_CONTROLS = re.compile(r"[\x00-\x1f\x7f]+")
_VS16 = "\ufe0f"  # emoji presentation
_ZERO_WIDTH_CATEGORIES = frozenset(("Mn", "Me", "Cf", "Cc", "Zl", "Zp"))


def strip_ansi(text: str) -> str:
    """`text` without the escape sequences a terminal consumes without printing them.

    Removed: control sequences (``ESC [`` ... a final byte: colours and other SGR, cursor movement,
    erasing, private modes such as ``ESC [ ? 25 h``); operating-system commands and the other
    string sequences (``ESC ]``, ``ESC P``, ``ESC X``, ``ESC ^``, ``ESC _``, up to ``BEL`` or
    ``ESC \\``), hyperlinks (``ESC ] 8 ; ; URL ESC \\``) among them, whose text between the two
    sequences is kept; and every other escape (``ESC 7``, ``ESC ( B``, ``ESC c``).

    Malformed and truncated sequences: a sequence cut short, by a character that cannot continue it
    or by the end of the text, is removed as far as it goes and the character is kept (``"\\x1b[31"``
    at the end goes; ``"\\x1b[3\\n"`` leaves ``"\\n"``). A string sequence runs to its terminator: one
    without goes to the end of the text, unless another ESC starts a sequence first. A lone ESC goes.
    Everything else stays, line breaks, tabs and other control characters included, as do the 8-bit
    introducers U+009B and U+009D, which terminals reading UTF-8 do not take as sequences.

    A ``str`` subclass comes back as a plain ``str``.

    Raises:
        TypeError: `text` is not a ``str``.

    Example:
        >>> strip_ansi("\\x1b[1m\\x1b[31mred\\x1b[22;39m and \\x1b]8;;https://example.org\\x1b\\\\a link\\x1b]8;;\\x1b\\\\")
        'red and a link'
    """
    if not isinstance(text, str):
        raise TypeError(f"strip_ansi() argument must be str, not {type(text).__name__}")
    text = str.__str__(text)  # a str subclass as its plain text, without its own methods
    return text if str.find(text, "\x1b") < 0 else _ESCAPE.sub("", text)


def _char_width(char: str) -> int:
    """Cells one character takes, on its own."""
    code = ord(char)
    if 0x1160 <= code <= 0x11FF or 0xD7B0 <= code <= 0xD7FF:
        return 0  # Hangul medial vowels and final consonants join the syllable before them
    category = unicodedata.category(char)
    if category in _ZERO_WIDTH_CATEGORIES and code != 0xAD:  # a soft hyphen shows as a hyphen
        return 0
    return 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1


def visible_width(text: str) -> int:
    """The number of terminal cells `text` takes on a line, its escape sequences aside.

    Escape sequences (what :func:`strip_ansi` removes) take none. Of the characters, from the
    standard library's Unicode data: East Asian wide and fullwidth ones (CJK, most emoji) take two;
    combining and enclosing marks, format characters (zero-width space and joiners, direction marks;
    not the soft hyphen, shown as a hyphen), control characters (tabs and line breaks included: the
    text is measured as one line) and the Hangul vowels and final consonants that join a syllable
    take none; every other character, ambiguous ones included, takes one.

    Emoji: a character of one cell followed by VARIATION SELECTOR-16 (U+FE0F, emoji presentation)
    takes two, as terminals that follow Unicode's emoji rules draw it (``"\\u2764\\ufe0f"``, a red
    heart, is 2; older terminals draw one cell there); VARIATION SELECTOR-15 (text presentation) changes
    nothing, and a wide emoji stays two cells with either. A skin-tone modifier after a wide character
    takes none. Emoji joined by ZERO WIDTH JOINER are counted one by one (a family of three is 6),
    as terminals draw them that do not join them.

    Raises:
        TypeError: `text` is not a ``str``.

    Example:
        >>> visible_width("\\x1b[31m漢字\\x1b[39m e\\u0301")
        6
    """
    text = strip_ansi(text)
    if text.isascii():
        return len(text) if text.isprintable() else len(_ASCII_CONTROLS.sub("", text))
    width = 0
    previous = 0  # the width of the character before
    for char in text:
        if char == _VS16:
            if previous == 1:  # shown as emoji: a narrow character grows to two cells
                width += 1
                previous = 2
            continue
        cells = _char_width(char)
        if previous == 2 and 0x1F3FB <= ord(char) <= 0x1F3FF:
            cells = 0  # a skin tone modifies the emoji before it
        width += cells
        previous = cells
    return width
