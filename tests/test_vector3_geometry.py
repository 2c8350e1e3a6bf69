"""Vector3 geometry and conversions: length, normalisation, distances, dot and cross
products, rounding, absolute value, negation and the tuple conversions."""

from vexlar.vector3.vector3 import Vector3

import math
import re
import struct

import pytest

from support import TYPE_NAME, argtype, assert_components, exact, f32, same_bits, xyz

def single_length(x, y, z):
    """Squares and sum in single (exact products are assumed), root in single."""
    s = f32(f32(f32(f32(x) ** 2) + f32(f32(y) ** 2)) + f32(f32(z) ** 2))
    return f32(math.sqrt(s))


# ------------------------------------------------------------------------------------- length


@pytest.mark.parametrize("v, expected", [
    ((3, 4, 0), 5.0),
    ((0, 0, 0), 0.0),
    ((-3, 0, -4), 5.0),
    ((1, 2, 2), 3.0),
    ((1, 1, 1), f32(math.sqrt(3))),
    ((1e20, 0, 0), math.inf),
    ((0, 3e19, 0), math.inf),          # the square overflows in single
    ((0, 0, 1e19), 1e19),
    ((0.1, 0, 0), f32(math.sqrt(f32(f32(0.1) ** 2)))),
])
def test_length(v, expected):
    length = Vector3(*v).length
    assert type(length) is float
    assert length == f32(expected)


@pytest.mark.parametrize("v", [(0.1, 0.2, 0.3), (-7.5, 1e3, 2.25), (1e-3, 5e4, -3e2)])
def test_length_general(v):
    assert Vector3(*v).length == pytest.approx(single_length(*v), rel=2**-22)


# ------------------------------------------------------------------------------ normalisation


def normalized(v):
    s = f32(sum(f32(c) ** 2 for c in v))
    if s == 0:
        return (0.0, 0.0, 0.0)
    r = 1.0 / f32(math.sqrt(s))
    return tuple(f32(f32(c) * r) for c in v)


@pytest.mark.parametrize("v, expected, signed", [
    ((3, 4, 0), (0.6, 0.8, 0), True),
    ((0, -5, 0), (0, -1, 0), False),
    ((1, 2, 3), normalized((1, 2, 3)), False),
    ((-2, 0, 0), (-1, 0, 0), False),
    ((0, 0, 0), (0, 0, 0), True),
    ((-0.0, 0, -0.0), (0, 0, 0), True),
    ((1e-30, 0, 0), (0, 0, 0), True),          # squares underflow to zero
    ((-1e-30, -1e-30, -0.0), (0, 0, 0), True),
    ((1e20, 0, 0), (0, 0, 0), True),           # squared length overflows
])
def test_get_normalized(v, expected, signed):
    vec = Vector3(*v)
    n = vec.get_normalized()
    assert n is not vec
    assert_components(n, expected, signed=signed)
    assert_components(vec, v, signed=True)


@pytest.mark.parametrize("v, expected", [
    ((3, 4, 0), (0.6, 0.8, 0)),
    ((-0.0, 0, 0), (0, 0, 0)),
    ((0, -0.0, -0.0), (0, 0, 0)),
    ((1e20, 0, 0), (0, 0, 0)),
])
def test_to_normalized(v, expected):
    vec = Vector3(*v)
    assert vec.to_normalized() is vec
    assert_components(vec, expected, signed=True)


def test_normalized_repr_shows_single_values():
    assert repr(Vector3(3, 4, 0).get_normalized()) == \
        "Vector3(0.6000000238418579, 0.800000011920929, 0.0)"


@pytest.mark.parametrize("v", [(0.1, 0.2, 0.3), (-7.5, 1e3, 2.25), (1e-3, 5e4, -3e2),
                               (1e18, -1e18, 1e17)])
def test_normalized_general(v):
    n = Vector3(*v).get_normalized()
    assert xyz(n) == pytest.approx(normalized(v), rel=2**-21, abs=1e-12)
    assert n.length == pytest.approx(1.0, rel=1e-6)


