// Style: a painter's reusable set of colours and attributes, applied by calling it.
#pragma once

#include "frame/ref.hpp"

namespace paint {

extern PyType_Spec style_spec;

// A new Style for the level `level_number`, whose ColorLevel member is `level`. `fg` and `bg` are the
// colours as given (None for none), `foreground` and `background` their sequences (null for none, and at
// NONE); `attributes` are those asked for, `parts` what the style writes (nothing at NONE). `painter` is
// the painter the style follows (one that follows sys.stdout), or null for a style that keeps its level.
PyObject* style_new(PyObject* level, int level_number, PyObject* fg, PyObject* bg, PyObject* foreground,
                    PyObject* background, unsigned attributes, unsigned parts, PyObject* painter) noexcept;

}  // namespace paint
