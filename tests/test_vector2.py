"""The Python API of the companion vectors Vector2 and Vector4: every test here runs over both
types (parameter K) unless it is about Vector2 alone (its single-precision storage, its
two-letter swizzles). Their C method tables are tested in test_vector4.py."""

import copy
import math

import pytest

from vexlar.vector2.vector2 import Vector2
from vexlar.vector4.vector4 import Vector4

from support import (Flt, Foreign, Idx, NoMarker, argtype, assert_vector, components, exact, f32,
                     other_companion, over_companions, same_bits)

INF, NAN = math.inf, math.nan


class TimesTen(tuple):
    def __getitem__(self, i):
        return tuple.__getitem__(self, i) * 10


# ------------------------------------------------------------------------------- the types


@over_companions
def test_python_subclass_constructs_and_compares_as_its_base(K):
    class Sub(K.type):
        pass

    s = Sub(*[1, 2, 3, 4][:K.n])
    assert type(s) is Sub and isinstance(s, K.type)
    assert components(s) == K.want(1, 2, 3, 4)
    assert s == K.make(1, 2, 3, 4)
    assert K.type.__module__ == f"vexlar.{K.name.lower()}.{K.name.lower()}"


# ---------------------------------------------------------------------------- construction

FORMS = [
    ("no-arguments", lambda K: (), (0, 0, 0, 0)),
    ("numbers", lambda K: (1, -2.5, Idx(3), Flt(4.5))[:K.n], (1, -2.5, 3, 4.5)),
    ("tuple", lambda K: ((1, True, 3, 4)[:K.n],), (1, 1, 3, 4)),
    ("list", lambda K: ([-1, 2, 3.5, 4][:K.n],), (-1, 2, 3.5, 4)),
    ("tuple-subclass", lambda K: (TimesTen((1, 2, 3, 4)[:K.n]),), (10, 20, 30, 40)),
    ("vector", lambda K: (K.make(-0.0, INF, 3, -4),), (-0.0, INF, 3, -4)),
    ("foreign", lambda K: (Foreign(1, 2, -0.0, 4.5),), (1, 2, -0.0, 4.5)),
]


@over_companions
@pytest.mark.parametrize("args, expected", [f[1:] for f in FORMS], ids=[f[0] for f in FORMS])
def test_constructor_forms(K, args, expected):
    assert_vector(K.type(*args(K)), K, K.want(*expected))


@over_companions
@pytest.mark.parametrize("args, exc, message", [
    (lambda K: (1, 2, 3), TypeError, "{T}() takes 0, 1, or {n} arguments, but 3 were given"),
    (lambda K: (1, 2, 3, 4, 5), TypeError, "{T}() takes 0, 1, or {n} arguments, but 5 were given"),
    (lambda K: ((1, 2, 3),), TypeError, "{T}() takes a sequence of length {n}, but got 3"),
    (lambda K: ([],), TypeError, "{T}() takes a sequence of length {n}, but got 0"),
    (lambda K: (5,), TypeError, "{T}() invalid constructor argument: int"),
    (lambda K: (None,), TypeError, "{T}() invalid constructor argument: NoneType"),
    (lambda K: ("ab",), TypeError, "{T}() invalid constructor argument: str"),
    (lambda K: (NoMarker(1, 2, 3, 4),), TypeError, "{T}() invalid constructor argument: NoMarker"),
    (lambda K: (("a",) * K.n,), TypeError, None),
    (lambda K: ("a",) * K.n, TypeError, None),
    (lambda K: (Foreign("a", 2, 3, 4),), TypeError, None),
], ids=["3-args", "5-args", "long-tuple", "empty-list", "int", "None", "str", "no-marker",
        "bad-item", "bad-number", "bad-attribute"])
def test_constructor_refusals(K, args, exc, message):
    if message is None:
        with pytest.raises(exc):
            K.type(*args(K))
    else:
        with exact(exc, message.format(T=K.name, n=K.n)):
            K.type(*args(K))


