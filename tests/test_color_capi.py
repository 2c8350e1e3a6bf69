"""Color's C interface as native callers use it: the published method table and object layout,
each of the 6 slots called by position through ctypes with the interpreter lock held (a
PYFUNCTYPE call raises any exception a slot leaves pending), the override rule of the slots
fade and to_int, reference counts, and raylib's colour helpers behind tint, to_int and equal."""

from vexlar.color.color import Color
from vexlar.vector4.vector4 import Vector4

import ctypes
import importlib.util
import math
import pathlib
import struct
import subprocess
import sys
import sysconfig
import textwrap

import pytest

from support import (HEADER, Idx, IntLike, IntSub, POINTER, SKIPS, SubColor, Vector4Object,
                     assert_every_slot_is_filled, assert_slot_keeps_counts, assert_table_capsule, channels,
                     exact, f32, method_table, package_entries, table_address)

MODULE = "vexlar.color.color"
SRC = "src/vexlar/color/color.cpp"
INV255 = 0.00392156862745098

PACKAGE_DIR = pathlib.Path(importlib.util.find_spec("vexlar").submodule_search_locations[0])
RAYLIB = PACKAGE_DIR.parent / "vexlar.libs" / "libraylib.so.600"
COLOR_LIBRARY = PACKAGE_DIR / "color" / ("color" + sysconfig.get_config_var("EXT_SUFFIX"))

O, I, F = ctypes.py_object, ctypes.c_int, ctypes.c_float

# Slot order is fixed: native modules index the table by position.
SLOTS = [
    ("new", O, (I, I, I, I)),
    ("c_equal", I, (O, O)),
    ("c_normalize", O, (O,)),
    ("c_tint", O, (O, O)),
    ("fade", None, (O, F, I)),
    ("to_int", I, (O, I)),
]


class ColorTable(ctypes.Structure):
    """The table as a C caller declares it. Object results are new references, which ctypes
    takes over."""

    _fields_ = [(name, ctypes.PYFUNCTYPE(result, *args)) for name, result, args in SLOTS]


class RlColor(ctypes.Structure):
    """raylib's Color record."""

    _fields_ = [("r", ctypes.c_ubyte), ("g", ctypes.c_ubyte), ("b", ctypes.c_ubyte), ("a", ctypes.c_ubyte)]


