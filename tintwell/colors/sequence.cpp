#include "sequence.hpp"

#include "function.hpp"
#include "names.hpp"

#include <charconv>
#include <cstring>

namespace colors {

using frame::Ref;

Sequence::Piece& Sequence::ascii_piece(std::size_t room) noexcept {
    if (count_ > 0) {
        Piece& last = pieces_[count_ - 1];
        if (!last.text && last.length + room <= kAsciiCapacity) {
            return last;
        }
    }
    return pieces_[count_++];
}

void Sequence::add_ascii(std::string_view text) noexcept {
    Piece& piece = ascii_piece(text.size());
    std::memcpy(piece.ascii + piece.length, text.data(), text.size());
    piece.length += text.size();
}

int Sequence::add_text(Ref text) noexcept {
    if (!text) {
        return -1;
    }
    Piece& piece = pieces_[count_++];
    piece.length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text.get()));
    piece.text = std::move(text);
    return 0;
}

int Sequence::add_formatted(PyObject* value) noexcept {
    if (PyUnicode_CheckExact(value)) {
        return add_text(Ref::borrow(value));
    }
    return add_text(Ref::steal(PyObject_Format(value, names::empty.get())));
}

int Sequence::add_integer(PyObject* value) noexcept {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) {
        return add_text(Ref::steal(PyObject_Str(value)));
    }
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    add_ascii(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    return 0;
}

int Sequence::add_rendered(PyObject* value) noexcept {
    if (PyLong_CheckExact(value)) {
        return add_integer(value);
    }
    if (!frame::supports_int_conversion(value)) {
        return add_formatted(value);
    }
    Ref integer = Ref::steal(PyNumber_Long(value));
    return integer ? add_integer(integer.get()) : -1;
}

PyObject* Sequence::finish() noexcept {
    Py_ssize_t length = 0;
    Py_UCS4 max_char = 127;
    for (std::size_t i = 0; i < count_; ++i) {
        const Piece& piece = pieces_[i];
        length += static_cast<Py_ssize_t>(piece.length);
        if (piece.text) {
            max_char = std::max(max_char, PyUnicode_MAX_CHAR_VALUE(piece.text.get()));
        }
    }
    Ref result = Ref::steal(PyUnicode_New(length, max_char));
    if (!result) {
        return nullptr;
    }
    Py_ssize_t at = 0;
    if (max_char == 127) {
        // All pieces are ASCII: plain byte copies.
        auto* out = static_cast<char*>(PyUnicode_DATA(result.get()));
        for (std::size_t i = 0; i < count_; ++i) {
            const Piece& piece = pieces_[i];
            std::memcpy(out + at, piece.text ? PyUnicode_DATA(piece.text.get()) : piece.ascii, piece.length);
            at += static_cast<Py_ssize_t>(piece.length);
        }
        return result.release();
    }
    const int kind = PyUnicode_KIND(result.get());
    void* data = PyUnicode_DATA(result.get());
    for (std::size_t i = 0; i < count_; ++i) {
        const Piece& piece = pieces_[i];
        if (piece.text) {
            if (PyUnicode_CopyCharacters(result.get(), at, piece.text.get(), 0, static_cast<Py_ssize_t>(piece.length)) < 0) {
                return nullptr;
            }
        } else {
            for (std::size_t j = 0; j < piece.length; ++j) {
                PyUnicode_WRITE(kind, data, at + static_cast<Py_ssize_t>(j), static_cast<Py_UCS4>(piece.ascii[j]));
            }
        }
        at += static_cast<Py_ssize_t>(piece.length);
    }
    return result.release();
}

}  // namespace colors
