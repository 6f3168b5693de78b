// parse_hex as the hex route of _color_code reaches it when it is the module's own function.
#pragma once

#include "frame/own.hpp"
#include "frame/ref.hpp"
#include "hex_digits.hpp"

namespace colors {

// What parse_hex found: the components as plain numbers when the module's own patterns matched
// (`tuple` null), or the tuple that a replaced pattern's match gave.
struct Parsed {
    unsigned rgb[3];
    frame::Ref tuple;
};

// parse_hex(color) for an exact str, as calling the module's own parse_hex `own` would, without
// making the tuple when the module's own patterns match; 0, or -1 with parse_hex's exception.
int parse_hex_direct(const frame::FunctionObject* own, PyObject* color, Parsed& parsed) noexcept;

}  // namespace colors
