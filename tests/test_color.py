"""Color: the type, construction and the int conversion of channels, the eight channel
properties, printed form, length and iteration, equality, pickling refusal, the six operations
(normalize, from_normalized, tint, fade, to_int, equal), their argument checks and the traceback
entries of failures."""

from vexlar.color.color import Color
from vexlar.vector4.vector4 import Vector4
from vexlar.vector3.vector3 import Vector3

import copy
import ctypes
import gc
import math
import operator
import pickle
import re
import struct
import sys
import weakref
from decimal import Decimal
from fractions import Fraction

import pytest

from support import (Boom, Flt, INT_SUBCLASS_DEPRECATION, Idx, IntLike, IntSub, SubColor, api_function,
                     argtype, assert_module_namespace, assert_plain_static_type,
                     assert_raw_record_is_not_visible, assert_type_identity, assert_unhashable, channels,
                     count, exact, f32, multiple, package_entries, traceback_entries, unexpected)

MODULE = "vexlar.color.color"
COLOR = "vexlar.color.color.Color"
V4 = "vexlar.vector4.vector4.Vector4"
V3 = "vexlar.vector3.vector3.Vector3"
SRC = "src/vexlar/color/color.cpp"

PROPERTIES = ["r", "g", "b", "a", "red", "green", "blue", "alpha"]
CHANNEL = {"r": 0, "g": 1, "b": 2, "a": 3, "red": 0, "green": 1, "blue": 2, "alpha": 3}
METHODS = ["from_normalized", "tint", "normalize", "equal", "fade", "to_int"]
INSTANCE_METHODS = ["tint", "normalize", "equal", "fade", "to_int"]

# Channels c for which from_normalized(normalize()) gives c - 1: c * (1/255) is just below the
# exact quotient and the scaling back truncates.
ROUND_TRIP_LOW = [33, 37, 41, 45, 49, 53, 57, 61, 66, 74, 82, 90, 98, 106, 114, 122, 132, 148, 164,
                  180, 196, 212, 228, 244]
INV255 = 0.00392156862745098


@pytest.fixture
def c():
    return Color(10, 20, 30, 40)


# ------------------------------------------------------------------------------------ the type


def test_type_identity():
    assert_type_identity(Color, COLOR, Color(1, 2, 3))


def test_module_namespace():
    assert_module_namespace(MODULE, {"Color": Color})


def test_static_subclassable_type_without_gc_dict_or_weak_references():
    assert_plain_static_type(Color, Color(1, 2, 3))


def test_raw_record_is_not_visible_from_python():
    assert_raw_record_is_not_visible(Color, lambda: Color(1, 2, 3))


def test_unhashable(c):
    assert_unhashable(c)


def test_properties_in_type_order():
    descriptors = [k for k, v in vars(Color).items() if hasattr(type(v), "__set__") and not k.startswith("__")]
    assert descriptors == PROPERTIES


@pytest.mark.parametrize("name", METHODS)
def test_method_objects(name):
    entry = Color.__dict__[name]
    static = name == "from_normalized"
    assert isinstance(entry, staticmethod) is static
    f = entry.__func__ if static else entry
    assert f.__name__ == name
    assert f.__qualname__ == "Color." + name
    assert f.__module__ == MODULE
    assert f.__code__.co_filename == SRC
    assert "new" not in Color.__dict__


@pytest.mark.parametrize("name, annotation", [
    ("tint", "Color"), ("normalize", "Vector4"), ("equal", "bool"),
    ("from_normalized", None), ("fade", None), ("to_int", None),
])
def test_return_annotations(name, annotation):
    annotations = getattr(Color, name).__annotations__
    assert annotations.get("return") == annotation
    assert ("return" in annotations) is (annotation is not None)


@pytest.mark.parametrize("cls", [Color, SubColor])
def test_allocation_alone_gives_zeros_and_ignores_arguments(cls):
    for args in [(), (1, 2, 3), (9, 9, 9, 9)]:
        c = cls.__new__(cls, *args)
        assert type(c) is cls
        assert channels(c) == (0, 0, 0, 0)


# ----------------------------------------------------------------------------- construction