# ---------------------------------------------------------------------------------- distances


@pytest.mark.parametrize("a, b, squared", [
    ((1, 2, 3), (4, 6, 3), 25.0),
    ((4, 6, 3), (1, 2, 3), 25.0),
    ((1, 2, 3), (1, 2, 3), 0.0),
    ((0, 0, 0), (-1, -2, -2), 9.0),
    ((1e20, 0, 0), (0, 0, 0), f32(1e20) ** 2),   # kept in double: no overflow
    ((1e8, 0, 0), (1, 0, 0), 1e16),              # the difference is taken in single
    ((0.1, 0, 0), (0, 0, 0), f32(0.1) ** 2),     # the square is not rounded to single
])
def test_distances(a, b, squared):
    va, vb = Vector3(*a), Vector3(*b)
    d2 = va.distance_squared_to(vb)
    d = va.distance_to(other=vb)
    assert type(d2) is float and type(d) is float
    assert d2 == squared
    assert d == math.sqrt(squared)
    assert_components(va, a)
    assert_components(vb, b)


def test_distance_of_huge_vector_is_finite():
    d = Vector3(1e20, 0, 0).distance_to(Vector3())
    assert d == f32(1e20) == 1.0000000200408773e20
    assert Vector3(1e20, 0, 0).length == math.inf


@pytest.mark.parametrize("a, b", [((0.1, 0.2, 0.3), (0.4, -0.5, 0.6)),
                                  ((-7.5, 1e3, 2.25), (1e-3, 5e4, -3e2))])
def test_distances_general(a, b):
    diffs = [f32(f32(c) - f32(d)) for c, d in zip(a, b)]
    squared = sum(c * c for c in diffs)
    va, vb = Vector3(*a), Vector3(*b)
    assert va.distance_squared_to(vb) == pytest.approx(squared, rel=1e-15)
    assert va.distance_to(vb) == pytest.approx(math.sqrt(squared), rel=1e-15)


# ------------------------------------------------------------------------------ dot and cross


@pytest.mark.parametrize("a, b, expected", [
    ((1, 2, 3), (4, 5, 6), 32.0),
    ((-1, 2, -3), (4, -5, 6), -32.0),
    ((1, 0, 0), (0, 1, 0), 0.0),
    ((1e20, 0, 0), (1e20, 0, 0), math.inf),                 # the product overflows in single
    ((0.1, 0, 0), (0.1, 0, 0), f32(f32(0.1) ** 2)),         # ... and is rounded to single
])
def test_dot(a, b, expected):
    va, vb = Vector3(*a), Vector3(*b)
    d = va.dot(vb)
    assert type(d) is float
    assert d == expected
    assert va.dot(other=vb) == expected
    assert_components(va, a)
    assert_components(vb, b)


@pytest.mark.parametrize("a, b", [((0.1, 0.2, 0.3), (0.4, 0.5, 0.6)),
                                  ((-7.5, 1e3, 2.25), (1e-3, 5e4, -3e2))])
def test_dot_general(a, b):
    expected = sum(f32(c) * f32(d) for c, d in zip(a, b))
    assert Vector3(*a).dot(Vector3(*b)) == pytest.approx(expected, rel=2**-21)


@pytest.mark.parametrize("a, b, expected", [
    ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
    ((0, 1, 0), (1, 0, 0), (0, 0, -1)),
    ((0, 1, 0), (0, 0, 1), (1, 0, 0)),
    ((1, 2, 3), (1, 2, 3), (0, 0, 0)),
    ((1, 2, 3), (4, 5, 6), (-3, 6, -3)),
    ((2, -3, 4), (-5, 6, 7), (-45, -34, -3)),
])
def test_cross(a, b, expected):
    va, vb = Vector3(*a), Vector3(*b)
    c = va.cross(vb)
    assert c is not va and c is not vb
    assert_components(c, expected)
    assert_components(va.cross(other=vb), expected)
    assert_components(va, a)
    assert_components(vb, b)