@over_companions
def test_constructor_refuses_keywords(K):
    with exact(TypeError, "__init__() got an unexpected keyword argument 'x'"):
        K.type(x=1)


@over_companions
@pytest.mark.parametrize("on_instance", [False, True], ids=["on-type", "on-instance"])
@pytest.mark.parametrize("name, args", [
    ("from_vector", lambda K: (K.make(1, 2, 3, 4),)),
    ("from_tuple", lambda K: ((1, 2, 3, 4)[:K.n] + ("ignored",),)),
    ("from_list", lambda K: ([Idx(1), Flt(2.0), 3, 4][:K.n] + [None],)),
    ("from_ints", lambda K: (1.9, 2, 3, 4.5)[:K.n]),
    ("from_floats", lambda K: (1, 2.0, Flt(3.0), Idx(4))[:K.n]),
    ("from_components", lambda K: (1, 2, 3, 4.0)[:K.n]),
])
def test_static_constructors(K, on_instance, name, args):
    name = getattr(K, name) if name in ("from_vector", "from_components") else name
    maker = getattr(K.make(9, 9, 9, 9) if on_instance else K.type, name)
    assert_vector(maker(*args(K)), K, K.want(1, 2, 3, 4))


@over_companions
@pytest.mark.parametrize("name, args, exc, message", [
    ("from_vector", lambda K: (None,), TypeError, lambda K: argtype("other", "NoneType", K.tp_name)),
    ("from_vector", lambda K: ((1, 2, 3, 4)[:K.n],), TypeError, lambda K: argtype("other", "tuple", K.tp_name)),
    ("from_vector", lambda K: (other_companion(K).type(),), TypeError,
     lambda K: argtype("other", other_companion(K).tp_name, K.tp_name)),
    ("from_tuple", lambda K: ([1, 2, 3, 4],), TypeError, lambda K: argtype("other", "list", "tuple")),
    ("from_tuple", lambda K: (None,), TypeError, lambda K: argtype("other", "NoneType", "tuple")),
    ("from_tuple", lambda K: ((1.0,) * (K.n - 1),), ValueError,
     lambda K: f"from_tuple() needs at least {K.n} items ({K.n - 1} given)"),
    ("from_list", lambda K: ((1, 2, 3, 4),), TypeError, lambda K: argtype("other", "tuple", "list")),
    ("from_list", lambda K: ([],), ValueError, lambda K: f"from_list() needs at least {K.n} items (0 given)"),
    ("from_list", lambda K: ([1, "a", 3, 4],), TypeError, None),
    ("from_ints", lambda K: (2**31, 0, 0, 0)[:K.n], OverflowError, lambda K: "value too large to convert to int"),
    ("from_ints", lambda K: (0, Idx(1), 0, 0)[:K.n], TypeError, lambda K: "an integer is required"),
    ("from_ints", lambda K: (0, "a", 0, 0)[:K.n], TypeError, lambda K: "an integer is required"),
    ("from_components", lambda K: (1, None, 3, 4)[:K.n], TypeError, None),
])
def test_static_constructor_refusals(K, name, args, exc, message):
    name = getattr(K, name) if name in ("from_vector", "from_components") else name
    if message is None:
        with pytest.raises(exc):
            getattr(K.type, name)(*args(K))
    else:
        with exact(exc, message(K)):
            getattr(K.type, name)(*args(K))


# ------------------------------------------------------------------ precision of components

# Vector2 rounds every stored component to single precision; Vector4 keeps doubles.
PRECISION = [
    (0.1, 1e39, 1 / 3, -1e-46),
    (1 / 3, -1e-46, 2**24 + 1, 0.1),
    (2**24 + 1, 1 + 2**-24, 1e39, 1e-40),
]
WRITES = {
    "numbers": lambda K, c: K.type(*c[:K.n]),
    "tuple": lambda K, c: K.type(tuple(c[:K.n])),
    "from_components": lambda K, c: getattr(K.type, K.from_components)(*c[:K.n]),
    "from_list": lambda K, c: K.type.from_list(list(c)),
}


