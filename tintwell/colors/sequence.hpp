// The three forms of escape sequence, each written by one writer whatever ESC is:
//   ESC code m        ESC L;5;index m        ESC L;2;r;g;b m
// ESC is the writers' only variable besides the numbers, and every number of 0..255 takes its
// digits from one table. With an all-ASCII ESC and numbers of 0..255 (the usual case, whether ESC
// is the one the module bound or not) the sequence is written straight into a new str of its exact
// length, each piece one fixed-size store from the table; any other ESC or number is joined from
// its text (sequence.cpp).
//
// The stores are laid so that each stays inside the string's buffer (its length plus the
// terminating NUL) and any byte of it that belongs to a neighbour is written again, correctly, by a
// later store. Pieces go from right to left: a store that ends where its piece ends may only spill
// to the left. Nothing is read back from memory just written, so no load waits on a store that has
// not reached the cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "counters.hpp"
#include "frame/lookup.hpp"
#include "frame/ref.hpp"
#include "names.hpp"

namespace colors::sequence {

// A number as a sequence shows it: a byte (0..255), or the text of anything else.
class Shown {
public:
    Shown() noexcept = default;
    explicit Shown(unsigned byte) noexcept : byte_(static_cast<int>(byte)) {}

    // What `value` shows: the decimal digits of int(value) for a number (anything an int parameter
    // converts), format(value, "") for anything else. False with an exception set.
    [[nodiscard]] bool render(PyObject* value) noexcept;

    [[nodiscard]] bool is_byte() const noexcept { return byte_ >= 0; }
    [[nodiscard]] unsigned byte() const noexcept { return static_cast<unsigned>(byte_); }
    [[nodiscard]] PyObject* text() const noexcept { return text_.get(); }  // when not a byte

private:
    int byte_ = -1;
    frame::Ref text_;
};

// The text every sequence starts with: format(ESC, ""), ESC read from the module now; the module's
// own introducer, unread, when the caller knows that ESC still holds it. False with an exception set.
class Introducer {
public:
    Introducer(frame::Globals globals, bool own) noexcept {
        if (own) {
            counters::own_introducer.count();
            text_ = names::esc_value.get();
        } else {
            text_ = read(globals);
        }
    }
    explicit operator bool() const noexcept { return text_ != nullptr; }
    [[nodiscard]] PyObject* get() const noexcept { return text_; }

private:
    PyObject* read(frame::Globals globals) noexcept;  // held in `read_`

    PyObject* text_ = nullptr;
    frame::Ref read_;
};

// ---- the digits ----

struct Digits {
    std::array<char, 8> last{};   // the digits, "m" and the NUL, ending at the last byte
    std::array<char, 4> inner{};  // the digits and ";", ending at the last byte
    std::array<char, 4> first{};  // the digits and "m" from the first byte, then NULs
    unsigned char count = 0;      // how many digits

    [[nodiscard]] std::string_view text() const noexcept { return {last.data() + 6 - count, count}; }
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
        entry.last[6] = 'm';
        entry.inner[3] = ';';
        entry.first[count] = 'm';
        for (unsigned i = 0; i < count; ++i) {
            entry.last[6 - count + i] = text[i];
            entry.inner[3 - count + i] = text[i];
            entry.first[i] = text[i];
        }
    }
    return table;
}

inline constexpr std::array<Digits, 256> digits = make_digits();

// ---- the stores ----

namespace detail {

// "38;5;" and the like: the layer and the form, five bytes.
constexpr std::array<char, 8> layer(bool foreground, char form) noexcept {
    return {foreground ? '3' : '4', '8', ';', form, ';'};
}

inline constexpr std::array<char, 8> index_layer[2] = {layer(false, '5'), layer(true, '5')};
inline constexpr std::array<char, 8> rgb_layer[2] = {layer(false, '2'), layer(true, '2')};

template <std::size_t N>
inline void put(char* at, const char* bytes) noexcept {
    std::memcpy(at, bytes, N);
}

// A new str of `length` ASCII characters after ESC (all ASCII), its bytes in `data` past ESC's,
// which are written once the rest is: the stores before may spill into them.
class Ascii {
public:
    explicit Ascii(PyObject* esc) noexcept
        : esc_(static_cast<const char*>(PyUnicode_DATA(esc))),
          esc_length_(static_cast<std::size_t>(PyUnicode_GET_LENGTH(esc))) {}

