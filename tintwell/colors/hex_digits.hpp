// "#RRGGBB" and "#RGB" read as the module's own patterns match them, with no code run: the colour
// module's hex route, and the painter, which needs the components of a hex colour it was given.
#pragma once

#include <Python.h>

#include <array>

#include "frame/attributes.hpp"

namespace colors {

namespace detail {

// The value of each ASCII hex digit, -1 for every other byte.
constexpr std::array<signed char, 256> make_hex_values() noexcept {
    std::array<signed char, 256> values{};
    for (int ch = 0; ch < 256; ++ch) {
        values[ch] = static_cast<signed char>(ch >= '0' && ch <= '9'   ? ch - '0'
                                              : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                              : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                                       : -1);
    }
    return values;
}

inline constexpr std::array<signed char, 256> hex_values = make_hex_values();

// What re.match of "^#([0-9a-fA-F]{N})$" accepts: '#', N ASCII hex digits, then the end of the
// string or a single final line feed. Fills `digits` on a match. Text with any other character than
// those can never match.
template <Py_ssize_t N>
TINTWELL_ALWAYS_INLINE inline bool match_hex(PyObject* text, int* digits) noexcept {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    if (!PyUnicode_IS_ASCII(text) || (length != N + 1 && length != N + 2)) {
        return false;
    }
    const unsigned char* data = PyUnicode_1BYTE_DATA(text);
    if (data[0] != '#' || (length == N + 2 && data[N + 1] != '\n')) {
        return false;
    }
    int invalid = 0;
    for (Py_ssize_t i = 0; i < N; ++i) {
        digits[i] = hex_values[data[i + 1]];
        invalid |= digits[i];
    }
    return invalid >= 0;
}

// The components of a matched "#RRGGBB" (N 6) or "#RGB" (N 3) from its digits.
template <Py_ssize_t N>
inline void decode(const int* digits, unsigned* rgb) noexcept {
    for (int i = 0; i < 3; ++i) {
        rgb[i] = static_cast<unsigned>(N == 6 ? digits[2 * i] * 16 + digits[2 * i + 1] : digits[i] * 17);
    }
}

// The module's own pattern of N digits, matched here: true with the components set on a match.
template <Py_ssize_t N>
TINTWELL_ALWAYS_INLINE inline bool read_digits(PyObject* color, unsigned* rgb) noexcept {
    int digits[N];
    if (!match_hex<N>(color, digits)) {
        return false;
    }
    decode<N>(digits, rgb);
    return true;
}

}  // namespace detail

// The components of `color` (a str) as the module's own patterns read them, "#RRGGBB" tried before
// "#RGB"; false when neither matches.
inline bool read_hex(PyObject* color, unsigned* rgb) noexcept {
    return detail::read_digits<6>(color, rgb) || detail::read_digits<3>(color, rgb);
}

}  // namespace colors