def written_by_properties(K, c):
    v = K.type()
    for axis, value in zip("xyzw", c[:K.n]):
        setattr(v, axis, value)
    return v


def written_by_items(K, c):
    v = K.type()
    for i, value in enumerate(c[:K.n]):
        v[i] = value
    return v


WRITES.update(properties=written_by_properties, items=written_by_items)


@over_companions
@pytest.mark.parametrize("write", WRITES.values(), ids=WRITES.keys())
@pytest.mark.parametrize("values", PRECISION)
def test_components_are_stored_in_the_type_precision(K, write, values):
    assert_vector(write(K, values), K, K.want(*values))


def test_precision_examples():
    assert Vector2(0.1, 0).x == 0.10000000149011612
    assert Vector4(0.1, 0, 0, 0).x == 0.1
    assert Vector2(2**24 + 1, 1e39).get_tuple() == (2.0**24, INF)
    assert Vector4(2**24 + 1, 1e39, 0, 0).get_tuple() == (2.0**24 + 1, 1e39, 0.0, 0.0)


# ---------------------------------------------------------------- properties and items


@over_companions
def test_component_properties(K):
    v = K.make(1, 2, 3, 4)
    assert [getattr(v, a) for a in "xyzw"[:K.n]] == [1.0, 2.0, 3.0, 4.0][:K.n]
    v.y = Idx(7)
    assert v.y == 7.0 and type(v.y) is float
    with pytest.raises(TypeError):
        v.x = "a"
    with exact(NotImplementedError, "__del__"):
        del v.x
    assert components(v) == K.want(1, 7, 3, 4)


@over_companions
@pytest.mark.parametrize("values, length", [
    ((3, 4, 0, 0), 5.0), ((0, 0, 0, 0), 0.0), ((-3, 0, 0, -4), None),
])
def test_length(K, values, length):
    v = K.make(*values)
    if length is None:
        length = math.hypot(*K.want(*values))
    assert v.length == length
    with pytest.raises(AttributeError):
        v.length = 1


@over_companions
def test_item_protocol(K):
    v = K.make(1, 2, 3, 4)
    assert len(v) == K.n
    assert list(v) == [1.0, 2.0, 3.0, 4.0][:K.n]
    assert [v[i] for i in range(K.n)] == list(v) and v[Idx(1)] == 2.0
    for bad in (-1, K.n, 2**40):
        with exact(IndexError, "Vector index out of range"):
            v[bad]
        with exact(IndexError, "Vector index out of range"):
            v[bad] = 1
    with pytest.raises(TypeError):
        v[1.0]
    with pytest.raises(TypeError):
        v[0:1]
    with pytest.raises(TypeError):
        v[0] = "a"
    with exact(NotImplementedError, f"Subscript deletion not supported by {K.tp_name}"):
        del v[0]
    assert components(v) == K.want(1, 2, 3, 4)
    v[K.n - 1] = 0.5
    assert v[K.n - 1] == 0.5


# ------------------------------------------------------------- equality, hash, repr, copies


@over_companions
@pytest.mark.parametrize("left, right, equal", [
    (lambda K: K.make(1, 2, 3, 4), lambda K: K.make(1, 2, 3, 4), True),
    (lambda K: K.make(0, 0, 0, 0), lambda K: K.make(-0.0, 0, -0.0, -0.0), True),
    (lambda K: K.make(1, 2, 3, 4), lambda K: K.make(1, 2.5, 3, 4), False),
    (lambda K: K.make(1, 2, 3, 4), lambda K: (1.0, 2.0, 3.0, 4.0)[:K.n], False),
    (lambda K: (1.0, 2.0, 3.0, 4.0)[:K.n], lambda K: K.make(1, 2, 3, 4), False),
    (lambda K: K.make(1, 2, 3, 4), lambda K: [1.0, 2.0, 3.0, 4.0][:K.n], False),
    (lambda K: Vector2(1, 2), lambda K: Vector4(1, 2, 0, 0), False),
    (lambda K: K.make(1, 2, 3, 4), lambda K: None, False),
])
def test_equality(K, left, right, equal):
    a, b = left(K), right(K)
    assert (a == b) is equal
    assert (a != b) is not equal


