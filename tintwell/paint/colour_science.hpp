// Perceived colour difference and the palette searches built on it. Plain C++ without the Python
// API, so that tools/nearest_table.cpp can build and check the 256-colour search's table.
#pragma once

#include <cstdint>

namespace paint::colour {

struct Rgb {
    std::uint8_t r, g, b;
};

struct Lab {
    double l, a, b;
};

// The colour a terminal shows for palette entry 0-255, with xterm's default palette.
constexpr Rgb palette_rgb(int index) noexcept {
    constexpr Rgb basic[16] = {{0, 0, 0},       {205, 0, 0},   {0, 205, 0},   {205, 205, 0},
                               {0, 0, 238},     {205, 0, 205}, {0, 205, 205}, {229, 229, 229},
                               {127, 127, 127}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                               {92, 92, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    constexpr std::uint8_t cube[6] = {0, 95, 135, 175, 215, 255};
    if (index < 16) {
        return basic[index];
    }
    if (index >= 232) {
        const auto grey = static_cast<std::uint8_t>(8 + 10 * (index - 232));
        return {grey, grey, grey};
    }
    const int offset = index - 16;
    return {cube[offset / 36], cube[offset / 6 % 6], cube[offset % 6]};
}

// Fills the tables the functions below read (the linear sRGB ramp, the palette in CIELAB). Idempotent;
// called before any other function of this file is used.
void init() noexcept;

// CIELAB (D65) of an sRGB colour: through linear RGB and XYZ.
Lab lab_of(Rgb rgb) noexcept;

// CIEDE2000 with kL = kC = kH = 1.
double ciede2000(const Lab& x, const Lab& y) noexcept;

// Whether the basic greys (0, 7, 8, 15) are kept out of the 16-colour search: for colours of HSV
// saturation and value 0.5 or more, whose hue a grey would lose.
bool keeps_hue(Rgb rgb) noexcept;
bool is_basic_grey(int index) noexcept;

// The palette entry 0-255 in CIELAB.
const Lab& palette_lab(int index) noexcept;

// The palette entry 16-255 of least CIEDE2000 from `rgb`; ties go to the lower index.
int nearest_256(Rgb rgb) noexcept;
// The basic colour 0-15 of least CIEDE2000 from `rgb`, greys excluded as keeps_hue says.
int nearest_16(Rgb rgb) noexcept;
// The two searches compare `rgb` only with the entries tools/nearest_table.cpp found nearest for some
// colour of the same cell of 16 x 16 x 16 colours. These try every entry, as the searches by the table
// must always agree with.
int nearest_256_exhaustive(Rgb rgb) noexcept;
int nearest_16_exhaustive(Rgb rgb) noexcept;

}  // namespace paint::colour
