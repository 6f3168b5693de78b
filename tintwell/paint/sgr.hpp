// The SGR sequences of text attributes and resets, and text put between a style's sequences so that
// the style holds again after every inner sequence that undoes part of it.
#pragma once

#include "frame/ref.hpp"

namespace paint {

// What a style sets: the text attributes (bits in the order of kAttributeCodes) and the colour layers.
enum Part : unsigned {
    kBold = 1u << 0,
    kDim = 1u << 1,
    kItalic = 1u << 2,
    kUnderline = 1u << 3,
    kBlink = 1u << 4,
    kReverse = 1u << 5,
    kStrike = 1u << 6,
    kForeground = 1u << 7,
    kBackground = 1u << 8,
};
constexpr int kAttributeCount = 7;
constexpr unsigned kAttributes = (1u << kAttributeCount) - 1;
constexpr unsigned kEverything = kAttributes | kForeground | kBackground;
// SGR codes that set the attributes, in bit order.
constexpr int kAttributeCodes[kAttributeCount] = {1, 2, 3, 4, 5, 7, 9};

// An SGR sequence of the text attributes or resets, as ASCII characters.
struct Sgr {
    char text[28];
    int length;
};

// "\x1b[1;4m": the sequence that sets the attributes in `parts`; empty when there are none.
const Sgr& attribute_sgr(unsigned parts) noexcept;
// "\x1b[22;39m": the sequence that resets everything in `parts`; empty when it is nothing.
const Sgr& reset_sgr(unsigned parts) noexcept;

// A piece of output: a str, or `length` ASCII characters.
struct Piece {
    PyObject* str;
    const char* chars;
    Py_ssize_t length;
};

// What a style sets, with the sequences of its colour layers (borrowed; there when `parts` says so).
struct Layers {
    unsigned parts;
    PyObject* foreground;
    PyObject* background;
};

// The pieces `before`, then `text`, then the pieces `after`, as a new str. Within `text`, every SGR
// sequence that resets something `layers` sets (a layer's or an attribute's reset, or the full reset)
// is followed by the layers' own sequence for it. Text without ESC costs one scan and one copy.
PyObject* surround(const Piece* before, int before_count, PyObject* text, const Piece* after, int after_count,
                   const Layers& layers) noexcept;

}  // namespace paint
