"""Vector3's C method table as a native caller uses it: the published capsule, the object
layout native code reads, and each of the 31 slots called by position through ctypes with the
interpreter lock held (a PYFUNCTYPE call raises any exception a slot leaves pending)."""

import ctypes
import math
import re
import struct
import sys

import pytest

from vexlar.vector3.vector3 import Vector3

from support import (Boom, FloatSub, Flt, HEADER, Idx, IntSub, POINTER, SKIPS, assert_every_slot_is_filled,
                     assert_failing_slot_keeps_counts, assert_slot_keeps_counts, assert_table_capsule, f32,
                     method_table, numbers, table_address, traceback_names)

O, D, I, F = ctypes.py_object, ctypes.c_double, ctypes.c_int, ctypes.c_float

# Slot order is fixed: native modules index the table by position.
SLOTS = [
    ("new", O, (D, D, D)),
    ("cfrom_list", O, (O,)),
    ("cfrom_ints", O, (I, I, I)),
    ("cfrom_floats", O, (F, F, F)),
    ("cfrom_tuple", O, (O,)),
    ("cfrom_vector3", O, (O,)),
    ("cfrom_xyz", O, (D, D, D)),
    ("_add", O, (O, O)),
    ("_sub", O, (O, O)),
    ("_iadd", None, (O, O)),
    ("_isub", None, (O, O)),
    ("_imul", None, (O, O)),
    ("_sadd", None, (O, O, O)),
    ("sadd", None, (O, O, O, I)),
    ("get_tuple", O, (O, I)),
    ("c_get_tuple", O, (O,)),
    ("to_round", O, (O, I)),
    ("get_round", O, (O, I)),
    ("to_abs", O, (O, I)),
    ("get_abs", O, (O, I)),
    ("to_neg", O, (O, I)),
    ("get_neg", O, (O, I)),
    ("get_int_tuple", O, (O, I)),
    ("get_rounded_tuple", O, (O, I)),
    ("copy", O, (O, I)),
    ("to_normalized", O, (O, I)),
    ("get_normalized", O, (O, I)),
    ("distance_to", D, (O, O, I)),
    ("distance_squared_to", D, (O, O, I)),
    ("dot", D, (O, O, I)),
    ("cross", O, (O, O, I)),
]


class Vector3Table(ctypes.Structure):
    """The table as a C caller declares it: one function pointer per slot, in slot order.
    Object results are new references, which ctypes takes over."""

    _fields_ = [(name, ctypes.PYFUNCTYPE(result, *args)) for name, result, args in SLOTS]