class ColorObject(ctypes.Structure):
    """A Color instance as native code sees it: header, table pointer, four bytes."""

    _fields_ = [("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p), ("raw", RlColor)]


@pytest.fixture(scope="module")
def vt():
    return method_table(Color, ColorTable)


@pytest.fixture(scope="module")
def raylib():
    lib = ctypes.CDLL(str(RAYLIB))
    lib.ColorTint.argtypes = [RlColor, RlColor]
    lib.ColorTint.restype = RlColor
    lib.ColorToInt.argtypes = [RlColor]
    lib.ColorToInt.restype = ctypes.c_int
    lib.ColorIsEqual.argtypes = [RlColor, RlColor]
    lib.ColorIsEqual.restype = ctypes.c_bool
    return lib


def raw(c):
    """The four stored bytes, read where native code reads them."""
    record = ColorObject.from_address(id(c)).raw
    return (record.r, record.g, record.b, record.a)


def record(values):
    return RlColor(*values)


def assert_fresh_color(c, values):
    """A colour made by a slot: exactly a Color, table pointer set, only our reference."""
    assert type(c) is Color
    assert ColorObject.from_address(id(c)).vtab == table_address(Color)
    assert channels(c) == raw(c) == tuple(values)
    assert sys.getrefcount(c) == sys.getrefcount(object())


# --------------------------------------------------------------------- publication and layout


def test_capsule_is_unnamed_without_destructor_and_stable():
    assert_table_capsule(Color, "vexlar.color.color.Color")
    assert "__pyx_vtable__" not in SubColor.__dict__


def test_every_slot_is_filled(vt):
    assert len(ColorTable._fields_) == 6
    slots = assert_every_slot_is_filled(Color, vt, SLOTS)
    assert len(set(slots)) == 6


def test_instance_size_is_the_c_layout():
    expected = (HEADER + POINTER + 4 + 7) // 8 * 8
    assert ColorObject.vtab.offset == HEADER
    assert ColorObject.raw.offset == HEADER + POINTER
    assert Color.__basicsize__ == expected
    assert Color.__itemsize__ == 0


@pytest.mark.parametrize("make", [
    lambda vt: Color(1, 2, 3, 4),
    lambda vt: Color.__new__(Color),
    lambda vt: SubColor(1, 2, 3, 4),
    lambda vt: Color.from_normalized(Vector4(1, 0.5, 0, 1)),
    lambda vt: Color(1, 2, 3).tint(Color(4, 5, 6)),
    lambda vt: vt.new(1, 2, 3, 4),
    lambda vt: vt.c_tint(Color(1, 2, 3), Color(4, 5, 6)),
], ids=["init", "alloc", "subclass", "from_normalized", "tint", "slot-new", "slot-c_tint"])
def test_every_instance_points_at_the_table_and_holds_its_payload(vt, make):
    c = make(vt)
    assert ColorObject.from_address(id(c)).vtab == table_address(Color)
    assert raw(c) == channels(c)


def test_payload_written_in_place_is_seen_from_python():
    c = Color(1, 2, 3, 4)
    payload = ColorObject.from_address(id(c)).raw
    payload.r, payload.a = 250, 0
    assert channels(c) == (250, 2, 3, 0)
    c.green = 77
    assert payload.g == 77


# ------------------------------------------------------------------------------- slot new


@pytest.mark.parametrize("values, expected", [
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((0, 0, 0, 0), (0, 0, 0, 0)),
    ((255, 255, 255, 255), (255, 255, 255, 255)),
    ((300, -5, 128, 1000), (255, 0, 128, 255)),
    ((256, -1, 254, 1), (255, 0, 254, 1)),
    ((2**31 - 1, -2**31, -2**31, 2**31 - 1), (255, 0, 0, 255)),
])
def test_new_clamps_each_channel(vt, values, expected):
    c = vt.new(*values)
    assert_fresh_color(c, expected)


# --------------------------------------------------------------------------- slot c_equal


@pytest.mark.parametrize("a, b, expected", [
    ((1, 2, 3, 255), (1, 2, 3, 255), 1),
    ((1, 2, 3, 255), (1, 2, 3, 254), 0),
    ((0, 0, 0, 0), (0, 0, 0, 0), 1),
    ((9, 2, 3, 4), (1, 2, 3, 4), 0),
    ((1, 9, 3, 4), (1, 2, 3, 4), 0),
    ((1, 2, 9, 4), (1, 2, 3, 4), 0),
    ((255, 255, 255, 255), (255, 255, 255, 254), 0),
])
@pytest.mark.parametrize("left_type, right_type", [(Color, Color), (SubColor, Color), (Color, SubColor)])
def test_c_equal(vt, a, b, expected, left_type, right_type):
    left, right = left_type(*a), right_type(*b)
    assert vt.c_equal(left, right) == expected
    assert vt.c_equal(right, left) == expected
    assert vt.c_equal(left, left) == 1
    assert channels(left) == a and channels(right) == b


# ----------------------------------------------------------------------- slot c_normalize


@pytest.mark.parametrize("values", [(255, 0, 51, 255), (33, 0, 0, 0), (1, 127, 128, 254), (0, 0, 0, 0)])
@pytest.mark.parametrize("cls", [Color, SubColor])
def test_c_normalize_returns_a_vector4(vt, values, cls):
    c = cls(*values)
    v = vt.c_normalize(c)
    assert type(v) is Vector4
    payload = Vector4Object.from_address(id(v))
    assert (payload.x, payload.y, payload.z, payload.w) == tuple(x * INV255 for x in values)
    assert (v.x, v.y, v.z, v.w) == tuple(x * INV255 for x in values)
    assert sys.getrefcount(v) == sys.getrefcount(object())
    assert channels(c) == values


def test_c_normalize_example(vt):
    assert vt.c_normalize(Color(33, 0, 0, 0)).x == 0.12941176470588234
    v = vt.c_normalize(Color(255, 0, 51, 255))
    assert (v.x, v.y, v.z, v.w) == (1.0, 0.0, 0.2, 1.0)


# --------------------------------------------------------------------------- slot c_tint

TINT_PAIRS = [
    ((0, 0, 0, 0), (10, 20, 30, 40)),
    ((10, 20, 30, 40), (0, 0, 0, 0)),
    ((255, 255, 255, 255), (255, 255, 255, 255)),
    ((200, 100, 50, 255), (255, 255, 255, 255)),
    ((255, 255, 255, 255), (200, 100, 50, 25)),
    ((128, 128, 128, 128), (128, 128, 128, 128)),
    ((1, 2, 3, 4), (254, 253, 252, 251)),
    ((17, 51, 85, 119), (153, 187, 221, 255)),
    ((255, 0, 255, 0), (0, 255, 0, 255)),
    ((99, 199, 33, 66), (77, 5, 250, 180)),
]


@pytest.mark.parametrize("a, b", TINT_PAIRS)
def test_c_tint_is_raylibs_color_tint(vt, raylib, a, b):
    base, tint = Color(*a), SubColor(*b)
    r = vt.c_tint(base, tint)
    expected = raylib.ColorTint(record(a), record(b))
    assert_fresh_color(r, (expected.r, expected.g, expected.b, expected.a))
    assert r is not base and r is not tint
    assert channels(base) == a and channels(tint) == b
    assert channels(base.tint(tint)) == channels(r)


def test_c_tint_with_self_as_tint(vt, raylib):
    c = Color(100, 150, 200, 250)
    r = vt.c_tint(c, c)
    expected = raylib.ColorTint(record((100, 150, 200, 250)), record((100, 150, 200, 250)))
    assert_fresh_color(r, (expected.r, expected.g, expected.b, expected.a))
    assert channels(c) == (100, 150, 200, 250)


# ------------------------------------------------------------------ slots fade and to_int

FADES = [
    (0.5, 127), (0.2, 51), (0.7, 178), (1.0, 255), (2.0, 255), (-1.0, 0), (math.nan, 255),
    (math.inf, 255), (-math.inf, 0), (0.0, 0), (-0.0, 0), (1 - 1e-10, 255), (2 / 255 - 1e-12, 2),
]


@SKIPS
@pytest.mark.parametrize("alpha, expected", FADES)
@pytest.mark.parametrize("cls", [Color, SubColor])
def test_fade_slot(vt, skip, alpha, expected, cls):
    c = cls(10, 20, 30, 99)
    assert vt.fade(c, alpha, skip) is None
    assert channels(c) == (10, 20, 30, expected)


@SKIPS
@pytest.mark.parametrize("values, expected", [
    ((1, 2, 3, 4), 16909060), ((255, 255, 255, 255), -1), ((128, 0, 0, 0), -2147483648),
    ((0, 0, 0, 255), 255), ((0, 0, 0, 0), 0), ((127, 255, 255, 255), 2147483647),
])
@pytest.mark.parametrize("cls", [Color, SubColor])
def test_to_int_slot(vt, skip, values, expected, cls):
    c = cls(*values)
    assert vt.to_int(c, skip) == expected
    assert channels(c) == values


# ------------------------------------------------------------------------ the override rule


def fade_override(seen, result=None):
    class FadeOverride(Color):
        def fade(self, alpha):
            seen.append((self, alpha, type(alpha)))
            if isinstance(result, BaseException):
                raise result
            return result
    return FadeOverride


def to_int_override(result, seen=None):
    class ToIntOverride(Color):
        def to_int(self):
            if seen is not None:
                seen.append(self)
            if isinstance(result, BaseException):
                raise result
            return result
    return ToIntOverride


@pytest.mark.parametrize("alpha", [0.5, 0.2, 0.1, 1e-45, -3.0, math.inf])
@pytest.mark.parametrize("result", [None, "discarded", 7, Color(1, 1, 1)])
def test_fade_override_receives_the_single_as_a_float_and_its_result_is_discarded(vt, alpha, result):
    seen = []
    c = fade_override(seen, result)(10, 20, 30, 40)
    assert vt.fade(c, alpha, 0) is None
    assert len(seen) == 1
    receiver, got, kind = seen[0]
    assert receiver is c and kind is float
    assert got == f32(alpha)
    assert channels(c) == (10, 20, 30, 40)


def test_fade_override_is_bypassed_with_skip_1(vt):
    seen = []
    c = fade_override(seen)(10, 20, 30, 40)
    assert vt.fade(c, 0.5, 1) is None
    assert seen == []
    assert channels(c) == (10, 20, 30, 127)
    # the Python-level methods: the subclass's own, or through the type the built-in one
    c.fade(0.2)
    assert len(seen) == 1 and c.a == 127
    Color.fade(c, 0.2)
    assert len(seen) == 1 and c.a == 51


def test_nan_alpha_reaches_the_override_as_nan(vt):
    seen = []
    c = fade_override(seen)(10, 20, 30, 40)
    vt.fade(c, math.nan, 0)
    assert math.isnan(seen[0][1])


@pytest.mark.parametrize("error", [ValueError("no fading"), ZeroDivisionError("boom"), KeyError("k")])
def test_failing_fade_override_leaves_its_exception_pending(vt, error):
    seen = []
    c = fade_override(seen, error)(10, 20, 30, 40)
    with pytest.raises(type(error)) as excinfo:
        vt.fade(c, 0.5, 0)
    assert excinfo.value is error
    assert len(seen) == 1
    assert channels(c) == (10, 20, 30, 40)
    assert [e.name for e in package_entries(excinfo.value, SRC)] == [f"{MODULE}.Color.fade"]
    assert vt.fade(c, 0.5, 1) is None
    assert c.a == 127


def test_fade_override_that_calls_the_built_in_method(vt):
    seen = []

    class Chained(Color):
        def fade(self, alpha):
            seen.append(alpha)
            super().fade(alpha)

    c = Chained(1, 2, 3, 4)
    assert vt.fade(c, 0.2, 0) is None
    assert seen == [f32(0.2)]
    assert channels(c) == (1, 2, 3, 51)


@pytest.mark.parametrize("result, expected", [
    (7, 7), (-1, -1), (0, 0), (2**31 - 1, 2**31 - 1), (-2**31, -2**31), (True, 1), (False, 0),
    (2.9, 2), (-2.9, -2), (IntSub(300), 300), (IntLike(-400), -400), (1000, 1000),
])
def test_to_int_override_result_goes_through_int_conversion(vt, result, expected):
    seen = []
    c = to_int_override(result, seen)(1, 2, 3, 4)
    assert vt.to_int(c, 0) == expected
    assert seen == [c]
    assert vt.to_int(c, 1) == 16909060
    assert seen == [c]
    assert c.to_int() is result                 # the subclass's own Python method
    assert Color.to_int(c) == 16909060          # the built-in one through the type


@pytest.mark.parametrize("result, exc, message", [
    ("x", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
    (Idx(3), TypeError, "an integer is required"),
    (IntLike("7"), TypeError, "__int__ returned non-int (type str)"),
    (2**31, OverflowError, "value too large to convert to int"),
    (-2**31 - 1, OverflowError, "value too large to convert to int"),
    (LookupError("raised"), LookupError, "raised"),
])
def test_failing_to_int_override_fails_the_slot(vt, result, exc, message):
    c = to_int_override(result)(1, 2, 3, 4)
    with exact(exc, message) as excinfo:
        vt.to_int(c, 0)
    assert f"{MODULE}.Color.to_int" in [e.name for e in package_entries(excinfo.value, SRC)]
    assert vt.to_int(c, 1) == 16909060


@pytest.mark.parametrize("result, exc", [
    ("x", TypeError), (None, TypeError), (2**31, OverflowError), (LookupError("raised"), LookupError),
    (-1, None), (0, None),
])
def test_failing_to_int_override_returns_zero_with_the_exception_pending(vt, native_call, result, exc):
    c = to_int_override(result)(255, 255, 255, 255)
    value, pending = native_call(vt.to_int, c, 0)
    if exc is None:
        assert (value, pending) == (result, None)
    else:
        assert value == 0
        assert type(pending) is exc
    assert native_call(vt.to_int, c, 1) == (-1, None)


def test_plain_colours_and_subclasses_without_overrides_never_dispatch(vt):
    class Plain(Color):
        __slots__ = ()

    class Aliased(Color):
        fade = Color.fade
        to_int = Color.to_int

    for cls in (Color, SubColor, Plain, Aliased):
        c = cls(1, 2, 3, 4)
        assert vt.to_int(c, 0) == 16909060
        vt.fade(c, 0.5, 0)
        assert channels(c) == (1, 2, 3, 127)


def test_only_the_overridden_slot_dispatches(vt):
    seen = []
    c = fade_override(seen)(1, 2, 3, 4)
    assert vt.to_int(c, 0) == 16909060
    d = to_int_override(99)(1, 2, 3, 4)
    vt.fade(d, 0.5, 0)
    assert d.a == 127
    assert seen == []


def test_override_found_on_the_instance(vt):
    c = SubColor(1, 2, 3, 4)
    got = []
    c.fade = lambda alpha: got.append(alpha)
    c.to_int = lambda: 42
    vt.fade(c, 0.5, 0)
    assert got == [0.5] and c.a == 4
    assert vt.to_int(c, 0) == 42
    vt.fade(c, 0.5, 1)
    assert c.a == 127
    assert vt.to_int(c, 1) == 0x0102037F


def test_override_that_is_not_callable_fails_the_slot(vt):
    c = SubColor(1, 2, 3, 4)
    c.fade = 5
    c.to_int = "nope"
    with pytest.raises(TypeError):
        vt.fade(c, 0.5, 0)
    with pytest.raises(TypeError):
        vt.to_int(c, 0)
    assert c.a == 4


def test_failing_override_lookup_fails_the_slot(vt):
    class Guarded(Color):
        def __getattribute__(self, name):
            if name in ("fade", "to_int"):
                raise LookupError(name)
            return super().__getattribute__(name)

    c = Guarded(1, 2, 3, 4)
    with exact(LookupError, "fade"):
        vt.fade(c, 0.5, 0)
    with exact(LookupError, "to_int"):
        vt.to_int(c, 0)
    assert c.a == 4
    assert vt.to_int(c, 1) == 16909060
    vt.fade(c, 0.5, 1)
    assert c.a == 127


# ---------------------------------------------------------------------- reference counts

SENTINEL = object()


def colour(*values):
    return Color(*values)


# name, arguments (made fresh), whether the result is a new object
CALLS = [
    ("new", lambda: (1, 2, 3, 4), True),
    ("c_equal", lambda: (colour(1, 2, 3), colour(1, 2, 3)), False),
    ("c_normalize", lambda: (colour(1, 2, 3),), True),
    ("c_tint", lambda: (colour(1, 2, 3), colour(4, 5, 6)), True),
    ("fade", lambda: (colour(1, 2, 3), 0.5, 0), False),
    ("fade", lambda: (colour(1, 2, 3), 0.5, 1), False),
    ("to_int", lambda: (colour(1, 2, 3), 0), False),
    ("to_int", lambda: (colour(1, 2, 3), 1), False),
]


def test_all_slots_are_covered_by_the_count_cases():
    assert {name for name, _, _ in CALLS} == {name for name, _, _ in SLOTS}


@pytest.mark.parametrize("name, make_args, fresh", CALLS, ids=[f"{c[0]}-{i}" for i, c in enumerate(CALLS)])
def test_slots_neither_leak_nor_over_release(vt, name, make_args, fresh):
    assert_slot_keeps_counts(getattr(vt, name), make_args(), fresh)


def test_override_calls_neither_leak_nor_over_release(vt):
    fades = []
    faded = fade_override(fades, SENTINEL)(1, 2, 3, 4)
    counted = to_int_override(IntLike(5))(1, 2, 3, 4)
    failing = to_int_override(SENTINEL)(1, 2, 3, 4)

    class Raising(Color):
        def fade(self, alpha):
            raise ValueError("x")       # a new exception each time: no traceback accumulates

    raising = Raising(1, 2, 3, 4)
    objs = [SENTINEL, faded, counted, failing, raising]
    vt.fade(faded, 0.5, 0)
    fades.clear()
    before = [sys.getrefcount(o) for o in objs]
    for _ in range(1000):
        vt.fade(faded, 0.5, 0)
        assert vt.to_int(counted, 0) == 5
        with pytest.raises(TypeError):
            vt.to_int(failing, 0)
        with pytest.raises(ValueError):
            vt.fade(raising, 0.5, 0)
    fades.clear()
    assert [sys.getrefcount(o) for o in objs] == before


# ------------------------------------------------------------------------------- raylib


def test_the_module_links_the_shipped_raylib():
    dynamic = subprocess.run(["objdump", "-p", str(COLOR_LIBRARY)], capture_output=True, text=True,
                             check=True).stdout
    assert "NEEDED               libraylib.so.600" in dynamic
    assert "$ORIGIN/../../vexlar.libs" in dynamic
    code = textwrap.dedent("""
        import warnings
        warnings.simplefilter("ignore")
        import vexlar.color.color
        print(sorted({line.split()[-1] for line in open("/proc/self/maps") if "libraylib" in line}))
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert [pathlib.Path(p).resolve() for p in eval(out)] == [RAYLIB.resolve()]


def sweep():
    """Channel pairs covering every value of the receiver and of the tint, spread over all
    four channels."""
    for x in range(256):
        for y in range(0, 256, 3):
            yield (x, y, (x + y) % 256, 255 - x), (y, x, 255 - y, (x * 7) % 256)


@pytest.mark.parametrize("a, b", TINT_PAIRS)
def test_tint_is_raylibs_color_tint(raylib, a, b):
    expected = raylib.ColorTint(record(a), record(b))
    assert channels(Color(*a).tint(Color(*b))) == (expected.r, expected.g, expected.b, expected.a)


def test_tint_agrees_with_raylib_over_all_channel_values(vt, raylib):
    mismatches = []
    for a, b in sweep():
        expected = raylib.ColorTint(record(a), record(b))
        expected = (expected.r, expected.g, expected.b, expected.a)
        got = channels(Color(*a).tint(Color(*b)))
        if got != expected or channels(vt.c_tint(Color(*a), Color(*b))) != expected:
            mismatches.append((a, b, got, expected))
    assert mismatches[:10] == []


def test_to_int_is_raylibs_color_to_int(vt, raylib):
    mismatches = []
    for a, _ in sweep():
        expected = raylib.ColorToInt(record(a))
        c = Color(*a)
        if not (c.to_int() == vt.to_int(c, 0) == vt.to_int(c, 1) == expected
                == struct.unpack(">i", bytes(a))[0]):
            mismatches.append((a, c.to_int(), expected))
    assert mismatches[:10] == []


@pytest.mark.parametrize("a, b", [
    ((1, 2, 3, 4), (1, 2, 3, 4)), ((1, 2, 3, 4), (0, 2, 3, 4)), ((1, 2, 3, 4), (1, 3, 3, 4)),
    ((1, 2, 3, 4), (1, 2, 2, 4)), ((1, 2, 3, 4), (1, 2, 3, 5)), ((0, 0, 0, 0), (0, 0, 0, 0)),
    ((255, 255, 255, 255), (255, 255, 255, 255)), ((255, 0, 0, 0), (0, 0, 0, 255)),
])
def test_equality_is_raylibs_color_is_equal(vt, raylib, a, b):
    expected = raylib.ColorIsEqual(record(a), record(b))
    left, right = Color(*a), Color(*b)
    assert left.equal(right) is expected
    assert (left == right) is expected
    assert (left != right) is (not expected)
    assert vt.c_equal(left, right) == int(expected)
