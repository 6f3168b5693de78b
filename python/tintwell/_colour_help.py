"""English notes on colours that ``tintwell.colors`` rejects, for errors raised through ``tintwell.style``.

The colour module's messages are Chinese by design, and stay the exception's message; an application
whose users read English (and who configured the colour) gets, through ``BaseException.add_note``,
what was wrong, a near-miss where there is one ('gren': did you mean 'green'?), and the forms a
colour may take. The painter calls :func:`add_note` on its error path; nothing here is public.
"""

import difflib
import re

from tintwell import colors
from tintwell._paint import _colour_form

ACCEPTED = ("A colour is a name such as 'red', 'bright_blue' or 'grey' (the 16 of tintwell.colors.NAMED_COLORS "
            "and the aliases of COLOR_ALIASES; case, '-' and ' ' do not matter), '#RGB' or '#RRGGBB', "
            "a palette index 0-255, or an (r, g, b) tuple of components 0-255.")
LAYERS = {"fg": "foreground", "bg": "background"}
HEX_DIGITS = re.compile(r"[0-9a-fA-F]*")
COMPONENTS = "rgb"


def add_note(exc: BaseException, colour: object, layer: str) -> None:
    """Adds the note on `colour`, the `layer` ("fg" or "bg") colour the colour module rejected with
    `exc`, unless `exc` already carries one (it was raised in a painter call within this one, for
    the colour given there)."""
    if any(isinstance(note, str) and note.endswith(ACCEPTED) for note in getattr(exc, "__notes__", ())):
        return  # explained where it was raised, for the colour given there
    exc.add_note(f"{explain(colour, exc, LAYERS.get(layer, layer))}\n{ACCEPTED}")


def explain(colour: object, exc: BaseException, layer: str) -> str:
    """What is wrong with `colour`, in a sentence, with a near-miss where there is one."""
    given = f"The {layer} colour {colour!r}"
    form = _colour_form(colour)
    if form == "name":
        return given + name_problem(str(colour))
    if form == "hex":
        return given + hex_problem(str(colour))
    if form == "index":
        return f"{given} is outside 0-255, the palette's indices."
    if form == "rgb":
        return given + rgb_problem(colour, exc)
    if colour is None:
        return f"The {layer} colour is None: paint() and style() take None for no colour, fg() and bg() need one."
    return f"{given} is of type {type(colour).__name__}, which is no colour's{other_problem(colour)}"


def names() -> list[str]:
    return [*colors.NAMED_COLORS, *colors.COLOR_ALIASES]


def fold(text: str) -> str:
    """A name as fg_code compares it: case, '-' and ' ' do not matter."""
    return text.lower().replace("-", "_").replace(" ", "_")


def name_problem(text: str) -> str:
    if not text.strip():
        return " is empty: a colour name has letters."
    if len(text) in (3, 6) and HEX_DIGITS.fullmatch(text):
        return f" is not a colour name. Did you mean the hex colour {'#' + text!r}?"
    if fold(text) in names():
        return " is a colour name, yet tintwell.colors rejected it."
    folded = fold(text.strip())
    if folded in names():
        return f" is not a colour name as written. Did you mean {folded!r}?"
    close = difflib.get_close_matches(folded, names(), n=1, cutoff=0.6)
    return " is not a colour name." + (f" Did you mean {close[0]!r}?" if close else "")


def hex_problem(text: str) -> str:
    digits = text[1:].removesuffix("\n")
    if text.strip() != text and re.fullmatch(r"#(?:[0-9a-fA-F]{3}){1,2}", text.strip()):
        return f" has white space around it. Did you mean {text.strip()!r}?"
    wrong = [c for c in digits if not HEX_DIGITS.fullmatch(c)]
    if wrong:
        return f" is not a hex colour: {wrong[0]!r} is not a hexadecimal digit (0-9, a-f, A-F)."
    return (f" is not a hex colour: it has {len(digits)} digit{'s' * (len(digits) != 1)} after '#', where "
            "'#RGB' has 3 and '#RRGGBB' 6.")


def rgb_problem(colour: object, exc: BaseException) -> str:
    if isinstance(exc, ValueError) and "unpack" in str(exc):
        count = tuple.__len__(colour) if isinstance(colour, tuple) else "another number of"
        return f" has {count} components, where an (r, g, b) tuple has 3."
    for letter, component in zip(COMPONENTS, colour if isinstance(colour, tuple) else ()):
        if not isinstance(component, (int, float)):
            return (f" has a component {letter} of type {type(component).__name__}: components are ints "
                    "0-255 (floats are truncated).")
        if not 0 <= component < 256:
            return f" has a component {letter} of {component!r}, outside 0-255."
    return " was rejected by tintwell.colors."


def other_problem(colour: object) -> str:
    if isinstance(colour, float) and colour.is_integer() and 0 <= colour <= 255:
        return f". Did you mean the palette index {int(colour)}?"
    if isinstance(colour, (bytes, bytearray)):
        text = bytes(colour).decode("ascii", "replace")
        return f". Did you mean the str {text!r}?"
    if isinstance(colour, list) and len(colour) == 3:
        return f". Did you mean the tuple {tuple(colour)!r}?"
    return "."
