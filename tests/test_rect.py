"""Rect: the type, construction, the edge and centre properties, point and rectangle collision,
the item protocol, equality, printed form, conversions, pickling refusal and traceback entries."""

from vexlar.rect.rect import Rect
from vexlar.vector2.vector2 import Vector2
from vexlar.vector4.vector4 import Vector4
from vexlar.vector3.vector3 import Vector3

import copy
import itertools
import math
import operator
import pickle
import re
import struct
from decimal import Decimal
from fractions import Fraction

import pytest

from support import (Boom, EqualsAnything, Flt, Idx, IntSub, ListSub, SubRect, TupleSub, V2Sub, V4Sub,
                     argtype, assert_module_namespace, assert_pickling_guard_installed,
                     assert_plain_static_type, assert_raw_record_is_not_visible, assert_type_identity,
                     assert_unhashable, count, exact, f32, multiple, package_entries, same_bits,
                     traceback_entries, unexpected)

MODULE = "vexlar.rect.rect"
RECT = "vexlar.rect.rect.Rect"
V2 = "vexlar.vector2.vector2.Vector2"
V4 = "vexlar.vector4.vector4.Vector4"
SRC = "src/vexlar/rect/rect.cpp"

ONE_ARG = "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4"
NOT_FOUR = "list/tuple for rect must have 4 elements"
FIRST = "First argument must be a Vector2 or list/tuple of length 2"
SECOND = "Second argument must be a Vector2 or list/tuple of length 2"
POINT = "Point must be a Vector2, tuple, or list of length 2"
RECT_SHAPE = "rect for collision must be a Rect, Vector4, tuple, or list of length 4"
OUT_OF_RANGE = "Rect index out of range"
NO_DELETION = "Subscript deletion not supported by "
NAN, INF = math.nan, math.inf

PROPERTIES = ["x", "y", "w", "h", "left", "top", "width", "height", "right", "bottom",
              "centerx", "centery", "center"]
METHODS = ["get_width", "get_height", "collide_point", "collide_point_vector2", "collide_point_tuple",
           "collide_point_list", "collide_rect", "collide_rect_vector4", "collide_rect_rect",
           "collide_rect_tuple", "collide_rect_list", "get_vector4", "get_tuple"]


def count_message(n):
    return f"Rect expected 0, 1, 2, or 4 arguments, got {n}"


def fields(r):
    return (r.x, r.y, r.w, r.h)


def assert_fields(r, expected):
    """The four stored singles are `expected` rounded to single, signs of zero included."""
    got = fields(r)
    assert all(type(g) is float for g in got)
    want = tuple(f32(e) for e in expected)
    assert all(same_bits(g, w) for g, w in zip(got, want)), (got, want)


def single_sum(a, b):
    return f32(f32(a) + f32(b))


class Logged:
    """A number that records its conversion."""

    def __init__(self, name, value, log):
        self.name, self.value, self.log = name, value, log

    def __float__(self):
        self.log.append(self.name)
        return float(self.value)


def logged(log, **values):
    return [Logged(name, value, log) for name, value in values.items()]


class V2Log(Vector2):
    """A Vector2 whose x and y are looked up as Python attributes, and say so."""

    def __init__(self, x, y, log, tag=""):
        super().__init__(0, 0)
        self.vals, self.log, self.tag = {"x": x, "y": y}, log, tag

    @property
    def x(self):
        self.log.append(self.tag + "x")
        return self.vals["x"]

    @property
    def y(self):
        self.log.append(self.tag + "y")
        return self.vals["y"]


class V4Log(Vector4):
    def __init__(self, x, y, z, w, log):
        super().__init__(0, 0, 0, 0)
        self.vals, self.log = {"x": x, "y": y, "z": z, "w": w}, log

    def _get(name):
        def getter(self):
            self.log.append(name)
            return self.vals[name]
        return property(getter)

    x, y, z, w = _get("x"), _get("y"), _get("z"), _get("w")
    del _get


class Num:
    """A number whose comparisons and additions are recorded, to show evaluation order."""

    def __init__(self, name, value, log):
        self.name, self.value, self.log = name, value, log

    def _note(self, op, other):
        self.log.append(f"{self.name} {op} {other.name if isinstance(other, Num) else repr(other)}")
        return other.value if isinstance(other, Num) else other

    def __add__(self, other):
        v = self._note("+", other)
        return Num(f"({self.name}+{other.name})", self.value + v, self.log)

    def __lt__(self, other):
        return self.value < self._note("<", other)

    def __le__(self, other):
        return self.value <= self._note("<=", other)

    def __gt__(self, other):
        return self.value > self._note(">", other)

    def __ge__(self, other):
        return self.value >= self._note(">=", other)


def nums(log, **values):
    return [Num(name, value, log) for name, value in values.items()]


@pytest.fixture
def r():
    return Rect(10, 20, 30, 40)


@pytest.fixture
def box():
    return Rect(0, 0, 10, 10)


# ------------------------------------------------------------------------------------ the type


def test_type_identity():
    assert_type_identity(Rect, RECT, Rect())


def test_module_namespace():
    assert_module_namespace(MODULE, {"Rect": Rect})


def test_static_subclassable_type_without_gc_dict_or_weak_references():
    assert_plain_static_type(Rect, Rect(1, 2, 3, 4))


def test_raw_record_is_not_visible_from_python():
    assert_raw_record_is_not_visible(Rect, Rect)


def test_unhashable():
    assert_unhashable(Rect(1, 2, 3, 4))


@pytest.mark.parametrize("cls", [Rect, SubRect])
def test_allocation_alone_gives_zeros(cls):
    r = cls.__new__(cls)
    assert type(r) is cls
    assert_fields(r, (0, 0, 0, 0))


@pytest.mark.parametrize("name", METHODS)
def test_every_slot_but_new_has_a_method(name):
    func = Rect.__dict__[name]
    assert func.__name__ == name
    assert func.__qualname__ == "Rect." + name
    assert func.__module__ == MODULE
    assert "new" not in Rect.__dict__


def test_subclass_instances():
    s = SubRect(1, 2, 3, 4)
    assert isinstance(s, Rect) and type(s) is SubRect
    assert_fields(s, (1, 2, 3, 4))
    s.note = "subclasses get a dict"
    assert s.right == 4.0 and s.collide_point((2, 3)) is True
    assert s.get_tuple() == (1.0, 2.0, 3.0, 4.0)


# -------------------------------------------------------------------------------- construction

CONSTRUCTIONS = [
    ((), (0, 0, 0, 0)),
    ((1, 2, 3, 4), (1, 2, 3, 4)),
    ((Vector2(3, 4),), (0, 0, 3, 4)),
    ((V2Sub(3, 4),), (0, 0, 3, 4)),
    ((Vector4(1, 2, 3, 4),), (1, 2, 3, 4)),
    ((V4Sub(1, 2, 3, 4),), (1, 2, 3, 4)),
    (([1, 2, 3, 4],), (1, 2, 3, 4)),
    (((1, 2, 3, 4),), (1, 2, 3, 4)),
    ((TupleSub((1, 2, 3, 4)),), (1, 2, 3, 4)),
    ((ListSub([1, 2, 3, 4]),), (1, 2, 3, 4)),
    ((Rect(1, 2, 3, 4),), (1, 2, 3, 4)),
    ((SubRect(1, 2, 3, 4),), (1, 2, 3, 4)),
    (((10, 20), (30, 40)), (10, 20, 30, 40)),
    ((Vector2(10, 20), (30, 40)), (10, 20, 30, 40)),
    (((10, 20), Vector2(30, 40)), (10, 20, 30, 40)),
    ((Vector2(10, 20), Vector2(30, 40)), (10, 20, 30, 40)),
    (([10, 20], [30, 40]), (10, 20, 30, 40)),
    ((TupleSub((10, 20)), ListSub([30, 40])), (10, 20, 30, 40)),
    ((V2Sub(10, 20), V2Sub(30, 40)), (10, 20, 30, 40)),
    ((0.1, -0.2, 1e39, -1e39), (0.1, -0.2, INF, -INF)),
    ((2**24 + 1, True, Idx(5), Flt(2.5)), (2**24, 1, 5, 2.5)),
    ((Fraction(1, 4), Decimal("0.5"), -0.0, -1e-50), (0.25, 0.5, -0.0, -0.0)),
    ((1 + 2**-24, 1 + 3 * 2**-24, 1e-40, -2**-150), (1, 1 + 2**-22, 1e-40, -0.0)),   # ties to even
    (([Idx(1), Flt(2.0), 3.5, True],), (1, 2, 3.5, 1)),
    (((Flt(0.1), Idx(2)), [3, Fraction(9, 2)]), (0.1, 2, 3, 4.5)),
    ((Vector4(0.1, 1e39, -1e-50, 2**24 + 1),), (0.1, INF, -0.0, 2**24)),
    ((-1, -2, -3, -4), (-1, -2, -3, -4)),               # negative sizes are kept
]


