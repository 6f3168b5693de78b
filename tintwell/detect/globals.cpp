// Module globals as the functions read them: through the module's namespace at every call, so a
// rebinding of `sys` or `ColorLevel` (or of sys.platform) is seen by the next call.
#include "functions.hpp"
#include "lookup.hpp"
#include "names.hpp"

namespace detect {

namespace n = names;
using frame::Ref;

Ref color_level_member(frame::Globals globals, const frame::Str& member) noexcept {
    Ref level = frame::lookup_global(globals, n::ColorLevel);
    return level ? Ref::steal(PyObject_GetAttr(level.get(), member.get())) : Ref();
}

Ref sys_attribute(frame::Globals globals, const frame::Str& name) noexcept {
    Ref sys = frame::lookup_global(globals, n::sys);
    return sys ? frame::lookup_attribute(sys.get(), name) : Ref();
}

int compare_platform(frame::Globals globals, int op) noexcept {
    Ref platform = sys_attribute(globals, n::platform);
    return platform ? PyObject_RichCompareBool(platform.get(), n::win32.get(), op) : -1;
}

}  // namespace detect