@pytest.mark.parametrize("args, kwargs, expected", [
    ((1, 2, 3), {}, (1, 2, 3, 255)),
    ((1, 2, 3, 4), {}, (1, 2, 3, 4)),
    ((), {"r": 1, "g": 2, "b": 3, "a": 4}, (1, 2, 3, 4)),
    ((), {"a": 4, "b": 3, "g": 2, "r": 1}, (1, 2, 3, 4)),
    ((1, 2), {"b": 3}, (1, 2, 3, 255)),
    ((1,), {"b": 3, "g": 2, "a": 0}, (1, 2, 3, 0)),
    ((0, 0, 0, 0), {}, (0, 0, 0, 0)),
    ((255, 255, 255, 255), {}, (255, 255, 255, 255)),
    ((300, -5, 128, 1000), {}, (255, 0, 128, 255)),
    ((256, -1, 255, -1), {}, (255, 0, 255, 0)),
    ((2**31 - 1, -2**31, 2**31 - 1, -2**31), {}, (255, 0, 255, 0)),
    ((1.9, 2.5, -0.5), {}, (1, 2, 0, 255)),
    ((255.9, 300.5, -1.9, 0.99), {}, (255, 255, 0, 0)),
    ((True, False, True), {}, (1, 0, 1, 255)),
    ((IntSub(7), IntSub(300), IntSub(-3)), {}, (7, 255, 0, 255)),
    ((IntLike(9), Decimal("7.9"), Fraction(9, 2), IntLike(-4)), {}, (9, 7, 4, 0)),
])
@pytest.mark.parametrize("cls", [Color, SubColor])
def test_construction(cls, args, kwargs, expected):
    c = cls(*args, **kwargs)
    assert type(c) is cls
    assert channels(c) == expected
    assert all(type(v) is int for v in channels(c))


def test_fast_path_and_generic_path_agree():
    direct = Color(300, 2, -3, 4)
    stepwise = Color.__new__(Color)
    stepwise.__init__(300, 2, -3, 4)
    assert channels(direct) == channels(stepwise) == (255, 2, 0, 4)


@pytest.mark.parametrize("cls", [Color, SubColor])
@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, count(3, "at least", 0)),
    ((1, 2), {}, count(3, "at least", 2)),
    ((1, 2, 3, 4, 5), {}, count(4, "at most", 5)),
    ((), {"r": 1, "g": 2}, count(3, "at least", 2)),
    ((), {"r": 1, "b": 3}, count(3, "at least", 1)),
    ((), {"g": 2, "b": 3, "a": 4}, count(3, "at least", 0)),
    ((1, 2, 3), {"d": 4}, unexpected("d")),
    ((), {"red": 1, "g": 2, "b": 3}, unexpected("red")),
    ((1, 2, 3), {"r": 4}, multiple("r")),
    ((1, 2, 3, 4), {"a": 4}, multiple("a")),
])
def test_construction_argument_errors(cls, args, kwargs, message):
    with exact(TypeError, message):
        cls(*args, **kwargs)


def test_non_string_keywords_are_refused():
    with pytest.raises(TypeError, match="keywords must be strings"):
        Color(1, 2, 3, **{1: 2})


@pytest.mark.parametrize("args, exc, message", [
    (("1", 2, 3), TypeError, "an integer is required"),
    ((1, None, 3), TypeError, "an integer is required"),
    ((1, 2, Idx(3)), TypeError, "an integer is required"),
    ((1, 2, 3, Flt(4.0)), TypeError, "an integer is required"),
    ((1, 2, 3, [4]), TypeError, "an integer is required"),
    ((IntLike("x"), 2, 3), TypeError, "__int__ returned non-int (type str)"),
    ((1, IntLike(2.5), 3), TypeError, "__int__ returned non-int (type float)"),
    ((2**31, 0, 0), OverflowError, "value too large to convert to int"),
    ((0, -2**31 - 1, 0), OverflowError, "value too large to convert to int"),
    ((0, 0, 2**59), OverflowError, "value too large to convert to int"),
    ((0, 0, 0, 2.5e9), OverflowError, "value too large to convert to int"),
    ((Boom(), 2, 3), ZeroDivisionError, "boom"),
])
def test_construction_conversion_errors(args, exc, message):
    with exact(exc, message):
        Color(*args)


@pytest.mark.parametrize("value", [2**60, -2**60, 2**64, 10**30])
def test_huge_channels_overflow_with_the_interpreters_message(value):
    with pytest.raises(OverflowError):
        Color(value, 0, 0)


def test_strict_int_subclass_from_int_is_deprecated_but_used():
    with pytest.warns(DeprecationWarning, match=re.escape(INT_SUBCLASS_DEPRECATION)):
        c = Color(IntLike(IntSub(300)), 2, 3)
    assert channels(c) == (255, 2, 3, 255)


