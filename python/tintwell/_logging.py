"""ColorHandler: log records coloured by level, as far as the stream they go to shows colour.

Import :class:`ColorHandler` and :class:`StyleOptions` from ``tintwell.style``.
"""

import bisect
import logging
import re
import types
from collections.abc import Mapping
from typing import TYPE_CHECKING, Final, Literal, TextIO, TypedDict, cast, overload, override

from tintwell import Color
from tintwell._paint import Painter, Style

if TYPE_CHECKING:
    from _typeshed import SupportsWrite

__all__ = ["ColorHandler", "StyleOptions"]


class StyleOptions(TypedDict, total=False):
    """The keywords of ``Painter.style`` as a mapping: the style of one level in a
    :class:`ColorHandler`, e.g. ``{"fg": "#ff8000", "bold": True}``."""

    fg: Color | None
    bg: Color | None
    bold: bool | int
    dim: bool | int
    italic: bool | int
    underline: bool | int
    blink: bool | int
    reverse: bool | int
    strike: bool | int


OPTIONS: Final = tuple(StyleOptions.__annotations__)
# Names a user may reach for, and the option meant.
OPTION_MEANT: Final = {"color": "fg", "colour": "fg", "foreground": "fg", "background": "bg"}
PARTS: Final = ("levelname", "line")
DEFAULT_FORMATTER: Final = logging.Formatter()
# Characters of plane 15's private use area stand in for the level name, each for its position in it,
# to find where the formatter puts the name (padded, cut, repeated).
MARKER_BASE: Final = 0xF0000
MARKER_RUN: Final = re.compile("[\U000f0000-\U000ffffd]+")


class ColorHandler[S: SupportsWrite[str] = TextIO](logging.StreamHandler[S]):
    """A ``logging.StreamHandler`` that colours each record by its level, as far as its stream shows
    colour. ``logging.basicConfig(level=logging.INFO, handlers=[ColorHandler()])`` is the whole
    set-up.

    The stream (default ``sys.stderr``, as for ``StreamHandler``) gets a ``Painter`` of its own,
    detected for it: records to a terminal are coloured, while one to a file or a pipe, or with
    ``NO_COLOR`` set, gets none, and its output is then byte for byte that of a ``StreamHandler``
    with the same formatter. With colour, only the escape sequences differ. ``setStream`` (or
    assigning ``handler.stream``) detects again for the new stream.

    `styles` maps levels (ints, or names such as ``"WARNING"``) to the ``Painter.style`` keywords
    of their style (:class:`StyleOptions`), or to None for no colour; each level given replaces its
    default, the others keep theirs (:attr:`DEFAULT_STYLES`: DEBUG dim, INFO green, WARNING
    yellow, ERROR red, CRITICAL bold bright white on red). A record of a level between two takes
    the style of the highest level at or below its own; one below every level given gets none.

    `part` says what is coloured: ``"levelname"`` (the default), the level's name wherever the
    format puts it (padded, cut or repeated: ``%(levelname)-8s`` keeps its alignment, since the
    sequences are written around the padded name), or ``"line"``, the whole record, each line of
    it apart (tracebacks included), so that a background never runs past a line's end.

    Colours and options are checked when the handler is made: a colour ``tintwell.colors``
    rejects raises its error, with an English note naming the level and saying what was wrong.

    Raises:
        TypeError: a level's options are neither a mapping nor None, or hold an unknown option or
            an attribute that is not ``True``, ``False`` or an int.
        ValueError: an unknown level name, a `part` other than ``"levelname"`` or ``"line"``.
        TypeError, ValueError: a colour ``tintwell.colors`` rejects (its own error, with notes).

    Example:
        >>> import io, logging
        >>> handler = ColorHandler(io.StringIO(), {logging.WARNING: {"fg": "#ff8000", "bold": True}})
        >>> handler.setFormatter(logging.Formatter("%(levelname)-8s %(message)s"))
        >>> handler.format(logging.makeLogRecord({"levelno": 30, "levelname": "WARNING", "msg": "disk"}))
        'WARNING  disk'
    """

    DEFAULT_STYLES: Final[Mapping[int, StyleOptions]] = types.MappingProxyType({
        logging.DEBUG: {"dim": True},
        logging.INFO: {"fg": "green"},
        logging.WARNING: {"fg": "yellow"},
        logging.ERROR: {"fg": "red"},
        logging.CRITICAL: {"fg": "bright_white", "bg": "red", "bold": True},
    })
    """The style options of the five standard levels, which `styles` overrides level by level."""

    part: Literal["levelname", "line"]
    """What is coloured: the level name, or each line of the record."""

    @overload
    def __init__(self: ColorHandler[TextIO], stream: None = None,
                 styles: Mapping[int | str, StyleOptions | None] | None = None, *,
                 part: Literal["levelname", "line"] = "levelname") -> None: ...
    @overload
    def __init__(self: ColorHandler[S], stream: S, styles: Mapping[int | str, StyleOptions | None] | None = None,
                 *, part: Literal["levelname", "line"] = "levelname") -> None: ...

    def __init__(self, stream: S | None = None, styles: Mapping[int | str, StyleOptions | None] | None = None, *,
                 part: Literal["levelname", "line"] = "levelname") -> None:
        if part not in PARTS:
            raise ValueError(f"ColorHandler part must be 'levelname' or 'line', not {part!r}")
        super().__init__(stream)  # type: ignore[arg-type]  # None: sys.stderr
        self.part = part
        options: dict[int, StyleOptions | None] = dict(self.DEFAULT_STYLES)
        for level, level_options in (styles or {}).items():
            number = level_number(level)
            options[number] = checked_options(number, level_options)
        self._options = options
        self._levels = sorted(options)
        self._paint_for(self.stream)

    def _paint_for(self, stream: object) -> None:
        """Detects the level of `stream` and makes the levels' styles for it."""
        try:
            painter = Painter(stream)  # type: ignore[arg-type]  # detection takes any object
        except Exception:  # noqa: BLE001 - a stream whose isatty() fails (closed) shows no colour
            painter = Painter(level=0)
        styles: dict[int, Style | None] = {}
        for level, options in self._options.items():
            try:
                styles[level] = None if options is None else painter.style(**options)
            except (TypeError, ValueError) as exc:
                exc.add_note(f"In ColorHandler's style for {logging.getLevelName(level)} ({level}): {options!r}")
                raise
        self._painter, self._styles, self._painted = painter, styles, stream
        self._by_level: dict[int, Style | None] = {}

    @override
    def setStream(self, stream: S) -> S | None:
        """Sets the stream, as ``StreamHandler.setStream`` does, and detects its colour level."""
        self.acquire()
        try:
            old = super().setStream(stream)
            if old is not None:
                self._paint_for(stream)
            return old
        finally:
            self.release()

    def _style(self, levelno: int) -> Style | None:
        """The style of records of `levelno`, or None when they get no colour."""
        style = self._by_level.get(levelno)
        if style is None and levelno not in self._by_level:
            at = bisect.bisect_right(self._levels, levelno)
            style = self._styles[self._levels[at - 1]] if at else None
            style = style if style is not None and style.before else None  # at NONE a style writes nothing
            self._by_level[levelno] = style
        return style

    @override
    def format(self, record: logging.LogRecord) -> str:
        """The record as the formatter makes it, coloured by its level where the stream shows colour."""
        if self.stream is not self._painted:  # assigned directly, not through setStream
            self._paint_for(self.stream)
        text = super().format(record)
        style = self._style(record.levelno) if isinstance(record.levelno, int) else None
        if style is None:
            return text
        if self.part == "line":
            return "\n".join(style(line) if line else line for line in text.split("\n"))
        pieces, last = [], 0
        for start, end in self._levelname_spans(record, text):
            pieces += [text[last:start], style(text[start:end])]
            last = end
        pieces.append(text[last:])
        return "".join(pieces)

    def _levelname_spans(self, record: logging.LogRecord, text: str) -> list[tuple[int, int]]:
        """Where `text`, the record as formatted, shows the level name: the formatter's message part is
        made again with markers for the name, and where they stand is where the name stands. A
        formatter that does not show it that way gets the name's first appearance."""
        name = record.levelname
        if not isinstance(name, str) or not name:
            return []
        formatter = self.formatter or DEFAULT_FORMATTER
        try:
            record.levelname = MARKERS[:len(name)] if len(name) <= len(MARKERS) else markers(len(name))
            try:
                marked = formatter.formatMessage(record)
            finally:
                record.levelname = name
        except Exception:  # noqa: BLE001 - a formatter of its own kind: the fallback below
            marked = None
        if isinstance(marked, str) and len(marked) <= len(text):
            # Runs of markers that differ from the text are the name (the same characters in the
            # message itself are the text's); everything between them must be the text itself.
            spans, last = [], 0
            for match in MARKER_RUN.finditer(marked):
                start, end = match.span()
                if text[start:end] != match[0]:
                    if marked[last:start] != text[last:start]:
                        break
                    spans.append((start, end))
                    last = end
            else:
                if marked[last:] == text[last:len(marked)]:
                    return spans
        at = text.find(name)
        return [] if at < 0 else [(at, at + len(name))]


