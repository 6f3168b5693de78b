// String and integer constants of the detect module: identifiers (interned) and texts. Listed once,
// as X(type, name, value...): each becomes a constant of that name, and exec builds them all (pool).
#pragma once

#include "frame/constants.hpp"
#include "frame/lookup.hpp"

#define TINTWELL_DETECT_NAMES(X)                                                                          \
    /* Module attributes and the modules they come from (GlobalName: read as a module global). */         \
    X(GlobalName, os, "os")                                                                               \
    X(GlobalName, sys, "sys")                                                                             \
    X(Str, enum_, "enum")                                                                                 \
    X(GlobalName, IntEnum, "IntEnum")                                                                     \
    X(Str, typing, "typing")                                                                              \
    X(Str, Optional, "Optional")                                                                          \
    X(GlobalName, ColorLevel, "ColorLevel")                                                               \
    X(Str, has_windows_console, "_has_windows_console")                                                   \
    X(GlobalName, detect_color_level, "detect_color_level")                                               \
    X(Str, supports_color, "supports_color")                                                              \
    X(Str, enable_windows_vt, "enable_windows_vt")                                                        \
    /* The class body of ColorLevel. */                                                                   \
    X(Str, dunder_prepare, "__prepare__")                                                                 \
    X(Str, dunder_mro_entries, "__mro_entries__")                                                         \
    X(Str, dunder_orig_bases, "__orig_bases__")                                                           \
    X(Str, dunder_module, "__module__")                                                                   \
    X(Str, dunder_qualname, "__qualname__")                                                               \
    X(Str, dunder_doc, "__doc__")                                                                         \
    X(Str, color_level_doc, "终端色彩支持级别。", text)                                                   \
    X(Str, module_qualname, "tintwell.detect", text)                                                      \
    X(Str, NONE, "NONE")                                                                                  \
    X(Str, BASIC, "BASIC")                                                                                \
    X(Str, EXTENDED, "EXTENDED")                                                                          \
    X(Str, TRUECOLOR, "TRUECOLOR")                                                                        \
    X(Int, level_none, 0)                                                                                 \
    X(Int, level_basic, 1)                                                                                \
    X(Int, level_extended, 2)                                                                             \
    X(Int, level_truecolor, 3)                                                                            \
    /* Parameters, attributes and methods the functions use (AttributeName: read from a plain module). */ \
    X(Str, stream, "stream")                                                                              \
    X(Str, bool_, "bool")                                                                                 \
    X(AttributeName, environ_, "environ")                                                                 \
    X(Str, get, "get")                                                                                    \
    X(Str, lower, "lower")                                                                                \
    X(AttributeName, platform, "platform")                                                                \
    X(AttributeName, stdout_, "stdout")                                                                   \
    X(AttributeName, stderr_, "stderr")                                                                   \
    X(Str, isatty, "isatty")                                                                              \
    /* Environment variables. */                                                                          \
    X(Str, NO_COLOR, "NO_COLOR", text)                                                                    \
    X(Str, FORCE_COLOR, "FORCE_COLOR", text)                                                              \
    X(Str, TERM_PROGRAM, "TERM_PROGRAM", text)                                                            \
    X(Str, VSCODE_PID, "VSCODE_PID", text)                                                                \
    X(Str, VSCODE_IPC_HOOK, "VSCODE_IPC_HOOK", text)                                                      \
    X(Str, PYCHARM_HOSTED, "PYCHARM_HOSTED", text)                                                        \
    X(Str, WT_SESSION, "WT_SESSION", text)                                                                \
    X(Str, ConEmuANSI, "ConEmuANSI", text)                                                                \
    X(Str, ANSICON, "ANSICON", text)                                                                      \
    X(Str, COLORTERM, "COLORTERM", text)                                                                  \
    X(Str, TERM, "TERM", text)                                                                            \
    /* Values the environment is compared with. */                                                        \
    X(Str, empty, "", text)                                                                               \
    X(Str, force_0, "0", text)                                                                            \
    X(Str, force_false, "false", text)                                                                    \
    X(Str, force_False, "False", text)                                                                    \
    X(Str, force_1, "1", text)                                                                            \
    X(Str, force_true, "true", text)                                                                      \
    X(Str, force_True, "True", text)                                                                      \
    X(Str, force_2, "2", text)                                                                            \
    X(Str, force_3, "3", text)                                                                            \
    X(Str, vscode, "vscode", text)                                                                        \
    X(Str, on, "ON", text)                                                                                \
    X(Str, truecolor, "truecolor", text)                                                                  \
    X(Str, bit24, "24bit", text)                                                                          \
    X(Str, dumb, "dumb", text)                                                                            \
    X(Str, color256, "256color", text)                                                                    \
    X(Str, win32, "win32", text)                                                                          \
    /* The Windows console, reached through ctypes. */                                                    \
    X(Str, ctypes, "ctypes")                                                                              \
    X(Str, wintypes, "wintypes")                                                                          \
    X(Str, msvcrt, "msvcrt")                                                                              \
    X(Str, get_osfhandle, "get_osfhandle")                                                                \
    X(Str, WinDLL, "WinDLL")                                                                              \
    X(Str, kernel32, "kernel32")                                                                          \
    X(Str, use_last_error, "use_last_error")                                                              \
    X(Str, GetStdHandle, "GetStdHandle")                                                                  \
    X(Str, GetConsoleMode, "GetConsoleMode")                                                              \
    X(Str, SetConsoleMode, "SetConsoleMode")                                                              \
    X(Str, argtypes, "argtypes")                                                                          \
    X(Str, restype, "restype")                                                                            \
    X(Str, DWORD, "DWORD")                                                                                \
    X(Str, HANDLE, "HANDLE")                                                                              \
    X(Str, BOOL, "BOOL")                                                                                  \
    X(Str, POINTER, "POINTER")                                                                            \
    X(Str, byref, "byref")                                                                                \
    X(Str, value, "value")                                                                                \
    X(Str, fileno, "fileno")                                                                              \
    X(Int, std_output_handle, -11)                                                                        \
    X(Int, null_handle, 0)                                                                                \
    X(Int, invalid_handle, -1)

namespace detect::names {

using frame::AttributeName;
using frame::GlobalName;
using frame::Int;
using frame::Str;
inline constexpr Str::Kind text = Str::Kind::text;

TINTWELL_CONSTANTS(TINTWELL_DETECT_NAMES)

}  // namespace detect::names