@pytest.mark.parametrize("args, expected", CONSTRUCTIONS)
def test_construction_shapes(args, expected):
    assert_fields(Rect(*args), expected)


def test_nan_is_stored():
    r = Rect(NAN, 0, NAN, 1)
    assert math.isnan(r.x) and math.isnan(r.w) and r.h == 1.0


def test_edge_case_single_storage():
    assert Rect(0.1, 0, 0, 0).x == 0.10000000149011612


def test_copy_construction_is_independent_and_exact():
    src = Rect(-0.0, NAN, INF, 1e-45)
    dup = Rect(src)
    assert dup is not src
    assert struct.pack("4f", *fields(dup)) == struct.pack("4f", *fields(src))
    src.x = 5
    assert same_bits(dup.x, -0.0)


def test_subclass_construction():
    s = SubRect((1, 2), Vector2(3, 4))
    assert type(s) is SubRect
    assert_fields(s, (1, 2, 3, 4))


@pytest.mark.parametrize("args, exc, message", [
    ((1, 2, 3), TypeError, count_message(3)),
    ((1, 2, 3, 4, 5), TypeError, count_message(5)),
    ((None,) * 9, TypeError, count_message(9)),
    ((None,), ValueError, ONE_ARG),
    ((5,), ValueError, ONE_ARG),
    (("abcd",), ValueError, ONE_ARG),
    ((range(4),), ValueError, ONE_ARG),
    (({0: 1, 1: 2, 2: 3, 3: 4},), ValueError, ONE_ARG),
    ((Vector3(1, 2, 3),), ValueError, ONE_ARG),
    (([1, 2, 3],), ValueError, NOT_FOUR),
    (((),), ValueError, NOT_FOUR),
    (((1, 2, 3, 4, 5),), ValueError, NOT_FOUR),
    ((TupleSub((1, 2)),), ValueError, NOT_FOUR),
    ((ListSub(),), ValueError, NOT_FOUR),
    ((1, 2), ValueError, FIRST),
    ((None, (1, 2)), ValueError, FIRST),
    (((1, 2, 3), (4, 5)), ValueError, FIRST),
    (((1,), (4, 5)), ValueError, FIRST),
    ((Vector4(1, 2, 3, 4), (1, 2)), ValueError, FIRST),
    ((Rect(), (1, 2)), ValueError, FIRST),
    ((5, "not looked at"), ValueError, FIRST),
    (((1, 2), 5), ValueError, SECOND),
    (((1, 2), None), ValueError, SECOND),
    (((1, 2), (3, 4, 5)), ValueError, SECOND),
    ((Vector2(1, 2), []), ValueError, SECOND),
    ((Vector2(1, 2), Vector4(1, 2, 3, 4)), ValueError, SECOND),
])
def test_construction_refusals(args, exc, message):
    with exact(exc, message):
        Rect(*args)


@pytest.mark.parametrize("call, key", [
    (lambda: Rect(x=1), "x"),
    (lambda: Rect(1, 2, 3, 4, x=1), "x"),
    (lambda: Rect(1, 2, 3, w=1), "w"),
    (lambda: Rect(**{"a": 1, "b": 2}), "a"),
    (lambda: Rect().__init__(x=1), "x"),
])
def test_construction_refuses_keywords(call, key):
    with exact(TypeError, unexpected(key)):
        call()


@pytest.mark.parametrize("args, exc", [
    ((1, "a", 3, 4), TypeError),
    ((1, 2, 3, None), TypeError),
    ((10**400, 0, 0, 0), OverflowError),
    ((Boom(), 0, 0, 0), ZeroDivisionError),
    (([1, 2, 3, "a"],), TypeError),
    (((1, [2], 3, 4),), TypeError),
    (((1, "a"), (3, 4)), TypeError),
    (((1, 2), (3, None)), TypeError),
    ((V2Log("a", 1, []),), TypeError),
    ((V4Log(1, 2, None, 4, []),), TypeError),
    (((1, 2), V2Log(3, "b", [])), TypeError),
    # the first argument is converted completely before the second one is examined
    ((("a", 1), 5), TypeError),
])
def test_construction_conversion_errors_leave_the_record(args, exc):
    r = Rect(1, 2, 3, 4)
    with pytest.raises(exc):
        r.__init__(*args)
    assert_fields(r, (1, 2, 3, 4))
    with pytest.raises(exc):
        Rect(*args)


@pytest.mark.parametrize("args", [(5,), ([1, 2, 3],), (1, 2, 3), ((1, 2), 5)])
def test_refused_reinit_leaves_the_record(args):
    r = Rect(1, 2, 3, 4)
    with pytest.raises((TypeError, ValueError)):
        r.__init__(*args)
    assert_fields(r, (1, 2, 3, 4))


@pytest.mark.parametrize("args, expected", [
    ((), (0, 0, 0, 0)),
    ((5, 6, 7, 8), (5, 6, 7, 8)),
    (((5, 6), (7, 8)), (5, 6, 7, 8)),
    ((Vector2(7, 8),), (0, 0, 7, 8)),
])
def test_reinit_overwrites(args, expected):
    r = Rect(1, 2, 3, 4)
    assert r.__init__(*args) is None
    assert_fields(r, expected)


def test_four_numbers_are_converted_in_order():
    log = []
    assert_fields(Rect(*logged(log, a=1, b=2, c=3, d=4)), (1, 2, 3, 4))
    assert log == ["a", "b", "c", "d"]


@pytest.mark.parametrize("kind", [tuple, list, TupleSub])
def test_sequence_items_are_converted_in_order(kind):
    log = []
    assert_fields(Rect(kind(logged(log, a=1, b=2, c=3, d=4))), (1, 2, 3, 4))
    assert log == ["a", "b", "c", "d"]


def test_conversion_stops_at_the_first_failure():
    log = []
    a, b = logged(log, a=1, b=2)
    with pytest.raises(ZeroDivisionError):
        Rect(a, Boom(), b, 4)
    assert log == ["a"]


def test_position_is_converted_before_the_size_is_examined():
    log = []
    a, b, c = logged(log, a=1, b=2, c=3)
    with exact(ValueError, SECOND):
        Rect((a, b), [c])
    assert log == ["a", "b"]
    log.clear()
    assert_fields(Rect(V2Log(1, 2, log, "pos."), V2Log(3, 4, log, "size.")), (1, 2, 3, 4))
    assert log == ["pos.x", "pos.y", "size.x", "size.y"]


def test_vectors_are_read_through_their_python_attributes():
    log = []
    assert_fields(Rect(V2Log(Flt(0.1), Idx(7), log)), (0, 0, 0.1, 7))
    assert log == ["x", "y"]
    log.clear()
    assert_fields(Rect(V4Log(1, Idx(2), Flt(3.5), 1e39, log)), (1, 2, 3.5, INF))
    assert log == ["x", "y", "z", "w"]


# ---------------------------------------------------------------------------------- properties

ALIASES = [("x", "left", 0), ("y", "top", 1), ("w", "width", 2), ("h", "height", 3)]


