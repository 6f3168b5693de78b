// Character-by-character changes of ASCII text (case folding), for exact str objects whose
// characters are all ASCII.
#pragma once

#include "ref.hpp"

namespace frame {

[[nodiscard]] constexpr unsigned char ascii_lower(unsigned char ch) noexcept {
    return ch >= 'A' && ch <= 'Z' ? static_cast<unsigned char>(ch + ('a' - 'A')) : ch;
}

// What a mapping of text gives when no character changes: the very same object, as str.replace
// returns it, or a new one (the empty string aside), as str.lower returns it.
enum class Unchanged : unsigned char { same_object, new_object };

// `text` (an exact, all-ASCII str) with each character replaced by map(character).
template <typename Map>
Ref map_ascii(PyObject* text, Map map, Unchanged unchanged = Unchanged::same_object) noexcept {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    const auto* data = static_cast<const unsigned char*>(PyUnicode_DATA(text));
    Py_ssize_t first = 0;
    while (first < length && map(data[first]) == data[first]) {
        ++first;
    }
    if (first == length && (unchanged == Unchanged::same_object || length == 0)) {
        return Ref::borrow(text);
    }
    Ref result = Ref::steal(PyUnicode_New(length, 127));
    if (!result) {
        return {};
    }
    auto* out = static_cast<unsigned char*>(PyUnicode_DATA(result.get()));
    for (Py_ssize_t i = 0; i < first; ++i) {  // a few bytes: a call into memcpy costs more
        out[i] = data[i];
    }
    for (Py_ssize_t i = first; i < length; ++i) {
        out[i] = map(data[i]);
    }
    return result;
}

}  // namespace frame