def test_channels_are_converted_in_order_and_stop_at_the_first_failure():
    seen = []

    class Traced:
        def __init__(self, name, value):
            self.name, self.value = name, value

        def __int__(self):
            seen.append(self.name)
            return self.value

    Color(Traced("r", 1), Traced("g", 2), Traced("b", 3), Traced("a", 4))
    assert seen == ["r", "g", "b", "a"]
    seen.clear()
    with exact(OverflowError, "value too large to convert to int"):
        Color(Traced("r", 1), Traced("g", 2**40), "x", Traced("a", 4))
    assert seen == ["r", "g"]
    with exact(TypeError, "an integer is required"):
        Color("x", 2**40, 3)


@pytest.mark.parametrize("args", [
    (1, 2), (1, 2, 3, 4, 5), ("x", 2, 3), (1, 2, 2**31), (1, 2, 3, None), (Boom(), 1, 1),
])
def test_failed_reinit_leaves_the_channels(c, args):
    with pytest.raises((TypeError, OverflowError, ZeroDivisionError)):
        c.__init__(*args)
    assert channels(c) == (10, 20, 30, 40)


def test_failed_construction_of_a_fresh_object_leaves_zeros():
    c = Color.__new__(Color)
    with pytest.raises(TypeError):
        c.__init__(5, 6, "x")
    assert channels(c) == (0, 0, 0, 0)


def test_reinit_overwrites_all_four_channels(c):
    c.__init__(5, 6, 300)
    assert channels(c) == (5, 6, 255, 255)
    c.__init__(b=1, g=2, r=3, a=-4)
    assert channels(c) == (3, 2, 1, 0)


def test_subclass_instances():
    class Named(Color):
        def __init__(self, name, *args):
            super().__init__(*args)
            self.name = name

    s = Named("sky", 1, 2, 3)
    assert isinstance(s, Color) and s.name == "sky"
    assert channels(s) == (1, 2, 3, 255)
    assert repr(s) == "Color(1, 2, 3, 255)"
    assert s == Color(1, 2, 3) and Color(1, 2, 3) == s
    assert list(s) == [1, 2, 3, 255]


# ------------------------------------------------------------------------------- properties


@pytest.mark.parametrize("short, long", [("r", "red"), ("g", "green"), ("b", "blue"), ("a", "alpha")])
def test_aliases_share_their_channel(c, short, long):
    assert getattr(c, short) == getattr(c, long) == channels(c)[CHANNEL[short]]
    setattr(c, long, 77)
    assert getattr(c, short) == 77
    setattr(c, short, 88)
    assert getattr(c, long) == 88


@pytest.mark.parametrize("name", PROPERTIES)
@pytest.mark.parametrize("value, stored", [
    (0, 0), (255, 255), (256, 255), (-1, 0), (1000, 255), (-5, 0), (2**31 - 1, 255), (-2**31, 0),
    (1.9, 1), (-0.5, 0), (254.99, 254), (True, 1), (IntSub(300), 255), (IntLike(128), 128),
    (Decimal("99.9"), 99),
])
def test_property_writes_convert_clamp_and_touch_one_channel(c, name, value, stored):
    expected = list(channels(c))
    expected[CHANNEL[name]] = stored
    setattr(c, name, value)
    assert channels(c) == tuple(expected)
    assert type(getattr(c, name)) is int


@pytest.mark.parametrize("name", PROPERTIES)
@pytest.mark.parametrize("value, exc, message", [
    ("x", TypeError, "an integer is required"),
    (None, TypeError, "an integer is required"),
    (Idx(3), TypeError, "an integer is required"),
    (IntLike(1.5), TypeError, "__int__ returned non-int (type float)"),
    (2**31, OverflowError, "value too large to convert to int"),
    (-2**31 - 1, OverflowError, "value too large to convert to int"),
    (Boom(), ZeroDivisionError, "boom"),
])
def test_property_write_errors_leave_the_channel(c, name, value, exc, message):
    with exact(exc, message):
        setattr(c, name, value)
    assert channels(c) == (10, 20, 30, 40)


@pytest.mark.parametrize("name", PROPERTIES)
def test_properties_cannot_be_deleted(c, name):
    with exact(NotImplementedError, "__del__"):
        delattr(c, name)
    assert channels(c) == (10, 20, 30, 40)


# --------------------------------------------------------------------- printing and sequences


@pytest.mark.parametrize("make, text", [
    (lambda: Color(1, 2, 3), "Color(1, 2, 3, 255)"),
    (lambda: Color(255, 0, 10, 255), "Color(255, 0, 10, 255)"),
    (lambda: Color(0, 0, 0, 0), "Color(0, 0, 0, 0)"),
    (lambda: Color(300, -5, 128, 1000), "Color(255, 0, 128, 255)"),
    (lambda: SubColor(9, 99, 199, 0), "Color(9, 99, 199, 0)"),
    (lambda: Color.__new__(SubColor), "Color(0, 0, 0, 0)"),
])
def test_repr_and_str(make, text):
    c = make()
    assert repr(c) == text
    assert str(c) == text