@pytest.mark.parametrize("short, long, index", ALIASES)
def test_aliases_share_their_field(short, long, index):
    r = Rect(1, 2, 3, 4)
    assert getattr(r, short) == getattr(r, long) == r[index] == index + 1.0
    setattr(r, short, 0.1)
    assert getattr(r, long) == r[index] == f32(0.1)
    setattr(r, long, -7)
    assert type(getattr(r, short)) is float and getattr(r, short) == -7.0
    assert [r[i] for i in range(4) if i != index] == [i + 1.0 for i in range(4) if i != index]


@pytest.mark.parametrize("name", ["x", "y", "w", "h", "left", "top", "width", "height"])
@pytest.mark.parametrize("value, expected", [
    (0.1, 0.1), (2**24 + 1, 2**24), (True, 1), (Idx(9), 9), (Flt(2.5), 2.5), (Fraction(-3, 4), -0.75),
    (1e39, INF), (-1e39, -INF), (-0.0, -0.0), (1e-50, 0.0),
])
def test_field_writes_round_to_single(name, value, expected):
    r = Rect(5, 6, 7, 8)
    setattr(r, name, value)
    assert same_bits(getattr(r, name), f32(expected))


@pytest.mark.parametrize("name", ["x", "y", "w", "h", "left", "top", "width", "height"])
@pytest.mark.parametrize("value, exc", [
    ("a", TypeError), (None, TypeError), ([1.0], TypeError), (10**400, OverflowError), (Boom(), ZeroDivisionError),
])
def test_field_write_errors_leave_the_record(name, value, exc):
    r = Rect(5, 6, 7, 8)
    with pytest.raises(exc):
        setattr(r, name, value)
    assert_fields(r, (5, 6, 7, 8))


@pytest.mark.parametrize("name", PROPERTIES)
def test_properties_cannot_be_deleted(name):
    r = Rect(1, 2, 3, 4)
    with exact(NotImplementedError, "__del__"):
        delattr(r, name)
    assert_fields(r, (1, 2, 3, 4))


def test_anchor_reads(r):
    assert (r.right, r.bottom, r.centerx, r.centery) == (40.0, 60.0, 25.0, 40.0)
    assert all(type(v) is float for v in (r.right, r.bottom, r.centerx, r.centery))
    c = r.center
    assert type(c) is Vector2
    assert (c.x, c.y) == (25.0, 40.0)
    assert r.center is not c
    assert_fields(r, (10, 20, 30, 40))


@pytest.mark.parametrize("values, right, centerx", [
    # the edge is summed in single precision, the centre in double
    ((2**24, 1), 2**24, 2**24 + 0.5),
    ((0.1, 0.2), single_sum(0.1, 0.2), f32(0.1) + f32(0.2) * 0.5),
    ((3e38, 3e38), INF, f32(3e38) * 1.5),
    ((10, -4), 6, 8),
    ((1e-45, 1e-45), 2**-148, 3 * 2**-150),    # subnormal singles
])
def test_anchor_precision(values, right, centerx):
    pos, size = values
    horizontal = Rect(pos, 0, size, 0)
    vertical = Rect(0, pos, 0, size)
    assert same_bits(horizontal.right, right) and same_bits(vertical.bottom, right)
    assert same_bits(horizontal.centerx, centerx) and same_bits(vertical.centery, centerx)
    both = Rect(pos, pos, size, size)
    c = both.center
    assert same_bits(c.x, f32(centerx)) and same_bits(c.y, f32(centerx))


@pytest.mark.parametrize("name, value, expected", [
    ("right", 100, (70, 20, 30, 40)),
    ("bottom", 100, (10, 60, 30, 40)),
    ("centerx", 0, (-15, 20, 30, 40)),
    ("centery", 0, (10, -20, 30, 40)),
    ("center", (0, 0), (-15, -20, 30, 40)),
    ("center", [1, 2, 3], (-14, -18, 30, 40)),
    ("center", Vector2(25, 40), (10, 20, 30, 40)),
    ("center", V2Sub(0, 0), (-15, -20, 30, 40)),
    ("center", {0: 0.5, 1: Idx(1)}, (-14.5, -19, 30, 40)),
    ("center", (Flt(0.0), Fraction(1, 2), "ignored"), (-15, -19.5, 30, 40)),
    ("right", 0.1, (0.1 - 30, 20, 30, 40)),
    ("right", True, (-29, 20, 30, 40)),
    ("right", Fraction(81, 2), (10.5, 20, 30, 40)),
    ("bottom", -1e39, (10, -INF, 30, 40)),
    ("centerx", 1e39, (INF, 20, 30, 40)),
    ("centery", 2.5, (10, -17.5, 30, 40)),
])
def test_anchor_writes_move_and_keep_the_size(r, name, value, expected):
    setattr(r, name, value)
    assert_fields(r, expected)


@pytest.mark.parametrize("name, size, value, expected", [
    # value - width in double precision, then rounded once to single
    ("right", 1, 16777217, 16777216),
    ("right", 0.2, 0.1, 0.1 - f32(0.2)),
    ("centerx", 3, 16777217, 16777217 - 1.5),
    ("centerx", 0.1, 1, 1 - f32(0.1) * 0.5),
    ("center", 3, (16777217, 16777217), 16777217 - 1.5),
    ("center", 0.1, (1, 1), 1 - f32(0.1) * 0.5),
])
def test_anchor_writes_subtract_in_double(name, size, value, expected):
    r = Rect(7, 7, size, size)
    setattr(r, name, value)
    assert r.x == f32(expected) and r.w == f32(size)
    vertical = {"right": "bottom", "centerx": "centery", "center": "center"}[name]
    r = Rect(7, 7, size, size)
    setattr(r, vertical, value)
    assert r.y == f32(expected) and r.h == f32(size)


class Subtrahend:
    """Records what the writer subtracts from it, and answers with `result`."""

    def __init__(self, result):
        self.result, self.seen = result, []

    def __sub__(self, other):
        self.seen.append(other)
        return self.result


@pytest.mark.parametrize("name, field, subtracted", [
    ("right", "x", 30.0), ("bottom", "y", 40.0), ("centerx", "x", 15.0), ("centery", "y", 20.0),
])
def test_anchor_writers_use_python_subtraction(r, name, field, subtracted):
    value = Subtrahend(Flt(5.0))
    setattr(r, name, value)
    assert value.seen == [subtracted] and type(value.seen[0]) is float
    assert getattr(r, field) == 5.0
    value = Subtrahend("not a number")
    with pytest.raises(TypeError):
        setattr(r, name, value)
    assert getattr(r, field) == 5.0


@pytest.mark.parametrize("name", ["right", "bottom", "centerx", "centery"])
@pytest.mark.parametrize("value, exc", [
    ("a", TypeError), (None, TypeError), (Decimal("1"), TypeError), ((1, 2), TypeError),
    (10**400, OverflowError), (Subtrahend(Boom()), ZeroDivisionError),
])
def test_anchor_write_errors_leave_the_record(r, name, value, exc):
    with pytest.raises(exc):
        setattr(r, name, value)
    assert_fields(r, (10, 20, 30, 40))


@pytest.mark.parametrize("value, exc, message", [
    (5, TypeError, "'int' object is not subscriptable"),
    (None, TypeError, "'NoneType' object is not subscriptable"),
    ((1,), IndexError, None),
    ([], IndexError, None),
    ({0: 1}, KeyError, None),
    ((1, "a"), TypeError, None),
    (("a", 1), TypeError, None),
    ("12", TypeError, None),
    ((Boom(), 1), ZeroDivisionError, None),
    (V2Log(1, "b", []), TypeError, None),
])
def test_center_write_errors_leave_the_record(r, value, exc, message):
    with pytest.raises(exc) as excinfo:
        r.center = value
    if message is not None:
        assert str(excinfo.value) == message
    assert_fields(r, (10, 20, 30, 40))


def test_center_write_subscribes_items_0_and_1_without_a_length_check(r):
    log = []

    class Items:
        def __getitem__(self, i):
            log.append(i)
            return (100, 200)[i]

    r.center = Items()
    assert log == [0, 1]
    assert_fields(r, (85, 180, 30, 40))


