// The palette searches: CIEDE2000 against the few entries that can be nearest in the colour's cell.
#include <cstdint>

#include "colour_science.hpp"

namespace paint::colour {

namespace {

#include "nearest_table.inc"

int cell_of(Rgb rgb) noexcept { return (rgb.r >> 4) * 256 + (rgb.g >> 4) * 16 + (rgb.b >> 4); }

// The entry of entries[first, last) of least CIEDE2000 from `rgb`, those `skip` names left out; the
// entries ascend, so ties keep the lower index.
int nearest_in(Rgb rgb, const std::uint8_t* entries, int first, int last, bool skip_greys) noexcept {
    if (last - first == 1) {
        return entries[first];
    }
    const Lab target = lab_of(rgb);
    int best = -1;
    double best_difference = 0;
    for (int at = first; at < last; ++at) {
        if (skip_greys && is_basic_grey(entries[at])) {
            continue;
        }
        const double difference = ciede2000(target, palette_lab(entries[at]));
        if (best < 0 || difference < best_difference) {
            best = entries[at];
            best_difference = difference;
        }
    }
    return best;
}

}  // namespace

int nearest_256(Rgb rgb) noexcept {
    const int cell = cell_of(rgb);
    return nearest_in(rgb, kCellEntries256, kCellStarts256[cell], kCellStarts256[cell + 1], false);
}

int nearest_16(Rgb rgb) noexcept {
    // A grey is listed for a cell where it is nearest for some colour; for a colour whose hue must be
    // kept it is passed over, as the search over all 16 does (a cell lists that colour's pick too).
    const int cell = cell_of(rgb);
    return nearest_in(rgb, kCellEntries16, kCellStarts16[cell], kCellStarts16[cell + 1], keeps_hue(rgb));
}

}  // namespace paint::colour
