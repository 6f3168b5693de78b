"""rgb_to_ansi256: the grey ramp, the colour cube, out-of-range input and the captured round."""

import json
import math
import platform
from decimal import Decimal
from fractions import Fraction

import pytest
from hypothesis import given, strategies as st

import tintwell.colors as colors_module
from conftest import module_entries
from hardening.cases import ROUNDING_MODES, under_rounding_mode

GREY_STEP_STARTS = [8, 14, 24, 34, 45, 55, 65, 75, 86, 96, 106, 117, 127, 137, 147, 158, 168, 178, 189, 199, 209,
                    219, 230, 240]
CUBE_LEVELS = [(0, 25), (26, 76), (77, 127), (128, 178), (179, 229), (230, 255)]


def nearest(value):
    """The nearest integer to an exact fraction (no ties occur for components in 0..255)."""
    return math.floor(value + Fraction(1, 2))


def exact_index(r, g, b):
    """The palette index by exact arithmetic, independent of floating point."""
    if r == g == b:
        if r < 8:
            return 16
        if r > 248:
            return 231
        return 232 + nearest(Fraction(r - 8, 247) * 24)
    return 16 + 36 * nearest(Fraction(r * 5, 255)) + 6 * nearest(Fraction(g * 5, 255)) + nearest(Fraction(b * 5, 255))


def float_index(r, g, b):
    """The formulas with Python floats and round, as the module defines them for any integers."""
    if r == g and g == b:
        return 16 if r < 8 else 231 if r > 248 else 232 + round((r - 8) / 247 * 24.0)
    return 16 + 36 * round(r / 255 * 5.0) + 6 * round(g / 255 * 5.0) + round(b / 255 * 5.0)


@pytest.mark.parametrize("rgb, index", [
    ((0, 0, 0), 16), ((7, 7, 7), 16), ((8, 8, 8), 232), ((13, 13, 13), 232), ((14, 14, 14), 233),
    ((128, 128, 128), 244), ((248, 248, 248), 255), ((249, 249, 249), 231), ((255, 255, 255), 231),
    ((255, 0, 0), 196), ((0, 255, 0), 46), ((0, 0, 255), 21), ((255, 255, 0), 226), ((255, 128, 0), 214),
    ((100, 150, 200), 110), ((25, 26, 0), 22), ((1, 0, 0), 16), ((128, 128, 129), 145),
    ((300, 0, 0), 232), ((-30, 0, 0), -20), ((-5, -5, -5), 16), ((300, 300, 300), 231),
    ((10 ** 400,) * 3, 231), ((-(10 ** 400),) * 3, 16), ((2 ** 60, 0, 1), float_index(2 ** 60, 0, 1)),
    ((127.9, 127.2, 127.0), 244), ((True, 0, 0), 16), ((Decimal("255.5"), Fraction(1, 2), 0), 196),
])
def test_rgb_to_ansi256(colors, rgb, index):
    result = colors.rgb_to_ansi256(*rgb)
    assert result == index and type(result) is int
    assert colors.rgb_to_ansi256(r=rgb[0], g=rgb[1], b=rgb[2]) == index


def test_whole_grey_diagonal(colors):
    diagonal = [colors.rgb_to_ansi256(v, v, v) for v in range(256)]
    assert diagonal == [exact_index(v, v, v) for v in range(256)]
    # Each ramp step starts where expected (black below the first, white above the last).
    assert [v for v in range(1, 256) if diagonal[v] != diagonal[v - 1]] == [*GREY_STEP_STARTS, 249]
    assert [diagonal[v] for v in GREY_STEP_STARTS] == list(range(232, 256))


@pytest.mark.parametrize("level, bounds", list(enumerate(CUBE_LEVELS)))
def test_cube_level_boundaries(colors, level, bounds):
    for value in bounds:
        # The component in each position, the others fixed so the colour is never grey.
        assert colors.rgb_to_ansi256(value, 0, 255) == 16 + 36 * level + 5
        assert colors.rgb_to_ansi256(255, value, 0) == 16 + 180 + 6 * level
        assert colors.rgb_to_ansi256(0, 255, value) == 16 + 30 + level


@pytest.mark.parametrize("rgb", [(10 ** 400, 0, 0), (0, 0, 10 ** 400), (-(10 ** 400), 1, 1), (10 ** 400, 10 ** 400, 0)])
def test_huge_components_overflow_on_the_cube_path(colors, rgb):
    with pytest.raises(OverflowError) as info:
        colors.rgb_to_ansi256(*rgb)
    assert str(info.value) == "integer division result too large for a float"
    assert module_entries(info.value) == ["tintwell.colors.rgb_to_ansi256"]


@pytest.mark.parametrize("r", [
    5716674380599279, 3625048232635576, -5716674380599279,      # below 2**53
    224387754581432299, 113333266763331748,                      # above 2**53
])
def test_halves_round_to_even(colors, r):
    quotient = r / 255 * 5.0
    assert quotient % 1 == 0.5  # an exact tie in double precision
    below = math.floor(quotient)
    assert colors.rgb_to_ansi256(r, 0, 0) == 16 + 36 * (below if below % 2 == 0 else below + 1)