def test_length_through_both_slots(c):
    assert len(c) == 4
    assert len(SubColor(1, 2, 3)) == 4
    sequence_size = api_function("PySequence_Size", ctypes.c_ssize_t, ctypes.py_object)
    mapping_size = api_function("PyMapping_Size", ctypes.c_ssize_t, ctypes.py_object)
    assert sequence_size(c) == 4
    assert mapping_size(c) == 4


@pytest.mark.parametrize("call", [
    lambda c: c[0], lambda c: c["r"], lambda c: c[0:2], lambda c: operator.setitem(c, 0, 1),
    lambda c: operator.delitem(c, 0),
])
def test_no_item_access(c, call):
    with pytest.raises(TypeError):
        call(c)
    assert channels(c) == (10, 20, 30, 40)


def test_iteration_and_unpacking(c):
    assert list(c) == [10, 20, 30, 40]
    r, g, b, a = c
    assert (r, g, b, a) == (10, 20, 30, 40)
    assert all(type(v) is int for v in c)
    assert tuple(SubColor(1, 2, 3)) == (1, 2, 3, 255)
    assert [v for v in Color(1, 2, 3)] == [1, 2, 3, 255]


def test_iterator_identity(c):
    it = iter(c)
    assert it.__name__ == "__iter__"
    assert it.__qualname__ == "Color.__iter__"
    assert iter(it) is it
    assert type(it).__name__ not in vars(sys.modules[MODULE])
    with pytest.raises(TypeError):
        type("Sub", (type(it),), {})


@pytest.mark.parametrize("step, name, value", [
    (0, "r", 1), (0, "g", 2), (1, "g", 99), (2, "blue", 3), (3, "alpha", 0), (3, "a", 200),
])
def test_iterator_reads_each_channel_when_it_yields_it(c, step, name, value):
    it = iter(c)
    got = [next(it) for _ in range(step)]
    setattr(c, name, value)
    got.extend(it)
    expected = [10, 20, 30, 40]
    for i in range(step, 4):
        if CHANNEL[name] == i:
            expected[i] = value
    assert got == expected


def test_iterator_is_fresh_and_finishes_for_good(c):
    it = iter(c)
    c.r = 0
    assert next(it) == 0
    assert list(it) == [20, 30, 40]
    for _ in range(3):
        with pytest.raises(StopIteration):
            next(it)
    c.r = 5
    assert list(it) == []
    assert iter(c) is not iter(c)


def test_iterator_holds_the_colour_until_finished_or_released():
    c = Color(7, 8, 9)
    baseline = sys.getrefcount(c)
    it = iter(c)
    assert sys.getrefcount(c) == baseline + 1
    assert gc.is_tracked(it)
    assert any(ref is c for ref in gc.get_referents(it))
    assert list(it) == [7, 8, 9, 255]
    assert sys.getrefcount(c) == baseline
    it = iter(c)
    next(it)
    assert sys.getrefcount(c) == baseline + 1
    del it
    assert sys.getrefcount(c) == baseline


def test_iterator_keeps_an_otherwise_unreferenced_colour_alive():
    it = iter(Color(7, 8, 9, 10))
    gc.collect()
    assert next(it) == 7
    gc.collect()
    assert list(it) == [8, 9, 10]


def test_iterator_in_a_reference_cycle_is_collected():
    class Holder(Color):
        pass

    h = Holder(1, 2, 3)
    h.it = iter(h)
    probe = weakref.ref(h)
    del h
    gc.collect()
    assert probe() is None


# -------------------------------------------------------------------------------- equality

EQUALITY = [
    (Color(1, 2, 3), Color(1, 2, 3, 255), True),
    (Color(1, 2, 3), Color(1, 2, 3, 254), False),
    (Color(0, 0, 0, 0), Color(0, 0, 0, 0), True),
    (Color(1, 2, 3, 4), Color(2, 2, 3, 4), False),
    (Color(1, 2, 3, 4), Color(1, 3, 3, 4), False),
    (Color(1, 2, 3, 4), Color(1, 2, 4, 4), False),
    (Color(300, -1, 3), Color(255, 0, 3), True),
    (SubColor(1, 2, 3), Color(1, 2, 3), True),
    (Color(1, 2, 3), SubColor(1, 2, 3, 0), False),
]