def test_center_write_reads_a_vectors_attributes(r):
    log = []
    r.center = V2Log(Flt(0.0), Idx(0), log)
    assert log == ["x", "y"]
    assert_fields(r, (-15, -20, 30, 40))


@pytest.mark.parametrize("name, expected", [("get_width", 30.0), ("get_height", 40.0)])
def test_get_width_and_height(r, name, expected):
    value = getattr(r, name)()
    assert type(value) is float and value == expected
    assert getattr(Rect, name)(r) == expected
    assert getattr(Rect(0, 0, 0.1, 0.1), name)() == f32(0.1)


# ----------------------------------------------------------------------------- point collision

POINT_CASES = [
    ((0, 0, 10, 10), (0, 0), True),
    ((0, 0, 10, 10), (10, 10), True),
    ((0, 0, 10, 10), (10, 0), True),
    ((0, 0, 10, 10), (5, 10), True),
    ((0, 0, 10, 10), (5, 5), True),
    ((0, 0, 10, 10), (10.001, 5), False),
    ((0, 0, 10, 10), (-0.001, 5), False),
    ((0, 0, 10, 10), (5, 10.001), False),
    ((0, 0, 10, 10), (5, -0.001), False),
    ((0, 0, 10, 10), (-5, -5), False),
    ((0, 0, 10, 10), (INF, 5), False),
    ((0, 0, 10, 10), (5, -INF), False),
    ((0, 0, 10, 10), (NAN, 5), False),
    ((0, 0, 10, 10), (5, NAN), False),
    ((5, 5, 0, 0), (5, 5), True),
    ((5, 5, 0, 0), (5, 5.001), False),
    ((-5, -5, 10, 10), (0, 0), True),
    ((10, 0, -10, 10), (5, 5), False),           # a negative width contains no point
    ((10, 0, -10, 10), (10, 5), False),
    ((0, 10, 10, -10), (5, 5), False),
    ((0, 0, INF, INF), (1e30, 1e30), True),
    ((NAN, 0, 10, 10), (5, 5), False),
    ((0, NAN, 10, 10), (5, 5), False),
    ((0, 0, NAN, 10), (5, 5), False),
    ((0, 0, 10, NAN), (5, 5), False),
    ((0, 0, 10, 10), (NAN, NAN), False),
]

POINT_FORMS = {
    "collide_point-tuple": lambda r, p: r.collide_point(tuple(p)),
    "collide_point-list": lambda r, p: r.collide_point(list(p)),
    "collide_point-Vector2": lambda r, p: r.collide_point(Vector2(*p)),
    "collide_point-TupleSub": lambda r, p: r.collide_point(TupleSub(p)),
    "collide_point-ListSub": lambda r, p: r.collide_point(ListSub(p)),
    "collide_point-V2Sub": lambda r, p: r.collide_point(V2Sub(*p)),
    "collide_point-keyword": lambda r, p: r.collide_point(point=tuple(p)),
    "collide_point_vector2": lambda r, p: r.collide_point_vector2(Vector2(*p)),
    "collide_point_vector2-subclass": lambda r, p: r.collide_point_vector2(V2Sub(*p)),
    "collide_point_tuple": lambda r, p: r.collide_point_tuple(tuple(p)),
    "collide_point_list": lambda r, p: r.collide_point_list(list(p)),
    "collide_point_list-keyword": lambda r, p: r.collide_point_list(point=list(p)),
}


def assert_collision(form, rect, other, expected):
    """A Rect holding `rect` answers `expected` through `form` and is left unchanged."""
    r = Rect(*rect)
    assert form(r, other) is expected
    assert_fields(r, rect)


@pytest.mark.parametrize("form", POINT_FORMS)
@pytest.mark.parametrize("rect, point, expected", POINT_CASES)
def test_point_collision(form, rect, point, expected):
    assert_collision(POINT_FORMS[form], rect, point, expected)


def reference_point(r, px, py):
    x, y, w, h = fields(r)
    return x <= px <= single_sum(x, w) and y <= py <= single_sum(y, h)


def test_point_collision_agrees_with_the_rule_on_a_grid():
    values = [-1.5, -1, 0, 0.5, 1, 2.5]
    for rect in itertools.product([-1, 0, 0.5], [-1, 0, 1], [-1, 0, 1.5], [0, 2]):
        r = Rect(*rect)
        for px, py in itertools.product(values, values):
            expected = reference_point(r, px, py)
            got = {form(r, (px, py)) for form in POINT_FORMS.values()}
            assert got == {expected}, (rect, (px, py))


@pytest.mark.parametrize("call, expected", [
    # the receiver's right edge is summed in single: 2**24 + 1 rounds to 2**24
    (lambda: Rect(2**24, 0, 1, 1).collide_point((2**24 + 0.5, 0.5)), False),
    (lambda: Rect(2**24, 0, 1, 1).collide_point_tuple((2**24 + 0.5, 0.5)), False),
    (lambda: Rect(0, 2**24, 1, 1).collide_point_list([0.5, 2**24 + 0.5]), False),
    # the point itself is not rounded to single
    (lambda: Rect(0, 0, 0.1, 1).collide_point((0.1, 0.5)), True),
    (lambda: Rect(0, 0, 0.1, 1).collide_point((0.1000000015, 0.5)), False),
    (lambda: Rect(0, 0, 0.1, 1).collide_point([0.5, 0.5]), False),
    (lambda: Rect(0, 0, 0.1, 1).collide_point_tuple((0.1000000015, 0.5)), False),
    # the dispatching form converts to double; the typed forms compare an int exactly
    (lambda: Rect(0, 0, 2**53, 1).collide_point((2**53 + 1, 0)), True),
    (lambda: Rect(0, 0, 2**53, 1).collide_point_tuple((2**53 + 1, 0)), False),
    (lambda: Rect(0, 0, 1, 2**53).collide_point_list([0, 2**53 + 1]), False),
    (lambda: Rect(0, 0, 1, 2**53).collide_point_list([0, 2**53]), True),
])
def test_point_collision_precision(call, expected):
    assert call() is expected


@pytest.mark.parametrize("point", [(1, 2, 3), (1,), (), 5, None, "ab", {0: 1, 1: 2}, Vector4(1, 2, 3, 4),
                                   Rect(), Vector3(1, 2, 3), range(2), TupleSub((1, 2, 3)), ListSub([1])])
def test_collide_point_refuses_other_shapes(box, point):
    with exact(ValueError, POINT):
        box.collide_point(point)


@pytest.mark.parametrize("point, exc", [
    (("a", 1), TypeError), ((1, None), TypeError), ([1, [2]], TypeError), ((Boom(), 1), ZeroDivisionError),
    ((10**400, 1), OverflowError),
    # both coordinates are obtained before anything is compared
    ((50, "a"), TypeError), ((-50, None), TypeError),
])
def test_collide_point_conversion_errors(box, point, exc):
    with pytest.raises(exc):
        box.collide_point(point)


def test_collide_point_obtains_both_coordinates_first(box):
    log = []
    assert box.collide_point(tuple(logged(log, a=50, b=5))) is False
    assert log == ["a", "b"]
    log.clear()
    assert box.collide_point(V2Log(50, 5, log)) is False
    assert log == ["x", "y"]


@pytest.mark.parametrize("name", ["collide_point_tuple", "collide_point_list"])
@pytest.mark.parametrize("px, py, expected, trace", [
    (5, 5, True, ["px >= 0.0", "px <= 10.0", "py >= 0.0", "py <= 10.0"]),
    (50, 5, False, ["px >= 0.0", "px <= 10.0"]),
    (-5, 5, False, ["px >= 0.0"]),
    (5, -5, False, ["px >= 0.0", "px <= 10.0", "py >= 0.0"]),
    (5, 50, False, ["px >= 0.0", "px <= 10.0", "py >= 0.0", "py <= 10.0"]),
])
def test_typed_point_forms_compare_python_objects_in_order(box, name, px, py, expected, trace):
    log = []
    point = nums(log, px=px, py=py)
    kind = tuple if name.endswith("tuple") else list
    assert getattr(box, name)(kind(point)) is expected
    assert log == trace


