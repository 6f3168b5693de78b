"""ANSI terminal colours: escape sequences (tintwell.colors) and colour detection (tintwell.detect)."""

__version__ = "0.1.0"

# Defined here rather than in tintwell.colors, whose namespace is the extension module's own; the
# type statement evaluates nothing at import.
type Color = str | int | tuple[int, int, int]
"""A colour as ``fg_code`` and ``bg_code`` accept it: a colour name or ``"#RGB"`` /
``"#RRGGBB"`` string, a 256-colour palette index, or an ``(r, g, b)`` tuple of components 0-255."""
