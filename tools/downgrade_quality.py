"""How far downgraded colours land from the colours asked for: the mean CIEDE2000 difference between
each colour of the grid of multiples of 17 (16**3 colours) and the palette entry picked for it, for
the ways of picking and the exact minimum, at 256 and at 16 colours.

    PYTHONPATH=build/release/pkg python3.14 tools/downgrade_quality.py [--markdown]
    (scripts/py314 runs it where CPython 3.14 is not installed.)

The CIEDE2000 used to judge is the plain-Python one of tests/ciede2000.py, apart from the package's.
"ours" is tintwell.style's nearest_ansi256 / nearest_ansi16. At 16 colours the table also counts the
saturated colours (HSV saturation and value >= 0.5) that a way of picking sends to a grey entry
(0, 7, 8, 15), and gives the minimum with those entries excluded for such colours.
"""

import argparse
import itertools
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests"))

from ciede2000 import delta_e, lab  # noqa: E402
from tintwell.style import nearest_ansi16, nearest_ansi256, palette_rgb  # noqa: E402

GRID = list(itertools.product(range(0, 256, 17), repeat=3))
GREYS = (0, 7, 8, 15)


def saturated(rgb):
    high, low = max(rgb), min(rgb)
    return high >= 128 and 2 * (high - low) >= high


def rgb_distance(a, b):
    return sum((x - y) ** 2 for x, y in zip(a, b))


def red_mean(a, b):
    mean = (a[0] + b[0]) / 2
    dr, dg, db = (x - y for x, y in zip(a, b))
    return (2 + mean / 256) * dr * dr + 4 * dg * dg + (2 + (255 - mean) / 256) * db * db


def table(indices, ours):
    entries = [(index, palette_rgb(index), lab(palette_rgb(index))) for index in indices]
    sums = dict.fromkeys(("RGB distance", "red-mean", "ours", "minimum", "minimum, no grey for saturated"), 0.0)
    greys = dict.fromkeys(sums, 0)
    for rgb in GRID:
        target = lab(rgb)
        differences = {index: delta_e(target, entry_lab) for index, _, entry_lab in entries}
        picks = {
            "RGB distance": min(entries, key=lambda e: rgb_distance(rgb, e[1]))[0],
            "red-mean": min(entries, key=lambda e: red_mean(rgb, e[1]))[0],
            "ours": ours(*rgb),
            "minimum": min(differences, key=differences.__getitem__),
            "minimum, no grey for saturated": min(
                (i for i in differences if not (saturated(rgb) and i in GREYS)), key=differences.__getitem__),
        }
        for way, index in picks.items():
            sums[way] += differences[index]
            greys[way] += saturated(rgb) and index in GREYS
    return {way: total / len(GRID) for way, total in sums.items()}, greys


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = parser.parse_args()
    rows = []
    for name, indices, ours in (("256 colours (16-255)", range(16, 256), nearest_ansi256),
                                ("16 colours", range(16), nearest_ansi16)):
        means, greys = table(indices, ours)
        minimum = means["minimum"]
        cells = [f"{mean:.3f} ({mean / minimum - 1:+.1%})" for mean in means.values()]
        if indices == range(16):
            cells = [f"{cell}, {count} saturated to grey" for cell, count in zip(cells, greys.values())]
        else:  # the greys of the rule are basic colours: nothing to exclude here
            cells[-1] = "-"
        rows.append([name, *cells])
    header = ["palette", "RGB distance", "red-mean", "ours", "exact minimum", "minimum, no grey for saturated"]
    if args.markdown:
        print("| " + " | ".join(header) + " |")
        print("|" + "---|" * len(header))
        for row in rows:
            print("| " + " | ".join(row) + " |")
    else:
        for row in rows:
            print(row[0])
            for title, cell in zip(header[1:], row[1:]):
                print(f"  {title:<32}{cell}")


if __name__ == "__main__":
    main()
