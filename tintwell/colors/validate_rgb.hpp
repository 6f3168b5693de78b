// _validate_rgb as the tuple route of _color_code reaches it when it is the module's own function.
#pragma once

#include "frame/function.hpp"
#include "frame/own.hpp"
#include "names.hpp"

namespace colors {

// (r, g, b), each annotated int: the parameters of _validate_rgb and rgb_to_ansi256.
inline constexpr frame::Param rgb_params[3] = {
    {names::r, frame::Coerce::to_int, frame::ParamKind::positional_or_keyword, &names::ann_int},
    {names::g, frame::Coerce::to_int, frame::ParamKind::positional_or_keyword, &names::ann_int},
    {names::b, frame::Coerce::to_int, frame::ParamKind::positional_or_keyword, &names::ann_int},
};

// The component check of the module's own _validate_rgb `own` on three objects: converts each by the
// int-parameter rule into `converted`, checks the range, and labels any exception as _validate_rgb's.
int validate_rgb_direct(const frame::FunctionObject* own, PyObject* const* items, frame::Ref* converted) noexcept;

}  // namespace colors
