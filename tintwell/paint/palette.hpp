// The module's functions about the palette: palette_rgb, nearest_ansi256, nearest_ansi16,
// perceived_difference (and _ciede2000 for the tests, _colour_form for the command line).
#pragma once

#include "frame/ref.hpp"

namespace paint {

extern PyMethodDef palette_functions[];

}  // namespace paint
