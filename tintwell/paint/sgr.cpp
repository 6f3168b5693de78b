#include "sgr.hpp"

#include <array>
#include <cstring>

namespace paint {

namespace {

constexpr char kEsc = '\x1b';

// Writes "\x1b[", the codes joined by ';', then 'm'.
class SgrWriter {
public:
    constexpr explicit SgrWriter(Sgr& sgr) noexcept : sgr_(sgr) {}
    constexpr void add(int code) noexcept {
        if (sgr_.length == 0) {
            put(kEsc);
            put('[');
        } else {
            put(';');
        }
        if (code >= 10) {
            put(static_cast<char>('0' + code / 10));
        }
        put(static_cast<char>('0' + code % 10));
    }
    constexpr void finish() noexcept {
        if (sgr_.length != 0) {
            put('m');
        }
    }

private:
    constexpr void put(char c) noexcept { sgr_.text[sgr_.length++] = c; }
    Sgr& sgr_;
};

constexpr Sgr make_attribute_sgr(unsigned parts) noexcept {
    Sgr sgr{};
    SgrWriter writer(sgr);
    for (int i = 0; i < kAttributeCount; ++i) {
        if (parts & (1u << i)) {
            writer.add(kAttributeCodes[i]);
        }
    }
    writer.finish();
    return sgr;
}

constexpr Sgr make_reset_sgr(unsigned parts) noexcept {
    Sgr sgr{};
    SgrWriter writer(sgr);
    if (parts & (kBold | kDim)) {
        writer.add(22);
    }
    constexpr int codes[] = {23, 24, 25, 27, 29};  // italic, underline, blink, reverse, strike
    for (int i = 0; i < 5; ++i) {
        if (parts & (kItalic << i)) {
            writer.add(codes[i]);
        }
    }
    if (parts & kForeground) {
        writer.add(39);
    }
    if (parts & kBackground) {
        writer.add(49);
    }
    writer.finish();
    return sgr;
}

template <std::size_t Count>
constexpr std::array<Sgr, Count> sgr_table(Sgr (*make)(unsigned)) noexcept {
    std::array<Sgr, Count> table{};
    for (std::size_t parts = 0; parts < Count; ++parts) {
        table[parts] = make(static_cast<unsigned>(parts));
    }
    return table;
}

// Every combination, made by the compiler: a paint call looks its sequences up.
constexpr auto kAttributeSgr = sgr_table<kAttributes + 1>(make_attribute_sgr);
constexpr auto kResetSgr = sgr_table<kEverything + 1>(make_reset_sgr);

// The parts an SGR parameter leaves reset, from those reset before it. `sub` is the parameter's first
// ':' sub-parameter (-1 when there is none). `operands` is set for the colour layers whose operands
// follow as parameters of their own (38;5;n, 48;2;r;g;b, 58;...).
unsigned apply_parameter(unsigned resets, int value, int sub, bool& operands) noexcept {
    switch (value) {
        case 0:
            return kEverything;
        case 1:
            return resets & ~kBold;
        case 2:
            return resets & ~kDim;
        case 3:
            return resets & ~kItalic;
        case 4:  // 4:0 is "not underlined", 4:1 to 4:5 underline styles
            return sub == 0 ? resets | kUnderline : resets & ~kUnderline;
        case 5:
        case 6:
            return resets & ~kBlink;
        case 7:
            return resets & ~kReverse;
        case 9:
            return resets & ~kStrike;
        case 21:  // doubly underlined
            return resets & ~kUnderline;
        case 22:  // normal intensity: neither bold nor dim
            return resets | kBold | kDim;
        case 23:
            return resets | kItalic;
        case 24:
            return resets | kUnderline;
        case 25:
            return resets | kBlink;
        case 27:
            return resets | kReverse;
        case 29:
            return resets | kStrike;
        case 38:
            operands = sub < 0;
            return resets & ~kForeground;
        case 39:
            return resets | kForeground;
        case 48:
            operands = sub < 0;
            return resets & ~kBackground;
        case 49:
            return resets | kBackground;
        case 58:  // underline colour
            operands = sub < 0;
            return resets;
        default:
            if ((value >= 30 && value <= 37) || (value >= 90 && value <= 97)) {
                return resets & ~kForeground;
            }
            if ((value >= 40 && value <= 47) || (value >= 100 && value <= 107)) {
                return resets & ~kBackground;
            }
            return resets;
    }
}

template <typename Char>
Py_ssize_t find_escape(const Char* text, Py_ssize_t from, Py_ssize_t length) noexcept {
    if constexpr (sizeof(Char) == 1) {
        const void* found = std::memchr(text + from, kEsc, static_cast<std::size_t>(length - from));
        return found == nullptr ? -1 : static_cast<const Char*>(found) - text;
    } else {
        for (Py_ssize_t i = from; i < length; ++i) {
            if (text[i] == kEsc) {
                return i;
            }
        }
        return -1;
    }
}

template <typename Char>
bool is_digit(Char c) noexcept {
    return c >= '0' && c <= '9';
}

// The number at text[i...] (0 when there are no digits), stopping short of overflow.
template <typename Char>
int read_number(const Char* text, Py_ssize_t& i, Py_ssize_t end) noexcept {
    int value = 0;
    for (; i < end && is_digit(text[i]); ++i) {
        value = value < 100000 ? value * 10 + static_cast<int>(text[i] - '0') : value;
    }
    return value;
}

// The parts an SGR sequence with the parameters text[begin, end) leaves reset. Parameters are
// separated by ';' and may carry ':' sub-parameters; an empty one is 0. The operands of 38, 48 and 58
// given as parameters of their own (38;5;n, 38;2;r;g;b) are skipped, not read as codes.
template <typename Char>
unsigned sgr_resets(const Char* text, Py_ssize_t begin, Py_ssize_t end) noexcept {
    for (Py_ssize_t i = begin; i < end; ++i) {
        if (!is_digit(text[i]) && text[i] != ';' && text[i] != ':') {
            return 0;  // a private sequence (such as ESC[>4;2m), not SGR
        }
    }
    unsigned resets = 0;
    bool selector = false;  // the next parameter says which operands follow 38, 48 or 58
    int skip = 0;           // operands still to skip
    for (Py_ssize_t i = begin;; ++i) {
        const int value = read_number(text, i, end);
        int sub = -1;
        for (bool first = true; i < end && text[i] == ':'; first = false) {
            ++i;
            const int number = read_number(text, i, end);
            sub = first ? number : sub;
        }
        if (selector) {
            selector = false;
            skip = value == 5 ? 1 : value == 2 ? 3 : 0;
        } else if (skip > 0) {
            --skip;
        } else {
            resets = apply_parameter(resets, value, sub, selector);
        }
        if (i >= end) {
            return resets;
        }
    }
}

// For ESC at `at`: the index just past the control sequence it starts, with `resets` set to what that
// sequence leaves reset if it is SGR; `at + 1` when no complete control sequence starts there.
template <typename Char>
Py_ssize_t control_sequence(const Char* text, Py_ssize_t at, Py_ssize_t length, unsigned& resets) noexcept {
    resets = 0;
    Py_ssize_t i = at + 1;
    if (i >= length || text[i] != '[') {
        return at + 1;
    }
    const Py_ssize_t parameters = ++i;
    while (i < length && text[i] >= 0x30 && text[i] <= 0x3F) {
        ++i;
    }
    const Py_ssize_t parameters_end = i;
    while (i < length && text[i] >= 0x20 && text[i] <= 0x2F) {
        ++i;
    }
    if (i >= length || text[i] < 0x40 || text[i] > 0x7E) {
        return at + 1;
    }
    if (text[i] == 'm' && i == parameters_end) {
        resets = sgr_resets(text, parameters, parameters_end);
    }
    return i + 1;
}

int write_pieces(PyUnicodeWriter* writer, const Piece* pieces, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        const int status = pieces[i].str != nullptr
                               ? PyUnicodeWriter_WriteStr(writer, pieces[i].str)
                               : PyUnicodeWriter_WriteASCII(writer, pieces[i].chars, pieces[i].length);
        if (status < 0) {
            return -1;
        }
    }
    return 0;
}

// The layers' own sequences for the parts in `restore`.
int write_restore(PyUnicodeWriter* writer, unsigned restore, const Layers& layers) noexcept {
    const Sgr& sgr = attribute_sgr(restore);
    if (sgr.length > 0 && PyUnicodeWriter_WriteASCII(writer, sgr.text, sgr.length) < 0) {
        return -1;
    }
    if ((restore & kForeground) && PyUnicodeWriter_WriteStr(writer, layers.foreground) < 0) {
        return -1;
    }
    if ((restore & kBackground) && PyUnicodeWriter_WriteStr(writer, layers.background) < 0) {
        return -1;
    }
    return 0;
}

// surround for text holding ESC, the first at `escape`.
template <typename Char>
PyObject* rewrite(const Piece* before, int before_count, PyObject* text, Py_ssize_t escape, const Piece* after,
                  int after_count, const Layers& layers) noexcept {
    const auto* chars = static_cast<const Char*>(PyUnicode_DATA(text));
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(length);
    if (writer == nullptr) {
        return nullptr;
    }
    if (write_pieces(writer, before, before_count) < 0) {
        PyUnicodeWriter_Discard(writer);
        return nullptr;
    }
    Py_ssize_t written = 0;
    for (Py_ssize_t at = escape; at >= 0;) {
        unsigned resets = 0;
        const Py_ssize_t next = control_sequence(chars, at, length, resets);
        const unsigned restore = resets & layers.parts;
        if (restore != 0) {
            if (PyUnicodeWriter_WriteSubstring(writer, text, written, next) < 0 ||
                write_restore(writer, restore, layers) < 0) {
                PyUnicodeWriter_Discard(writer);
                return nullptr;
            }
            written = next;
        }
        at = find_escape(chars, next, length);
    }
    if ((written < length && PyUnicodeWriter_WriteSubstring(writer, text, written, length) < 0) ||
        write_pieces(writer, after, after_count) < 0) {
        PyUnicodeWriter_Discard(writer);
        return nullptr;
    }
    return PyUnicodeWriter_Finish(writer);
}

// The total length of `pieces` added to `total`, and whether they are all ASCII.
bool measure_ascii(const Piece* pieces, int count, Py_ssize_t& total) noexcept {
    bool ascii = true;
    for (int i = 0; i < count; ++i) {
        if (pieces[i].str != nullptr) {
            ascii = ascii && PyUnicode_IS_ASCII(pieces[i].str);
            total += PyUnicode_GET_LENGTH(pieces[i].str);
        } else {
            total += pieces[i].length;
        }
    }
    return ascii;
}

char* copy_ascii(char* out, const Piece* pieces, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        const Piece& piece = pieces[i];
        const bool str = piece.str != nullptr;
        const Py_ssize_t length = str ? PyUnicode_GET_LENGTH(piece.str) : piece.length;
        std::memcpy(out, str ? PyUnicode_DATA(piece.str) : piece.chars, static_cast<std::size_t>(length));
        out += length;
    }
    return out;
}

