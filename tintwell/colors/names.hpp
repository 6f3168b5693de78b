// String constants of the colors module: identifiers (interned) and texts. Listed once, as
// X(type, name, value...): each becomes a constant of that name, and exec builds them all (pool).
#pragma once

#include "frame/constants.hpp"
#include "frame/lookup.hpp"

#define TINTWELL_COLORS_NAMES(X)                                                                      \
    /* Module attributes, functions and the names they read (GlobalName: read as a module global). */ \
    X(GlobalName, re, "re")                                                                           \
    X(Str, typing, "typing")                                                                          \
    X(Str, Optional, "Optional")                                                                      \
    X(Str, Tuple, "Tuple")                                                                            \
    X(GlobalName, ESC, "ESC")                                                                         \
    X(Str, RESET_FG, "RESET_FG")                                                                      \
    X(Str, RESET_BG, "RESET_BG")                                                                      \
    X(GlobalName, NAMED_COLORS, "NAMED_COLORS")                                                       \
    X(GlobalName, COLOR_ALIASES, "COLOR_ALIASES")                                                     \
    X(GlobalName, HEX_RE, "_HEX_RE")                                                                  \
    X(GlobalName, SHORT_HEX_RE, "_SHORT_HEX_RE")                                                      \
    X(GlobalName, parse_hex, "parse_hex")                                                             \
    X(Str, rgb_to_ansi256, "rgb_to_ansi256")                                                          \
    X(Str, fg_code, "fg_code")                                                                        \
    X(Str, bg_code, "bg_code")                                                                        \
    X(GlobalName, color_code, "_color_code")                                                          \
    X(GlobalName, validate_rgb, "_validate_rgb")                                                      \
    X(Str, round, "round")                                                                            \
    /* Parameters and methods. */                                                                     \
    X(Str, color, "color")                                                                            \
    X(Str, foreground, "foreground")                                                                  \
    X(Str, r, "r")                                                                                    \
    X(Str, g, "g")                                                                                    \
    X(Str, b, "b")                                                                                    \
    X(Str, compile, "compile")                                                                        \
    X(Str, pattern, "pattern")                                                                        \
    X(Str, flags, "flags")                                                                            \
    X(Str, match, "match")                                                                            \
    X(Str, group, "group")                                                                            \
    X(Str, lower, "lower")                                                                            \
    X(Str, replace, "replace")                                                                        \
    X(Str, startswith, "startswith")                                                                  \
    X(Str, get, "get")                                                                                \
    X(Str, dunder_name, "__name__")                                                                   \
    /* Annotation texts. */                                                                           \
    X(Str, ann_str, "str")                                                                            \
    X(Str, ann_int, "int")                                                                            \
    X(Str, ann_bool, "bool")                                                                          \
    X(Str, ann_none, "None")                                                                          \
    X(Str, ann_rgb, "Tuple[int, int, int]", text)                                                     \
    X(Str, ann_color, "str | int | Tuple[int, int, int]", text)                                       \
    /* Literals of the algorithms. */                                                                 \
    X(Str, esc_value, "\x1b[", text)                                                                  \
    X(Str, empty, "", text)                                                                           \
    X(Str, hash, "#", text)                                                                           \
    X(Str, dash, "-", text)                                                                           \
    X(Str, space, " ", text)                                                                          \
    X(Str, underscore, "_", text)                                                                     \
    X(Str, comma_space, ", ", text)                                                                   \
    X(Str, fg_reset_suffix, "39m", text)                                                              \
    X(Str, bg_reset_suffix, "49m", text)                                                              \
    X(Str, hex_pattern, "^#([0-9a-fA-F]{6})$", text)                                                  \
    X(Str, short_hex_pattern, "^#([0-9a-fA-F]{3})$", text)                                            \
    X(Str, letter_r, "R", text)                                                                       \
    X(Str, letter_g, "G", text)                                                                       \
    X(Str, letter_b, "B", text)                                                                       \
    /* Message pieces. */                                                                             \
    X(Str, msg_bad_hex, "无法解析十六进制颜色: ", text)                                               \
    X(Str, msg_bad_hex_tail, "，期望格式 #RGB 或 #RRGGBB", text)                                      \
    X(Str, msg_component, " 分量须在 0-255 范围内，收到: ", text)                                     \
    X(Str, msg_index, "256 色索引须在 0-255 范围内，收到: ", text)                                    \
    X(Str, msg_type, "不支持的颜色类型: ", text)                                                      \
    X(Str, msg_unknown, "未知颜色名称: ", text)                                                       \
    X(Str, msg_available, "。可用: ", text)

namespace colors::names {

using frame::GlobalName;
using frame::Str;
inline constexpr Str::Kind text = Str::Kind::text;

TINTWELL_CONSTANTS(TINTWELL_COLORS_NAMES)

}  // namespace colors::names
