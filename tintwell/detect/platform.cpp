// sys as the functions read it: the module global `sys` at every call, then its attribute, so that a
// rebinding of `sys` or of sys.platform, sys.stdout, sys.stderr is seen by the next call.
#include "frame/lookup.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace n = names;
using frame::Ref;

Ref sys_attribute(frame::Globals globals, const frame::AttributeName& name) noexcept {
    Ref sys = frame::lookup_global(globals, n::sys);
    return sys ? frame::lookup_attribute(sys.get(), name) : Ref();
}

int compare_platform(frame::Globals globals, int op) noexcept {
    Ref platform = sys_attribute(globals, n::platform);
    return platform ? PyObject_RichCompareBool(platform.get(), n::win32.get(), op) : -1;
}

}  // namespace detect