def test_cross_general():
    a, b = (0.1, 0.2, 0.3), (0.4, -0.5, 0.6)
    x, y, z = map(f32, a)
    p, q, r = map(f32, b)
    expected = (y * r - z * q, z * p - x * r, x * q - y * p)
    assert xyz(Vector3(*a).cross(Vector3(*b))) == pytest.approx(expected, rel=1e-6)


def test_cross_with_itself_is_tiny():
    v = Vector3(0.1, 0.2, 0.3)
    assert xyz(v.cross(v)) == pytest.approx((0, 0, 0), abs=1e-8)
    assert_components(v.cross(v.xyz), xyz(v.cross(v)))


# ------------------------------------------------------------------ rounding, abs, negation


@pytest.mark.parametrize("stem, v, expected", [
    ("round", (0.5, 1.5, -0.5), (1, 2, -1)),
    ("round", (2.5, -2.5, 0.49999997), (3, -3, 0)),
    ("round", (-0.3, 0, -0.0), (-0.0, 0, -0.0)),
    ("round", (-0.49999997, 1.4999999, -1.5), (-0.0, 1, -2)),
    ("round", (3.5, -3.49, 0.7), (4, -3, 1)),
    ("round", (4194304.5, -4194304.5, 8388609), (4194305, -4194305, 8388609)),
    ("round", (1e10, -1e10, 2**23), (1e10, -1e10, 2**23)),
    ("abs", (-1, 0, -0.0), (1, 0, 0)),
    ("abs", (2.5, -1e39, -0.1), (2.5, math.inf, 0.1)),
    ("neg", (1, 0, -2), (-1, -0.0, 2)),
    ("neg", (-0.0, 1e39, 0.1), (0, -math.inf, -0.1)),
])
def test_to_and_get_forms(stem, v, expected):
    """get_<stem> returns a new vector and leaves v alone; to_<stem> changes v and returns it."""
    vec = Vector3(*v)
    r = getattr(vec, "get_" + stem)()
    assert r is not vec
    assert_components(r, expected, signed=True)
    assert_components(vec, v, signed=True)
    assert getattr(vec, "to_" + stem)() is vec
    assert_components(vec, expected, signed=True)


def test_negation_twice_restores_every_sign():
    v = Vector3(-0.0, 1e39, 0.1)
    assert v.to_neg().to_neg() is v
    assert_components(v, (-0.0, 1e39, 0.1), signed=True)


def test_to_methods_chain():
    v = Vector3(-1.5, 2.4, -0.2)
    assert v.to_abs().to_round() is v
    assert_components(v, (2, 2, 0), signed=True)
    assert v.to_neg().to_normalized() is v
    assert_components(v, normalized((-2, -2, -0.0)))


# ---------------------------------------------------------------------------------- tuples


def test_get_tuple():
    v = Vector3(1, 2, 3)
    t = v.get_tuple()
    assert type(t) is tuple and t == (1.0, 2.0, 3.0)
    assert all(type(c) is float for c in t)
    w = Vector3(0.1, -0.0, 1e39)
    t = w.get_tuple()
    assert t[0] == f32(0.1) and same_bits(t[1], -0.0) and t[2] == math.inf


@pytest.mark.parametrize("v, expected", [
    ((1.9, -1.9, 0), (1, -1, 0)),
    ((0.1, -0.99, -0.0), (0, 0, 0)),
    ((1e9, -1e9, 16777217), (1000000000, -1000000000, 16777216)),
    ((2147483520.0, -2147483648.0, 7.5), (2147483520, -2147483648, 7)),
])
def test_get_int_tuple(v, expected):
    t = Vector3(*v).get_int_tuple()
    assert type(t) is tuple and t == expected
    assert all(type(c) is int for c in t)


