// The 256-colour search: CIEDE2000 against the few entries that can be nearest in the colour's cell.
#include <cstdint>

#include "colour_science.hpp"

namespace paint::colour {

namespace {
#include "nearest_table.inc"
}  // namespace

int nearest_256(Rgb rgb) noexcept {
    const int cell = (rgb.r >> 4) * 256 + (rgb.g >> 4) * 16 + (rgb.b >> 4);
    const int first = kCellStarts[cell], last = kCellStarts[cell + 1];
    if (last - first == 1) {
        return kCellEntries[first];
    }
    const Lab target = lab_of(rgb);
    int best = kCellEntries[first];
    double best_difference = ciede2000(target, palette_lab(best));
    for (int at = first + 1; at < last; ++at) {  // entries ascend, so ties keep the lower index
        const double difference = ciede2000(target, palette_lab(kCellEntries[at]));
        if (difference < best_difference) {
            best = kCellEntries[at];
            best_difference = difference;
        }
    }
    return best;
}

}  // namespace paint::colour
