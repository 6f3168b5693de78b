#include "notes.hpp"

#include "state.hpp"

namespace paint {

using frame::Ref;

void explain_colour_error(PyObject* colour, bool foreground) noexcept {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) {
        return;
    }
    if (PyErr_GivenExceptionMatches(raised, PyExc_TypeError) || PyErr_GivenExceptionMatches(raised, PyExc_ValueError)) {
        // Cold and rare: the helper, plain Python, is imported at the first error.
        Ref helper = Ref::steal(PyImport_ImportModule("tintwell._colour_help"));
        Ref add_note = helper ? Ref::steal(PyObject_GetAttr(helper.get(), names::add_note)) : Ref();
        PyObject* args[3] = {raised, colour, foreground ? names::fg : names::bg};
        if (!add_note || !Ref::steal(PyObject_Vectorcall(add_note.get(), args, 3, nullptr))) {
            PyErr_Clear();  // the colour module's error is what is reported, with or without a note
        }
    }
    PyErr_SetRaisedException(raised);
}

}  // namespace paint
