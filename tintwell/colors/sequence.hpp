// Building an escape sequence from its pieces. The usual all-ASCII sequence is assembled in a
// local buffer and copied into the result in one allocation; any other text falls back to a join.
#pragma once

#include "ref.hpp"

#include <cstddef>
#include <string_view>

namespace colors {

class Sequence {
public:
    // `format(value, "")`, as ESC and other non-numbers are rendered.
    int add_formatted(PyObject* value) noexcept;
    // A number as the decimal digits of int(value); anything else as format(value, "").
    int add_rendered(PyObject* value) noexcept;
    // The decimal digits of an exact int.
    int add_integer(PyObject* value) noexcept;
    // ASCII text; a failure (memory only) is kept and reported by finish().
    void add_ascii(std::string_view text) noexcept;

    // The joined str, or null with an exception set.
    PyObject* finish() noexcept;

private:
    int add_text(PyObject* text) noexcept;
    int append_ascii(std::string_view text) noexcept;
    int flush_to_list() noexcept;

    static constexpr std::size_t kCapacity = 64;
    char ascii_[kCapacity];
    std::size_t length_ = 0;
    bool failed_ = false;  // an exception is set; later pieces are ignored
    frame::Ref list_;  // pieces so far, once something did not fit the ASCII buffer
};

}  // namespace colors
