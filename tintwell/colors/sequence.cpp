// The joined route of the sequence writers, and what the general routes show: any ESC, any number.
#include "sequence.hpp"

#include <algorithm>
#include <initializer_list>

#include "byte.hpp"
#include "frame/function.hpp"

namespace colors::sequence {

using frame::Ref;

namespace {

// A piece of a sequence: a str (of any kind), or ASCII text.
struct Piece {
    Piece(std::string_view ascii) noexcept : ascii(ascii) {}
    Piece(const char* ascii) noexcept : ascii(ascii) {}
    Piece(PyObject* text) noexcept : text(text) {}
    Piece(const Shown& shown) noexcept {
        if (shown.is_byte()) {
            ascii = digits[shown.byte()].text();
        } else {
            text = shown.text();
        }
    }
    PyObject* text = nullptr;
    std::string_view ascii;
};

PyObject* joined(std::initializer_list<Piece> pieces) noexcept {
    Py_ssize_t length = 0;
    Py_UCS4 widest = 127;
    for (const Piece& piece : pieces) {
        if (piece.text != nullptr) {
            length += PyUnicode_GET_LENGTH(piece.text);
            widest = std::max(widest, PyUnicode_MAX_CHAR_VALUE(piece.text));
        } else {
            length += static_cast<Py_ssize_t>(piece.ascii.size());
        }
    }
    Ref result = Ref::steal(PyUnicode_New(length, widest));
    if (!result) {
        return nullptr;
    }
    const int kind = PyUnicode_KIND(result.get());
    void* data = PyUnicode_DATA(result.get());
    Py_ssize_t at = 0;
    for (const Piece& piece : pieces) {
        if (piece.text == nullptr) {
            for (const char ch : piece.ascii) {
                PyUnicode_WRITE(kind, data, at++, static_cast<Py_UCS4>(ch));
            }
            continue;
        }
        const Py_ssize_t size = PyUnicode_GET_LENGTH(piece.text);
        if (PyUnicode_CopyCharacters(result.get(), at, piece.text, 0, size) < 0) {
            return nullptr;
        }
        at += size;
    }
    return result.release();
}

constexpr std::string_view layer_number[2] = {"48", "38"};

// The decimal digits of an exact int: from the table for a byte.
bool render_int(PyObject* value, int& byte, Ref& text) noexcept {
    byte = byte_value(value);
    if (byte >= 0) {
        return true;
    }
    text = Ref::steal(PyObject_Str(value));
    return static_cast<bool>(text);
}

}  // namespace

bool Shown::render(PyObject* value) noexcept {
    if (PyLong_CheckExact(value)) {
        return render_int(value, byte_, text_);
    }
    if (frame::converts_to_int(value)) {
        Ref integer = Ref::steal(PyNumber_Long(value));
        return integer && render_int(integer.get(), byte_, text_);
    }
    text_ = Ref::steal(PyUnicode_CheckExact(value) ? Py_NewRef(value) : PyObject_Format(value, names::empty.get()));
    return static_cast<bool>(text_);
}

PyObject* Introducer::read(frame::Globals globals) noexcept {
    read_ = frame::lookup_global(globals, names::ESC);
    if (read_ && !PyUnicode_CheckExact(read_.get())) {
        read_ = Ref::steal(PyObject_Format(read_.get(), names::empty.get()));
    }
    return read_.get();
}

namespace detail {

PyObject* joined_named(PyObject* esc, const Shown& code) noexcept { return joined({esc, code, "m"}); }

PyObject* joined_index(PyObject* esc, bool foreground, const Shown& value) noexcept {
    return joined({esc, layer_number[foreground], ";5;", value, "m"});
}

PyObject* joined_rgb(PyObject* esc, bool foreground, const Shown* components) noexcept {
    return joined({esc, layer_number[foreground], ";2;", components[0], ";", components[1], ";", components[2], "m"});
}

}  // namespace detail

}  // namespace colors::sequence