@pytest.mark.parametrize("left, right, equal", EQUALITY)
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal
    assert left.equal(right) is equal
    assert Color.equal(left, other=right) is equal


def test_a_colour_equals_itself(c):
    assert (c == c) is True and (c != c) is False and c.equal(c) is True


@pytest.mark.parametrize("other, got, reflected", [
    (5, "int", True), ("x", "str", True), ((10, 20, 30, 40), "tuple", True),
    ([10, 20, 30, 40], "list", True), (1.5, "float", True), (IntSub(1), "IntSub", True),
    (object(), "object", True),
    (Vector3(1, 2, 3), V3, False),     # Vector3 answers a reflected comparison itself
])
def test_equality_with_a_non_colour_raises(c, other, got, reflected):
    message = argtype("other", got, COLOR)
    with exact(TypeError, message):
        c == other
    with exact(TypeError, message):
        c != other
    with exact(TypeError, message):
        c.equal(other)
    if reflected:
        # the other operand answers NotImplemented, so the interpreter asks the colour
        with exact(TypeError, message):
            other == c
        with exact(TypeError, message):
            other != c
    assert channels(c) == (10, 20, 30, 40)


def test_membership_falls_back_to_the_colours_equality(c):
    with exact(TypeError, argtype("other", "int", COLOR)):
        c in [1, c]
    assert c in [c]
    assert Color(10, 20, 30, 40) in [Color(0, 0, 0), Color(10, 20, 30, 40)]
    assert Color(10, 20, 30, 41) not in [Color(0, 0, 0), c]


def test_comparison_with_none(c):
    assert (c == None) is False  # noqa: E711
    assert (c != None) is True  # noqa: E711
    assert (None == c) is False  # noqa: E711
    assert (None != c) is True  # noqa: E711


@pytest.mark.parametrize("op", ["__lt__", "__le__", "__gt__", "__ge__"])
def test_ordering_is_not_supported(op):
    a, b = Color(1, 2, 3), Color(4, 5, 6)
    assert getattr(a, op)(b) is NotImplemented
    with pytest.raises(TypeError, match="not supported"):
        {"__lt__": lambda: a < b, "__le__": lambda: a <= b,
         "__gt__": lambda: a > b, "__ge__": lambda: a >= b}[op]()


# -------------------------------------------------------------------------------- pickling

GUARD_TEXT = "self._raw"


@pytest.mark.parametrize("obj", [Color(1, 2, 3), SubColor(1, 2, 3)])
@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_is_refused(obj, protocol):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)):
        pickle.dumps(obj, protocol)


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy])
def test_copying_is_refused(copier, c):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)):
        copier(c)
    assert channels(c) == (10, 20, 30, 40)


def test_guard_methods(c):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as reduce_info:
        c.__reduce__()
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as setstate_info:
        c.__setstate__((1, 2, 3, 4))
    assert str(reduce_info.value) == str(setstate_info.value)
    assert channels(c) == (10, 20, 30, 40)
    d = Color.__dict__
    assert d["__reduce__"] is not object.__dict__["__reduce__"]
    guards = {id(d["__reduce__"]), id(d["__setstate__"])}
    assert [k for k, v in d.items() if id(v) in guards] == ["__reduce__", "__setstate__"]
    assert Color.__reduce_ex__ is object.__reduce_ex__
    assert Color.__getstate__ is object.__getstate__


# -------------------------------------------------------------------------- normalize


@pytest.mark.parametrize("values, expected", [
    ((255, 0, 51, 255), (1.0, 0.0, 0.2, 1.0)),
    ((33, 0, 0, 0), (0.12941176470588234, 0.0, 0.0, 0.0)),
    ((0, 0, 0, 0), (0.0, 0.0, 0.0, 0.0)),
    ((1, 127, 128, 254), (1 * INV255, 127 * INV255, 128 * INV255, 254 * INV255)),
])
def test_normalize_examples(values, expected):
    c = Color(*values)
    v = c.normalize()
    assert type(v) is Vector4
    assert (v.x, v.y, v.z, v.w) == expected
    assert channels(c) == values


def test_normalize_multiplies_by_the_reciprocal():
    assert 1 / 255 == INV255
    assert 33 * INV255 == 0.12941176470588234 != 33 / 255
    for value in range(256):
        v = Color(value, 255 - value, value, value).normalize()
        assert (v.x, v.y, v.z, v.w) == (value * INV255, (255 - value) * INV255, value * INV255,
                                        value * INV255), value