@over_companions
def test_ordering_is_not_supported(K):
    with pytest.raises(TypeError):
        K.make(1, 2, 3, 4) < K.make(1, 2, 3, 4)


@over_companions
@pytest.mark.parametrize("values", [(1, 2, 3, 4), (-0.0, 0.1, INF, -2.5), (0, 0, 0, 0)])
def test_hash_is_that_of_the_component_tuple(K, values):
    v = K.make(*values)
    assert hash(v) == hash(K.want(*values)) == hash(components(v))
    before = hash(v)
    v.x += 1
    assert hash(v) == hash(components(v)) != before


@pytest.mark.parametrize("v, text", [
    (Vector2(1, 2), "Vector2(1.0, 2.0)"),
    (Vector2(0.1, -0.0), "Vector2(0.10000000149011612, -0.0)"),
    (Vector2(1e39, -1e39), "Vector2(inf, -inf)"),
    (Vector4(1, 2, 3, 4), "Vector4(1.0, 2.0, 3.0, 4.0)"),
    (Vector4(0.1, -0.0, 1e39, -1e300), "Vector4(0.1, -0.0, 1e+39, -1e+300)"),
    (Vector4(1 / 3, 2**53, -INF, 0), "Vector4(0.3333333333333333, 9007199254740992.0, -inf, 0.0)"),
])
def test_repr_and_str(v, text):
    assert repr(v) == str(v) == text


@over_companions
@pytest.mark.parametrize("make_copy", [
    lambda K, v: K.type(v),
    lambda K, v: getattr(K.type, K.from_vector)(v),
    lambda K, v: v.copy(),
    lambda K, v: copy.copy(v),
    lambda K, v: copy.deepcopy(v),
], ids=["constructor", "from_vector", "copy", "copy.copy", "copy.deepcopy"])
def test_copies_are_exact_and_independent(K, make_copy):
    v = K.make(-0.0, 0.1, INF, -3)
    dup = make_copy(K, v)
    assert dup is not v
    assert_vector(dup, K, K.want(-0.0, 0.1, INF, -3))
    v.x = 5
    assert_vector(dup, K, K.want(-0.0, 0.1, INF, -3))


# ------------------------------------------------------------------------------ arithmetic

