// Colours as the painter takes them: RGB components checked as tintwell.colors checks them, and the
// sequence that shows a colour at a level.
#pragma once

#include "colour_science.hpp"
#include "frame/ref.hpp"

namespace paint {

enum Level : int { kNone = 0, kBasic = 1, kExtended = 2, kTrueColor = 3 };

// The forms of colour fg_code takes, told apart as fg_code tells them: a tuple (a subclass too) is an
// RGB colour, an int (bool and IntEnum members too) a palette index, a str (a subclass too) starting
// with '#' a hex colour and any other str a name. What fg_code makes of the value is its own matter.
enum class Form { kName, kHex, kIndex, kRgb, kOther };

// The one classifier of colour forms: the painter downgrades by it, and the command line describes and
// samples colours by it, through _colour_form.
Form colour_form(PyObject* colour) noexcept;

// _colour_form(colour): the form's name, "name", "hex", "index" or "rgb", or None for another type.
PyObject* colour_form_function(PyObject* module, PyObject* colour) noexcept;

// The components r, g, b: exact ints 0-255 directly; anything else through tintwell.colors'
// _validate_rgb (its errors) and then int(). -1 with an exception set when they are not valid.
int components(PyObject* r, PyObject* g, PyObject* b, colour::Rgb& rgb) noexcept;

// The components of a tuple colour, unpacked as fg_code unpacks it. -1 with an exception set.
int tuple_components(PyObject* colour, colour::Rgb& rgb) noexcept;

// The sequence that shows `colour` (a str subclass already made a plain str) in the foreground or
// background at `level`: fg_code's / bg_code's own at TRUECOLOR, a palette entry's at EXTENDED, a basic
// colour's at BASIC, "" at NONE. The colour is always given to fg_code or bg_code, looked up on
// tintwell.colors at the call, so an invalid colour raises the colour module's own error.
PyObject* make_sequence(int level, PyObject* colour, bool foreground) noexcept;

}  // namespace paint