class Vector3Object(ctypes.Structure):
    """A Vector3 instance as native code sees it: header, table pointer, three singles."""

    _fields_ = [("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p),
                ("x", ctypes.c_float), ("y", ctypes.c_float), ("z", ctypes.c_float)]


@pytest.fixture(scope="module")
def vt():
    return method_table(Vector3, Vector3Table)


# ----------------------------------------------------------------------------------- helpers


def bits(v):
    """The three stored singles of a vector, bit for bit (keeps the sign of zero)."""
    assert type(v) is Vector3
    return struct.pack("3f", v.x, v.y, v.z)


def want(values):
    return struct.pack("3f", *(f32(c) for c in values))


def vec(values):
    return Vector3(*values)


def assert_fresh_vector(v):
    """A vector made by a slot: exactly a Vector3 whose table pointer is set."""
    assert type(v) is Vector3
    assert Vector3Object.from_address(id(v)).vtab == table_address(Vector3)


# --------------------------------------------------------------------- publication and layout


def test_capsule_is_unnamed_without_destructor_and_stable():
    assert_table_capsule(Vector3, "vexlar.vector3.vector3.Vector3")


def test_every_slot_is_filled(vt):
    assert len(Vector3Table._fields_) == 31
    assert_every_slot_is_filled(Vector3, vt, SLOTS)


def test_instance_size_is_the_c_layout():
    expected = (HEADER + POINTER + 3 * 4 + 7) // 8 * 8
    assert Vector3Object.vtab.offset == HEADER
    assert Vector3Object.x.offset == HEADER + POINTER
    assert ctypes.sizeof(Vector3Object) == expected
    assert Vector3.__basicsize__ == expected
    assert Vector3.__itemsize__ == 0


@pytest.mark.parametrize("make", [
    lambda vt: Vector3(),
    lambda vt: Vector3(1.5, -2, 0.1),
    lambda vt: Vector3.__new__(Vector3),
    lambda vt: Vector3.from_xyz(1, 2, 3),
    lambda vt: Vector3(1, 2, 3) + Vector3(4, 5, 6),
    lambda vt: -Vector3(1, 2, 3),
    lambda vt: Vector3(1, 2, 3).copy(),
    lambda vt: vt.new(1.5, -2, 0.1),
    lambda vt: vt.cfrom_list([1, 2, 3]),
    lambda vt: vt.cross(Vector3(1, 0, 0), Vector3(0, 1, 0), 1),
], ids=["init-empty", "init-xyz", "alloc", "from_xyz", "add", "neg", "copy", "slot-new",
        "slot-cfrom_list", "slot-cross"])
def test_every_instance_points_at_the_table_and_holds_its_payload(vt, make):
    v = make(vt)
    raw = Vector3Object.from_address(id(v))
    assert raw.vtab == table_address(Vector3)
    assert (raw.x, raw.y, raw.z) == (v.x, v.y, v.z)


def test_payload_written_in_place_is_seen_from_python():
    v = Vector3(1, 2, 3)
    raw = Vector3Object.from_address(id(v))
    raw.x, raw.z = -0.5, 1e30
    assert bits(v) == want((-0.5, 2, 1e30))
    v.y = 0.1
    assert raw.y == f32(0.1)


# ---------------------------------------------------------------------- static constructors

DOUBLE_CASES = [
    (0.1, -0.2, 1 / 3),
    (1e39, -1e39, -0.0),                                    # beyond the single range
    (1 + 2**-24, 1 + 3 * 2**-24, 1 + 2**-24 + 2**-50),      # ties to even, just above a tie
    (1e-40, -1e-46, 2**-150),                               # subnormal, underflow to -0, tie to 0
    (3.4028234663852886e38, (2 - 2**-24) * 2**127, -(2 - 2**-23) * 2**127),
    (2**24 + 1, -(2**31 - 1), 0.0),
]


@pytest.mark.parametrize("name", ["new", "cfrom_xyz"])
@pytest.mark.parametrize("values", DOUBLE_CASES)
def test_double_constructors_round_each_component_to_single(vt, name, values):
    v = getattr(vt, name)(*values)
    assert_fresh_vector(v)
    assert bits(v) == want(values)


@pytest.mark.parametrize("values", [
    (0, 0, 0), (7, -8, 9), (-2**31, 2**31 - 1, 16777217), (16777219, -16777219, 1),
])
def test_cfrom_ints(vt, values):
    v = vt.cfrom_ints(*values)
    assert_fresh_vector(v)
    assert bits(v) == want(values)


@pytest.mark.parametrize("values", [
    (f32(0.1), -0.0, math.inf), (-math.inf, 2**-149, 3.4028234663852886e38), (1.5, -2.5, 16777216.0),
])
def test_cfrom_floats_keeps_singles_unchanged(vt, values):
    v = vt.cfrom_floats(*values)
    assert_fresh_vector(v)
    assert bits(v) == struct.pack("3f", *values)


SEQUENCE_SLOTS = pytest.mark.parametrize("name, kind", [("cfrom_list", list), ("cfrom_tuple", tuple)])


@SEQUENCE_SLOTS
@pytest.mark.parametrize("items, expected", [
    ([1, 2, 3], (1, 2, 3)),
    ([0.1, -0.0, 1e39], (0.1, -0.0, math.inf)),
    ([True, 2**24 + 1, Flt(2.5)], (1, 2**24, 2.5)),
    ([Idx(4), IntSub(5), FloatSub(-6.5)], (4, 5, -6.5)),
    ([1, 2, 3, "ignored", None], (1, 2, 3)),
    ([-1.5, 2.5, 3.5, 4.5], (-1.5, 2.5, 3.5)),
], ids=["ints", "rounding", "bool-bigint-float", "index-subclasses", "extra-non-numbers", "extra-numbers"])
def test_sequence_constructors_take_the_first_three_items(vt, name, kind, items, expected):
    seq = kind(items)
    v = getattr(vt, name)(seq)
    assert_fresh_vector(v)
    assert bits(v) == want(expected)
    assert list(seq) == items


@SEQUENCE_SLOTS
@pytest.mark.parametrize("n", [0, 1, 2])
def test_sequence_constructors_refuse_fewer_than_three_items(vt, name, kind, n):
    message = f"{name}() needs at least 3 items ({n} given)"
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        getattr(vt, name)(kind([1.0] * n))


@SEQUENCE_SLOTS
@pytest.mark.parametrize("items, exc", [
    (["a", 2, 3], TypeError),
    ([1, None, 3], TypeError),
    ([1, 2, [3]], TypeError),
    ([1, 2, object()], TypeError),
    ([1, 2**1024, 3], OverflowError),
    ([1, 2, Boom()], ZeroDivisionError),
])
def test_sequence_constructors_refuse_items_that_are_not_numbers(vt, name, kind, items, exc):
    with pytest.raises(exc):
        getattr(vt, name)(kind(items))


def test_cfrom_list_survives_a_conversion_that_empties_the_list(vt):
    lst = []

    class Clears:
        def __float__(self):
            lst.clear()
            return 1.0

    # The list holds the only references to the last two items.
    lst.extend([Clears(), Flt(2.0), Flt(3.0)])
    try:
        v = vt.cfrom_list(lst)
    except (ValueError, IndexError, RuntimeError):
        pass
    else:
        assert bits(v) == want((1, 2, 3))
    assert lst == []


@pytest.mark.parametrize("values", [(-0.0, math.inf, 2**-149), (0.1, -3, 1e38)])
def test_cfrom_vector3_is_an_independent_exact_copy(vt, values):
    src = vec(values)
    dup = vt.cfrom_vector3(src)
    assert_fresh_vector(dup)
    assert dup is not src
    assert bits(dup) == bits(src) == want(values)
    src.x = 42
    assert bits(dup) == want(values)


# ------------------------------------------------------------------------------- arithmetic

ARITH_CASES = [
    ((1, 2, 3), (4, 5, 6)),
    ((0.1, 0.2, 0.3), (0.7, -0.2, 1e-8)),
    ((16777216, 1, -1), (1, 16777216, 3e38)),        # the exact double sum is not a single
    ((3e38, -3e38, 1e-30), (3e38, -3e38, -2.5)),     # overflow to infinities
]
OPS = {"+": lambda a, b: a + b, "-": lambda a, b: a - b, "*": lambda a, b: a * b}


def single_op(op, a, b):
    """Component-wise single-precision result (a double result of two singles rounds exactly)."""
    return tuple(f32(OPS[op](f32(x), f32(y))) for x, y in zip(a, b))


@pytest.mark.parametrize("name, op", [("_add", "+"), ("_sub", "-")])
@pytest.mark.parametrize("a, b", ARITH_CASES)
def test_add_sub_return_a_new_vector(vt, name, op, a, b):
    left, right = vec(a), vec(b)
    r = getattr(vt, name)(left, right)
    assert_fresh_vector(r)
    assert r is not left and r is not right
    assert bits(r) == want(single_op(op, a, b))
    assert bits(left) == want(a) and bits(right) == want(b)


@pytest.mark.parametrize("name, expected", [("_add", (2, -4, 0.5)), ("_sub", (0, 0, 0))])
def test_add_sub_with_self_as_other(vt, name, expected):
    v = Vector3(1, -2, 0.25)
    r = getattr(vt, name)(v, v)
    assert r is not v
    assert bits(r) == want(expected)
    assert bits(v) == want((1, -2, 0.25))


@pytest.mark.parametrize("name, op", [("_iadd", "+"), ("_isub", "-"), ("_imul", "*")])
@pytest.mark.parametrize("a, b", ARITH_CASES)
def test_in_place_slots_mutate_self_only(vt, name, op, a, b):
    left, right = vec(a), vec(b)
    assert getattr(vt, name)(left, right) is None
    assert bits(left) == want(single_op(op, a, b))
    assert bits(right) == want(b)


@pytest.mark.parametrize("name, expected", [
    ("_iadd", (2, -4, 0.5)), ("_isub", (0, 0, 0)), ("_imul", (1, 4, 0.0625)),
])
def test_in_place_slots_with_self_as_other(vt, name, expected):
    v = Vector3(1, -2, 0.25)
    assert getattr(vt, name)(v, v) is None
    assert bits(v) == want(expected)


SADD_CALLS = pytest.mark.parametrize("call", [
    lambda vt, s, a, b: vt._sadd(s, a, b),
    lambda vt, s, a, b: vt.sadd(s, a, b, 0),
    lambda vt, s, a, b: vt.sadd(s, a, b, 1),
], ids=["_sadd", "sadd-0", "sadd-1"])


@SADD_CALLS
@pytest.mark.parametrize("a, b", ARITH_CASES)
def test_sadd_slots_store_the_sum_of_the_operands(vt, call, a, b):
    target, new_vec, old_vec = Vector3(-7, 99, 1e30), vec(a), vec(b)
    assert call(vt, target, new_vec, old_vec) is None
    assert bits(target) == want(single_op("+", a, b))
    assert bits(new_vec) == want(a) and bits(old_vec) == want(b)


@SADD_CALLS
@pytest.mark.parametrize("roles, expected", [
    ("sa", (11, 22, 33.5)),    # self as new_vec
    ("as", (11, 22, 33.5)),    # self as old_vec
    ("ss", (2, 4, 7)),         # self as both
])
def test_sadd_slots_with_self_as_operand(vt, call, roles, expected):
    v, other = Vector3(1, 2, 3.5), Vector3(10, 20, 30)
    operands = [v if r == "s" else other for r in roles]
    assert call(vt, v, *operands) is None
    assert bits(v) == want(expected)
    assert bits(other) == want((10, 20, 30))


# ------------------------------------------------------------------------- tuples and copies

TUPLE_CALLS = pytest.mark.parametrize("call", [
    lambda vt, v: vt.get_tuple(v, 0),
    lambda vt, v: vt.get_tuple(v, 1),
    lambda vt, v: vt.c_get_tuple(v),
], ids=["get_tuple-0", "get_tuple-1", "c_get_tuple"])


@TUPLE_CALLS
@pytest.mark.parametrize("values", [(1, 2, 3), (0.1, -0.0, math.inf), (-math.inf, 2**-149, -3e38)])
def test_float_tuples_hold_the_widened_components(vt, call, values):
    v = vec(values)
    t = call(vt, v)
    assert type(t) is tuple and len(t) == 3
    assert all(type(c) is float for c in t)
    assert struct.pack("3f", *t) == want(values)
    assert t == tuple(f32(c) for c in values)
    assert bits(v) == want(values)


def unit(values):
    """The normalised vector: squared length and its root in single, scale in double."""
    c = [f32(x) for x in values]
    s = f32(f32(f32(c[0] * c[0]) + f32(c[1] * c[1])) + f32(c[2] * c[2]))
    if s == 0.0 or math.isinf(s):
        return (0.0, 0.0, 0.0)
    r = 1.0 / f32(math.sqrt(s))
    return tuple(f32(x * r) for x in c)


PAIRS = [
    ("to_round", "get_round", (0.5, 1.5, -0.5), (1, 2, -1)),
    ("to_round", "get_round", (2.5, -2.5, 0.49999997), (3, -3, 0)),
    ("to_round", "get_round", (-0.3, 0.3, -0.0), (-0.0, 0.0, -0.0)),
    ("to_round", "get_round", (8388609, -16777215, 1e30), (8388609, -16777215, 1e30)),
    ("to_round", "get_round", (-8388607.5, 8388607.5, 4194303.5), (-8388608, 8388608, 4194304)),
    ("to_abs", "get_abs", (-1, -0.0, 2), (1, 0.0, 2)),
    ("to_abs", "get_abs", (-math.inf, math.inf, -2**-149), (math.inf, math.inf, 2**-149)),
    ("to_neg", "get_neg", (1, 0, -2), (-1, -0.0, 2)),
    ("to_neg", "get_neg", (-0.0, math.inf, -math.inf), (0.0, -math.inf, math.inf)),
    ("to_neg", "get_neg", (0.1, -2**-149, 3e38), (-0.1, 2**-149, -3e38)),
    ("to_normalized", "get_normalized", (3, 4, 0), unit((3, 4, 0))),
    ("to_normalized", "get_normalized", (2, -3, 6), unit((2, -3, 6))),
    ("to_normalized", "get_normalized", (1, 1, 1), unit((1, 1, 1))),
    ("to_normalized", "get_normalized", (-0.0, -5, 0), unit((-0.0, -5, 0))),
    ("to_normalized", "get_normalized", (0, 0, 0), (0.0, 0.0, 0.0)),
    ("to_normalized", "get_normalized", (-0.0, 0, -0.0), (0.0, 0.0, 0.0)),
    ("to_normalized", "get_normalized", (1e-30, -1e-30, 1e-30), (0.0, 0.0, 0.0)),
    ("to_normalized", "get_normalized", (1e20, 0, 0), (0.0, 0.0, 0.0)),
]


def test_unit_reference_values():
    assert unit((3, 4, 0)) == (f32(0.6), f32(0.8), 0.0)
    assert unit((0, -5, 0)) == (0.0, -1.0, 0.0)


@SKIPS
@pytest.mark.parametrize("to_name, get_name, start, expected", PAIRS)
def test_get_slots_return_a_new_vector_and_leave_self(vt, skip, to_name, get_name, start, expected):
    v = vec(start)
    g = getattr(vt, get_name)(v, skip)
    assert_fresh_vector(g)
    assert g is not v
    assert bits(g) == want(expected)
    assert bits(v) == want(start)


@SKIPS
@pytest.mark.parametrize("to_name, get_name, start, expected", PAIRS)
def test_to_slots_change_self_and_return_it_as_a_new_reference(vt, skip, to_name, get_name, start, expected):
    v = vec(start)
    before = sys.getrefcount(v)
    r = getattr(vt, to_name)(v, skip)
    assert r is v
    assert sys.getrefcount(v) == before + 1
    del r
    assert sys.getrefcount(v) == before
    assert bits(v) == want(expected)


@SKIPS
@pytest.mark.parametrize("name, values, expected", [
    ("get_int_tuple", (1.9, -1.9, 0), (1, -1, 0)),
    ("get_int_tuple", (-0.0, 0.99999994, -0.5), (0, 0, 0)),
    ("get_int_tuple", (2147483520.0, -2147483648.0, 16777217), (2147483520, -2147483648, 16777216)),
    ("get_int_tuple", (1e-40, -7.5, 100.25), (0, -7, 100)),
    ("get_rounded_tuple", (0.5, 2.5, -0.5), (1, 3, -1)),
    ("get_rounded_tuple", (1.5, -1.5, 0.4), (2, -2, 0)),
    ("get_rounded_tuple", (-0.3, 0.49999997, -2147483648.0), (0, 0, -2147483648)),
    ("get_rounded_tuple", (2147483520.0, 8388607.5, -8388607.5), (2147483520, 8388608, -8388608)),
])
def test_int_tuples(vt, skip, name, values, expected):
    v = vec(values)
    t = getattr(vt, name)(v, skip)
    assert type(t) is tuple
    assert all(type(c) is int for c in t)
    assert t == expected
    assert bits(v) == want(values)


@SKIPS
@pytest.mark.parametrize("name", ["get_int_tuple", "get_rounded_tuple"])
@pytest.mark.parametrize("values", [
    (math.inf, 0, 0), (0, -math.inf, 0), (0, 0, 3e9), (-3e9, 1, 1),
    (1, 2147483648.0, 1), (1, 1, -2147483904.0),
])
def test_int_tuples_refuse_components_beyond_32_bits(vt, skip, name, values):
    v = vec(values)
    with pytest.raises(OverflowError, match="does not fit a 32-bit int"):
        getattr(vt, name)(v, skip)
    assert bits(v) == want(values)


@SKIPS
@pytest.mark.parametrize("values", [(-0.0, math.inf, 2**-149), (0.1, -3, 1e38)])
def test_copy_is_an_independent_exact_copy(vt, skip, values):
    v = vec(values)
    dup = vt.copy(v, skip)
    assert_fresh_vector(dup)
    assert dup is not v
    assert bits(dup) == want(values)
    vt._iadd(v, Vector3(1, 1, 1))
    assert bits(dup) == want(values)


# -------------------------------------------------------------------------------- geometry


@SKIPS
@pytest.mark.parametrize("name, a, b, expected", [
    ("distance_to", (1, 2, 3), (4, 6, 3), 5.0),
    ("distance_squared_to", (1, 2, 3), (4, 6, 3), 25.0),
    # the difference is taken in single (2**24 - 0.5 ties to 2**24), the square in double
    ("distance_squared_to", (16777216, 0, 0), (0.5, 0, 0), 2.0**48),
    ("distance_squared_to", (0.1, 0, 0), (0, 0, 0), f32(0.1) ** 2),
    ("distance_to", (0.1, 0, 0), (0, 0, 0), math.sqrt(f32(0.1) ** 2)),
    ("distance_to", (1e20, 0, 0), (0, 0, 0), math.sqrt(f32(1e20) ** 2)),
    ("distance_to", (0, -1e20, 0), (0, 1e20, 0), math.sqrt(f32(2e20) ** 2)),
    ("dot", (1, 2, 3), (4, 5, 6), 32.0),
    ("dot", (16777216, 1, 0), (1, 1, 0), 16777216.0),      # summed in single
    ("dot", (0.1, 0, 0), (0.1, 0, 0), f32(f32(0.1) * f32(0.1))),
    ("dot", (1e20, 0, 0), (1e20, 0, 0), math.inf),          # the single product overflows
], ids=lambda x: x if isinstance(x, str) else None)
def test_double_slots(vt, skip, name, a, b, expected):
    left, right = vec(a), vec(b)
    r = getattr(vt, name)(left, right, skip)
    assert type(r) is float
    assert r == expected
    assert bits(left) == want(a) and bits(right) == want(b)


@SKIPS
def test_double_slots_with_self_as_other(vt, skip):
    v = Vector3(1, -2, 2)
    assert vt.distance_to(v, v, skip) == 0.0
    assert vt.distance_squared_to(v, v, skip) == 0.0
    assert vt.dot(v, v, skip) == 9.0
    assert bits(v) == want((1, -2, 2))


@SKIPS
@pytest.mark.parametrize("a, b, expected", [
    ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
    ((0, 1, 0), (1, 0, 0), (0, 0, -1)),
    ((1, 2, 3), (4, 5, 6), (-3, 6, -3)),
    ((1, 2, 3), (1, 2, 3), (0, 0, 0)),
    ((2, 0, 0), (0, 0, 0.5), (0, -1, 0)),
])
def test_cross(vt, skip, a, b, expected):
    left, right = vec(a), vec(b)
    r = vt.cross(left, right, skip)
    assert_fresh_vector(r)
    assert r is not left and r is not right
    assert (r.x, r.y, r.z) == expected
    assert bits(left) == want(a) and bits(right) == want(b)


@SKIPS
def test_cross_with_self_as_other(vt, skip):
    v = Vector3(1, -2, 4)
    r = vt.cross(v, v, skip)
    assert r is not v
    assert (r.x, r.y, r.z) == (0, 0, 0)
    assert bits(v) == want((1, -2, 4))


# ---------------------------------------------------------------- failures and reference counts


@pytest.mark.parametrize("name, args, exc", [
    ("cfrom_list", lambda: ([1.0, 2.0],), ValueError),
    ("cfrom_list", lambda: ([1.0, "a", 3.0],), TypeError),
    ("cfrom_tuple", lambda: ((1.0,),), ValueError),
    ("cfrom_tuple", lambda: ((1.0, 2.0, None),), TypeError),
    ("get_int_tuple", lambda: (Vector3(math.inf, 0, 0), 1), OverflowError),
    ("get_rounded_tuple", lambda: (Vector3(0, 0, -3e9), 0), OverflowError),
])
def test_failing_slots_add_their_traceback_entry(vt, name, args, exc):
    with pytest.raises(exc) as excinfo:
        getattr(vt, name)(*args())
    entries = traceback_names(excinfo.value)
    assert any(co_name == "vexlar.vector3.vector3.Vector3." + name
               and filename.startswith("src/vexlar/vector3/vector3")
               for co_name, filename in entries), entries


def vector(*c):
    return Vector3(*c)


# name, arguments (made fresh), whether the result is a new object
CALLS = [
    ("new", lambda: (1.5, 2.5, 3.5), True),
    ("cfrom_list", lambda: (numbers(1.5, 2.5, 3.5, 4.5),), True),
    ("cfrom_list", lambda: ([Flt(1.5), Idx(2), FloatSub(3.5)],), True),
    ("cfrom_ints", lambda: (1, 2, 3), True),
    ("cfrom_floats", lambda: (1.5, 2.5, 3.5), True),
    ("cfrom_tuple", lambda: (tuple(numbers(1.5, 2.5, 3.5, 4.5)),), True),
    ("cfrom_tuple", lambda: ((Flt(1.5), Idx(2), FloatSub(3.5)),), True),
    ("cfrom_vector3", lambda: (vector(1, 2, 3),), True),
    ("cfrom_xyz", lambda: (1.5, 2.5, 3.5), True),
    ("_add", lambda: (vector(1, 2, 3), vector(4, 5, 6)), True),
    ("_sub", lambda: (vector(1, 2, 3), vector(4, 5, 6)), True),
    ("_iadd", lambda: (vector(1, 2, 3), vector(0, 0, 0)), False),
    ("_isub", lambda: (vector(1, 2, 3), vector(0, 0, 0)), False),
    ("_imul", lambda: (vector(1, 2, 3), vector(1, 1, 1)), False),
    ("_sadd", lambda: (vector(1, 2, 3), vector(4, 5, 6), vector(7, 8, 9)), False),
    ("sadd", lambda: (vector(1, 2, 3), vector(4, 5, 6), vector(7, 8, 9), 1), False),
    ("get_tuple", lambda: (vector(1, 2, 3), 1), True),
    ("c_get_tuple", lambda: (vector(1, 2, 3),), True),
    ("to_round", lambda: (vector(1.5, 2, 3), 1), False),
    ("get_round", lambda: (vector(1.5, 2, 3), 1), True),
    ("to_abs", lambda: (vector(-1, 2, 3), 1), False),
    ("get_abs", lambda: (vector(-1, 2, 3), 1), True),
    ("to_neg", lambda: (vector(1, 2, 3), 1), False),
    ("get_neg", lambda: (vector(1, 2, 3), 1), True),
    ("get_int_tuple", lambda: (vector(1000.5, 2000, 3000), 1), True),
    ("get_rounded_tuple", lambda: (vector(1000.5, 2000, 3000), 1), True),
    ("copy", lambda: (vector(1, 2, 3), 1), True),
    ("to_normalized", lambda: (vector(3, 4, 0), 1), False),
    ("get_normalized", lambda: (vector(3, 4, 0), 1), True),
    ("distance_to", lambda: (vector(1, 2, 3), vector(4, 5, 6), 1), False),
    ("distance_squared_to", lambda: (vector(1, 2, 3), vector(4, 5, 6), 1), False),
    ("dot", lambda: (vector(1, 2, 3), vector(4, 5, 6), 1), False),
    ("cross", lambda: (vector(1, 2, 3), vector(4, 5, 6), 1), True),
]

FAILING_CALLS = [
    ("cfrom_list", lambda: (numbers(1.5, 2.5),)),
    ("cfrom_list", lambda: (numbers(1.5, 2.5) + [object()],)),
    ("cfrom_tuple", lambda: (tuple(numbers(1.5)),)),
    ("cfrom_tuple", lambda: (tuple([Flt(1.5), object(), Flt(3.5)]),)),
    ("get_int_tuple", lambda: (vector(1, math.inf, 3), 1)),
    ("get_rounded_tuple", lambda: (vector(1, 2, 3e9), 1)),
]


def test_all_slots_are_covered_by_the_count_cases():
    assert {name for name, _, _ in CALLS} == {name for name, _, _ in SLOTS}


@pytest.mark.parametrize("name, make_args, fresh", CALLS, ids=[c[0] for c in CALLS])
def test_slots_neither_leak_nor_over_release(vt, name, make_args, fresh):
    assert_slot_keeps_counts(getattr(vt, name), make_args(), fresh)


@pytest.mark.parametrize("name, make_args", FAILING_CALLS, ids=[c[0] for c in FAILING_CALLS])
def test_failing_slots_neither_leak_nor_over_release(vt, name, make_args):
    assert_failing_slot_keeps_counts(getattr(vt, name), make_args(), (ValueError, TypeError, OverflowError))