def test_typed_vector2_form_fetches_y_only_when_x_passes(box):
    log = []
    px, py = nums(log, px=5, py=5)
    assert box.collide_point_vector2(V2Log(px, py, log)) is True
    assert log == ["x", "px >= 0.0", "px <= 10.0", "y", "py >= 0.0", "py <= 10.0"]
    log.clear()
    px, py = nums(log, px=50, py=5)
    assert box.collide_point_vector2(V2Log(px, py, log)) is False
    assert log == ["x", "px >= 0.0", "px <= 10.0"]


@pytest.mark.parametrize("name", ["collide_point_tuple", "collide_point_list"])
def test_typed_sequence_forms_ignore_extra_items_and_skip_unneeded_ones(box, name):
    kind = tuple if name.endswith("tuple") else list
    method = getattr(box, name)
    assert method(kind((1, 2, 99))) is True
    assert method(kind((5, 5, "junk", None))) is True
    assert method(kind((50, "a"))) is False         # the y part is never evaluated
    with pytest.raises(TypeError):
        method(kind((5, "a")))
    with pytest.raises(TypeError):
        method(kind(([5], 5)))


@pytest.mark.parametrize("name", ["collide_point_tuple", "collide_point_list"])
@pytest.mark.parametrize("items", [(), (5,), (50,), (-5,)])
def test_typed_sequence_point_forms_refuse_short_sequences(box, name, items):
    kind = tuple if name.endswith("tuple") else list
    with exact(ValueError, POINT):
        getattr(box, name)(kind(items))


# ------------------------------------------------------------------------- rectangle collision

RECT_CASES = [
    ((0, 0, 10, 10), (10, 0, 5, 5), False),         # shared edge
    ((0, 0, 10, 10), (9.5, 9.5, 5, 5), True),
    ((0, 0, 10, 10), (-5, -5, 5, 5), False),        # shared corner
    ((0, 0, 10, 10), (2, 2, 1, 1), True),           # containment
    ((0, 0, 10, 10), (5, 5, 10, 10), True),
    ((0, 0, 10, 10), (-5, 0, 5, 10), False),
    ((0, 0, 10, 10), (0, 10, 10, 5), False),
    ((0, 0, 10, 10), (0, -5, 10, 5), False),
    ((0, 0, 10, 10), (-1, -1, 12, 12), True),
    ((0, 0, 10, 10), (0, 0, 10, 10), True),
    ((0, 0, 10, 10), (0, 0, 0, 0), False),
    ((0, 0, 10, 10), (5, 5, 0, 0), True),
    ((0, 0, 10, 10), (20, 20, -15, -15), False),
    ((0, 0, 10, 10), (NAN, 0, 5, 5), False),
    ((0, 0, 10, 10), (0, 0, 5, NAN), False),
    ((5, 5, 0, 0), (0, 0, 10, 10), True),
    ((10, 0, -10, 10), (2, 2, 1, 1), False),
    ((10, 0, -10, 10), (-20, 0, 40, 10), True),
    ((NAN, 0, 10, 10), (0, 0, 10, 10), False),
    ((0, 0, 10, NAN), (0, 0, 10, 10), False),
]

RECT_FORMS = {
    "collide_rect-Rect": lambda r, o: r.collide_rect(Rect(*o)),
    "collide_rect-SubRect": lambda r, o: r.collide_rect(SubRect(*o)),
    "collide_rect-Vector4": lambda r, o: r.collide_rect(Vector4(*o)),
    "collide_rect-V4Sub": lambda r, o: r.collide_rect(V4Sub(*o)),
    "collide_rect-tuple": lambda r, o: r.collide_rect(tuple(o)),
    "collide_rect-list": lambda r, o: r.collide_rect(list(o)),
    "collide_rect-TupleSub": lambda r, o: r.collide_rect(TupleSub(o)),
    "collide_rect-ListSub": lambda r, o: r.collide_rect(other=ListSub(o)),
    "collide_rect_vector4": lambda r, o: r.collide_rect_vector4(Vector4(*o)),
    "collide_rect_vector4-subclass": lambda r, o: r.collide_rect_vector4(other=V4Sub(*o)),
    "collide_rect_rect": lambda r, o: r.collide_rect_rect(Rect(*o)),
    "collide_rect_rect-subclass": lambda r, o: r.collide_rect_rect(other=SubRect(*o)),
    "collide_rect_tuple": lambda r, o: r.collide_rect_tuple(tuple(o)),
    "collide_rect_list": lambda r, o: r.collide_rect_list(list(o)),
}


@pytest.mark.parametrize("form", RECT_FORMS)
@pytest.mark.parametrize("rect, other, expected", RECT_CASES)
def test_rect_collision(form, rect, other, expected):
    assert_collision(RECT_FORMS[form], rect, other, expected)


def reference_rect(r, ox, oy, ow, oh):
    x, y, w, h = fields(r)
    return ox + ow > x and single_sum(x, w) > ox and oy + oh > y and single_sum(y, h) > oy


def test_rect_collision_agrees_with_the_rule_on_a_grid():
    receivers = [(0, 0, 2, 2), (1, -1, 0.5, 3), (2, 2, -2, -2), (0, 0, 0, 0)]
    values = [-1, 0, 0.5, 2]
    for rect in receivers:
        r = Rect(*rect)
        for other in itertools.product(values, values, [-1, 0, 1.5], [0, 1, 3]):
            expected = reference_rect(r, *other)
            got = {form(r, other) for form in RECT_FORMS.values()}
            assert got == {expected}, (rect, other)


WIDE = (0.5, 0, 0.5 + 2**-24, 10)       # 0.5 + (0.5 + 2**-24) is not a single


@pytest.mark.parametrize("call, expected", [
    # the argument's sums are formed in double ...
    (lambda r: r.collide_rect(Rect(*WIDE)), True),
    (lambda r: r.collide_rect(Vector4(*WIDE)), True),
    (lambda r: r.collide_rect(WIDE), True),
    (lambda r: r.collide_rect_vector4(Vector4(*WIDE)), True),
    (lambda r: r.collide_rect_tuple(WIDE), True),
    (lambda r: r.collide_rect_list(list(WIDE)), True),
    # ... except by the record-to-record form, which stays in single
    (lambda r: r.collide_rect_rect(Rect(*WIDE)), False),
    (lambda r: r.collide_rect(Rect(0, 0.5, 10, 0.5 + 2**-24)), True),
    (lambda r: r.collide_rect_rect(Rect(0, 0.5, 10, 0.5 + 2**-24)), False),
    # the double sum really is needed: a single sum would give 1.0, which does not pass x = 1
    (lambda r: r.collide_rect((0.5, 0, 0.5 + 2**-30, 10)), True),
])
def test_rect_collision_argument_sums(call, expected):
    assert call(Rect(1, 1, 10, 10)) is expected


@pytest.mark.parametrize("form", ["tuple", "list", "Vector4", "collide_rect_tuple", "collide_rect_list",
                                  "collide_rect_vector4"])
def test_rect_collision_receiver_sums_in_single(form):
    # x + width = 2**24 + 1 rounds to 2**24, which is not right of 2**24 + 0.5
    r = Rect(2**24, 0, 1, 1)
    other = (2**24 + 0.5, 0, 1, 1)
    call = {
        "tuple": lambda: r.collide_rect(other),
        "list": lambda: r.collide_rect(list(other)),
        "Vector4": lambda: r.collide_rect(Vector4(*other)),
        "collide_rect_tuple": lambda: r.collide_rect_tuple(other),
        "collide_rect_list": lambda: r.collide_rect_list(list(other)),
        "collide_rect_vector4": lambda: r.collide_rect_vector4(Vector4(*other)),
    }[form]
    assert call() is False
    assert r.collide_rect((2**24 - 0.5, 0, 1, 1)) is True


@pytest.mark.parametrize("other", [[1, 2, 3], (1, 2, 3, 4, 5), (), None, 5, "abcd", Vector2(1, 2),
                                   Vector3(1, 2, 3), {0: 1, 1: 2, 2: 3, 3: 4}, range(4), TupleSub((1,))])
