#include "sequence.hpp"

#include <charconv>
#include <cstring>

#include "frame/function.hpp"
#include "names.hpp"

namespace colors {

using frame::Ref;

int Sequence::flush_to_list() noexcept {
    if (!list_) {
        list_ = Ref::steal(PyList_New(0));
        if (!list_) {
            return -1;
        }
    }
    if (length_ == 0) {
        return 0;
    }
    Ref piece = Ref::steal(PyUnicode_FromStringAndSize(ascii_, static_cast<Py_ssize_t>(length_)));
    length_ = 0;
    return piece ? PyList_Append(list_.get(), piece.get()) : -1;
}

void Sequence::add_ascii_slow(std::string_view text) noexcept {
    if (!failed_ && append_ascii(text) < 0) {
        failed_ = true;
    }
}

int Sequence::append_ascii(std::string_view text) noexcept {
    if (length_ + text.size() > kCapacity && flush_to_list() < 0) {
        return -1;
    }
    if (text.size() > kCapacity) {
        Ref piece = Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
        return piece ? PyList_Append(list_.get(), piece.get()) : -1;
    }
    std::memcpy(ascii_ + length_, text.data(), text.size());
    length_ += text.size();
    return 0;
}

int Sequence::add_text(PyObject* text) noexcept {
    if (failed_) {
        return -1;
    }
    if (PyUnicode_IS_ASCII(text)) {
        const auto* data = static_cast<const char*>(PyUnicode_DATA(text));
        return append_ascii(std::string_view(data, static_cast<std::size_t>(PyUnicode_GET_LENGTH(text))));
    }
    if (flush_to_list() < 0) {
        return -1;
    }
    return PyList_Append(list_.get(), text);
}

int Sequence::add_formatted(PyObject* value) noexcept {
    if (failed_) {
        return -1;
    }
    if (PyUnicode_CheckExact(value)) {
        return add_text(value);
    }
    Ref text = Ref::steal(PyObject_Format(value, names::empty.get()));
    return text ? add_text(text.get()) : -1;
}

int Sequence::add_integer_slow(PyObject* value) noexcept {
    if (failed_) {
        return -1;
    }
    Py_ssize_t compact = 0;
    long long number = 0;
    if (compact_value(value, compact)) {
        number = compact;
    } else {
        int overflow = 0;
        number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow != 0) {
            Ref text = Ref::steal(PyObject_Str(value));
            return text ? add_text(text.get()) : -1;
        }
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    return append_ascii(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

int Sequence::add_rendered(PyObject* value) noexcept {
    if (failed_) {
        return -1;
    }
    if (PyLong_CheckExact(value)) {
        return add_integer(value);
    }
    if (!frame::converts_to_int(value)) {
        return add_formatted(value);
    }
    Ref integer = Ref::steal(PyNumber_Long(value));
    return integer ? add_integer(integer.get()) : -1;
}

PyObject* Sequence::finish() noexcept {
    if (failed_) {
        return nullptr;
    }
    if (!list_) {
        PyObject* result = PyUnicode_New(static_cast<Py_ssize_t>(length_), 127);
        if (result != nullptr) {
            std::memcpy(PyUnicode_DATA(result), ascii_, length_);
        }
        return result;
    }
    if (flush_to_list() < 0) {
        return nullptr;
    }
    return PyUnicode_Join(names::empty.get(), list_.get());
}

}  // namespace colors
