"""Terminal capability detection: how much colour the terminal behind a stream can show.

The level is decided from the environment (``NO_COLOR``, ``FORCE_COLOR``, ``COLORTERM``, ``TERM``
and, on Windows, the variables of IDEs, Windows Terminal and ConEmu), the platform and whether the
stream is a terminal, afresh at every call. The module's own docstrings are in Chinese.

Example:
    >>> from tintwell.detect import ColorLevel, detect_color_level
    >>> if detect_color_level() >= ColorLevel.EXTENDED:
    ...     print("256 colours or more")
"""

from enum import IntEnum
from typing import Protocol, type_check_only

@type_check_only
class _Stream(Protocol):
    """Any object with an ``isatty()`` method, such as a text stream."""

    def isatty(self) -> bool: ...

class ColorLevel(IntEnum):
    """How much colour a terminal shows, ordered: ``NONE < BASIC < EXTENDED < TRUECOLOR``.

    An ``IntEnum``: members compare with each other and with the integers 0-3.

    Example:
        >>> ColorLevel.EXTENDED >= ColorLevel.BASIC, ColorLevel(3)
        (True, <ColorLevel.TRUECOLOR: 3>)
    """

    NONE = 0
    """No colour: write no escape sequences."""
    BASIC = 1
    """The 8 standard colours and their bright variants: the colour names of ``tintwell.colors``."""
    EXTENDED = 2
    """The 256-colour palette: palette indices as well."""
    TRUECOLOR = 3
    """24-bit colour: hex strings and RGB tuples as well."""

# Doctest collection table (empty).
__test__: dict[str, object]

def _has_windows_console() -> bool: ...
def detect_color_level(stream: _Stream | None = None) -> ColorLevel:
    """Return how much colour the terminal behind `stream` (default: ``sys.stdout``) shows.

    The first rule that applies decides:

    1. ``NO_COLOR`` non-empty: ``NONE``.
    2. ``FORCE_COLOR`` non-empty: ``"0"``, ``"false"``, ``"False"`` give ``NONE``; ``"2"``
       ``EXTENDED``; ``"3"`` ``TRUECOLOR``; any other value ``BASIC``, whatever the stream.
    3. Windows only: in VS Code or PyCharm (``TERM_PROGRAM=vscode``, ``VSCODE_PID``,
       ``VSCODE_IPC_HOOK``, ``PYCHARM_HOSTED``), ``TRUECOLOR``, even through a pipe.
    4. `stream` has no ``isatty`` or is not a terminal: ``NONE``.
    5. Windows only: ``WT_SESSION`` non-empty or ``ConEmuANSI=ON`` gives ``TRUECOLOR``; any
       other console ``BASIC`` (``COLORTERM`` and ``TERM`` are not read).
    6. ``COLORTERM`` ``truecolor`` or ``24bit`` (any case): ``TRUECOLOR``.
    7. ``TERM`` (any case) ``dumb``: ``NONE``; containing ``256color``: ``EXTENDED``; other
       non-empty: ``BASIC``; unset or empty: ``NONE``.

    An empty variable counts as unset. Nothing is cached: the environment, ``sys.platform`` and
    ``sys.stdout`` are read at every call.

    Raises:
        Whatever ``stream.isatty()`` raises (a closed file: ``ValueError``).

    Example:
        >>> import os
        >>> os.environ.update(FORCE_COLOR="2")
        >>> detect_color_level()
        <ColorLevel.EXTENDED: 2>
    """

def supports_color(stream: _Stream | None = None) -> bool:
    """Return whether the terminal behind `stream` (default: ``sys.stdout``) shows any colour:
    ``detect_color_level(stream) > ColorLevel.NONE``.

    Example:
        >>> import io
        >>> supports_color(io.StringIO())  # not a terminal; NO_COLOR and FORCE_COLOR unset
        False
    """

def enable_windows_vt() -> bool:
    """On Windows, switch the console behind ``sys.stdout`` (failing that, ``sys.stderr``) into
    virtual-terminal processing, so that it interprets escape sequences instead of printing them.

    Return whether processing is now on for one of them. Call it once at start-up. Without a
    console (output to a file or pipe) it returns ``False``; on other systems it returns
    ``False`` at once and does nothing. Failures of the console functions are not raised.

    Example:
        >>> import sys
        >>> if sys.platform == "win32":
        ...     enable_windows_vt()
    """