A, B = (1.5, -2, 0.25, 3), (0.5, 4, -1, 2)
ARITH = [
    ("add", lambda a, b: a + b, A, B, (2, 2, -0.75, 5)),
    ("sub", lambda a, b: a - b, A, B, (1, -6, 1.25, 1)),
    ("mul", lambda a, b: a * b, A, B, (0.75, -8, -0.25, 6)),
    ("div", lambda a, b: a / b, A, B, (3, -0.5, -0.25, 1.5)),
    ("floordiv", lambda a, b: a // b, (7, -7, 7, 0.5), (2, 2, -2, 1), (3, -4, -4, 0)),
    ("mul-int", lambda a, b: a * 2, A, None, (3, -4, 0.5, 6)),
    ("mul-float", lambda a, b: a * -0.5, A, None, (-0.75, 1, -0.125, -1.5)),
    ("mul-bool", lambda a, b: a * True, A, None, A),
    ("div-scalar", lambda a, b: a / 4, A, None, (0.375, -0.5, 0.0625, 0.75)),
    ("floordiv-scalar", lambda a, b: a // 2, (7, -7, 0.5, -0.5), None, (3, -4, 0, -1)),
    ("div-zero", lambda a, b: a / 0, (1, -1, 0, 2), None, (INF, -INF, NAN, INF)),
    ("div-zero-first", lambda a, b: a / 0.0, (0, -2, 3, 0), None, (NAN, -INF, INF, NAN)),
    ("div-zero-vector", lambda a, b: a / b, (1, 1, 0, 1), (0, -0.0, 0, 2), (INF, -INF, NAN, 0.5)),
    ("floordiv-zero", lambda a, b: a // 0, (3, -3, 0, 1), None, (INF, -INF, NAN, INF)),
    ("neg", lambda a, b: -a, (1, 0, -2, -0.0), None, (-1, -0.0, 2, 0.0)),
    ("neg-zeros", lambda a, b: -a, (-0.0, 0.0, -0.0, 0.0), None, (0.0, -0.0, 0.0, -0.0)),
]


@over_companions
@pytest.mark.parametrize("op, a, b, expected", [c[1:] for c in ARITH], ids=[c[0] for c in ARITH])
def test_operators_give_a_new_vector(K, op, a, b, expected):
    left = K.make(*a)
    right = K.make(*b) if b is not None else None
    r = op(left, right)
    assert r is not left and r is not right
    assert_vector(r, K, K.want(*expected))
    assert components(left) == K.want(*a)


@over_companions
@pytest.mark.parametrize("a, b", [((0.1, 0.2, 0.3, 1 / 3), (0.2, 0.1, 0.7, 1 / 7)),
                                  ((2**24, 1, 1e-8, 3e38), (1, 2**24, 1, 3e38))])
def test_vector_arithmetic_in_the_type_precision(K, a, b):
    """Vector2: one single-precision operation per component; Vector4: one double operation."""
    left, right = K.make(*a), K.make(*b)
    n = K.narrow
    for op in (lambda x, y: x + y, lambda x, y: x - y, lambda x, y: x * y):
        expected = tuple(n(op(n(x), n(y))) for x, y in zip(a, b))
        assert_vector(op(left, right), K, expected[:K.n])


@over_companions
@pytest.mark.parametrize("op, s", [(lambda v, s: v * s, 0.3), (lambda v, s: v * s, 0.7),
                                   (lambda v, s: v / s, 4.0)])
def test_scalar_operand_stays_a_double(K, op, s):
    """The product of a component with the scalar as written is rounded once to the stored
    precision (for Vector2 not the product with the scalar rounded to single first)."""
    start = (3, 13, 7, -11)
    r = op(K.make(*start), s)
    assert_vector(r, K, tuple(K.narrow(op(K.narrow(c), s)) for c in start)[:K.n])


def test_vector2_scalar_product_examples():
    assert (Vector2(3, 13) * 0.3).get_tuple() == (f32(0.9), f32(13 * 0.3))
    assert (Vector2(3, 13) * 0.3).x != f32(3 * f32(0.3))


@over_companions
@pytest.mark.parametrize("op, got", [
    (lambda v, K: v + 1, "int"),
    (lambda v, K: v - (1, 2, 3, 4)[:K.n], "tuple"),
    (lambda v, K: v + None, "NoneType"),
    (lambda v, K: v - None, "NoneType"),
    (lambda v, K: v + other_companion(K).type(), None),
    (lambda v, K: v.__add__("a"), "str"),
])
def test_add_sub_refuse_non_vectors(K, op, got):
    with exact(TypeError, argtype("other", got or other_companion(K).tp_name, K.tp_name)):
        op(K.make(1, 2, 3, 4), K)


@over_companions
@pytest.mark.parametrize("op", [
    lambda v: v * None, lambda v: v / "a", lambda v: v // [1], lambda v: 2 * v,
    lambda v: 1 + v, lambda v: 10 / v, lambda v: +v, lambda v: abs(v),
])
def test_unsupported_operands(K, op):
    with pytest.raises(TypeError):
        op(K.make(1, 2, 3, 4))


@over_companions
def test_mul_and_divisions_decline_other_operands(K):
    v = K.make(1, 2, 3, 4)
    assert v.__mul__("a") is NotImplemented and v.__truediv__(None) is NotImplemented
    assert v.__floordiv__((1, 2)) is NotImplemented


@over_companions
@pytest.mark.parametrize("name, expected", [
    ("__iadd__", (1.5, 2, 3.25, 7)),
    ("__isub__", (0.5, -6, -2.75, -1)),
    ("__imul__", (0.5, -8, 0.75, 12)),
])
def test_in_place_operators_change_the_same_object(K, name, expected):
    v = K.make(1, -2, 0.25, 3)
    holder = v
    other = K.make(0.5, 4, 3, 4)
    assert getattr(v, name)(other) is v
    assert_vector(holder, K, K.want(*expected))
    assert components(other) == K.want(0.5, 4, 3, 4)


@over_companions
def test_in_place_statements_and_self_operand(K):
    v = K.make(1, -2, 0.25, 3)
    holder = v
    v += v
    assert holder is v and components(v) == K.want(2, -4, 0.5, 6)
    v -= v
    assert holder is v and components(v) == (0.0,) * K.n
    v /= 2                                  # no in-place division: rebinds
    assert v is not holder


@over_companions
@pytest.mark.parametrize("op, got", [
    (lambda v: v.__iadd__(None), "NoneType"),
    (lambda v: v.__isub__(1), "int"),
    (lambda v: v.__imul__(2), "int"),
    (lambda v: v.__imul__(2.0), "float"),
])
def test_in_place_refusals_leave_vector_unchanged(K, op, got):
    v = K.make(1, 2, 3, 4)
    with exact(TypeError, argtype("other", got, K.tp_name)):
        op(v)
    assert components(v) == K.want(1, 2, 3, 4)


@over_companions
def test_sadd(K):
    v = K.make(-7, 99, 1, 1)
    assert v.sadd(K.make(1, 2, 3, 4), old_vec=K.make(10, 20, 30, 40)) is None
    assert components(v) == K.want(11, 22, 33, 44)
    v.sadd(v, v)
    assert components(v) == K.want(22, 44, 66, 88)
    for args, param, got in [((None, v), "new_vec", "NoneType"), ((v, 1), "old_vec", "int"),
                             ((v, None), "old_vec", "NoneType")]:
        with exact(TypeError, argtype(param, got, K.tp_name)):
            v.sadd(*args)
    assert components(v) == K.want(22, 44, 66, 88)


# ------------------------------------------------------------------ geometry and conversions

# stem, start, expected (None: the unit vector by the normalisation rule, see unit())
ROUNDED = [
    ("round", (0.5, -2.5, 1.5, -0.5), (1, -3, 2, -1)),
    ("round", (-0.3, 0.3, 2.5000002, -0.0), (-0.0, 0.0, 3, -0.0)),
    ("round", (0.49999997, -1e30, 8388609, -8388607.5), (0, -1e30, 8388609, -8388608)),
    ("abs", (-1, -0.0, 2, -INF), (1, 0.0, 2, INF)),
    ("abs", (0.0, INF, -2**-149, -1e-300), (0.0, INF, 2**-149, 1e-300)),
    ("neg", (1, 0, -2, -0.0), (-1, -0.0, 2, 0.0)),
    ("neg", (-INF, 0.1, -1e-300, 3e38), (INF, -0.1, 1e-300, -3e38)),
    ("normalized", (0, -5, 0, 0), (0, -1, 0, 0)),
    ("normalized", (-0.0, 0, -0.0, 0), (0.0, 0.0, 0.0, 0.0)),
    ("normalized", (3, 4, 0, 0), None),
    ("normalized", (1, 1, 1, 1), None),
]


def unit(K, values):
    """Squared length and its root in the stored precision, the scale in double."""
    c = K.want(*values)
    s = 0.0
    for x in c:
        s = K.narrow(s + K.narrow(x * x))
    r = 1.0 / K.narrow(math.sqrt(s))
    return tuple(K.narrow(x * r) for x in c)


@over_companions
@pytest.mark.parametrize("form", ["to", "get"])
@pytest.mark.parametrize("stem, start, expected", ROUNDED)
def test_to_and_get_methods(K, form, stem, start, expected):
    v = K.make(*start)
    want = unit(K, start) if expected is None else K.want(*expected)
    r = getattr(v, f"{form}_{stem}")()
    if form == "to":
        assert r is v
    else:
        assert r is not v
        assert components(v) == K.want(*start)
    assert_vector(r, K, want)


@pytest.mark.parametrize("v, expected", [
    (Vector2(0.49999999999999994, -0.49999999999999994), (1, -1)),     # the single is 0.5
    (Vector4(0.49999999999999994, -0.49999999999999994, 2.5, 4503599627370497), (0, -0.0, 3, 4503599627370497)),
    (Vector4(-1e-300, 0.5000000000000001, -1.5, 1e300), (-0.0, 1, -2, 1e300)),
])
def test_rounding_in_the_type_precision(v, expected):
    r = v.get_round()
    assert all(same_bits(g, e) for g, e in zip(components(r), expected)), components(r)


def test_normalisation_examples():
    assert Vector2(3, 4).get_normalized().get_tuple() == (f32(0.6), f32(0.8))
    assert Vector4(1, 1, 1, 1).get_normalized().get_tuple() == (0.5, 0.5, 0.5, 0.5)


@over_companions
@pytest.mark.parametrize("name, values, expected", [
    ("get_tuple", (1, -0.0, 0.5, INF), (1.0, -0.0, 0.5, INF)),
    ("get_int_tuple", (1.9, -1.9, -0.5, 7.99), (1, -1, 0, 7)),
    ("get_int_tuple", (-2147483648.0, 2147483520.0, 1e-40, -0.0), (-2147483648, 2147483520, 0, 0)),
    ("get_rounded_tuple", (0.5, -2.5, 1.5, -0.3), (1, -3, 2, 0)),
    ("get_rounded_tuple", (0.4, -0.5, -2147483648.0, 2.5), (0, -1, -2147483648, 3)),
])
def test_tuples(K, name, values, expected):
    v = K.make(*values)
    t = getattr(v, name)()
    assert type(t) is tuple
    assert all(type(c) is (float if name == "get_tuple" else int) for c in t)
    assert all(same_bits(g, e) for g, e in zip(t, expected[:K.n])) and len(t) == K.n, t
    assert components(v) == K.want(*values)


def test_tuples_of_vector2_see_the_stored_singles():
    v = Vector2(0.1, 16777217)
    assert v.get_tuple() == (f32(0.1), 16777216.0)
    assert v.get_int_tuple() == (0, 16777216)


@over_companions
@pytest.mark.parametrize("name", ["get_int_tuple", "get_rounded_tuple"])
@pytest.mark.parametrize("values", [(INF, 0, 0, 0), (0, -3e9, 0, 0), (2147483648.0, 1, 1, 1), (0, -INF, 0, 0)])
def test_int_tuples_refuse_components_beyond_32_bits(K, name, values):
    v = K.make(*values)
    with pytest.raises(OverflowError):
        getattr(v, name)()
    assert components(v) == K.want(*values)


@pytest.mark.parametrize("name, value, expected", [
    ("get_int_tuple", 2147483647.9, 2147483647),
    ("get_int_tuple", -2147483648.9, -2147483648),
    ("get_int_tuple", -0.9999999999999999, 0),
    ("get_rounded_tuple", 2147483647.4, 2147483647),
    ("get_rounded_tuple", -2147483648.4, -2147483648),
    ("get_rounded_tuple", -0.49999999999999994, 0),
])
def test_vector4_int_tuples_at_the_32_bit_edges(name, value, expected):
    """A double that truncates or rounds into the int range converts, however close to its ends."""
    assert getattr(Vector4(1, value, -1, 0), name)() == (1, expected, -1, 0)


@pytest.mark.parametrize("name, values", [
    ("get_rounded_tuple", (2147483647.5, 0, 0, 0)),
    ("get_rounded_tuple", (0, -2147483648.5, 0, 0)),
    ("get_int_tuple", (0, 0, 2147483648.0, 0)),
])
def test_vector4_int_tuples_refuse_just_beyond_the_ends(name, values):
    with pytest.raises(OverflowError):
        getattr(Vector4(*values), name)()


@over_companions
@pytest.mark.parametrize("name, a, b, expected", [
    ("distance_to", (1, 2, 3, 3), (4, 6, 3, 3), lambda K: 5.0),
    ("distance_squared_to", (1, 2, 3, 3), (4, 6, 3, 3), lambda K: 25.0),
    ("dot", (1, 2, 0, 0), (4, -5, 7, 0), lambda K: -6.0),
    ("dot", (0.1, 0, 0, 0), (0.1, 1, 1, 1), lambda K: K.narrow(K.narrow(0.1) ** 2)),
    ("distance_squared_to", (0.1, 0, 0, 0), (0, 0, 0, 0), lambda K: K.narrow(0.1) ** 2),
    ("distance_to", (1e20, 0, 0, 0), (0, 0, 0, 0), lambda K: math.sqrt(K.narrow(1e20) ** 2)),
    ("distance_to", (3, 4, 1, 1), (3, 4, 1, 1), lambda K: 0.0),
])
def test_distances_and_dot(K, name, a, b, expected):
    left, right = K.make(*a), K.make(*b)
    r = getattr(left, name)(other=right) if name == "dot" else getattr(left, name)(right)
    assert type(r) is float and r == expected(K)
    assert components(left) == K.want(*a) and components(right) == K.want(*b)


@over_companions
@pytest.mark.parametrize("call, exc, message", [
    (lambda v, K: v.dot(None), TypeError, lambda K: argtype("other", "NoneType", K.tp_name)),
    (lambda v, K: v.distance_to((1, 2, 3, 4)[:K.n]), TypeError, lambda K: argtype("other", "tuple", K.tp_name)),
    (lambda v, K: v.distance_squared_to(None), TypeError, lambda K: argtype("other", "NoneType", K.tp_name)),
    (lambda v, K: v.dot(), TypeError, lambda K: "dot() takes exactly 1 positional argument (0 given)"),
    (lambda v, K: v.get_tuple(1), TypeError, lambda K: "get_tuple() takes exactly 0 positional arguments (1 given)"),
    (lambda v, K: v.to_round(x=1), TypeError, lambda K: "to_round() got an unexpected keyword argument 'x'"),
])
def test_method_argument_errors(K, call, exc, message):
    with exact(exc, message(K)):
        call(K.make(1, 2, 3, 4), K)


# ------------------------------------------------------------------- Vector2's swizzles

SWIZZLES = {"xx": (0, 0), "xy": (0, 1), "yx": (1, 0), "yy": (1, 1)}


@pytest.mark.parametrize("name, picks", SWIZZLES.items())
def test_swizzles_are_new_exact_copies(name, picks):
    v = Vector2(-0.0, 0.1)
    s = getattr(v, name)
    assert type(s) is Vector2 and s is not v
    assert all(same_bits(g, components(v)[i]) for g, i in zip(components(s), picks))
    s.x = 42
    v.y = 7
    assert components(v) == (-0.0, 7.0)
    assert components(s)[0] == 42.0
    with pytest.raises(AttributeError):
        setattr(v, name, Vector2())
    with pytest.raises(AttributeError):
        delattr(v, name)


def test_vector4_has_no_two_letter_swizzles():
    with pytest.raises(AttributeError):
        Vector4().xy
