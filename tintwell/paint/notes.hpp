// English notes on the colour module's errors, for applications whose users read English: the
// module's own messages are Chinese, and stay the exception's message.
#pragma once

#include "frame/ref.hpp"

namespace paint {

// Adds a note to the pending exception, when it is a TypeError or ValueError raised for `colour`,
// saying what is wrong with it, a near-miss name where there is one, and the colours accepted
// (tintwell._colour_help.add_note writes it). The exception stays as it was, type and message; when
// no note can be made, it is left without one.
void explain_colour_error(PyObject* colour, bool foreground) noexcept;

}  // namespace paint