def markers(count: int) -> str:
    """The characters that stand in for a level name of `count` characters."""
    return "".join(map(chr, range(MARKER_BASE, MARKER_BASE + count)))


MARKERS: Final = markers(64)


def level_number(level: int | str) -> int:
    """A level of `styles` as its number."""
    if isinstance(level, int) and not isinstance(level, bool):
        return level
    if isinstance(level, str):
        known = logging.getLevelNamesMapping()
        if level in known:
            return known[level]
        import difflib  # for errors only

        close = difflib.get_close_matches(level.upper(), known, n=1)
        hint = f"; did you mean {close[0]!r}?" if close else f"; the levels are {', '.join(known)}"
        raise ValueError(f"ColorHandler styles: unknown level name {level!r}{hint}")
    raise TypeError(f"ColorHandler styles: a level is an int or a level name, not {type(level).__name__}")


def checked_options(level: int, options: object) -> StyleOptions | None:
    """The options of one level, checked for their form (their values are checked by the painter)."""
    where = f"ColorHandler's style for {logging.getLevelName(level)} ({level})"
    if options is None:
        return None
    if not isinstance(options, Mapping):
        hint = f", such as {{'fg': {options!r}}}" if isinstance(options, (str, int, tuple)) else ""
        raise TypeError(f"{where} must be a mapping of Painter.style options{hint}, or None; "
                        f"not {type(options).__name__}")
    for key in options:
        if key not in OPTIONS:
            import difflib  # for errors only

            meant = OPTION_MEANT.get(key) if isinstance(key, str) else None
            close = [meant] if meant else difflib.get_close_matches(str(key), OPTIONS, n=1)
            hint = f" (did you mean {close[0]!r}?)" if close else ""
            raise TypeError(f"{where}: unknown option {key!r}{hint}. The options are {', '.join(OPTIONS)}.")
    return cast(StyleOptions, dict(options))
