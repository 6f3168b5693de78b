// Painter: the sequences that show colours and attributes as well as one stream's terminal can.
#pragma once

#include "frame/ref.hpp"

namespace paint {

extern PyType_Spec painter_spec;

// For the styles of a painter that follows sys.stdout. Whether `painter` paints at `level` now, as its
// calls' check finds at once: false also where that check would detect again, and false with an
// exception set where it failed.
bool painter_still_at(PyObject* painter, int level) noexcept;

// The level `painter` paints at now (detected again
// when sys.stdout has changed), its ColorLevel member in `member`; -1 with an exception set.
int painter_level_now(PyObject* painter, frame::Ref& member) noexcept;

// A style that does not follow, of the colours `fg` and `bg` (as a style keeps them: None for none) and
// the `attributes`, made by `painter` at `level`, its level now, whose member is `member`.
PyObject* painter_style_at(PyObject* painter, int level, PyObject* member, PyObject* fg, PyObject* bg,
                           unsigned attributes) noexcept;

}  // namespace paint
