// Building an escape sequence from its pieces in one allocation.
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
    void add_ascii(std::string_view text) noexcept;

    // The joined str, or null with an exception set.
    PyObject* finish() noexcept;

private:
    static constexpr std::size_t kMaxPieces = 10;
    static constexpr std::size_t kAsciiCapacity = 24;
    struct Piece {
        frame::Ref text;  // a str, or null for the ASCII bytes below
        char ascii[kAsciiCapacity];
        std::size_t length = 0;
    };
    Piece& ascii_piece(std::size_t room) noexcept;
    int add_text(frame::Ref text) noexcept;

    Piece pieces_[kMaxPieces];
    std::size_t count_ = 0;
};

}  // namespace colors
