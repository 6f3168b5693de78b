#include "colour_science.hpp"

#include <cmath>

namespace paint::colour {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = 180.0 / kPi;
constexpr double kRadians = kPi / 180.0;
constexpr double k25To7 = 6103515625.0;  // 25**7

// Tables filled once by init(): 256 values are all an sRGB channel can take, and the palette never
// changes, so neither is recomputed per colour.
double linear_ramp[256];
Lab palette_labs[256];
bool ready = false;

// exp and pow carry glibc's 2.29 symbol version, which would make the module refuse older systems
// (manylinux2014 allows 2.17); expm1 and log1p have kept their first version.
double exp_of(double x) noexcept { return std::expm1(x) + 1; }
double pow_of(double base, double exponent) noexcept { return exp_of(exponent * std::log1p(base - 1)); }

double pow7(double x) noexcept {
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

double lab_f(double t) noexcept {
    constexpr double delta = 6.0 / 29.0;
    return t > delta * delta * delta ? std::cbrt(t) : t / (3 * delta * delta) + 4.0 / 29.0;
}

// Hue angle in degrees, 0 to 360; 0 for a neutral colour.
double hue(double b, double a) noexcept {
    if (a == 0 && b == 0) {
        return 0;
    }
    const double h = std::atan2(b, a) * kDegrees;
    return h < 0 ? h + 360 : h;
}

// T of CIEDE2000 for the mean hue of direction (cos h, sin h), by the multiple-angle formulas.
double hue_weight(double c, double s) noexcept {
    constexpr double cos30 = 0.86602540378443864676, sin30 = 0.5;
    constexpr double cos6 = 0.99452189536827333692, sin6 = 0.10452846326765347140;
    constexpr double cos63 = 0.45399049973954679156, sin63 = 0.89100652418836786236;
    const double cos2 = c * c - s * s, sin2 = 2 * s * c;
    const double cos3 = c * (4 * c * c - 3), sin3 = s * (3 - 4 * s * s);
    const double cos4 = 2 * cos2 * cos2 - 1, sin4 = 2 * sin2 * cos2;
    return 1 - 0.17 * (c * cos30 + s * sin30) + 0.24 * cos2 + 0.32 * (cos3 * cos6 - sin3 * sin6) -
           0.20 * (cos4 * cos63 + sin4 * sin63);
}

// The weighted sum CIEDE2000 ends with, from the differences and means of the pair.
double combine(double l1, double l2, double dl, double dc, double big_dh, double cp_mean, double t,
               double h_mean) noexcept {
    const double hue_offset = (h_mean - 275) / 25;
    const double d_theta = 30 * exp_of(-hue_offset * hue_offset);
    const double cp_mean7 = pow7(cp_mean);
    const double r_c = 2 * std::sqrt(cp_mean7 / (cp_mean7 + k25To7));
    const double l_mean = (l1 + l2) / 2;
    const double l50 = (l_mean - 50) * (l_mean - 50);
    const double s_l = 1 + 0.015 * l50 / std::sqrt(20 + l50);
    const double s_c = 1 + 0.045 * cp_mean;
    const double s_h = 1 + 0.015 * cp_mean * t;
    const double r_t = -std::sin(2 * d_theta * kRadians) * r_c;
    const double vl = dl / s_l, vc = dc / s_c, vh = big_dh / s_h;
    return std::sqrt(vl * vl + vc * vc + vh * vh + r_t * vc * vh);
}

// CIEDE2000 of two chromatic colours of opposite hues h1 and h2 (degrees), by the angles.
double ciede2000_opposite(double l1, double l2, double c1, double c2, double h1, double h2) noexcept {
    const double dh = h2 - h1;  // +-180
    const double big_dh = 2 * std::sqrt(c1 * c2) * std::sin(dh / 2 * kRadians);
    const double h_mean = (h1 + h2) / 2;  // the smaller-angle rule keeps the plain mean at 180 degrees
    const double t = 1 - 0.17 * std::cos((h_mean - 30) * kRadians) + 0.24 * std::cos(2 * h_mean * kRadians) +
                     0.32 * std::cos((3 * h_mean + 6) * kRadians) - 0.20 * std::cos((4 * h_mean - 63) * kRadians);
    return combine(l1, l2, l2 - l1, c2 - c1, big_dh, (c1 + c2) / 2, t, h_mean);
}

}  // namespace

bool is_basic_grey(int index) noexcept { return index == 0 || index == 7 || index == 8 || index == 15; }

void init() noexcept {
    if (ready) {
        return;
    }
    for (int value = 0; value < 256; ++value) {
        const double c = value / 255.0;
        linear_ramp[value] = c <= 0.04045 ? c / 12.92 : pow_of((c + 0.055) / 1.055, 2.4);
    }
    ready = true;  // lab_of reads the ramp
    for (int index = 0; index < 256; ++index) {
        palette_labs[index] = lab_of(palette_rgb(index));
    }
}

Lab lab_of(Rgb rgb) noexcept {
    const double r = linear_ramp[rgb.r], g = linear_ramp[rgb.g], b = linear_ramp[rgb.b];
    // sRGB to XYZ, each row divided by the D65 white point's component.
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    const double fx = lab_f(x), fy = lab_f(y), fz = lab_f(z);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

double ciede2000(const Lab& x, const Lab& y) noexcept {
    const double c_mean = (std::sqrt(x.a * x.a + x.b * x.b) + std::sqrt(y.a * y.a + y.b * y.b)) / 2;
    const double c_mean7 = pow7(c_mean);
    const double scale = 1.5 - 0.5 * std::sqrt(c_mean7 / (c_mean7 + k25To7));  // 1 + G
    const double a1 = x.a * scale, a2 = y.a * scale;
    const double c1 = std::sqrt(a1 * a1 + x.b * x.b), c2 = std::sqrt(a2 * a2 + y.b * y.b);
    const double dl = y.l - x.l;
    const double dc = c2 - c1;

    // The hue difference dH' = 2 sqrt(C1' C2') sin(dh'/2) and the mean hue, from the unit hue vectors
    // u = (a', b) / C': 2 sin(|dh'|/2) is the chord |u1 - u2|, the sign that of the turn from the first
    // hue to the second, and the mean hue lies along u1 + u2, the bisector of the smaller angle between
    // them. Only opposite hues, where that bisector is not defined, need the angles themselves.
    double big_dh = 0;
    double hue_x = 1, hue_y = 0;  // the mean hue's direction, unnormalised; a neutral pair's is 0 degrees
    if (c1 * c2 != 0) {
        const double inverse1 = 1 / c1, inverse2 = 1 / c2;
        const double x1 = a1 * inverse1, y1 = x.b * inverse1, x2 = a2 * inverse2, y2 = y.b * inverse2;
        const double turn = x1 * y2 - y1 * x2;
        hue_x = x1 + x2;
        hue_y = y1 + y2;
        // Opposite as written, or by the sum, which stays exact should a compiler fuse the turn's terms.
        if ((turn == 0 && x1 * x2 + y1 * y2 < 0) || (hue_x == 0 && hue_y == 0)) {
            return ciede2000_opposite(x.l, y.l, c1, c2, hue(x.b, a1), hue(y.b, a2));
        }
        const double chord2 = (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
        big_dh = std::copysign(std::sqrt(c1 * c2 * chord2), turn);
    } else if (c1 != 0 || c2 != 0) {
        hue_x = c1 != 0 ? a1 : a2;
        hue_y = c1 != 0 ? x.b : y.b;
    }
    double h_mean = std::atan2(hue_y, hue_x) * kDegrees;
    h_mean = h_mean < 0 ? h_mean + 360 : h_mean;
    const double inverse_norm = 1 / std::sqrt(hue_x * hue_x + hue_y * hue_y);
    const double t = hue_weight(hue_x * inverse_norm, hue_y * inverse_norm);
    return combine(x.l, y.l, dl, dc, big_dh, (c1 + c2) / 2, t, h_mean);
}

bool keeps_hue(Rgb rgb) noexcept {
    const int high = rgb.r > rgb.g ? (rgb.r > rgb.b ? rgb.r : rgb.b) : (rgb.g > rgb.b ? rgb.g : rgb.b);
    const int low = rgb.r < rgb.g ? (rgb.r < rgb.b ? rgb.r : rgb.b) : (rgb.g < rgb.b ? rgb.g : rgb.b);
    // value = high / 255 >= 0.5 and saturation = (high - low) / high >= 0.5, in integers.
    return 2 * high >= 255 && 2 * (high - low) >= high;
}

const Lab& palette_lab(int index) noexcept { return palette_labs[index]; }

int nearest_16_exhaustive(Rgb rgb) noexcept {
    const Lab target = lab_of(rgb);
    const bool no_grey = keeps_hue(rgb);
    int best = -1;
    double best_difference = 0;
    for (int index = 0; index < 16; ++index) {
        if (no_grey && is_basic_grey(index)) {
            continue;
        }
        const double difference = ciede2000(target, palette_labs[index]);
        if (best < 0 || difference < best_difference) {
            best = index;
            best_difference = difference;
        }
    }
    return best;
}

int nearest_256_exhaustive(Rgb rgb) noexcept {
    const Lab target = lab_of(rgb);
    int best = 16;
    double best_difference = ciede2000(target, palette_labs[16]);
    for (int index = 17; index < 256; ++index) {
        const double difference = ciede2000(target, palette_labs[index]);
        if (difference < best_difference) {
            best = index;
            best_difference = difference;
        }
    }
    return best;
}

}  // namespace paint::colour