def test_collide_rect_refuses_other_shapes(box, other):
    with exact(ValueError, RECT_SHAPE):
        box.collide_rect(other)


@pytest.mark.parametrize("other, exc", [
    ((1, 2, 3, "a"), TypeError), ([None, 2, 3, 4], TypeError), ((1, Boom(), 3, 4), ZeroDivisionError),
    ((50, 0, 1, "a"), TypeError),      # all four are obtained before comparing
    (V4Log(1, 2, 3, "w", []), TypeError),
])
def test_collide_rect_conversion_errors(box, other, exc):
    with pytest.raises(exc):
        box.collide_rect(other)


def test_collide_rect_obtains_all_four_values_first(box):
    log = []
    assert box.collide_rect(list(logged(log, a=50, b=0, c=1, d=1))) is False
    assert log == ["a", "b", "c", "d"]
    log.clear()
    assert box.collide_rect(V4Log(50, 0, 1, 1, log)) is False
    assert log == ["x", "y", "z", "w"]


@pytest.mark.parametrize("other, expected, trace", [
    ((2, 2, 1, 1), True, ["x", "z", "x", "y", "w", "y"]),
    ((-5, 2, 1, 1), False, ["x", "z"]),
    ((20, 2, 1, 1), False, ["x", "z", "x"]),
    ((2, -5, 1, 1), False, ["x", "z", "x", "y", "w"]),
    ((2, 20, 1, 1), False, ["x", "z", "x", "y", "w", "y"]),
])
def test_collide_rect_vector4_fetches_attributes_per_comparison(box, other, expected, trace):
    log = []
    assert box.collide_rect_vector4(V4Log(*other, log)) is expected
    assert log == trace


@pytest.mark.parametrize("name", ["collide_rect_tuple", "collide_rect_list"])
@pytest.mark.parametrize("values, expected, trace", [
    ((2, 2, 1, 1), True, ["a + c", "(a+c) > 0.0", "a < 10.0", "b + d", "(b+d) > 0.0", "b < 10.0"]),
    ((-5, 2, 1, 1), False, ["a + c", "(a+c) > 0.0"]),
    ((20, 2, 1, 1), False, ["a + c", "(a+c) > 0.0", "a < 10.0"]),
    ((2, 20, 1, 1), False, ["a + c", "(a+c) > 0.0", "a < 10.0", "b + d", "(b+d) > 0.0", "b < 10.0"]),
])
def test_typed_sequence_rect_forms_use_items_0_2_1_3_in_order(box, name, values, expected, trace):
    log = []
    kind = tuple if name.endswith("tuple") else list
    assert getattr(box, name)(kind(nums(log, a=values[0], b=values[1], c=values[2], d=values[3]))) is expected
    assert log == trace


@pytest.mark.parametrize("name", ["collide_rect_tuple", "collide_rect_list"])
def test_typed_sequence_rect_forms_ignore_extra_items_and_skip_unneeded_ones(box, name):
    kind = tuple if name.endswith("tuple") else list
    method = getattr(box, name)
    assert method(kind((2, 2, 1, 1, "junk"))) is True
    assert method(kind((-5, "b", 1, "d"))) is False     # the y part is never evaluated
    with pytest.raises(TypeError):
        method(kind((2, "b", 1, "d")))
    with pytest.raises(TypeError):
        method(kind(("a", 2, 1, 1)))


@pytest.mark.parametrize("name", ["collide_rect_tuple", "collide_rect_list"])
@pytest.mark.parametrize("items", [(), (2,), (2, 2, 1), (-50, 0, 1)])
def test_typed_sequence_rect_forms_refuse_short_sequences(box, name, items):
    kind = tuple if name.endswith("tuple") else list
    with exact(ValueError, RECT_SHAPE):
        getattr(box, name)(kind(items))


def test_collide_rect_vector4_python_arithmetic(box):
    assert box.collide_rect_vector4(V4Log(Fraction(-1, 2), 0, Fraction(1, 2), 1, [])) is False
    with pytest.raises(TypeError):
        box.collide_rect_vector4(V4Log(2, "b", 1, 1, []))


# ------------------------------------------------------------------ typed collision parameters

TYPED = [
    ("collide_point_vector2", "point", (1, 2), V2, "tuple"),
    ("collide_point_vector2", "point", 5, V2, "int"),
    ("collide_point_vector2", "point", Vector4(1, 2, 3, 4), V2, V4),
    ("collide_point_tuple", "point", [1, 2], "tuple", "list"),
    ("collide_point_tuple", "point", TupleSub((1, 2)), "tuple", "TupleSub"),
    ("collide_point_tuple", "point", Vector2(1, 2), "tuple", V2),
    ("collide_point_list", "point", (1, 2), "list", "tuple"),
    ("collide_point_list", "point", ListSub([1, 2]), "list", "ListSub"),
    ("collide_rect_vector4", "other", (1, 2, 3, 4), V4, "tuple"),
    ("collide_rect_vector4", "other", Rect(), V4, RECT),
    ("collide_rect_rect", "other", Vector4(1, 2, 3, 4), RECT, V4),
    ("collide_rect_rect", "other", (1, 2, 3, 4), RECT, "tuple"),
    ("collide_rect_rect", "other", None, RECT, "NoneType"),
    ("collide_rect_tuple", "other", [1, 2, 3, 4], "tuple", "list"),
    ("collide_rect_tuple", "other", TupleSub((1, 2, 3, 4)), "tuple", "TupleSub"),
    ("collide_rect_list", "other", (1, 2, 3, 4), "list", "tuple"),
    ("collide_rect_list", "other", ListSub([1, 2, 3, 4]), "list", "ListSub"),
    ("collide_rect_list", "other", Rect(), "list", RECT),
]


@pytest.mark.parametrize("name, param, value, expected, got", TYPED)
def test_typed_collision_parameters(box, name, param, value, expected, got):
    with exact(TypeError, argtype(param, got, expected)) as excinfo:
        getattr(box, name)(value)
    assert not hasattr(excinfo.value, "__notes__")
    with exact(TypeError, argtype(param, got, expected)):
        getattr(box, name)(**{param: value})


@pytest.mark.parametrize("name, exc, message", [
    ("collide_point_vector2", AttributeError, "'NoneType' object has no attribute 'x'"),
    ("collide_rect_vector4", AttributeError, "'NoneType' object has no attribute 'x'"),
    ("collide_point_tuple", TypeError, "'NoneType' object is not subscriptable"),
    ("collide_point_list", TypeError, "'NoneType' object is not subscriptable"),
    ("collide_rect_tuple", TypeError, "'NoneType' object is not subscriptable"),
    ("collide_rect_list", TypeError, "'NoneType' object is not subscriptable"),
    ("collide_rect_rect", TypeError, argtype("other", "NoneType", RECT)),
])
def test_typed_collision_forms_given_none(box, name, exc, message):
    with exact(exc, message):
        getattr(box, name)(None)
    assert_fields(box, (0, 0, 10, 10))


COLLISION_ARGS = {
    "collide_point": ("point", (5, 5)),
    "collide_point_vector2": ("point", Vector2(5, 5)),
    "collide_point_tuple": ("point", (5, 5)),
    "collide_point_list": ("point", [5, 5]),
    "collide_rect": ("other", (2, 2, 1, 1)),
    "collide_rect_vector4": ("other", Vector4(2, 2, 1, 1)),
    "collide_rect_rect": ("other", Rect(2, 2, 1, 1)),
    "collide_rect_tuple": ("other", (2, 2, 1, 1)),
    "collide_rect_list": ("other", [2, 2, 1, 1]),
}


@pytest.mark.parametrize("name", COLLISION_ARGS)
def test_collision_argument_matching(box, name):
    param, good = COLLISION_ARGS[name]
    method = getattr(box, name)
    assert method(good) is True
    assert method(**{param: good}) is True
    assert getattr(Rect, name)(box, good) is True
    with exact(TypeError, count(1, "exactly", 0, name)):
        method()
    with exact(TypeError, count(1, "exactly", 2, name)):
        method(good, good)
    with exact(TypeError, multiple(param, name)):
        method(good, **{param: good})
    with exact(TypeError, unexpected("bogus", name)):
        method(bogus=good)
    with exact(TypeError, f"{name}() needs an argument"):
        getattr(Rect, name)()


