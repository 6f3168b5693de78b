// Building an escape sequence from its pieces. The usual all-ASCII sequence is assembled in a
// local buffer and copied into the result in one allocation; any other text falls back to a join.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "compact_int.hpp"
#include "frame/ref.hpp"

namespace colors {

class Sequence {
public:
    // `format(value, "")`, as ESC and other non-numbers are rendered.
    int add_formatted(PyObject* value) noexcept;
    // A number as the decimal digits of int(value); anything else as format(value, "").
    int add_rendered(PyObject* value) noexcept;
    // The decimal digits of an exact int.
    int add_integer(PyObject* value) noexcept {
        Py_ssize_t number = 0;
        if (compact_value(value, number) && number >= 0 && number < 1000) {
            add_byte_value(static_cast<unsigned>(number));
            return 0;
        }
        return add_integer_slow(value);
    }
    // The decimal digits of 0..999 (colour components, palette indices, SGR codes).
    void add_byte_value(unsigned number) noexcept {
        char digits[3];
        std::size_t count = 0;
        if (number >= 100) {
            digits[count++] = static_cast<char>('0' + number / 100);
        }
        if (number >= 10) {
            digits[count++] = static_cast<char>('0' + number / 10 % 10);
        }
        digits[count++] = static_cast<char>('0' + number % 10);
        add_ascii(std::string_view(digits, count));
    }
    // ASCII text; a failure (memory only) is kept and reported by finish().
    void add_ascii(std::string_view text) noexcept {
        if (!failed_ && length_ + text.size() <= kCapacity) {
            std::memcpy(ascii_ + length_, text.data(), text.size());
            length_ += text.size();
            return;
        }
        add_ascii_slow(text);
    }

    // The joined str, or null with an exception set.
    PyObject* finish() noexcept;

private:
    int add_text(PyObject* text) noexcept;
    int add_integer_slow(PyObject* value) noexcept;
    void add_ascii_slow(std::string_view text) noexcept;
    int append_ascii(std::string_view text) noexcept;
    int flush_to_list() noexcept;

    static constexpr std::size_t kCapacity = 64;
    char ascii_[kCapacity];
    std::size_t length_ = 0;
    bool failed_ = false;  // an exception is set; later pieces are ignored
    frame::Ref list_;      // pieces so far, once something did not fit the ASCII buffer
};

}  // namespace colors