def test_normalize_of_a_subclass_gives_a_plain_vector4():
    v = SubColor(255, 0, 0).normalize()
    assert type(v) is Vector4
    assert (v.x, v.y, v.z, v.w) == (1.0, 0.0, 0.0, 1.0)


# ------------------------------------------------------------------------ from_normalized


@pytest.mark.parametrize("components, expected", [
    ((1.0, 0.5, 0.0, 1.0), (255, 127, 0, 255)),
    ((0.2, 1.5, -0.1, 0.0), (51, 255, 0, 0)),
    ((math.nan, 1e10, -1e10, 0.999), (0, 0, 0, 254)),
    ((math.inf, -math.inf, -0.0, 2 / 255), (0, 0, 0, 2)),
    ((8421504.0, 8421505.0, 2147483647 / 255, 1 / 255), (255, 0, 255, 1)),   # products around 2**31
    ((-0.003, 0.0039, 0.004, 254 / 255), (0, 0, 1, 254)),
])
def test_from_normalized(components, expected):
    v = Vector4(*components)
    c = Color.from_normalized(v)
    assert type(c) is Color
    assert channels(c) == expected


@pytest.mark.parametrize("call", [
    lambda v: Color.from_normalized(v),
    lambda v: Color.from_normalized(vector=v),
    lambda v: Color(9, 9, 9).from_normalized(v),
    lambda v: SubColor.from_normalized(v),
    lambda v: SubColor(9, 9, 9).from_normalized(v),
], ids=["type", "keyword", "instance", "subclass", "subclass-instance"])
def test_from_normalized_always_gives_an_exact_colour(call):
    c = call(Vector4(1.0, 0.5, 0.2, 0.0))
    assert type(c) is Color
    assert channels(c) == (255, 127, 51, 0)


def test_from_normalized_reads_the_payload_not_the_attributes():
    class Shifted(Vector4):
        @property
        def x(self):
            return 0.0

    v = Shifted(1.0, 0.5, 0.2, 1.0)
    assert v.x == 0.0
    assert channels(Color.from_normalized(v)) == (255, 127, 51, 255)


@pytest.mark.parametrize("value", range(256))
def test_normalize_round_trip(value):
    c = Color(value, value, value, value)
    back = Color.from_normalized(c.normalize())
    want = value - 1 if value in ROUND_TRIP_LOW else value
    assert channels(back) == (want,) * 4


def test_round_trip_losses_follow_from_the_arithmetic():
    assert [v for v in range(256) if int(255.0 * (v * INV255)) != v] == ROUND_TRIP_LOW


@pytest.mark.parametrize("value, got", [
    (None, "NoneType"), ((1, 2, 3, 4), "tuple"), (Color(1, 2, 3), COLOR), (5, "int"),
])
def test_from_normalized_refuses_other_types(value, got):
    with exact(TypeError, argtype("vector", got, V4)):
        Color.from_normalized(value)


# -------------------------------------------------------------------------------- tint


def test_tint_gives_a_new_exact_colour_and_leaves_its_operands():
    base, tint = SubColor(200, 100, 50, 255), SubColor(255, 255, 255, 255)
    r = base.tint(tint)
    assert type(r) is Color
    assert r is not base and r is not tint
    assert channels(r) == (200, 100, 50, 255)
    assert channels(base) == (200, 100, 50, 255) and channels(tint) == (255, 255, 255, 255)
    assert channels(base.tint(tint=Color(0, 0, 0, 0))) == (0, 0, 0, 0)


@pytest.mark.parametrize("values", [(255, 255, 255, 255), (10, 20, 30, 40), (0, 0, 0, 0), (1, 128, 254, 7)])
def test_tint_with_transparent_black_gives_transparent_black(values):
    c = Color(*values)
    zero = Color(0, 0, 0, 0)
    assert channels(zero.tint(c)) == (0, 0, 0, 0)
    assert channels(c.tint(zero)) == (0, 0, 0, 0)
    assert channels(c) == values and channels(zero) == (0, 0, 0, 0)


def test_tint_with_itself(c):
    r = c.tint(c)
    assert r is not c
    assert channels(c) == (10, 20, 30, 40)
    assert channels(r) == tuple(channels(c.tint(Color(10, 20, 30, 40))))


@pytest.mark.parametrize("value, got", [(5, "int"), (None, "NoneType"), ((1, 2, 3), "tuple"),
                                        (Vector4(0, 0, 0, 0), V4)])
def test_tint_refuses_other_types(c, value, got):
    with exact(TypeError, argtype("tint", got, COLOR)):
        c.tint(value)


