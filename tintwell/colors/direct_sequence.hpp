// The three sequence forms with the module's own introducer "\x1b[", written straight into a new
// str of the exact length: ESC code m; ESC L;5;index m; ESC L;2;r;g;b m.
//
// Every piece goes in as one store of a fixed size from a constant table, laid so that each store
// stays inside the string's buffer (its length plus the terminating NUL) and any byte of it that
// belongs to a neighbour is written again, correctly, by a later store. Pieces go from right to
// left: a store that ends where its piece ends may only spill to the left. Nothing is read back
// from memory just written, so no load waits on a store that has not reached the cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>

#include "frame/ref.hpp"

namespace colors::direct {

struct Digits {
    std::array<char, 8> last{};   // the digits, "m" and the NUL, ending at the last byte
    std::array<char, 4> inner{};  // the digits and ";", ending at the last byte
    unsigned char count = 0;      // how many digits
};

constexpr std::array<Digits, 256> make_digits() noexcept {
    std::array<Digits, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        char text[3];
        unsigned count = 0;
        if (value >= 100) {
            text[count++] = static_cast<char>('0' + value / 100);
        }
        if (value >= 10) {
            text[count++] = static_cast<char>('0' + value / 10 % 10);
        }
        text[count++] = static_cast<char>('0' + value % 10);
        Digits& entry = table[value];
        entry.count = static_cast<unsigned char>(count);
        entry.last[7] = '\0';
        entry.last[6] = 'm';
        entry.inner[3] = ';';
        for (unsigned i = 0; i < count; ++i) {
            entry.last[6 - count + i] = text[i];
            entry.inner[3 - count + i] = text[i];
        }
    }
    return table;
}

inline constexpr std::array<Digits, 256> digits = make_digits();

// "\x1b[38;5;" and the like: the seven bytes before the first number.
constexpr std::array<char, 8> prefix(bool foreground, char form) noexcept {
    return {'\x1b', '[', foreground ? '3' : '4', '8', ';', form, ';', '\0'};
}

inline constexpr std::array<char, 8> index_prefix[2] = {prefix(false, '5'), prefix(true, '5')};
inline constexpr std::array<char, 8> rgb_prefix[2] = {prefix(false, '2'), prefix(true, '2')};

// Codes 10..255 as their digits and "m", then NULs, from the first byte.
constexpr std::array<std::array<char, 4>, 256> make_codes() noexcept {
    std::array<std::array<char, 4>, 256> table{};
    for (unsigned code = 10; code < 256; ++code) {
        const Digits& entry = digits[code];
        for (unsigned i = 0; i <= entry.count; ++i) {
            table[code][i] = entry.last[6 - entry.count + i];
        }
    }
    return table;
}

inline constexpr std::array<std::array<char, 4>, 256> codes = make_codes();

template <std::size_t N>
inline void put(char* at, const char* bytes) noexcept {
    std::memcpy(at, bytes, N);
}

inline PyObject* new_ascii(std::size_t length, char*& data) noexcept {
    PyObject* text = PyUnicode_New(static_cast<Py_ssize_t>(length), 127);
    if (text != nullptr) {
        data = static_cast<char*>(PyUnicode_DATA(text));
    }
    return text;
}

// The seven bytes of a prefix, in two overlapping stores that write nothing past them.
inline void put_prefix(char* data, const std::array<char, 8>& bytes) noexcept {
    put<4>(data, bytes.data());
    put<4>(data + 3, bytes.data() + 3);
}

// ESC code m, for a code of two or three digits (10..255).
inline PyObject* named(unsigned code) noexcept {
    const std::size_t length = 3 + digits[code].count;  // 5 or 6: the code and "m" fit in the 4 bytes
    char* data = nullptr;
    PyObject* text = new_ascii(length, data);
    if (text != nullptr) {
        put<4>(data + 2, codes[code].data());
        put<2>(data, "\x1b[");
    }
    return text;
}

// ESC L;5;index m
inline PyObject* index(bool foreground, unsigned value) noexcept {
    const Digits& last = digits[value];
    const std::size_t length = 8 + last.count;  // 9 to 11: the last 8 bytes, NUL included, start at 2 or later
    char* data = nullptr;
    PyObject* text = new_ascii(length, data);
    if (text != nullptr) {
        put<8>(data + length + 1 - 8, last.last.data());
        put_prefix(data, index_prefix[foreground]);
    }
    return text;
}

// ESC L;2;r;g;b m
inline PyObject* rgb(bool foreground, const unsigned* rgb) noexcept {
    const Digits& r = digits[rgb[0]];
    const Digits& g = digits[rgb[1]];
    const Digits& b = digits[rgb[2]];
    const std::size_t length = 10 + r.count + g.count + b.count;  // 13 to 19
    char* data = nullptr;
    PyObject* text = new_ascii(length, data);
    if (text != nullptr) {
        char* end = data + length + 1;  // past the NUL
        put<8>(end - 8, b.last.data());
        end -= 2 + b.count;  // the end of "g;"
        put<4>(end - 4, g.inner.data());
        end -= 1 + g.count;  // the end of "r;"
        put<4>(end - 4, r.inner.data());
        put_prefix(data, rgb_prefix[foreground]);
    }
    return text;
}

}  // namespace colors::direct