@pytest.mark.parametrize("v, expected", [
    ((1.5, -1.5, 0.4), (2, -2, 0)),
    ((0.5, 2.5, -0.5), (1, 3, -1)),
    ((-0.3, 0.49999997, -0.0), (0, 0, 0)),
    ((2147483520.0, -2147483648.0, -2.5), (2147483520, -2147483648, -3)),
    ((1e9, 4194304.5, -4194304.5), (1000000000, 4194305, -4194305)),
])
def test_get_rounded_tuple(v, expected):
    t = Vector3(*v).get_rounded_tuple()
    assert type(t) is tuple and t == expected
    assert all(type(c) is int for c in t)


@pytest.mark.parametrize("method", ["get_int_tuple", "get_rounded_tuple"])
@pytest.mark.parametrize("position, value", [
    (0, 3e9), (1, -3e9), (2, 2147483648.0), (0, -2147483904.0),
    (1, math.inf), (2, -math.inf), (0, math.nan), (2, math.nan),
])
def test_int_tuples_refuse_out_of_range(method, position, value):
    comps = [1.0, 2.0, 3.0]
    comps[position] = value
    v = Vector3(*comps)
    with pytest.raises(OverflowError, match="does not fit a 32-bit int"):
        getattr(v, method)()


def test_int_tuple_of_division_by_zero_refused():
    v = Vector3(1, -1, 0) / 0
    assert math.isinf(v.x) and v.x > 0
    assert math.isinf(v.y) and v.y < 0
    assert math.isnan(v.z)
    with pytest.raises(OverflowError, match="does not fit a 32-bit int"):
        v.get_int_tuple()


# ----------------------------------------------------------------------- argument checking

NO_ARG_METHODS = ["get_tuple", "get_int_tuple", "get_rounded_tuple", "to_round", "get_round",
                  "to_abs", "get_abs", "to_neg", "get_neg", "to_normalized", "get_normalized",
                  "copy", "__copy__"]
OTHER_METHODS = ["distance_to", "distance_squared_to", "dot", "cross"]


@pytest.mark.parametrize("name", NO_ARG_METHODS)
def test_methods_without_parameters_refuse_arguments(name):
    v = Vector3(1.5, -2.5, 3)
    method = getattr(v, name)
    with exact(TypeError, f"{name}() takes exactly 0 positional arguments (1 given)"):
        method(1)
    with exact(TypeError, f"{name}() takes exactly 0 positional arguments (2 given)"):
        method(v, v)
    with exact(TypeError, f"{name}() got an unexpected keyword argument 'other'"):
        method(other=v)
    assert_components(v, (1.5, -2.5, 3))


@pytest.mark.parametrize("name", OTHER_METHODS)
@pytest.mark.parametrize("call, message", [
    (lambda m, v: m(), "{}() takes exactly 1 positional argument (0 given)"),
    (lambda m, v: m(v, v), "{}() takes exactly 1 positional argument (2 given)"),
    (lambda m, v: m(vec=v), "{}() got an unexpected keyword argument 'vec'"),
    (lambda m, v: m(v, other=v), "{}() got multiple values for keyword argument 'other'"),
    (lambda m, v: m((1, 2, 3)), "Argument 'other' has incorrect type "
                                f"(expected {TYPE_NAME}, got tuple)"),
    (lambda m, v: m([1, 2, 3]), "Argument 'other' has incorrect type "
                                f"(expected {TYPE_NAME}, got list)"),
    (lambda m, v: m(None), "Argument 'other' has incorrect type "
                           f"(expected {TYPE_NAME}, got NoneType)"),
    (lambda m, v: m(other=5), "Argument 'other' has incorrect type "
                              f"(expected {TYPE_NAME}, got int)"),
])
def test_methods_with_other_check_arguments(name, call, message):
    v = Vector3(1, 2, 3)
    with exact(TypeError, message.format(name)):
        call(getattr(v, name), v)
    assert_components(v, (1, 2, 3))