@pytest.mark.parametrize("rgb, tables", [((0, 0, 0), 1), ((255, 255, 255), 1), ((100, 150, 200), 1),
                                         ((True, 2, 3.9), 1), ((256, 0, 0), 0), ((0, -1, 0), 0), ((0, 0, 2 ** 63), 0)])
def test_bytes_go_through_the_tables(counts, rgb, tables):
    with counts["colors"].change("colors.ansi256_bytes") as moved:
        assert colors_module.rgb_to_ansi256(*rgb) == float_index(*(int(v) for v in rgb))
    assert moved == {"colors.ansi256_bytes": tables}


@given(st.integers(0, 255), st.integers(0, 255), st.integers(0, 255))
def test_matches_exact_nearest_level(r, g, b):
    assert colors_module.rgb_to_ansi256(r, g, b) == exact_index(r, g, b)


@given(st.integers(-(2 ** 70), 2 ** 70), st.integers(-(2 ** 70), 2 ** 70), st.integers(-(2 ** 70), 2 ** 70))
def test_matches_the_float_formulas_for_any_size(r, g, b):
    assert colors_module.rgb_to_ansi256(r, g, b) == float_index(r, g, b)


def test_round_is_captured_at_import(run_python):
    out = run_python("""
        import builtins, json, math
        saved = builtins.round
        builtins.round = math.floor           # replaced before import: used
        import tintwell.colors as colors
        builtins.round = saved
        floor_results = [colors.rgb_to_ansi256(230, 0, 0), colors.rgb_to_ansi256(100, 100, 100)]
        builtins.round = lambda value: 0      # replaced after import: ignored
        colors.round = lambda value: 0
        ignored = [colors.rgb_to_ansi256(230, 0, 0), colors.rgb_to_ansi256(100, 100, 100)]
        del builtins.round
        ignored.append(colors.rgb_to_ansi256(2 ** 60, 0, 0) == 16 + 36 * math.floor(2 ** 60 / 255 * 5.0))
        print(json.dumps([floor_results, ignored]))
    """)
    assert json.loads(out) == [[160, 240], [160, 240, True]]


def test_direct_route_gives_what_the_general_one_gives(run_python):
    # A round that is not the builtin, captured at import, sends every call the general way round.
    steps = range(0, 256, 15)
    inputs = [(v, v, v) for v in range(256)] + [(r, g, b) for r in steps for g in steps for b in steps]
    inputs += [(-300, 0, 0), (300, 300, 300), (-5, -5, -5), (256, 255, 255), (2 ** 30 - 1, 0, 1), (2 ** 30, 0, 1),
               (-(2 ** 30) + 1, 7, 7), (2 ** 53 + 1, 0, 0), (2 ** 60, 2 ** 60, 2 ** 60), (-(2 ** 70), 1, 2)]
    out = run_python("""
        import builtins, json, sys
        real = builtins.round
        builtins.round = lambda value: real(value)
        import tintwell.colors as colors
        builtins.round = real
        print(json.dumps([colors.rgb_to_ansi256(*rgb) for rgb in json.loads(sys.argv[1])]))
    """, json.dumps(inputs))
    assert json.loads(out) == [colors_module.rgb_to_ansi256(*rgb) for rgb in inputs]


def test_captured_round_sees_the_double_products(run_python):
    out = run_python("""
        import builtins, json
        seen, saved = [], builtins.round
        def recording(value):
            seen.append(value)
            return saved(value)
        builtins.round = recording
        import tintwell.colors as colors
        results = [colors.rgb_to_ansi256(255, 128, 1), colors.rgb_to_ansi256(100, 100, 100),
                   colors.rgb_to_ansi256(5, 5, 5), colors.rgb_to_ansi256(-(2 ** 80), 1, 1)]
        print(json.dumps([results, [float.hex(v) for v in seen]]))
    """)
    results, seen = json.loads(out)
    assert results == [exact_index(255, 128, 1), exact_index(100, 100, 100), 16, float_index(-(2 ** 80), 1, 1)]
    # Divide first, then multiply, in double precision; no call for the grey ends.
    expected = [255 / 255 * 5.0, 128 / 255 * 5.0, 1 / 255 * 5.0, (100 - 8) / 247 * 24.0,
                -(2 ** 80) / 255 * 5.0, 1 / 255 * 5.0, 1 / 255 * 5.0]
    assert [float.fromhex(v) for v in seen] == expected


@pytest.mark.parametrize("mode", sorted(ROUNDING_MODES.get(platform.machine(), {})))
def test_rounding_mode_plays_no_part(mode):
    # Under another floating-point rounding mode the quotients may differ in their last bit, exactly
    # as Python's own arithmetic does; rounding them must still be the builtin round's.
    diagonal = [(v, v, v) for v in range(256)]
    cube = [(v, 255 - v, v // 2) for v in range(256) if not v == 255 - v == v // 2]
    inputs = diagonal + cube
    got = under_rounding_mode(ROUNDING_MODES[platform.machine()][mode],
                              lambda: [(colors_module.rgb_to_ansi256(*rgb), float_index(*rgb)) for rgb in inputs])
    assert [mine for mine, _ in got] == [python for _, python in got]
    assert [mine for mine, _ in got] == [exact_index(*rgb) for rgb in inputs]
