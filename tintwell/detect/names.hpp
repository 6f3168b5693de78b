// String and integer constants of the detect module: identifiers (interned) and texts.
#pragma once

#include "frame/constants.hpp"
#include "frame/lookup.hpp"

namespace detect::names {

using frame::AttributeName;
using frame::GlobalName;
using frame::Int;
using frame::Str;
inline constexpr Str::Kind text = Str::Kind::text;

// Module attributes and the modules they come from (GlobalName: read as a module global).
inline GlobalName os{"os"};
inline GlobalName sys{"sys"};
inline Str enum_{"enum"};
inline GlobalName IntEnum{"IntEnum"};
inline Str typing{"typing"};
inline Str Optional{"Optional"};
inline GlobalName ColorLevel{"ColorLevel"};
inline Str has_windows_console{"_has_windows_console"};
inline GlobalName detect_color_level{"detect_color_level"};
inline Str supports_color{"supports_color"};
inline Str enable_windows_vt{"enable_windows_vt"};

// The class body of ColorLevel.
inline Str dunder_prepare{"__prepare__"};
inline Str dunder_mro_entries{"__mro_entries__"};
inline Str dunder_orig_bases{"__orig_bases__"};
inline Str dunder_module{"__module__"};
inline Str dunder_qualname{"__qualname__"};
inline Str dunder_doc{"__doc__"};
inline Str module_qualname{"tintwell.detect", text};
inline Str NONE{"NONE"};
inline Str BASIC{"BASIC"};
inline Str EXTENDED{"EXTENDED"};
inline Str TRUECOLOR{"TRUECOLOR"};
inline Int level_none{0};
inline Int level_basic{1};
inline Int level_extended{2};
inline Int level_truecolor{3};

// Parameters, attributes and methods the functions use (AttributeName: read from a plain module).
inline Str stream{"stream"};
inline Str bool_{"bool"};
inline AttributeName environ{"environ"};
inline Str get{"get"};
inline Str lower{"lower"};
inline AttributeName platform{"platform"};
inline AttributeName stdout_{"stdout"};
inline AttributeName stderr_{"stderr"};
inline Str isatty{"isatty"};

// Environment variables.
inline Str NO_COLOR{"NO_COLOR", text};
inline Str FORCE_COLOR{"FORCE_COLOR", text};
inline Str TERM_PROGRAM{"TERM_PROGRAM", text};
inline Str VSCODE_PID{"VSCODE_PID", text};
inline Str VSCODE_IPC_HOOK{"VSCODE_IPC_HOOK", text};
inline Str PYCHARM_HOSTED{"PYCHARM_HOSTED", text};
inline Str WT_SESSION{"WT_SESSION", text};
inline Str ConEmuANSI{"ConEmuANSI", text};
inline Str ANSICON{"ANSICON", text};
inline Str COLORTERM{"COLORTERM", text};
inline Str TERM{"TERM", text};

// Values the environment is compared with.
inline Str empty{"", text};
inline Str force_0{"0", text};
inline Str force_false{"false", text};
inline Str force_False{"False", text};
inline Str force_1{"1", text};
inline Str force_true{"true", text};
inline Str force_True{"True", text};
inline Str force_2{"2", text};
inline Str force_3{"3", text};
inline Str vscode{"vscode", text};
inline Str on{"ON", text};
inline Str truecolor{"truecolor", text};
inline Str bit24{"24bit", text};
inline Str dumb{"dumb", text};
inline Str color256{"256color", text};
inline Str win32{"win32", text};

// The Windows console, reached through ctypes.
inline Str ctypes{"ctypes"};
inline Str wintypes{"wintypes"};
inline Str msvcrt{"msvcrt"};
inline Str get_osfhandle{"get_osfhandle"};
inline Str WinDLL{"WinDLL"};
inline Str kernel32{"kernel32"};
inline Str use_last_error{"use_last_error"};
inline Str GetStdHandle{"GetStdHandle"};
inline Str GetConsoleMode{"GetConsoleMode"};
inline Str SetConsoleMode{"SetConsoleMode"};
inline Str argtypes{"argtypes"};
inline Str restype{"restype"};
inline Str DWORD{"DWORD"};
inline Str HANDLE{"HANDLE"};
inline Str BOOL{"BOOL"};
inline Str POINTER{"POINTER"};
inline Str byref{"byref"};
inline Str value{"value"};
inline Str fileno{"fileno"};
inline Int std_output_handle{-11};
inline Int null_handle{0};
inline Int invalid_handle{-1};

}  // namespace detect::names
