// The colour tables as the module-level code builds them, the rules of resolving a name (folding,
// the background shift), and a compile-time index of every name they resolve: the foreground and
// background code of each normalised name, alias targets followed. For color_name.cpp alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame/ascii.hpp"

namespace colors::tables {

struct NamedColor {
    std::string_view name;  // a literal: NUL-terminated
    int code;
};

struct Alias {
    std::string_view name;  // a literal: NUL-terminated
    std::string_view target;
};

// NAMED_COLORS and COLOR_ALIASES, in insertion order.
inline constexpr NamedColor named_colors[] = {
    {"black", 30},        {"red", 31},           {"green", 32},       {"yellow", 33},         {"blue", 34},
    {"magenta", 35},      {"cyan", 36},          {"white", 37},       {"bright_black", 90},   {"bright_red", 91},
    {"bright_green", 92}, {"bright_yellow", 93}, {"bright_blue", 94}, {"bright_magenta", 95}, {"bright_cyan", 96},
    {"bright_white", 97},
};

inline constexpr Alias color_aliases[] = {
    {"grey", "bright_black"},        {"gray", "bright_black"},        {"purple", "magenta"},
    {"bright_grey", "bright_black"}, {"bright_gray", "bright_black"}, {"bright_purple", "bright_magenta"},
};

// The background shift: a named colour's code below 40, or in 90..97, moves up by 10 for a
// background. The general route compares codes of any type with these same numbers.
inline constexpr long kBelowShifts = 40;
inline constexpr long kBrightFirst = 90;
inline constexpr long kBrightLast = 97;
inline constexpr long kShift = 10;

[[nodiscard]] constexpr long long background(long long code) noexcept {
    return code < kBelowShifts || (code >= kBrightFirst && code <= kBrightLast) ? code + kShift : code;
}

// What normalising a name does to one character: lower case, and "-" and " " become "_".
[[nodiscard]] constexpr unsigned char fold(unsigned char ch) noexcept {
    return ch == '-' || ch == ' ' ? static_cast<unsigned char>('_') : frame::ascii_lower(ch);
}

// A normalised name of up to 16 characters packed into two words, first character lowest.
struct Key {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::size_t length = 0;
};

inline constexpr std::size_t kMaxName = 16;

[[nodiscard]] constexpr Key key_of(std::string_view name) noexcept {
    Key key;
    key.length = name.size();
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint64_t byte = static_cast<unsigned char>(name[i]);
        (i < 8 ? key.low : key.high) |= byte << (8 * (i % 8));
    }
    return key;
}

// The index: a perfect hash over the 22 names, searched for at compile time.
struct Slot {
    Key key;
    std::uint8_t fg = 0;  // 0: empty
    std::uint8_t bg = 0;
};

inline constexpr std::size_t kSlotBits = 6;
inline constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;

[[nodiscard]] constexpr std::size_t slot_of(const Key& key, std::uint64_t multiplier) noexcept {
    const std::uint64_t mixed = (key.low ^ (key.high * 0x9e3779b97f4a7c15ULL) ^ key.length) * multiplier;
    return static_cast<std::size_t>(mixed >> (64 - kSlotBits));
}

[[nodiscard]] constexpr int code_of(std::string_view name) noexcept {
    for (const NamedColor& entry : named_colors) {
        if (entry.name == name) {
            return entry.code;
        }
    }
    return -1;
}

// What the index relies on: names of at most kMaxName characters, codes of two or three digits in
// both layers, and aliases that resolve in one step.
constexpr bool tables_fit() noexcept {
    for (const NamedColor& entry : named_colors) {
        if (entry.name.size() > kMaxName || entry.code < 10 || background(entry.code) > 255) {
            return false;
        }
    }
    for (const Alias& entry : color_aliases) {
        if (entry.name.size() > kMaxName || code_of(entry.target) < 0 || code_of(entry.name) >= 0) {
            return false;
        }
    }
    return true;
}
static_assert(tables_fit());

struct Index {
    std::uint64_t multiplier = 0;
    std::array<Slot, kSlots> slots{};
};

[[nodiscard]] constexpr bool place(Index& index, std::string_view name, int code) noexcept {
    Slot& slot = index.slots[slot_of(key_of(name), index.multiplier)];
    if (slot.fg != 0) {
        return false;
    }
    slot = {key_of(name), static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(background(code))};
    return true;
}

// Multipliers are tried in the order of a linear congruential generator until one places every name
// in a slot of its own. The search starts at the one it found (from 0x2545f4914f6cdd1d, its 98th
// candidate): done at compile time, the search takes a few thousand steps instead of some 200,000,
// well within every compiler's default limit of constant evaluation (MSVC's is the lowest). Tables
// that it no longer fits make it search on from there.
[[nodiscard]] constexpr Index build_index() noexcept {
    std::uint64_t candidate = 0xd7aee95be4404849ULL;
    for (;;) {
        Index index;
        index.multiplier = candidate | 1;
        bool ok = true;
        for (const NamedColor& entry : named_colors) {
            ok = ok && place(index, entry.name, entry.code);
        }
        for (const Alias& entry : color_aliases) {
            ok = ok && place(index, entry.name, code_of(entry.target));
        }
        if (ok) {
            return index;
        }
        candidate = candidate * 6364136223846793005ULL + 1442695040888963407ULL;
    }
}

inline constexpr Index index = build_index();

// The code of `name` (exact str, all ASCII) as the two tables built at import resolve it after
// normalising, for the layer asked; -1 when they hold no such name.
[[nodiscard]] inline int find_code(const unsigned char* text, std::size_t length, bool foreground) noexcept {
    if (length > kMaxName) {
        return -1;
    }
    Key key;
    key.length = length;
    const std::size_t head = length < 8 ? length : 8;
    for (std::size_t i = 0; i < head; ++i) {
        key.low |= std::uint64_t{fold(text[i])} << (8 * i);
    }
    for (std::size_t i = head; i < length; ++i) {
        key.high |= std::uint64_t{fold(text[i])} << (8 * (i - 8));
    }
    const Slot& slot = index.slots[slot_of(key, index.multiplier)];
    if (slot.fg == 0 || slot.key.low != key.low || slot.key.high != key.high || slot.key.length != length) {
        return -1;
    }
    return foreground ? slot.fg : slot.bg;
}

}  // namespace colors::tables
