// Reference handles for PyObject*.
//
// Conventions: an owning reference is always a handle, never a bare pointer. Ref owns one strong
// reference for a scope and releases it when it goes; StaticRef owns one in static storage for the
// life of the process. A plain PyObject* is borrowed: as a parameter (as in the C API), the caller
// keeps the object alive for the call; as a field, its comment says who keeps it alive. Neither
// handle converts implicitly to PyObject*: get() and release() say what happens.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace frame {

class Ref {
public:
    Ref() noexcept = default;
    Ref(Ref&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref& operator=(Ref&& other) noexcept {
        // Release the old value last: its destructor may run arbitrary Python code.
        PyObject* old = ptr_;
        ptr_ = other.ptr_;
        other.ptr_ = nullptr;
        Py_XDECREF(old);
        return *this;
    }
    ~Ref() { Py_XDECREF(ptr_); }

    // Takes over a reference the caller owns, typically the result of a C-API call (may be null).
    [[nodiscard]] static Ref steal(PyObject* ptr) noexcept { return Ref(ptr); }
    // Adds a reference of its own to an object someone else keeps alive.
    [[nodiscard]] static Ref borrow(PyObject* ptr) noexcept {
        Py_XINCREF(ptr);
        return Ref(ptr);
    }

    [[nodiscard]] PyObject* get() const noexcept { return ptr_; }
    // Gives the reference to the caller, e.g. as a function's return value.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    void reset() noexcept { *this = Ref(); }

private:
    explicit Ref(PyObject* ptr) noexcept : ptr_(ptr) {}
    PyObject* ptr_ = nullptr;
};

// A strong reference in static storage, held until the process ends: no destructor, since nothing
// may be released after the interpreter has gone. Replacing or clearing it releases the old value
// last, as Ref's assignment does.
class StaticRef {
public:
    constexpr StaticRef() noexcept = default;
    StaticRef(const StaticRef&) = delete;
    StaticRef& operator=(const StaticRef&) = delete;

    [[nodiscard]] PyObject* get() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // Holds `value` (given up by the caller; may be null) instead of the old value.
    void set(Ref value) noexcept { Py_XDECREF(std::exchange(ptr_, value.release())); }
    void clear() noexcept { set(Ref()); }

private:
    PyObject* ptr_ = nullptr;
};

// Returns a fresh reference to None, True or False.
[[nodiscard]] inline Ref none() noexcept { return Ref::borrow(Py_None); }
[[nodiscard]] inline Ref boolean(bool value) noexcept { return Ref::borrow(value ? Py_True : Py_False); }

}  // namespace frame
