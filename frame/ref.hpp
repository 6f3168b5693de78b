// Reference handles for PyObject*.
//
// Ref owns one strong reference and releases it when it goes away; it is move-only, so ownership
// is visible in the types. Borrowed documents a reference someone else keeps alive for the length
// of the call. Neither converts implicitly to PyObject*: get() and release() say what happens.
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

class Borrowed {
public:
    constexpr Borrowed() noexcept = default;
    constexpr explicit Borrowed(PyObject* ptr) noexcept : ptr_(ptr) {}
    Borrowed(const Ref& ref) noexcept : ptr_(ref.get()) {}  // NOLINT: borrowing from an owner is safe

    [[nodiscard]] PyObject* get() const noexcept { return ptr_; }
    [[nodiscard]] Ref new_ref() const noexcept { return Ref::borrow(ptr_); }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

private:
    PyObject* ptr_ = nullptr;
};

// Returns a fresh reference to None, True or False.
[[nodiscard]] inline Ref none() noexcept { return Ref::borrow(Py_None); }
[[nodiscard]] inline Ref boolean(bool value) noexcept { return Ref::borrow(value ? Py_True : Py_False); }

}  // namespace frame