@pytest.mark.parametrize("name", ["get_width", "get_height", "get_tuple", "get_vector4"])
def test_no_argument_methods(box, name):
    method = getattr(box, name)
    with exact(TypeError, count(0, "exactly", 1, name)):
        method(1)
    with exact(TypeError, count(0, "exactly", 2, name)):
        method(1, 2)
    with exact(TypeError, unexpected("x", name)):
        method(x=1)
    with exact(TypeError, f"{name}() needs an argument"):
        getattr(Rect, name)()


@pytest.mark.parametrize("name", METHODS)
def test_methods_refuse_a_foreign_receiver(name):
    param, good = COLLISION_ARGS.get(name, (None, None))
    args = () if param is None else (good,)
    for receiver in [(0, 0, 10, 10), None, Vector4(0, 0, 10, 10)]:
        with pytest.raises(TypeError):
            getattr(Rect, name)(receiver, *args)


# ---------------------------------------------------------------------------- item protocol


def test_sequence_of_four_floats():
    r = Rect(1, 2, 3, 4)
    assert len(r) == 4
    assert (r[0], r[1], r[2], r[3]) == (1.0, 2.0, 3.0, 4.0)
    assert all(type(r[i]) is float for i in range(4))
    assert list(r) == [1.0, 2.0, 3.0, 4.0]
    x, y, w, h = r
    assert (x, y, w, h) == (1.0, 2.0, 3.0, 4.0)
    assert list(reversed(r)) == [4.0, 3.0, 2.0, 1.0]
    assert 3 in r and 3.0 in r and 5 not in r
    assert bool(Rect()) is True and len(Rect()) == 4


def test_iteration_is_the_interpreters_fallback_over_items():
    class ItemsOnly:
        def __getitem__(self, i):
            raise IndexError

    assert "__iter__" not in Rect.__dict__
    assert type(iter(Rect())) is type(iter(ItemsOnly()))


@pytest.mark.parametrize("index, expected", [
    (Idx(2), 3.0), (True, 2.0), (False, 1.0), (IntSub(3), 4.0),
])
def test_item_read_index_conversion(index, expected):
    assert Rect(1, 2, 3, 4)[index] == expected


def index_error_message(index):
    with pytest.raises(TypeError) as excinfo:
        operator.index(index)
    return str(excinfo.value)


@pytest.mark.parametrize("index", [4, -1, -4, 5, 2**62, -2**62, Idx(4), Idx(-1)])
def test_item_read_out_of_range(index):
    with exact(IndexError, OUT_OF_RANGE):
        Rect(1, 2, 3, 4)[index]


@pytest.mark.parametrize("index", [1.0, "0", None, slice(0, 2), (0,), Flt(1)])
def test_item_read_needs_an_integer(index):
    with exact(TypeError, index_error_message(index)):
        Rect(1, 2, 3, 4)[index]


@pytest.mark.parametrize("index", [2**64, -2**100])
def test_item_index_beyond_machine_size(index):
    r = Rect(1, 2, 3, 4)
    with pytest.raises(OverflowError):
        r[index]
    with pytest.raises(OverflowError):
        r[index] = 1
    with pytest.raises(OverflowError):
        r[index] = "checked later"


def test_slicing_is_not_supported():
    with pytest.raises(TypeError):
        Rect(1, 2, 3, 4)[0:2]


@pytest.mark.parametrize("index, value, expected", [
    (2, 5, (1, 2, 5, 4)),
    (0, 0.1, (0.1, 2, 3, 4)),
    (1, 1e39, (1, INF, 3, 4)),
    (3, Flt(-2.5), (1, 2, 3, -2.5)),
    (Idx(3), Idx(7), (1, 2, 3, 7)),
    (True, 2**24 + 1, (1, 2**24, 3, 4)),
])
def test_item_write(index, value, expected):
    r = Rect(1, 2, 3, 4)
    r[index] = value
    assert_fields(r, expected)


@pytest.mark.parametrize("index, value, exc, message", [
    (9, "a", TypeError, None),                  # the value is converted before the range check
    (-1, None, TypeError, None),
    (9, 1.0, IndexError, OUT_OF_RANGE),
    (-1, 1, IndexError, OUT_OF_RANGE),
    (4, Idx(1), IndexError, OUT_OF_RANGE),
    ("a", "b", TypeError, index_error_message("a")),   # the index is converted first
    (1.0, 1.0, TypeError, index_error_message(1.0)),
    (slice(0, 2), (1, 2), TypeError, index_error_message(slice(0, 2))),
    (0, 10**400, OverflowError, None),
    (0, Boom(), ZeroDivisionError, None),
])
def test_item_write_errors_leave_the_record(index, value, exc, message):
    r = Rect(1, 2, 3, 4)
    with pytest.raises(exc) as excinfo:
        r[index] = value
    if message is not None:
        assert str(excinfo.value) == message
    if exc is TypeError and message is None:
        assert "interpreted as an integer" not in str(excinfo.value)
    assert_fields(r, (1, 2, 3, 4))


@pytest.mark.parametrize("index", [0, 3, 9, -1, "a"])
def test_item_deletion_is_refused(index):
    r = Rect(1, 2, 3, 4)
    with exact(NotImplementedError, NO_DELETION + RECT):
        del r[index]
    s = SubRect(1, 2, 3, 4)
    with exact(NotImplementedError, NO_DELETION + "SubRect"):
        del s[index]
    assert_fields(r, (1, 2, 3, 4))


# ------------------------------------------------------------------------------------ equality


@pytest.mark.parametrize("a, b, equal", [
    (Rect(1, 2, 3, 4), Rect(1, 2, 3, 4), True),
    (Rect(1, 2, 3, 4), SubRect(1, 2, 3, 4), True),
    (SubRect(1, 2, 3, 4), Rect(1, 2, 3, 4), True),
    (Rect(1, 2, 3, 4), Rect(1, 2, 3, 5), False),
    (Rect(1, 2, 3, 4), Rect(0, 2, 3, 4), False),
    (Rect(1, 2, 3, 4), Rect(1, 0, 3, 4), False),
    (Rect(1, 2, 3, 4), Rect(1, 2, 0, 4), False),
    (Rect(0.0, -0.0, 0, 0), Rect(-0.0, 0.0, 0, 0), True),
    (Rect(0.1, 0, 0, 0), Rect(0.10000000149011612, 0, 0, 0), True),
    (Rect(INF, 0, 0, 0), Rect(INF, 0, 0, 0), True),
    (Rect(NAN, 0, 0, 0), Rect(NAN, 0, 0, 0), False),
    (Rect(1, 2, 3, 4), (1, 2, 3, 4), False),
    ((1, 2, 3, 4), Rect(1, 2, 3, 4), False),
    (Rect(1, 2, 3, 4), [1, 2, 3, 4], False),
    (Rect(1, 2, 3, 4), Vector4(1, 2, 3, 4), False),
    (Vector4(1, 2, 3, 4), Rect(1, 2, 3, 4), False),
    (Rect(), 0, False),
    (Rect(), None, False),
    (Rect(), EqualsAnything(), False),           # never NotImplemented: the other side is not asked
    (EqualsAnything(), Rect(), True),
])
def test_equality(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is (not equal)


def test_nan_rect_is_unequal_to_itself():
    for r in (Rect(0, 0, 0, NAN), Rect(NAN, NAN, NAN, NAN)):
        assert (r == r) is False
        assert (r != r) is True


def test_equality_never_answers_not_implemented():
    r = Rect(1, 2, 3, 4)
    assert r.__eq__((1, 2, 3, 4)) is False
    assert r.__ne__((1, 2, 3, 4)) is True
    assert r.__eq__(None) is False


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [Rect(0, 0, 0, 0), Rect(1, 2, 3, 4), (1, 2, 3, 4), 1])
def test_no_ordering(op, other):
    with pytest.raises(TypeError):
        op(Rect(1, 2, 3, 4), other)
    name = {operator.lt: "__lt__", operator.le: "__le__", operator.gt: "__gt__", operator.ge: "__ge__"}[op]
    assert getattr(Rect(1, 2, 3, 4), name)(other) is NotImplemented


