"""ANSI terminal colours: escape sequences (tintwell.colors) and colour detection (tintwell.detect)."""

__version__ = "0.1.0"