    PyObject* start(std::size_t length, char*& data) noexcept {
        counters::ascii_stores.count();
        result_ = PyUnicode_New(static_cast<Py_ssize_t>(esc_length_ + length), 127);
        if (result_ != nullptr) {
            data = static_cast<char*>(PyUnicode_DATA(result_)) + esc_length_;
        }
        return result_;
    }
    PyObject* finish() noexcept {
        char* data = static_cast<char*>(PyUnicode_DATA(result_));
        if (esc_length_ == 2) {
            put<2>(data, esc_);
        } else {
            std::memcpy(data, esc_, esc_length_);
        }
        return result_;
    }

private:
    const char* esc_;
    std::size_t esc_length_;
    PyObject* result_ = nullptr;
};

// The five bytes of a layer in two overlapping stores that write nothing outside them.
inline void put_layer(char* at, const std::array<char, 8>& bytes) noexcept {
    put<4>(at, bytes.data());
    put<4>(at + 1, bytes.data() + 1);
}

// The joined route, for any other ESC or number.
PyObject* joined_named(PyObject* esc, const Shown& code) noexcept;
PyObject* joined_index(PyObject* esc, bool foreground, const Shown& value) noexcept;
PyObject* joined_rgb(PyObject* esc, bool foreground, const Shown* components) noexcept;

// The stores of each form, for an all-ASCII ESC.

inline PyObject* named_stores(PyObject* esc, const Digits& code) noexcept {
    Ascii text(esc);
    char* data = nullptr;
    if (text.start(code.count + 1, data) == nullptr) {
        return nullptr;
    }
    // The digits and "m" from the first byte: four bytes fit after a code of two or three digits.
    if (code.count > 1) {
        put<4>(data, code.first.data());
    } else {
        put<2>(data, code.first.data());
    }
    return text.finish();
}

inline PyObject* index_stores(PyObject* esc, bool foreground, const Digits& value) noexcept {
    const std::size_t length = 6 + value.count;
    Ascii text(esc);
    char* data = nullptr;
    if (text.start(length, data) == nullptr) {
        return nullptr;
    }
    put<8>(data + length + 1 - 8, value.last.data());  // from the layer's last byte or later
    put_layer(data, index_layer[foreground]);
    return text.finish();
}

inline PyObject* rgb_stores(PyObject* esc, bool foreground, const Digits& r, const Digits& g,
                            const Digits& b) noexcept {
    const std::size_t length = 8 + r.count + g.count + b.count;
    Ascii text(esc);
    char* data = nullptr;
    if (text.start(length, data) == nullptr) {
        return nullptr;
    }
    char* end = data + length + 1;  // past the NUL
    put<8>(end - 8, b.last.data());
    end -= 2 + b.count;  // the end of "g;"
    put<4>(end - 4, g.inner.data());
    end -= 1 + g.count;  // the end of "r;"
    put<4>(end - 4, r.inner.data());
    put_layer(data, rgb_layer[foreground]);
    return text.finish();
}

}  // namespace detail

// ESC code m
inline PyObject* named(PyObject* esc, unsigned code) noexcept {
    return PyUnicode_IS_ASCII(esc) ? detail::named_stores(esc, digits[code]) : detail::joined_named(esc, Shown(code));
}
inline PyObject* named(PyObject* esc, const Shown& code) noexcept {
    return code.is_byte() ? named(esc, code.byte()) : detail::joined_named(esc, code);
}

// ESC L;5;index m
inline PyObject* index(PyObject* esc, bool foreground, unsigned value) noexcept {
    return PyUnicode_IS_ASCII(esc) ? detail::index_stores(esc, foreground, digits[value])
                                   : detail::joined_index(esc, foreground, Shown(value));
}
inline PyObject* index(PyObject* esc, bool foreground, const Shown& value) noexcept {
    return value.is_byte() ? index(esc, foreground, value.byte()) : detail::joined_index(esc, foreground, value);
}

// ESC L;2;r;g;b m
inline PyObject* rgb(PyObject* esc, bool foreground, const unsigned* bytes) noexcept {
    if (PyUnicode_IS_ASCII(esc)) {
        return detail::rgb_stores(esc, foreground, digits[bytes[0]], digits[bytes[1]], digits[bytes[2]]);
    }
    const Shown shown[3] = {Shown(bytes[0]), Shown(bytes[1]), Shown(bytes[2])};
    return detail::joined_rgb(esc, foreground, shown);
}
inline PyObject* rgb(PyObject* esc, bool foreground, const Shown* components) noexcept {
    if (components[0].is_byte() && components[1].is_byte() && components[2].is_byte()) {
        const unsigned bytes[3] = {components[0].byte(), components[1].byte(), components[2].byte()};
        return rgb(esc, foreground, bytes);
    }
    return detail::joined_rgb(esc, foreground, components);
}

}  // namespace colors::sequence