# --------------------------------------------------------------------- printed form, conversion


@pytest.mark.parametrize("r, text", [
    (Rect(1, 2, 3, 4), "Rect(position=1.0, size=3.0)"),
    (Rect(0.1, 0, 0.5, 0), "Rect(position=0.10000000149011612, size=0.5)"),
    (Rect(), "Rect(position=0.0, size=0.0)"),
    (Rect(-0.0, 5, -2.5, 7), "Rect(position=-0.0, size=-2.5)"),
    (Rect(INF, 0, -INF, 0), "Rect(position=inf, size=-inf)"),
    (Rect(NAN, 0, 1e30, 0), "Rect(position=nan, size=1.0000000150474662e+30)"),
    (Rect(1e-45, 0, 16777216, 0), "Rect(position=1.401298464324817e-45, size=16777216.0)"),
    (Rect(123456789, 0, 1e16, 0), "Rect(position=123456792.0, size=1.0000000272564224e+16)"),
    (Rect(-7, 99, 3, 99), "Rect(position=-7.0, size=3.0)"),
    (SubRect(1, 2, 3, 4), "Rect(position=1.0, size=3.0)"),
])
def test_repr_and_str(r, text):
    assert repr(r) == text
    assert str(r) == text
    assert f"{r}" == text


def test_str_is_the_repr():
    assert Rect.__str__ is object.__str__


@pytest.mark.parametrize("values", [(1, 2, 3, 4), (0.1, -0.0, INF, -1e-45), (2**24 + 1, -3e38, 1e39, 0.5)])
def test_get_tuple(values):
    r = Rect(*values)
    t = r.get_tuple()
    assert type(t) is tuple and len(t) == 4
    assert all(type(c) is float for c in t)
    assert all(same_bits(c, f32(v)) for c, v in zip(t, values))
    assert r.get_tuple() is not t
    assert Rect.get_tuple(SubRect(*values)) == t


def test_get_tuple_keeps_nan():
    t = Rect(NAN, 1, 2, 3).get_tuple()
    assert math.isnan(t[0]) and t[1:] == (1.0, 2.0, 3.0)


@pytest.mark.parametrize("values", [(1, 2, 3, 4), (0.1, -0.0, INF, -1e-45), (2**24 + 1, -3e38, 1e39, 0.5)])
def test_get_vector4(values):
    r = Rect(*values)
    v = r.get_vector4()
    assert type(v) is Vector4
    assert all(same_bits(c, f32(e)) for c, e in zip((v.x, v.y, v.z, v.w), values))
    assert r.get_vector4() is not v
    assert_fields(r, values)


def test_edge_case_conversions():
    assert Rect(1, 2, 3, 4).get_tuple() == (1.0, 2.0, 3.0, 4.0)
    v = Rect(1, 2, 3, 4).get_vector4()
    assert (v.x, v.y, v.z, v.w) == (1.0, 2.0, 3.0, 4.0)


def test_get_vector4_on_a_subclass_gives_a_plain_vector4():
    v = SubRect(5, 6, 7, 8).get_vector4()
    assert type(v) is Vector4 and (v.x, v.y, v.z, v.w) == (5.0, 6.0, 7.0, 8.0)


# ------------------------------------------------------------------------------------ pickling

GUARD_TEXT = "self._raw"


@pytest.mark.parametrize("obj", [Rect(1, 2, 3, 4), SubRect(1, 2, 3, 4)])
@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_is_refused(obj, protocol):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)):
        pickle.dumps(obj, protocol)


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy])
def test_copying_is_refused(copier):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)):
        copier(Rect(1, 2, 3, 4))


def test_guard_methods():
    r = Rect(1, 2, 3, 4)
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as reduce_info:
        r.__reduce__()
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as setstate_info:
        r.__setstate__((5, 6, 7, 8))
    assert str(reduce_info.value) == str(setstate_info.value)
    with pytest.raises(TypeError, match=r"takes exactly 1 positional argument \(0 given\)$"):
        r.__setstate__()
    with pytest.raises(TypeError, match=r"takes exactly 1 positional argument \(2 given\)$"):
        r.__setstate__(1, 2)
    with pytest.raises(TypeError):
        r.__reduce__(1)
    assert_fields(r, (1, 2, 3, 4))


def test_guard_is_installed_under_the_pickling_names():
    assert_pickling_guard_installed(Rect)


# --------------------------------------------------------------------------- traceback entries


@pytest.mark.parametrize("call, exc, name", [
    (lambda r: Rect(1, 2, 3), TypeError, "Rect.__init__"),
    (lambda r: Rect(x=1), TypeError, "Rect.__init__"),
    (lambda r: Rect(None), ValueError, "Rect.__init__"),
    (lambda r: Rect((1, 2), 5), ValueError, "Rect.__init__"),
    (lambda r: Rect(1, "a", 3, 4), TypeError, "Rect.__init__"),
    (lambda r: setattr(r, "x", "a"), TypeError, "Rect.x.__set__"),
    (lambda r: setattr(r, "height", None), TypeError, "Rect.height.__set__"),
    (lambda r: setattr(r, "right", "a"), TypeError, "Rect.right.__set__"),
    (lambda r: setattr(r, "centery", None), TypeError, "Rect.centery.__set__"),
    (lambda r: setattr(r, "center", 5), TypeError, "Rect.center.__set__"),
    (lambda r: r.collide_point(5), ValueError, "Rect.collide_point"),
    (lambda r: r.collide_point(), TypeError, "Rect.collide_point"),
    (lambda r: r.collide_point(("a", 1)), TypeError, "Rect.collide_point"),
    (lambda r: r.collide_rect(None), ValueError, "Rect.collide_rect"),
    (lambda r: r.collide_point_tuple([1, 2]), TypeError, "Rect.collide_point_tuple"),
    (lambda r: r.collide_point_tuple((15, "a")), TypeError, "Rect.collide_point_tuple"),
    (lambda r: r.collide_point_list([1]), ValueError, "Rect.collide_point_list"),
    (lambda r: r.collide_point_vector2(None), AttributeError, "Rect.collide_point_vector2"),
    (lambda r: r.collide_rect_rect(None), TypeError, "Rect.collide_rect_rect"),
    (lambda r: r.collide_rect_vector4(1), TypeError, "Rect.collide_rect_vector4"),
    (lambda r: r.collide_rect_tuple(None), TypeError, "Rect.collide_rect_tuple"),
    (lambda r: r.collide_rect_list([1, 2, 3]), ValueError, "Rect.collide_rect_list"),
    (lambda r: r.get_width(1), TypeError, "Rect.get_width"),
    (lambda r: r.get_vector4(x=1), TypeError, "Rect.get_vector4"),
])
def test_failures_carry_the_functions_traceback_entry(r, call, exc, name):
    with pytest.raises(exc) as excinfo:
        call(r)
    entries = package_entries(excinfo.value)
    assert entries, "no traceback entry from the package"
    assert {(n, f) for n, f, _ in entries} == {(f"{MODULE}.{name}", SRC)}
    assert all(line > 0 for _, _, line in entries)


@pytest.mark.parametrize("call", [
    lambda r: r[9],
    lambda r: r.__setitem__(9, 1.0),
    lambda r: r.__setitem__(0, "a"),
    lambda r: r["a"],
])
def test_item_failures_carry_an_entry_of_the_module(r, call):
    with pytest.raises((IndexError, TypeError)) as excinfo:
        call(r)
    entries = package_entries(excinfo.value)
    assert entries and all(f == SRC and n.startswith(RECT + ".") for n, f, _ in entries)


def test_entry_sits_between_the_caller_and_the_failing_python_code(box):
    with pytest.raises(ZeroDivisionError) as excinfo:
        box.collide_point((Boom(), 1))
    names = [e.name for e in traceback_entries(excinfo.value)]
    assert names[-1] == "__float__"
    assert names[-2] == f"{MODULE}.Rect.collide_point"