# ---------------------------------------------------------------------------------- fade


@pytest.mark.parametrize("alpha, expected", [
    (0.5, 127), (0.2, 51), (0.7, 178), (1.0, 255), (2.0, 255), (-1.0, 0), (math.nan, 255),
    (0.0, 0), (-0.0, 0), (math.inf, 255), (-math.inf, 0), (1e300, 255), (-1e300, 0),
    (1 - 1e-10, 255),                # rounds to 1.0 in single precision
    (2 / 255 - 1e-12, 2),            # in double this would truncate to 1
    (1 / 255, 1), (254 / 255, 254), (0.003, 0), (0.999, 254),
    (1, 255), (0, 0), (True, 255), (False, 0), (7, 255), (-3, 0),
    (Flt(0.5), 127), (Idx(1), 255), (Decimal("0.2"), 51), (Fraction(1, 2), 127),
])
def test_fade(alpha, expected):
    c = Color(10, 20, 30, 255)
    assert c.fade(alpha) is None
    assert channels(c) == (10, 20, 30, expected)
    d = Color(1, 2, 3, 4)
    Color.fade(d, alpha=alpha)
    assert channels(d) == (1, 2, 3, expected)


def test_fade_scales_the_single_precision_alpha():
    for k in range(256):
        alpha = k / 255
        c = Color(0, 0, 0, 99)
        c.fade(alpha)
        assert c.a == int(f32(alpha) * 255.0), k


@pytest.mark.parametrize("alpha, exc", [
    ("x", TypeError), (None, TypeError), ([0.5], TypeError), (Color(1, 2, 3), TypeError),
    (10**400, OverflowError), (Boom(), ZeroDivisionError),
])
def test_fade_conversion_errors_leave_alpha(c, alpha, exc):
    with pytest.raises(exc):
        c.fade(alpha)
    assert channels(c) == (10, 20, 30, 40)


def test_fade_on_a_subclass_changes_it_in_place():
    s = SubColor(1, 2, 3)
    assert s.fade(0.5) is None
    assert channels(s) == (1, 2, 3, 127)


# -------------------------------------------------------------------------------- to_int


@pytest.mark.parametrize("values, expected", [
    ((1, 2, 3, 4), 16909060),
    ((255, 255, 255, 255), -1),
    ((128, 0, 0, 0), -2147483648),
    ((0, 0, 0, 255), 255),
    ((0, 0, 0, 0), 0),
    ((127, 255, 255, 255), 2147483647),
    ((255, 0, 0, 255), -16776961),
    ((0x12, 0x34, 0x56, 0x78), 0x12345678),
    ((0xFE, 0xDC, 0xBA, 0x98), 0xFEDCBA98 - 2**32),
])
def test_to_int(values, expected):
    c = Color(*values)
    result = c.to_int()
    assert type(result) is int
    assert result == expected
    assert result == struct.unpack(">i", bytes(values))[0]
    assert SubColor(*values).to_int() == expected
    assert channels(c) == values


# --------------------------------------------------------------------- argument matching


@pytest.mark.parametrize("call, message", [
    (lambda c: c.normalize(1), count(0, "exactly", 1, "normalize")),
    (lambda c: c.normalize(x=1), unexpected("x", "normalize")),
    (lambda c: c.to_int(1), count(0, "exactly", 1, "to_int")),
    (lambda c: c.to_int(skip_dispatch=1), unexpected("skip_dispatch", "to_int")),
    (lambda c: c.fade(), count(1, "exactly", 0, "fade")),
    (lambda c: c.fade(0.5, 1), count(1, "exactly", 2, "fade")),
    (lambda c: c.fade(x=0.5), unexpected("x", "fade")),
    (lambda c: c.fade(0.5, alpha=0.5), multiple("alpha", "fade")),
    (lambda c: c.tint(), count(1, "exactly", 0, "tint")),
    (lambda c: c.tint(c, c), count(1, "exactly", 2, "tint")),
    (lambda c: c.tint(other=c), unexpected("other", "tint")),
    (lambda c: c.tint(c, tint=c), multiple("tint", "tint")),
    (lambda c: c.equal(), count(1, "exactly", 0, "equal")),
    (lambda c: c.equal(c, c), count(1, "exactly", 2, "equal")),
    (lambda c: c.equal(tint=c), unexpected("tint", "equal")),
    (lambda c: c.equal(c, other=c), multiple("other", "equal")),
    (lambda c: Color.from_normalized(), count(1, "exactly", 0, "from_normalized")),
    (lambda c: Color.from_normalized(c.normalize(), 1), count(1, "exactly", 2, "from_normalized")),
    (lambda c: Color.from_normalized(v=c.normalize()), unexpected("v", "from_normalized")),
])
def test_method_argument_errors(c, call, message):
    with exact(TypeError, message):
        call(c)
    assert channels(c) == (10, 20, 30, 40)


