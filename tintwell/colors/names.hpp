// String constants of the colors module: identifiers (interned) and texts.
#pragma once

#include "frame/constants.hpp"
#include "frame/lookup.hpp"

namespace colors::names {

using frame::GlobalName;
using frame::Str;
inline constexpr Str::Kind text = Str::Kind::text;

// Module attributes, functions and the names they read (GlobalName: read as a module global).
inline GlobalName re{"re"};
inline Str typing{"typing"};
inline Str Optional{"Optional"};
inline Str Tuple{"Tuple"};
inline GlobalName ESC{"ESC"};
inline Str RESET_FG{"RESET_FG"};
inline Str RESET_BG{"RESET_BG"};
inline GlobalName NAMED_COLORS{"NAMED_COLORS"};
inline GlobalName COLOR_ALIASES{"COLOR_ALIASES"};
inline GlobalName HEX_RE{"_HEX_RE"};
inline GlobalName SHORT_HEX_RE{"_SHORT_HEX_RE"};
inline GlobalName parse_hex{"parse_hex"};
inline Str rgb_to_ansi256{"rgb_to_ansi256"};
inline Str fg_code{"fg_code"};
inline Str bg_code{"bg_code"};
inline GlobalName color_code{"_color_code"};
inline GlobalName validate_rgb{"_validate_rgb"};
inline Str round{"round"};

// Parameters and methods.
inline Str color{"color"};
inline Str foreground{"foreground"};
inline Str r{"r"};
inline Str g{"g"};
inline Str b{"b"};
inline Str compile{"compile"};
inline Str pattern{"pattern"};
inline Str flags{"flags"};
inline Str match{"match"};
inline Str group{"group"};
inline Str lower{"lower"};
inline Str replace{"replace"};
inline Str startswith{"startswith"};
inline Str get{"get"};
inline Str dunder_name{"__name__"};

// Annotation texts.
inline Str ann_str{"str"};
inline Str ann_int{"int"};
inline Str ann_bool{"bool"};
inline Str ann_none{"None"};
inline Str ann_rgb{"Tuple[int, int, int]", text};
inline Str ann_color{"str | int | Tuple[int, int, int]", text};

// Literals of the algorithms.
inline Str esc_value{"\x1b[", text};
inline Str empty{"", text};
inline Str hash{"#", text};
inline Str dash{"-", text};
inline Str space{" ", text};
inline Str underscore{"_", text};
inline Str comma_space{", ", text};
inline Str fg_reset_suffix{"39m", text};
inline Str bg_reset_suffix{"49m", text};
inline Str hex_pattern{"^#([0-9a-fA-F]{6})$", text};
inline Str short_hex_pattern{"^#([0-9a-fA-F]{3})$", text};
inline Str letter_r{"R", text};
inline Str letter_g{"G", text};
inline Str letter_b{"B", text};

// Message pieces.
inline Str msg_bad_hex{"无法解析十六进制颜色: ", text};
inline Str msg_bad_hex_tail{"，期望格式 #RGB 或 #RRGGBB", text};
inline Str msg_component{" 分量须在 0-255 范围内，收到: ", text};
inline Str msg_index{"256 色索引须在 0-255 范围内，收到: ", text};
inline Str msg_type{"不支持的颜色类型: ", text};
inline Str msg_unknown{"未知颜色名称: ", text};
inline Str msg_available{"。可用: ", text};

}  // namespace colors::names
