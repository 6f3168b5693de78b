// rgb_to_ansi256: a 256-colour palette index approximating an RGB colour: on the grey ramp
// (232..255) for equal components, on the 6x6x6 cube (16..231) otherwise, each component rounded to
// a uniform grid of levels.
#include <array>
#include <cmath>
#include <cstdint>

#include "byte.hpp"
#include "counters.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "validate_rgb.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Ref;

// Integers up to 2**53 convert to double exactly, so int / int is then the plain double quotient.
constexpr std::int64_t kExactDoubleLimit = std::int64_t{1} << 53;

bool small_value(PyObject* value, std::int64_t& out) noexcept {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    out = number;
    return overflow == 0 && number <= kExactDoubleLimit && number >= -kExactDoubleLimit;
}

// round() of the builtin: the nearest integer, ties to even. Computed as the builtin computes it, so
// that the floating-point rounding mode (which a caller may change) plays no part.
std::int64_t round_half_even(double value) noexcept {
    double rounded = std::round(value);
    if (std::fabs(value - rounded) == 0.5) {
        rounded = 2.0 * std::round(value / 2.0);
    }
    return static_cast<std::int64_t>(rounded);
}

std::int64_t cube_level(std::int64_t component) noexcept {
    return round_half_even(static_cast<double>(component) / 255.0 * 5.0);
}

// For components in 0..255 neither quotient comes near a half (their exact values have the odd
// denominators 51 and 247), so the nearest integer of the exact fraction is what the double
// arithmetic rounds to, whatever the rounding mode: tables worked out at compile time.
constexpr std::array<unsigned char, 256> make_cube_levels() noexcept {
    std::array<unsigned char, 256> levels{};
    for (unsigned c = 0; c < 256; ++c) {
        levels[c] = static_cast<unsigned char>((c * 5 * 2 + 255) / (255 * 2));  // nearest of c * 5 / 255
    }
    return levels;
}

constexpr std::array<unsigned char, 256> make_grey_indices() noexcept {
    std::array<unsigned char, 256> indices{};
    for (unsigned v = 0; v < 256; ++v) {
        indices[v] = static_cast<unsigned char>(v < 8     ? 16
                                                : v > 248 ? 231
                                                          : 232 + ((v - 8) * 24 * 2 + 247) / (247 * 2));
    }
    return indices;
}

constexpr std::array<unsigned char, 256> cube_levels = make_cube_levels();
constexpr std::array<unsigned char, 256> grey_indices = make_grey_indices();

long ansi256_byte(unsigned r, unsigned g, unsigned b) noexcept {
    if (r == g && g == b) {
        return grey_indices[r];
    }
    return 16 + 36 * cube_levels[r] + 6 * cube_levels[g] + cube_levels[b];
}

PyObject* ansi256_small(std::int64_t r, std::int64_t g, std::int64_t b) noexcept {
    if (r == g && g == b) {
        if (r < 8) {
            return PyLong_FromLong(16);
        }
        if (r > 248) {
            return PyLong_FromLong(231);
        }
        return PyLong_FromLongLong(232 + round_half_even(static_cast<double>(r - 8) / 247.0 * 24.0));
    }
    return PyLong_FromLongLong(16 + 36 * cube_level(r) + 6 * cube_level(g) + cube_level(b));
}

// ---- the general route, on Python integers of any size with the round captured at import ----

int equal(PyObject* r, PyObject* g, PyObject* b) noexcept {
    const int first = PyObject_RichCompareBool(r, g, Py_EQ);
    return first <= 0 ? first : PyObject_RichCompareBool(g, b, Py_EQ);
}

Ref number(long value) noexcept { return Ref::steal(PyLong_FromLong(value)); }