@pytest.mark.parametrize("name", INSTANCE_METHODS)
def test_methods_through_the_type_need_a_receiver(name):
    with exact(TypeError, f"{name}() needs an argument"):
        getattr(Color, name)()


@pytest.mark.parametrize("name, args", [
    ("tint", (Color(1, 2, 3),)), ("normalize", ()), ("equal", (Color(1, 2, 3),)), ("fade", (0.5,)),
    ("to_int", ()),
])
@pytest.mark.parametrize("receiver", [5, None, Vector4(1, 2, 3, 4), (1, 2, 3, 4)])
def test_methods_refuse_a_foreign_receiver(name, args, receiver):
    with pytest.raises(TypeError):
        getattr(Color, name)(receiver, *args)


# ---------------------------------------------------------------------- traceback entries


@pytest.mark.parametrize("call, exc, names", [
    (lambda c: Color(1, 2), TypeError, ["Color.__init__"]),
    (lambda c: Color(1, 2, 3, d=4), TypeError, ["Color.__init__"]),
    (lambda c: Color("x", 2, 3), TypeError, ["Color.__init__"]),
    (lambda c: Color(2**31, 2, 3), OverflowError, ["Color.__init__"]),
    (lambda c: SubColor(1, 2, 3, 4, 5), TypeError, ["Color.__init__"]),
    (lambda c: c.__init__(1, 2, None), TypeError, ["Color.__init__"]),
    (lambda c: setattr(c, "r", "x"), TypeError, ["Color.r.__set__"]),
    (lambda c: setattr(c, "green", None), TypeError, ["Color.green.__set__"]),
    (lambda c: setattr(c, "alpha", 2**40), OverflowError, ["Color.alpha.__set__"]),
    (lambda c: c == 5, TypeError, ["Color.__eq__"]),
    (lambda c: 5 == c, TypeError, ["Color.__eq__"]),
    (lambda c: c != "x", TypeError, ["Color.__eq__", "Color.__ne__"]),
    (lambda c: c.equal(5), TypeError, ["Color.equal"]),
    (lambda c: c.equal(), TypeError, ["Color.equal"]),
    (lambda c: c.tint(None), TypeError, ["Color.tint"]),
    (lambda c: c.fade("x"), TypeError, ["Color.fade"]),
    (lambda c: c.fade(), TypeError, ["Color.fade"]),
    (lambda c: c.normalize(1), TypeError, ["Color.normalize"]),
    (lambda c: c.to_int(x=1), TypeError, ["Color.to_int"]),
    (lambda c: Color.to_int(), TypeError, ["Color.to_int"]),
    (lambda c: Color.from_normalized(5), TypeError, ["Color.from_normalized"]),
    (lambda c: Color.from_normalized(), TypeError, ["Color.from_normalized"]),
])
def test_failures_carry_one_traceback_entry(c, call, exc, names):
    with pytest.raises(exc) as excinfo:
        call(c)
    entries = package_entries(excinfo.value)
    assert len(entries) == 1, entries
    name, filename, line = entries[0]
    assert name in [f"{MODULE}.{n}" for n in names]
    assert filename == SRC
    assert line > 0


@pytest.mark.parametrize("name", PROPERTIES)
def test_deletion_failure_carries_an_entry_of_its_property(c, name):
    with pytest.raises(NotImplementedError) as excinfo:
        delattr(c, name)
    entries = package_entries(excinfo.value)
    assert len(entries) == 1, entries
    assert entries[0][0].startswith(f"{COLOR}.{name}.")
    assert entries[0][1] == SRC


@pytest.mark.parametrize("call, inner, entry", [
    (lambda c: Color(Boom(), 2, 3), "__int__", "Color.__init__"),
    (lambda c: setattr(c, "b", Boom()), "__int__", "Color.b.__set__"),
    (lambda c: c.fade(Boom()), "__float__", "Color.fade"),
])
def test_entry_sits_between_the_caller_and_the_failing_python_code(c, call, inner, entry):
    with exact(ZeroDivisionError, "boom") as excinfo:
        call(c)
    names = [e.name for e in traceback_entries(excinfo.value)]
    assert names[-2:] == [f"{MODULE}.{entry}", inner]
    assert channels(c) == (10, 20, 30, 40)