// surround for ASCII text without ESC between ASCII pieces, the usual case: a byte for a character.
// Null without an exception set when a piece is not ASCII.
PyObject* join_ascii(const Piece* before, int before_count, const char* text, Py_ssize_t length, const Piece* after,
                     int after_count) noexcept {
    Py_ssize_t total = length;  // the pieces are short: no overflow before PyUnicode_New checks the total
    if (!measure_ascii(before, before_count, total) || !measure_ascii(after, after_count, total)) {
        return nullptr;
    }
    PyObject* result = PyUnicode_New(total, 0x7f);
    if (result == nullptr) {
        return nullptr;
    }
    char* out = copy_ascii(static_cast<char*>(PyUnicode_DATA(result)), before, before_count);
    std::memcpy(out, text, static_cast<std::size_t>(length));
    copy_ascii(out + length, after, after_count);
    return result;
}

// surround for text without ESC: one new str of the exact length, each piece copied once.
PyObject* join(const Piece* before, int before_count, PyObject* text, const Piece* after, int after_count) noexcept {
    Piece pieces[8];
    int count = 0;
    for (int i = 0; i < before_count; ++i) {
        pieces[count++] = before[i];
    }
    pieces[count++] = Piece{text, nullptr, 0};
    for (int i = 0; i < after_count; ++i) {
        pieces[count++] = after[i];
    }
    Py_ssize_t total = 0;
    Py_UCS4 maxchar = 0x7f;
    for (int i = 0; i < count; ++i) {
        Piece& piece = pieces[i];
        if (piece.str != nullptr) {
            piece.length = PyUnicode_GET_LENGTH(piece.str);
            const Py_UCS4 most = PyUnicode_MAX_CHAR_VALUE(piece.str);
            maxchar = most > maxchar ? most : maxchar;
        }
        if (piece.length > PY_SSIZE_T_MAX - total) {
            return PyErr_NoMemory();
        }
        total += piece.length;
    }
    PyObject* result = PyUnicode_New(total, maxchar);
    if (result == nullptr) {
        return nullptr;
    }
    const int kind = PyUnicode_KIND(result);
    void* data = PyUnicode_DATA(result);
    Py_ssize_t at = 0;
    for (int i = 0; i < count; ++i) {
        const Piece& piece = pieces[i];
        if (kind == PyUnicode_1BYTE_KIND) {  // then every piece is one byte a character too
            const void* source = piece.str != nullptr ? PyUnicode_DATA(piece.str) : piece.chars;
            std::memcpy(static_cast<char*>(data) + at, source, static_cast<std::size_t>(piece.length));
        } else if (piece.str != nullptr) {
            if (PyUnicode_CopyCharacters(result, at, piece.str, 0, piece.length) < 0) {
                Py_DECREF(result);
                return nullptr;
            }
        } else {
            for (Py_ssize_t c = 0; c < piece.length; ++c) {
                PyUnicode_WRITE(kind, data, at + c, static_cast<Py_UCS4>(piece.chars[c]));
            }
        }
        at += piece.length;
    }
    return result;
}

}  // namespace

