"""Rect's C interface as native callers use it: the published method table and object layout,
each of the 14 slots called by position through ctypes with the interpreter lock held (a
PYFUNCTYPE call raises any exception a slot leaves pending), the override rule of the
overridable slots, the C sequence protocol, and the checks made when the module imports its
companion types."""

from vexlar.rect.rect import Rect
from vexlar.vector2.vector2 import Vector2
from vexlar.vector4.vector4 import Vector4

import ast
import ctypes
import math
import struct
import subprocess
import sys
import textwrap

import pytest

from support import (Flt, HEADER, Idx, POINTER, SKIPS, SubRect, V2Sub, V4Sub, Vector4Object, api_function,
                     assert_every_slot_is_filled, assert_failing_slot_keeps_counts, assert_slot_keeps_counts,
                     assert_table_capsule, exact, f32, method_table, numbers, table_address, traceback_names)

MODULE = "vexlar.rect.rect"
SRC = "src/vexlar/rect/rect.cpp"
V4_NAME = "vexlar.vector4.vector4.Vector4"
POINT = "Point must be a Vector2, tuple, or list of length 2"
RECT_SHAPE = "rect for collision must be a Rect, Vector4, tuple, or list of length 4"

O, I, D, F = ctypes.py_object, ctypes.c_int, ctypes.c_double, ctypes.c_float


class Rectangle(ctypes.Structure):
    _fields_ = [("x", F), ("y", F), ("width", F), ("height", F)]


# Slot order is fixed: native modules index the table by position.
SLOTS = [
    ("new", O, (Rectangle,)),
    ("get_width", O, (O, I)),
    ("get_height", O, (O, I)),
    ("collide_point", I, (O, O, I)),
    ("collide_point_vector2", I, (O, O, I)),
    ("collide_point_tuple", I, (O, O, I)),
    ("collide_point_list", I, (O, O, I)),
    ("collide_rect", I, (O, O, I)),
    ("collide_rect_vector4", I, (O, O, I)),
    ("collide_rect_rect", I, (O, O, I)),
    ("collide_rect_tuple", I, (O, O, I)),
    ("collide_rect_list", I, (O, O, I)),
    ("get_vector4", O, (O, I)),
    ("get_tuple", O, (O, I)),
]
TRUTH_SLOTS = [name for name, result, _ in SLOTS if result is I]


class RectTable(ctypes.Structure):
    """The table as a C caller declares it. Object results are new references, which ctypes
    takes over."""

    _fields_ = [(name, ctypes.PYFUNCTYPE(result, *args)) for name, result, args in SLOTS]


