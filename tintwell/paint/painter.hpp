// Painter: the sequences that show colours and attributes as well as one stream's terminal can.
#pragma once

#include "frame/ref.hpp"

namespace paint {

extern PyType_Spec painter_spec;

}  // namespace paint