// round(numerator / divisor * scale)
Ref scaled_round(PyObject* numerator, long divisor, double scale) noexcept {
    Ref divisor_obj = number(divisor);
    Ref quotient = divisor_obj ? Ref::steal(PyNumber_TrueDivide(numerator, divisor_obj.get())) : Ref();
    Ref scale_obj = quotient ? Ref::steal(PyFloat_FromDouble(scale)) : Ref();
    Ref product = scale_obj ? Ref::steal(PyNumber_Multiply(quotient.get(), scale_obj.get())) : Ref();
    if (!product) {
        return {};
    }
    // Held for the call: a replacement round runs Python code, which may import the module anew.
    const Ref round = Ref::borrow(originals.round.get());
    return Ref::steal(PyObject_CallOneArg(round.get(), product.get()));
}

PyObject* grey_index(PyObject* r) noexcept {
    Ref eight = number(8);
    if (!eight) {
        return nullptr;
    }
    const int below = PyObject_RichCompareBool(r, eight.get(), Py_LT);
    if (below != 0) {
        return below < 0 ? nullptr : PyLong_FromLong(16);
    }
    Ref top = number(248);
    const int above = top ? PyObject_RichCompareBool(r, top.get(), Py_GT) : -1;
    if (above != 0) {
        return above < 0 ? nullptr : PyLong_FromLong(231);
    }
    Ref offset = Ref::steal(PyNumber_Subtract(r, eight.get()));
    Ref step = offset ? scaled_round(offset.get(), 247, 24.0) : Ref();
    Ref base = step ? number(232) : Ref();
    return base ? PyNumber_Add(base.get(), step.get()) : nullptr;
}

// total + weight * round(component / 255 * 5.0)
Ref add_term(Ref total, PyObject* component, long weight) noexcept {
    Ref level = scaled_round(component, 255, 5.0);
    if (!level) {
        return {};
    }
    if (weight != 1) {
        Ref weight_obj = number(weight);
        level = weight_obj ? Ref::steal(PyNumber_Multiply(weight_obj.get(), level.get())) : Ref();
        if (!level) {
            return {};
        }
    }
    return Ref::steal(PyNumber_Add(total.get(), level.get()));
}

PyObject* cube_index(PyObject* r, PyObject* g, PyObject* b) noexcept {
    Ref total = number(16);
    if (!total || !(total = add_term(std::move(total), r, 36)) || !(total = add_term(std::move(total), g, 6)) ||
        !(total = add_term(std::move(total), b, 1))) {
        return nullptr;
    }
    return total.release();
}

PyObject* ansi256_general(PyObject* r, PyObject* g, PyObject* b) noexcept {
    const int grey = equal(r, g, b);
    if (grey < 0) {
        return nullptr;
    }
    return grey ? grey_index(r) : cube_index(r, g, b);
}

PyObject* rgb_to_ansi256_body(frame::Globals, PyObject* const* args) noexcept {
    // The arguments are exact ints here; with the interpreter's own round the formulas are computed
    // in C: for bytes through the tables, for integers a double holds exactly through the doubles.
    if (originals.round_is_builtin) {
        const int rgb[3] = {byte_of_int(args[0]), byte_of_int(args[1]), byte_of_int(args[2])};
        if ((rgb[0] | rgb[1] | rgb[2]) >= 0) {
            counters::ansi256_bytes.count();
            return PyLong_FromLong(ansi256_byte(static_cast<unsigned>(rgb[0]), static_cast<unsigned>(rgb[1]),
                                                static_cast<unsigned>(rgb[2])));
        }
        std::int64_t small[3];
        if (small_value(args[0], small[0]) && small_value(args[1], small[1]) && small_value(args[2], small[2])) {
            return ansi256_small(small[0], small[1], small[2]);
        }
    }
    return ansi256_general(args[0], args[1], args[2]);
}

}  // namespace

// def rgb_to_ansi256(r: "int", g: "int", b: "int") -> "int"
constinit frame::FunctionDef rgb_to_ansi256_def{
    n::rgb_to_ansi256, "rgb_to_ansi256", rgb_params, rgb_to_ansi256_body, "将 RGB 值近似映射到 256 色调色板索引。",
    &n::ann_int};

}  // namespace colors
