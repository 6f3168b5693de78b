// supports_color: the yes-or-no form of detect_color_level.
#include "functions.hpp"
#include "lookup.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Ref;

// detect_color_level(stream) > ColorLevel.NONE, both names read from the module now; the
// comparison's result is returned as it comes.
PyObject* supports_color_body(frame::Globals globals, PyObject* const* args) noexcept {
    Ref detect = frame::lookup_global(globals, n::detect_color_level);
    if (!detect) {
        return nullptr;
    }
    const frame::FunctionObject* own = frame::own_function(detect.get(), detect_color_level_def);
    Ref level = Ref::steal(own ? frame::call_own(own, args) : PyObject_CallOneArg(detect.get(), args[0]));
    if (!level) {
        return nullptr;
    }
    Ref none = color_level_member(globals, n::NONE);
    return none ? PyObject_RichCompare(level.get(), none.get(), Py_GT) : nullptr;
}

const frame::Param stream_params[] = {{n::stream}};

}  // namespace

frame::FunctionDef supports_color_def{n::supports_color, frame::TraceLabel{"supports_color", 1}, stream_params,
                                      supports_color_body};

}  // namespace detect