class RectObject(ctypes.Structure):
    _fields_ = [("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p), ("raw", Rectangle)]


class Vector2Object(ctypes.Structure):
    _fields_ = [("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p), ("x", F), ("y", F)]


@pytest.fixture(scope="module")
def vt():
    return method_table(Rect, RectTable)


def record(x, y, w, h):
    return Rectangle(x, y, w, h)


def raw_bits(r):
    return bytes(RectObject.from_address(id(r)).raw)


def want(values):
    return struct.pack("4f", *(f32(v) for v in values))


# --------------------------------------------------------------------- publication and layout


def test_capsule_is_unnamed_without_destructor_and_stable():
    assert_table_capsule(Rect, "vexlar.rect.rect.Rect")


def test_every_slot_is_filled(vt):
    assert len(SLOTS) == 14
    assert_every_slot_is_filled(Rect, vt, SLOTS)


def test_sizes_are_the_c_layouts():
    assert RectObject.vtab.offset == HEADER
    assert RectObject.raw.offset == HEADER + POINTER
    assert Rect.__basicsize__ == ctypes.sizeof(RectObject) == HEADER + POINTER + 16
    assert Rect.__itemsize__ == 0
    # the companions as this module's header declares them
    assert Vector2.__basicsize__ == ctypes.sizeof(Vector2Object) == HEADER + POINTER + 8
    assert Vector4.__basicsize__ == ctypes.sizeof(Vector4Object) == HEADER + POINTER + 32


@pytest.mark.parametrize("make", [
    lambda vt: Rect(),
    lambda vt: Rect(1.5, -2, 0.1, 4),
    lambda vt: Rect.__new__(Rect),
    lambda vt: Rect((1, 2), Vector2(3, 4)),
    lambda vt: SubRect(1, 2, 3, 4),
    lambda vt: Rect.__new__(SubRect),
    lambda vt: vt.new(record(1.5, -2, 0.1, 4)),
], ids=["init-empty", "init-four", "alloc", "init-pair", "subclass", "subclass-alloc", "slot-new"])
def test_every_instance_points_at_the_table_and_holds_its_record(vt, make):
    r = make(vt)
    raw = RectObject.from_address(id(r))
    assert raw.vtab == table_address(Rect)
    assert (raw.raw.x, raw.raw.y, raw.raw.width, raw.raw.height) == (r.x, r.y, r.w, r.h)


def test_record_written_in_place_is_seen_from_python():
    r = Rect(1, 2, 3, 4)
    raw = RectObject.from_address(id(r)).raw
    raw.x, raw.height = -0.5, 1e30
    assert (r.x, r.y, r.w, r.h) == (-0.5, 2.0, 3.0, f32(1e30))
    assert r[3] == f32(1e30) and r.bottom == f32(2 + f32(1e30))
    r.width = 0.1
    assert raw.width == f32(0.1)


def test_companion_objects_made_by_rect_come_from_their_tables():
    r = Rect(1, 2, 3, 4)
    c = r.center
    assert type(c) is Vector2
    assert Vector2Object.from_address(id(c)).vtab == table_address(Vector2)
    assert (Vector2Object.from_address(id(c)).x, Vector2Object.from_address(id(c)).y) == (2.5, 4.0)
    v = r.get_vector4()
    assert type(v) is Vector4
    raw = Vector4Object.from_address(id(v))
    assert raw.vtab == table_address(Vector4)
    assert (raw.x, raw.y, raw.z, raw.w) == (1.0, 2.0, 3.0, 4.0)


# ---------------------------------------------------------------------------------------- new


@pytest.mark.parametrize("bits", [
    struct.pack("4f", 1, 2, 3, 4),
    struct.pack("4f", -0.0, math.inf, -math.inf, f32(0.1)),
    struct.pack("<4I", 0x7FC00001, 0xFFC12345, 0x00000001, 0x807FFFFF),   # NaN payloads, subnormals
    struct.pack("4f", -1, -2, -3e38, 3.4028234663852886e38),
])
def test_new_copies_the_record_unchanged(vt, bits):
    r = vt.new(Rectangle.from_buffer_copy(bits))
    assert type(r) is Rect
    assert RectObject.from_address(id(r)).vtab == table_address(Rect)
    assert raw_bits(r) == bits


def test_new_gives_independent_objects_with_a_single_reference(vt):
    rec = record(1, 2, 3, 4)
    a, b = vt.new(rec), vt.new(rec)
    assert a is not b and a == b
    assert sys.getrefcount(a) == sys.getrefcount(object())
    a.x = 9
    assert b.x == 1.0 and rec.x == 1.0


# ------------------------------------------------------------------------- width and height


@SKIPS
@pytest.mark.parametrize("cls", [Rect, SubRect])
@pytest.mark.parametrize("values", [(1, 2, 3, 4), (0, 0, 0.1, -0.0), (0, 0, math.inf, 2**24 + 1)])
def test_width_and_height_slots(vt, skip, cls, values):
    r = cls(*values)
    w, h = vt.get_width(r, skip), vt.get_height(r, skip)
    assert type(w) is float and type(h) is float
    assert struct.pack("2f", w, h) == struct.pack("2f", f32(values[2]), f32(values[3]))


# ----------------------------------------------------------------------------- collision slots

BOX = (0, 0, 10, 10)

COLLISIONS = [
    ("collide_point", lambda: (5, 5), 1),
    ("collide_point", lambda: [10, 10], 1),
    ("collide_point", lambda: Vector2(0, 10), 1),
    ("collide_point", lambda: V2Sub(5, 10.5), 0),
    ("collide_point", lambda: (Flt(10.001), Idx(5)), 0),
    ("collide_point", lambda: (math.nan, 5), 0),
    ("collide_point_vector2", lambda: Vector2(10, 10), 1),
    ("collide_point_vector2", lambda: V2Sub(-1, 5), 0),
    ("collide_point_tuple", lambda: (0, 0), 1),
    ("collide_point_tuple", lambda: (5, 5, "ignored"), 1),
    ("collide_point_tuple", lambda: (50, "not evaluated"), 0),
    ("collide_point_list", lambda: [10, 0], 1),
    ("collide_point_list", lambda: [5, 10.001], 0),
    ("collide_rect", lambda: Rect(9.5, 9.5, 5, 5), 1),
    ("collide_rect", lambda: SubRect(10, 0, 5, 5), 0),
    ("collide_rect", lambda: Vector4(5, 5, 10, 10), 1),
    ("collide_rect", lambda: (-5, -5, 5, 5), 0),
    ("collide_rect", lambda: [2, 2, 1, 1], 1),
    ("collide_rect_vector4", lambda: Vector4(2, 2, 1, 1), 1),
    ("collide_rect_vector4", lambda: V4Sub(10, 0, 5, 5), 0),
    ("collide_rect_rect", lambda: Rect(2, 2, 1, 1), 1),
    ("collide_rect_rect", lambda: Rect(-5, -5, 5, 5), 0),
    ("collide_rect_rect", lambda: SubRect(5, 5, 10, 10), 1),
    ("collide_rect_tuple", lambda: (9.5, 9.5, 5, 5), 1),
    ("collide_rect_tuple", lambda: (0, 10, 10, 5), 0),
    ("collide_rect_list", lambda: [-1, -1, 12, 12, "ignored"], 1),
    ("collide_rect_list", lambda: [math.nan, 0, 5, 5], 0),
]


@SKIPS
@pytest.mark.parametrize("name, make_arg, expected", COLLISIONS)
def test_collision_slots(vt, skip, name, make_arg, expected):
    r = Rect(*BOX)
    arg = make_arg()
    assert getattr(vt, name)(r, arg, skip) == expected
    assert r.get_tuple() == BOX


def test_collision_slots_follow_the_single_precision_rules(vt):
    assert vt.collide_rect(Rect(1, 1, 10, 10), Rect(0.5, 0, 0.5 + 2**-24, 10), 1) == 1
    assert vt.collide_rect_rect(Rect(1, 1, 10, 10), Rect(0.5, 0, 0.5 + 2**-24, 10), 1) == 0
    assert vt.collide_point(Rect(2**24, 0, 1, 1), (2**24 + 0.5, 0.5), 1) == 0
    assert vt.collide_point(Rect(0, 0, 2**53, 1), (2**53 + 1, 0), 1) == 1
    assert vt.collide_point_tuple(Rect(0, 0, 2**53, 1), (2**53 + 1, 0), 1) == 0


@pytest.mark.parametrize("name, arg, exc, message", [
    ("collide_point", 5, ValueError, POINT),
    ("collide_point", (1, 2, 3), ValueError, POINT),
    ("collide_point", ("a", 1), TypeError, None),
    ("collide_point_tuple", (5, "a"), TypeError, None),
    ("collide_point_tuple", (1,), ValueError, POINT),
    ("collide_point_list", [], ValueError, POINT),
    ("collide_rect", None, ValueError, RECT_SHAPE),
    ("collide_rect", [1, 2, 3, "a"], TypeError, None),
    ("collide_rect_tuple", (1, 2, 3), ValueError, RECT_SHAPE),
    ("collide_rect_list", [2, "b", 1, 1], TypeError, None),
    ("collide_rect_list", [2], ValueError, RECT_SHAPE),
])
def test_failing_collision_slots_raise_and_add_their_entry(vt, name, arg, exc, message):
    with pytest.raises(exc) as excinfo:
        getattr(vt, name)(Rect(*BOX), arg, 1)
    if message is not None:
        assert str(excinfo.value) == message
    assert (f"{MODULE}.Rect.{name}", SRC) in traceback_names(excinfo.value)


def test_collide_rect_rect_slot_given_none_fails_without_reading_a_record():
    # run apart: reading a record through None would crash the interpreter; any exception
    # (the Python method's is a TypeError) is a sound answer
    out = run_fresh("""
        import ctypes
        from vexlar.rect.rect import Rect
        cap = Rect.__dict__["__pyx_vtable__"]
        get = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)(
            ("PyCapsule_GetPointer", ctypes.pythonapi))
        table = (ctypes.c_void_p * 14).from_address(get(cap, None))
        slot = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.py_object, ctypes.c_int)(table[9])
        for skip in (0, 1):
            try:
                print(slot(Rect(0, 0, 10, 10), None, skip))
            except Exception as e:
                print(repr(type(e).__name__))
    """)
    assert [type(line) for line in outcomes(out)] == [str, str]


# ------------------------------------------------------------- truth slots seen from native code

@pytest.mark.parametrize("name, arg, exc", [
    ("collide_point", 5, ValueError),
    ("collide_point", (1, None), TypeError),
    ("collide_point", (50, "a"), TypeError),
    ("collide_point_vector2", V2Sub(5, 5), None),
    ("collide_point_tuple", (5, "a"), TypeError),
    ("collide_point_tuple", (5,), ValueError),
    ("collide_point_list", [5, [5]], TypeError),
    ("collide_rect", (2, 2, 1, "a"), TypeError),
    ("collide_rect", "abcd", ValueError),
    ("collide_rect_tuple", (2, "b", 1, 1), TypeError),
    ("collide_rect_list", [2, 2], ValueError),
])
def test_truth_slots_fail_with_zero_and_a_pending_exception(vt, native_call, name, arg, exc):
    result, pending = native_call(getattr(vt, name), Rect(*BOX), arg, 1)
    if exc is None:
        assert (result, pending) == (1, None)
    else:
        assert result == 0
        assert type(pending) is exc


@pytest.mark.parametrize("name, arg, expected", [(name, make(), exp) for name, make, exp in COLLISIONS])
def test_truth_slots_answer_exactly_one_or_zero(vt, native_call, name, arg, expected):
    for skip in (0, 1):
        assert native_call(getattr(vt, name), Rect(*BOX), arg, skip) == (expected, None)


# -------------------------------------------------------------------------- conversion slots


@SKIPS
@pytest.mark.parametrize("values", [(1, 2, 3, 4), (0.1, -0.0, math.inf, -1e-45), (2**24 + 1, -3e38, 1e39, 0.5)])
def test_get_vector4_slot(vt, skip, values):
    r = Rect(*values)
    v = vt.get_vector4(r, skip)
    assert type(v) is Vector4
    raw = Vector4Object.from_address(id(v))
    assert struct.pack("4d", raw.x, raw.y, raw.z, raw.w) == struct.pack("4d", *(f32(c) for c in values))
    assert sys.getrefcount(v) == sys.getrefcount(object())


@SKIPS
@pytest.mark.parametrize("values", [(1, 2, 3, 4), (0.1, -0.0, math.inf, -1e-45)])
def test_get_tuple_slot(vt, skip, values):
    r = Rect(*values)
    t = vt.get_tuple(r, skip)
    assert type(t) is tuple and all(type(c) is float for c in t)
    assert struct.pack("4f", *t) == want(values)
    assert t == r.get_tuple() and t is not r.get_tuple()


# ---------------------------------------------------------------------- overridable C methods


class Truthy:
    def __bool__(self):
        return True


class Falsy:
    def __len__(self):
        return 0


class BoolRaises:
    def __bool__(self):
        raise ZeroDivisionError("no truth here")


SENTINEL = object()


class WidthOverride(Rect):
    def get_width(self):
        return "overridden width"

    def get_tuple(self):
        return ["a", "list"]


def test_override_is_seen_with_skip_0_and_bypassed_with_1(vt):
    r = WidthOverride(1, 2, 3, 4)
    assert vt.get_width(r, 0) == "overridden width"
    assert vt.get_width(r, 1) == 3.0
    assert vt.get_height(r, 0) == 4.0           # not overridden: the built-in body
    assert vt.get_tuple(r, 0) == ["a", "list"]
    assert vt.get_tuple(r, 1) == (1.0, 2.0, 3.0, 4.0)
    # the Python-level methods: the subclass's own, or through the type the built-in one
    assert r.get_width() == "overridden width"
    assert Rect.get_width(r) == 3.0
    assert Rect.get_tuple(r) == (1.0, 2.0, 3.0, 4.0)


@pytest.mark.parametrize("name", [name for name, _, _ in SLOTS[1:]])
def test_subclass_without_overrides_runs_the_built_in_bodies(vt, name):
    class Plain(Rect):
        __slots__ = ()

    plain, sub = Rect(*BOX), Plain(*BOX)
    if name in TRUTH_SLOTS:
        arg = next(make() for n, make, _ in COLLISIONS if n == name)
        assert getattr(vt, name)(sub, arg, 0) == getattr(vt, name)(plain, arg, 0) == getattr(vt, name)(sub, arg, 1)
    else:
        a, b = getattr(vt, name)(sub, 0), getattr(vt, name)(plain, 0)
        assert type(a) is type(b)
        assert (a == b) if name != "get_vector4" else (a.x, a.y, a.z, a.w) == (b.x, b.y, b.z, b.w)


def vector4_override(result):
    class V4Override(Rect):
        def get_vector4(self):
            return result
    return V4Override(1, 2, 3, 4)


def test_get_vector4_override_of_the_wrong_type_fails_the_slot(vt):
    r = vector4_override(7)
    with exact(TypeError, f"Cannot convert int to {V4_NAME}"):
        vt.get_vector4(r, 0)
    with exact(TypeError, f"Cannot convert vexlar.vector2.vector2.Vector2 to {V4_NAME}"):
        vt.get_vector4(vector4_override(Vector2(1, 2)), 0)
    with exact(TypeError, f"Cannot convert tuple to {V4_NAME}"):
        vt.get_vector4(vector4_override((1, 2, 3, 4)), 0)
    v = vt.get_vector4(r, 1)
    assert type(v) is Vector4 and (v.x, v.y, v.z, v.w) == (1.0, 2.0, 3.0, 4.0)


@pytest.mark.parametrize("result", [None, Vector4(9, 9, 9, 9), V4Sub(8, 8, 8, 8)])
def test_get_vector4_override_may_return_a_vector4_its_subclass_or_none(vt, result):
    r = vector4_override(result)
    before = sys.getrefcount(result)
    assert vt.get_vector4(r, 0) is result
    for _ in range(1000):
        vt.get_vector4(r, 0)
    assert sys.getrefcount(result) == before


def collision_override(name, result, seen):
    def method(self, arg):
        seen.append(arg)
        if isinstance(result, BaseException):
            raise result
        return result
    return type("CollisionOverride", (Rect,), {name: method})(*BOX)


# Arguments for which every built-in body answers 0.
MISSES = {
    "collide_point": (50, 50), "collide_point_vector2": Vector2(50, 50), "collide_point_tuple": (50, 50),
    "collide_point_list": [50, 50], "collide_rect": (50, 50, 1, 1), "collide_rect_vector4": Vector4(50, 50, 1, 1),
    "collide_rect_rect": Rect(50, 50, 1, 1), "collide_rect_tuple": (50, 50, 1, 1),
    "collide_rect_list": [50, 50, 1, 1],
}


@pytest.mark.parametrize("name", TRUTH_SLOTS)
@pytest.mark.parametrize("result, expected", [
    (Truthy(), 1), (2, 1), (True, 1), ("yes", 1), (-1, 1), (0.5, 1),
    (False, 0), (None, 0), (0, 0), ([], 0), (Falsy(), 0),
])
def test_collision_override_result_is_taken_as_a_truth_value(vt, name, result, expected):
    seen = []
    r = collision_override(name, result, seen)
    arg = MISSES[name]
    assert getattr(vt, name)(r, arg, 0) == expected
    assert len(seen) == 1 and seen[0] is arg
    assert getattr(vt, name)(r, arg, 1) == 0
    assert len(seen) == 1
    assert getattr(r, name)(arg) is result             # the subclass's own Python method
    assert getattr(Rect, name)(r, arg) is False        # the built-in one through the type


@pytest.mark.parametrize("name", ["collide_point", "collide_rect_rect", "collide_rect_list"])
@pytest.mark.parametrize("result, exc", [(BoolRaises(), ZeroDivisionError), (LookupError("raised"), LookupError)])
def test_failing_collision_override_fails_the_slot(vt, native_call, name, result, exc):
    r = collision_override(name, result, [])
    with pytest.raises(exc):
        getattr(vt, name)(r, MISSES[name], 0)
    value, pending = native_call(getattr(vt, name), r, MISSES[name], 0)
    assert value == 0 and type(pending) is exc
    assert getattr(vt, name)(r, MISSES[name], 1) == 0


def test_override_found_on_the_instance(vt):
    r = SubRect(1, 2, 3, 4)
    r.get_width = lambda: "from the instance"
    r.collide_point = lambda point: Truthy()
    assert vt.get_width(r, 0) == "from the instance"
    assert vt.collide_point(r, (50, 50), 0) == 1
    assert vt.get_width(r, 1) == 3.0
    assert vt.collide_point(r, (50, 50), 1) == 0


def test_failing_override_lookup_fails_the_slot(vt):
    class Guarded(Rect):
        def __getattribute__(self, name):
            if name in ("get_width", "collide_rect"):
                raise LookupError(name)
            return super().__getattribute__(name)

    r = Guarded(*BOX)
    with exact(LookupError, "get_width"):
        vt.get_width(r, 0)
    with exact(LookupError, "collide_rect"):
        vt.collide_rect(r, (1, 1, 1, 1), 0)
    assert vt.get_width(r, 1) == 10.0
    assert vt.collide_rect(r, (1, 1, 1, 1), 1) == 1


def test_override_results_are_neither_leaked_nor_over_released(vt):
    class Returns(Rect):
        def get_width(self):
            return SENTINEL

        def get_tuple(self):
            return SENTINEL

        def collide_point(self, point):
            return SENTINEL

    r, point = Returns(*BOX), (5.5, 5.5)
    before = sys.getrefcount(SENTINEL), sys.getrefcount(r), sys.getrefcount(point)
    for _ in range(1000):
        assert vt.get_width(r, 0) is SENTINEL
        assert vt.get_tuple(r, 0) is SENTINEL
        assert vt.collide_point(r, point, 0) == 1
    assert (sys.getrefcount(SENTINEL), sys.getrefcount(r), sys.getrefcount(point)) == before


# ------------------------------------------------------------------------ C sequence protocol


_ssize = ctypes.c_ssize_t
seq_check = api_function("PySequence_Check", I, O)
seq_size = api_function("PySequence_Size", _ssize, O)
seq_get = api_function("PySequence_GetItem", O, O, _ssize)
seq_set = api_function("PySequence_SetItem", I, O, _ssize, O)
seq_del = api_function("PySequence_DelItem", I, O, _ssize)
map_check = api_function("PyMapping_Check", I, O)
map_size = api_function("PyMapping_Size", _ssize, O)


def test_sequence_and_mapping_forms():
    r = Rect(1, 2, 3, 4)
    assert seq_check(r) == 1 and map_check(r) == 1
    assert seq_size(r) == 4 and map_size(r) == 4
    assert [seq_get(r, i) for i in range(4)] == [1.0, 2.0, 3.0, 4.0]
    with exact(IndexError, "Rect index out of range"):
        seq_get(r, 4)
    assert seq_set(r, 2, 5) == 0
    assert r.w == 5.0
    with pytest.raises(TypeError):
        seq_set(r, 9, "a")
    with exact(IndexError, "Rect index out of range"):
        seq_set(r, 9, 1.0)
    with exact(NotImplementedError, "Subscript deletion not supported by vexlar.rect.rect.Rect"):
        seq_del(r, 0)
    assert r.get_tuple() == (1.0, 2.0, 5.0, 4.0)


# ---------------------------------------------------------------------- reference counting


def box():
    return Rect(*BOX)


# name, arguments (made fresh), whether the result is a new object
CALLS = [
    ("new", lambda: (record(1, 2, 3, 4),), True),
    ("get_width", lambda: (box(), 1), True),
    ("get_width", lambda: (box(), 0), True),
    ("get_height", lambda: (box(), 1), True),
    ("collide_point", lambda: (box(), tuple(numbers(5.5, 5.5)), 1), False),
    ("collide_point", lambda: (box(), [Flt(5.5), Idx(5)], 0), False),
    ("collide_point", lambda: (box(), V2Sub(5, 5), 1), False),
    ("collide_point_vector2", lambda: (box(), Vector2(5, 5), 1), False),
    ("collide_point_tuple", lambda: (box(), tuple(numbers(5.5, 5.5, 7.5)), 1), False),
    ("collide_point_list", lambda: (box(), numbers(5.5, 50.5), 1), False),
    ("collide_rect", lambda: (box(), Rect(2, 2, 1, 1), 1), False),
    ("collide_rect", lambda: (box(), Vector4(2, 2, 1, 1), 1), False),
    ("collide_rect", lambda: (box(), tuple(numbers(2.5, 2.5, 1.5, 1.5)), 1), False),
    ("collide_rect", lambda: (box(), [Flt(2.5), Idx(2), 1.5, 1.5], 0), False),
    ("collide_rect_vector4", lambda: (box(), V4Sub(2, 2, 1, 1), 1), False),
    ("collide_rect_rect", lambda: (box(), SubRect(2, 2, 1, 1), 1), False),
    ("collide_rect_tuple", lambda: (box(), tuple(numbers(2.5, 2.5, 1.5, 1.5)), 1), False),
    ("collide_rect_list", lambda: (box(), numbers(2.5, 2.5, 1.5, 1.5, 9.5), 1), False),
    ("get_vector4", lambda: (box(), 1), True),
    ("get_tuple", lambda: (box(), 0), True),
]

FAILING_CALLS = [
    ("collide_point", lambda: (box(), tuple(numbers(1.5, 2.5, 3.5)))),
    ("collide_point", lambda: (box(), numbers(1.5) + [object()])),
    ("collide_point_tuple", lambda: (box(), (numbers(5.5)[0], object()))),
    ("collide_point_tuple", lambda: (box(), tuple(numbers(5.5)))),
    ("collide_point_list", lambda: (box(), numbers(5.5))),
    ("collide_rect", lambda: (box(), tuple(numbers(1.5, 2.5, 3.5)))),
    ("collide_rect", lambda: (box(), numbers(1.5, 2.5, 3.5) + [object()])),
    ("collide_rect_tuple", lambda: (box(), tuple(numbers(1.5)))),
    ("collide_rect_list", lambda: (box(), [numbers(2.5)[0], object(), 1.5, 1.5])),
    ("collide_rect_list", lambda: (box(), numbers(2.5, 2.5))),
]


def test_all_slots_are_covered_by_the_count_cases():
    assert {name for name, _, _ in CALLS} == {name for name, _, _ in SLOTS}


@pytest.mark.parametrize("name, make_args, fresh", CALLS, ids=[c[0] for c in CALLS])
def test_slots_neither_leak_nor_over_release(vt, name, make_args, fresh):
    assert_slot_keeps_counts(getattr(vt, name), make_args(), fresh)


@pytest.mark.parametrize("name, make_args", FAILING_CALLS, ids=[c[0] for c in FAILING_CALLS])
def test_failing_slots_neither_leak_nor_over_release(vt, name, make_args):
    assert_failing_slot_keeps_counts(getattr(vt, name), make_args() + (1,), (ValueError, TypeError))


# ------------------------------------------------------------------- importing the companions

V2_SIZE = HEADER + POINTER + 8       # this module's declaration of the Vector2 layout
V4_SIZE = HEADER + POINTER + 32


def size_message(module, name, expected, got):
    return (f"{module}.{name} size changed, may indicate binary incompatibility. "
            f"Expected {expected} from C header, got {got} from PyObject")


def run_fresh(*parts):
    """Run code in a new interpreter, where the package has not been loaded yet; the warning
    about the global lock being enabled is silenced. Returns stdout; a failing script fails the
    test with its stderr."""
    prelude = textwrap.dedent("""
        import sys, types, warnings
        warnings.filterwarnings("ignore", message="The global interpreter lock", category=RuntimeWarning)

        def attempt():
            # Import the module; report the failure, its init entries and the warnings.
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                warnings.filterwarnings("ignore", message="The global interpreter lock")
                try:
                    import vexlar.rect.rect
                except BaseException as e:
                    entries, tb = [], e.__traceback__
                    while tb is not None:
                        code = tb.tb_frame.f_code
                        if code.co_name.startswith("init "):
                            entries.append((code.co_name, code.co_filename, tb.tb_lineno))
                        tb = tb.tb_next
                    outcome = (type(e).__name__, str(e), entries, "vexlar.rect.rect" in sys.modules)
                else:
                    outcome = "imported"
            warned = [(w.category.__name__, str(w.message)) for w in caught]
            print(repr((outcome, warned)))

        def works():
            from vexlar.rect.rect import Rect
            from vexlar.vector2.vector2 import Vector2
            from vexlar.vector4.vector4 import Vector4
            r = Rect(1, 2, 3, 4)
            c, v = r.center, r.get_vector4()
            assert type(c) is Vector2 and (c.x, c.y) == (2.5, 4.0), c
            assert type(v) is Vector4 and (v.x, v.y, v.z, v.w) == (1.0, 2.0, 3.0, 4.0), v
            assert r.collide_point((1, 2)) and r.collide_rect(Vector4(0, 0, 2, 3))
            print(repr("works"))
    """)
    code = prelude + "".join(textwrap.dedent(part) for part in parts)
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, f"exit status {proc.returncode}\nstdout:\n{proc.stdout}\nstderr:\n{proc.stderr}"
    return proc.stdout


def outcomes(out):
    return [ast.literal_eval(line) for line in out.splitlines()]


def failure(exc, message):
    """An import outcome: the exception, with the module's init entry, and no module left behind."""
    return ((exc, message, [(f"init {MODULE}", SRC, 1)], False), [])


STAND_IN = """
    import vexlar.{mod}.{mod} as real
    capsule = real.{cls}.__dict__["__pyx_vtable__"]
    stand_in = types.ModuleType("vexlar.{mod}.{mod}")
    {body}
    stand_in.{cls} = {cls}
    sys.modules["vexlar.{mod}.{mod}"] = stand_in
    attempt()
    sys.modules["vexlar.{mod}.{mod}"] = real
    attempt()
    works()
"""


def stand_in(mod, cls, body):
    return STAND_IN.format(mod=mod, cls=cls, body=textwrap.indent(textwrap.dedent(body), "    ").strip())


@pytest.mark.parametrize("mod, cls, body, first", [
    ("vector2", "Vector2", """
        class Vector2:
            __slots__ = ()
            __pyx_vtable__ = capsule
     """, failure("ValueError", size_message("vexlar.vector2.vector2", "Vector2", V2_SIZE, HEADER))),
    ("vector2", "Vector2", """
        class Vector2:
            __slots__ = ("a",)
            __pyx_vtable__ = capsule
     """, failure("ValueError", size_message("vexlar.vector2.vector2", "Vector2", V2_SIZE, HEADER + 8))),
    ("vector4", "Vector4", """
        class Vector4:
            __slots__ = ("a", "b", "c", "d")
            __pyx_vtable__ = capsule
     """, failure("ValueError", size_message("vexlar.vector4.vector4", "Vector4", V4_SIZE, V4_SIZE - 8))),
    ("vector2", "Vector2", """
        Vector2 = 5
     """, failure("TypeError", "vexlar.vector2.vector2.Vector2 is not a type object")),
    ("vector4", "Vector4", """
        Vector4 = real.Vector4(1, 2, 3, 4)
     """, failure("TypeError", "vexlar.vector4.vector4.Vector4 is not a type object")),
    # the table is looked up in the type's own dictionary, never inherited
    ("vector2", "Vector2", """
        class Base:
            __slots__ = ()
            __pyx_vtable__ = capsule
        class Vector2(Base):
            __slots__ = ("a", "b")
     """, failure("KeyError", "'__pyx_vtable__'")),
    ("vector4", "Vector4", """
        class Vector4(real.Vector4):
            pass
     """, failure("KeyError", "'__pyx_vtable__'")),
    ("vector2", "Vector2", """
        class Vector2:
            __slots__ = ("a", "b")
     """, failure("KeyError", "'__pyx_vtable__'")),
])
def test_unusable_companion_types_fail_the_import_until_restored(mod, cls, body, first):
    assert outcomes(run_fresh(stand_in(mod, cls, body))) == [first, ("imported", []), "works"]


@pytest.mark.parametrize("body", [
    """
        class Vector2:
            __slots__ = ("a", "b")
            __pyx_vtable__ = 5
    """,
    """
        import ctypes
        new = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p)(
            ("PyCapsule_New", ctypes.pythonapi))
        get = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)(
            ("PyCapsule_GetPointer", ctypes.pythonapi))
        class Vector2:
            __slots__ = ("a", "b")
            __pyx_vtable__ = new(get(capsule, None), b"named", None)
    """,
], ids=["not-a-capsule", "named-capsule"])
def test_a_table_without_a_usable_pointer_fails_the_import(body):
    first, second, third = outcomes(run_fresh(stand_in("vector2", "Vector2", body)))
    (exc, _, entries, left_behind), warned = first
    assert (exc, entries, left_behind, warned) == ("ValueError", [(f"init {MODULE}", SRC, 1)], False, [])
    assert (second, third) == (("imported", []), "works")


def test_larger_companion_objects_only_warn():
    out = run_fresh("""
        import vexlar.vector2.vector2 as real
        class Vector2:
            __slots__ = ("a", "b", "c")
            __pyx_vtable__ = real.Vector2.__dict__["__pyx_vtable__"]
        stand_in = types.ModuleType("vexlar.vector2.vector2")
        stand_in.Vector2 = Vector2
        sys.modules["vexlar.vector2.vector2"] = stand_in
        attempt()
        sys.modules["vexlar.vector2.vector2"] = real
        works()
    """)
    warning = size_message("vexlar.vector2.vector2", "Vector2", V2_SIZE, V2_SIZE + 8)
    assert outcomes(out) == [("imported", [("RuntimeWarning", warning)]), "works"]


def test_larger_companion_objects_fail_when_warnings_are_errors():
    out = run_fresh("""
        import vexlar.vector4.vector4 as real
        class Vector4:
            __slots__ = ("a", "b", "c", "d", "e", "f")
            __pyx_vtable__ = real.Vector4.__dict__["__pyx_vtable__"]
        stand_in = types.ModuleType("vexlar.vector4.vector4")
        stand_in.Vector4 = Vector4
        sys.modules["vexlar.vector4.vector4"] = stand_in
        warnings.filterwarnings("error", category=RuntimeWarning, message=".*size changed")
        try:
            import vexlar.rect.rect
        except RuntimeWarning as e:
            print(repr((type(e).__name__, str(e), "vexlar.rect.rect" in sys.modules)))
        warnings.resetwarnings()
        warnings.filterwarnings("ignore", message="The global interpreter lock", category=RuntimeWarning)
        attempt()
    """)
    message = size_message("vexlar.vector4.vector4", "Vector4", V4_SIZE, V4_SIZE + 8)
    assert outcomes(out) == [("RuntimeWarning", message, False),
                             ("imported", [("RuntimeWarning", message)])]


def test_variable_size_companion_counts_its_items():
    # basic size + max(item size, 8) is what must cover this module's layout; only the basic
    # size is compared for the warning
    assert int.__basicsize__ + max(int.__itemsize__, 8) == V2_SIZE > int.__basicsize__
    out = run_fresh("""
        import vexlar.vector2.vector2 as real
        class Vector2(int):
            __pyx_vtable__ = real.Vector2.__dict__["__pyx_vtable__"]
        stand_in = types.ModuleType("vexlar.vector2.vector2")
        stand_in.Vector2 = Vector2
        sys.modules["vexlar.vector2.vector2"] = stand_in
        attempt()
    """)
    assert outcomes(out) == [("imported", [])]


@pytest.mark.parametrize("missing", ["vexlar.vector2.vector2", "vexlar.vector4.vector4"])
def test_missing_companion_fails_the_import_until_it_is_back(missing):
    out = run_fresh(f"""
        sys.modules["{missing}"] = None
        attempt()
        del sys.modules["{missing}"]
        attempt()
        works()
    """)
    assert outcomes(out) == [failure("ModuleNotFoundError", f"import of {missing} halted; None in sys.modules"),
                             ("imported", []), "works"]


def test_companion_off_the_path_fails_the_import_until_the_path_is_fixed():
    out = run_fresh("""
        import vexlar.vector4
        path = list(vexlar.vector4.__path__)
        vexlar.vector4.__path__[:] = []
        attempt()
        vexlar.vector4.__path__[:] = path
        attempt()
        works()
    """)
    assert outcomes(out) == [failure("ModuleNotFoundError", "No module named 'vexlar.vector4.vector4'"),
                             ("imported", []), "works"]


def test_vector2_is_imported_before_vector4():
    out = run_fresh("""
        sys.modules["vexlar.vector2.vector2"] = None
        sys.modules["vexlar.vector4.vector4"] = None
        attempt()
    """)
    assert outcomes(out) == [failure("ModuleNotFoundError",
                                     "import of vexlar.vector2.vector2 halted; None in sys.modules")]
