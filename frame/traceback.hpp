// Traceback entries: every exception leaving a module function gets one naming the function, e.g.
// "tintwell.colors.parse_hex" in the file "tintwell/colors".
#pragma once

#include "ref.hpp"

namespace frame {

// The code object that names a function in traceback entries. Created the first time an exception
// needs it and kept from then on: creating code objects at import would only slow every import down.
class TraceLabel {
public:
    // `path` is the function's dotted path inside the module, e.g. "enable_windows_vt._try_enable";
    // a null path labels the module's own initialisation ("init tintwell.colors").
    constexpr explicit TraceLabel(const char* path) noexcept : path_(path) {}
    TraceLabel(const TraceLabel&) = delete;
    TraceLabel& operator=(const TraceLabel&) = delete;

    // Adds an entry for this function to the traceback of the pending exception.
    void add_to_traceback() const noexcept;

private:
    PyCodeObject* code() const noexcept;

    const char* path_;
    mutable StaticRef code_;
};

}  // namespace frame
