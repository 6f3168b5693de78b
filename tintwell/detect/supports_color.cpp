// supports_color: the yes-or-no form of detect_color_level.
#include "frame/own.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Ref;

// detect_color_level(stream) > ColorLevel.NONE, both names read from the module now; the
// comparison's result is returned as it comes.
PyObject* supports_color_body(frame::Globals globals, PyObject* const* args) noexcept {
    const frame::GlobalFunction detect = frame::lookup_function(globals, n::detect_color_level, detect_color_level_def);
    if (!detect.value) {
        return nullptr;
    }
    Ref level =
        Ref::steal(detect.own ? frame::call_own(detect.own, args) : PyObject_CallOneArg(detect.value.get(), args[0]));
    if (!level) {
        return nullptr;
    }
    Ref none = color_level_member(globals, n::NONE);
    return none ? PyObject_RichCompare(level.get(), none.get(), Py_GT) : nullptr;
}

constexpr frame::Param stream_params[] = {
    {n::stream, frame::Coerce::none, frame::ParamKind::positional_or_keyword, nullptr, true}};

}  // namespace

// def supports_color(stream=None) -> "bool"
constinit frame::FunctionDef supports_color_def{
    n::supports_color, "supports_color", stream_params, supports_color_body, "快速判断终端是否支持颜色。", &n::bool_};

}  // namespace detect