const Sgr& attribute_sgr(unsigned parts) noexcept { return kAttributeSgr[parts & kAttributes]; }

const Sgr& reset_sgr(unsigned parts) noexcept { return kResetSgr[parts & kEverything]; }

PyObject* surround(const Piece* before, int before_count, PyObject* text, const Piece* after, int after_count,
                   const Layers& layers) noexcept {
    if (PyUnicode_IS_ASCII(text)) {
        const auto* chars = static_cast<const char*>(PyUnicode_DATA(text));
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        const void* escape = layers.parts != 0 ? std::memchr(chars, kEsc, static_cast<std::size_t>(length)) : nullptr;
        if (escape != nullptr) {
            return rewrite<Py_UCS1>(before, before_count, text, static_cast<const char*>(escape) - chars, after,
                                    after_count, layers);
        }
        if (PyObject* joined = join_ascii(before, before_count, chars, length, after, after_count)) {
            return joined;
        }
        if (PyErr_Occurred()) {
            return nullptr;
        }
        return join(before, before_count, text, after, after_count);
    }
    if (layers.parts != 0) {
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        const void* data = PyUnicode_DATA(text);
        switch (PyUnicode_KIND(text)) {
            case PyUnicode_1BYTE_KIND:
                if (const Py_ssize_t at = find_escape(static_cast<const Py_UCS1*>(data), 0, length); at >= 0) {
                    return rewrite<Py_UCS1>(before, before_count, text, at, after, after_count, layers);
                }
                break;
            case PyUnicode_2BYTE_KIND:
                if (const Py_ssize_t at = find_escape(static_cast<const Py_UCS2*>(data), 0, length); at >= 0) {
                    return rewrite<Py_UCS2>(before, before_count, text, at, after, after_count, layers);
                }
                break;
            default:
                if (const Py_ssize_t at = find_escape(static_cast<const Py_UCS4*>(data), 0, length); at >= 0) {
                    return rewrite<Py_UCS4>(before, before_count, text, at, after, after_count, layers);
                }
                break;
        }
    }
    return join(before, before_count, text, after, after_count);
}

}  // namespace paint
