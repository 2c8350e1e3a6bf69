"""Vector3 arithmetic: binary operators, in-place operators, unary minus and sadd."""

from vexlar.vector3.vector3 import Vector3

import math
import operator

import pytest

from support import FloatSub, IntSub, argtype, assert_components, exact, f32, xyz

def single_op(op, c, d):
    """Two stored singles combined in single precision."""
    c, d = f32(c), f32(d)
    if op is operator.floordiv:
        q = single_op(operator.truediv, c, d)
        return q if math.isinf(q) or math.isnan(q) else float(math.floor(q))
    if op is operator.truediv and d == 0:
        if c == 0:
            return math.nan
        return math.copysign(math.inf, c) * math.copysign(1.0, d)
    return f32(op(c, d))


def scalar_op(op, c, s):
    """A stored single and a scalar: double precision, one rounding to single."""
    c, s = f32(c), float(s)
    if op is operator.mul:
        return f32(c * s)
    r = math.copysign(math.inf, s) if s == 0 else 1.0 / s
    q = math.nan if c == 0 and math.isinf(r) else c * r
    if op is operator.floordiv and not (math.isinf(q) or math.isnan(q)):
        q = float(math.floor(q))
    return f32(q)


class Rhs:
    """A right operand that would gladly handle any reflected operation."""

    def __radd__(self, other):
        return "radd"

    def __rsub__(self, other):
        return "rsub"

    def __rmul__(self, other):
        return "rmul"

    def __rtruediv__(self, other):
        return "rtruediv"

    def __rfloordiv__(self, other):
        return "rfloordiv"


# ------------------------------------------------------------------------ vector with vector


@pytest.mark.parametrize("op, a, b, expected", [
    (operator.add, (1, 2, 3), (4, 5, 6), (5, 7, 9)),
    (operator.sub, (1, 2, 3), (4, 5, 6), (-3, -3, -3)),
    (operator.mul, (1, 2, 3), (4, 5, 6), (4, 10, 18)),
    (operator.truediv, (4, 10, 18), (4, 5, 6), (1, 2, 3)),
    (operator.floordiv, (7, -7, 7), (2, 2, -2), (3, -4, -4)),
    (operator.floordiv, (1, 1, 6), (0.1, -0.1, 3), (10, -10, 2)),   # quotient rounded first
    (operator.truediv, (1, 1, 1), (0, -0.0, 1), (math.inf, -math.inf, 1)),
    (operator.truediv, (0, -1, 2), (0, 0, -0.0), (math.nan, -math.inf, -math.inf)),
    (operator.floordiv, (0, -1, 2), (0, 0, -0.0), (math.nan, -math.inf, -math.inf)),
    (operator.mul, (1e20, 1e-30, -3e38), (1e20, 1e-30, 2), (math.inf, 0, -math.inf)),
])
def test_vector_vector_examples(op, a, b, expected):
    va, vb = Vector3(*a), Vector3(*b)
    result = op(va, vb)
    assert result is not va and result is not vb
    assert_components(result, expected, signed=True)
    assert_components(va, a)
    assert_components(vb, b)


@pytest.mark.parametrize("op", [operator.add, operator.sub, operator.mul,
                                operator.truediv, operator.floordiv])
@pytest.mark.parametrize("a, b", [
    ((0.1, 0.2, 0.3), (0.2, 0.7, -0.1)),
    ((1e8, 3.3, -7.77), (1, 1.1, 0.013)),
    ((16777216, 1e-3, 123.456), (1, 3e-3, 0.0001)),
])
def test_vector_vector_single_precision(op, a, b):
    expected = tuple(single_op(op, c, d) for c, d in zip(a, b))
    assert xyz(op(Vector3(*a), Vector3(*b))) == expected


def test_vector_vector_with_self():
    v = Vector3(1, 2, 3)
    assert_components(v + v, (2, 4, 6))
    assert_components(v - v, (0, 0, 0))
    assert_components(v * v, (1, 4, 9))
    assert_components(v / v, (1, 1, 1))
    assert_components(v, (1, 2, 3))


# ------------------------------------------------------------------------ vector with scalar


@pytest.mark.parametrize("op, v, s, expected", [
    (operator.mul, (1, 2, 3), 2, (2, 4, 6)),
    (operator.mul, (1, 2, 3), 2.0, (2, 4, 6)),
    (operator.mul, (1, 2, 3), True, (1, 2, 3)),
    (operator.mul, (1, -2, 3), False, (0, -0.0, 0)),
    (operator.mul, (1, 2, 3), IntSub(3), (3, 6, 9)),
    (operator.mul, (1, 2, 3), FloatSub(-0.5), (-0.5, -1, -1.5)),
    (operator.mul, (1, 1, 1), 2**200, (math.inf, math.inf, math.inf)),
    (operator.truediv, (1, 2, 3), 2, (0.5, 1, 1.5)),
    (operator.truediv, (1, 2, 3), -0.5, (-2, -4, -6)),
    (operator.floordiv, (7, -7, 0.5), 2, (3, -4, 0)),
    (operator.floordiv, (7, -7, -0.5), 2.0, (3, -4, -1)),
    (operator.floordiv, (9, 10, -1), 2.5, (3, 4, -1)),
    (operator.truediv, (1, -1, 0), 0, (math.inf, -math.inf, math.nan)),
    (operator.truediv, (1, -1, 0), 0.0, (math.inf, -math.inf, math.nan)),
    (operator.truediv, (1, -1, 0), -0.0, (-math.inf, math.inf, math.nan)),
    (operator.floordiv, (1, -1, 0), 0, (math.inf, -math.inf, math.nan)),
    (operator.floordiv, (1, -1, 0), False, (math.inf, -math.inf, math.nan)),
])
def test_vector_scalar_examples(op, v, s, expected):
    vec = Vector3(*v)
    result = op(vec, s)
    assert result is not vec
    assert_components(result, expected, signed=True)
    assert_components(vec, v)


@pytest.mark.parametrize("op", [operator.mul, operator.truediv, operator.floordiv])
@pytest.mark.parametrize("v, s", [
    ((0.1, 0.7, 3), 0.1),                 # double product, rounded once
    ((0.1, 3, 7), 1.1),
    ((3, 5, 7), 1 / 3),
    ((1, 2, 3), 3),
    ((0.3, -123.456, 1e10), 7),
    ((1, 1, 1), 2**53 + 1),
])
def test_vector_scalar_double_precision(op, v, s):
    expected = tuple(scalar_op(op, c, s) for c in v)
    assert xyz(op(Vector3(*v), s)) == expected


def test_scalar_product_is_not_a_single_product():
    # 0.1f * 0.1 in double rounds to 0.0099999998, a single product would give 0.0100000007
    assert (Vector3(0.1, 0, 0) * 0.1).x == f32(f32(0.1) * 0.1)
    assert (Vector3(0.1, 0, 0) * 0.1).x != f32(f32(0.1) * f32(0.1))


@pytest.mark.parametrize("op", [operator.mul, operator.truediv, operator.floordiv])
def test_scalar_too_large_for_double(op):
    with pytest.raises(OverflowError):
        op(Vector3(1, 2, 3), 10**400)


# ------------------------------------------------------------------ unsupported combinations


@pytest.mark.parametrize("op, rhs, got", [
    (operator.add, 1, "int"),
    (operator.add, 1.5, "float"),
    (operator.add, (1, 2, 3), "tuple"),
    (operator.add, [1, 2, 3], "list"),
    (operator.add, None, "NoneType"),
    (operator.add, "a", "str"),
    (operator.add, Rhs(), "Rhs"),          # the right operand is not consulted
    (operator.sub, 1, "int"),
    (operator.sub, (1, 2, 3), "tuple"),
    (operator.sub, None, "NoneType"),
    (operator.sub, Rhs(), "Rhs"),
])
def test_add_sub_refuse_non_vectors(op, rhs, got):
    v = Vector3(1, 2, 3)
    with exact(TypeError, argtype("other", got)):
        op(v, rhs)
    assert_components(v, (1, 2, 3))


@pytest.mark.parametrize("op, rhs", [
    (operator.mul, None), (operator.mul, "a"), (operator.mul, [1, 2]), (operator.mul, (1, 2, 3)),
    (operator.mul, 1j), (operator.truediv, None), (operator.truediv, "a"),
    (operator.truediv, (1, 2, 3)), (operator.floordiv, None), (operator.floordiv, [1]),
])
def test_mul_div_refuse_other_operands(op, rhs):
    with pytest.raises(TypeError):
        op(Vector3(1, 2, 3), rhs)


@pytest.mark.parametrize("op, expected", [
    (operator.mul, "rmul"), (operator.truediv, "rtruediv"), (operator.floordiv, "rfloordiv"),
])
def test_mul_div_let_the_right_operand_answer(op, expected):
    assert op(Vector3(1, 2, 3), Rhs()) == expected


@pytest.mark.parametrize("op, lhs", [
    (operator.mul, 2), (operator.mul, 2.0), (operator.add, 1), (operator.add, (1, 2, 3)),
    (operator.sub, 1), (operator.truediv, 10), (operator.floordiv, 10),
    (operator.add, None), (operator.mul, [1, 2, 3]),
])
def test_vector_only_on_the_right_is_unsupported(op, lhs):
    with pytest.raises(TypeError):
        op(lhs, Vector3(1, 2, 3))


@pytest.mark.parametrize("name, arg", [
    ("__mul__", "a"), ("__mul__", None), ("__mul__", (1, 2, 3)),
    ("__truediv__", "a"), ("__truediv__", [1, 2, 3]), ("__floordiv__", None),
])
def test_dunder_mul_div_return_not_implemented(name, arg):
    assert getattr(Vector3(1, 2, 3), name)(arg) is NotImplemented


@pytest.mark.parametrize("name, arg, got", [
    ("__add__", "a", "str"), ("__add__", None, "NoneType"), ("__sub__", 2, "int"),
])
def test_dunder_add_sub_raise(name, arg, got):
    with exact(TypeError, argtype("other", got)):
        getattr(Vector3(1, 2, 3), name)(arg)


@pytest.mark.parametrize("name, arg, expected", [
    ("__add__", Vector3(4, 5, 6), (5, 7, 9)),
    ("__sub__", Vector3(4, 5, 6), (-3, -3, -3)),
    ("__mul__", 2, (2, 4, 6)),
    ("__mul__", Vector3(4, 5, 6), (4, 10, 18)),
    ("__truediv__", 2, (0.5, 1, 1.5)),
    ("__floordiv__", Vector3(2, 2, 2), (0, 1, 1)),
])
def test_dunder_methods_called_directly(name, arg, expected):
    assert_components(getattr(Vector3(1, 2, 3), name)(arg), expected)


@pytest.mark.parametrize("name", ["__add__", "__sub__", "__mul__", "__truediv__",
                                  "__floordiv__"])
def test_operator_methods_take_exactly_one_argument(name):
    method = getattr(Vector3(1, 2, 3), name)
    with exact(TypeError, f"{name}() takes exactly one argument (0 given)"):
        method()
    with exact(TypeError, f"{name}() takes exactly one argument (2 given)"):
        method(Vector3(), Vector3())
    with exact(TypeError, f"{name}() takes no keyword arguments"):
        method(other=Vector3())


def test_reflected_slot_names_swap_operands():
    a, b = Vector3(1, 2, 3), Vector3(10, 20, 30)
    assert_components(a.__radd__(b), (11, 22, 33))
    assert_components(a.__rsub__(b), (9, 18, 27))
    assert_components(a.__rmul__(b), (10, 40, 90))
    assert_components(a.__rtruediv__(b), (10, 10, 10))
    assert_components(a.__rfloordiv__(b), (10, 10, 10))
    assert a.__rmul__(2) is NotImplemented
    assert a.__radd__(1) is NotImplemented
    assert a.__rtruediv__(1) is NotImplemented


# ------------------------------------------------------------------------------- unary operators


@pytest.mark.parametrize("v, expected", [
    ((1, 0, -2), (-1, -0.0, 2)),
    ((-0.0, 0.5, 1e39), (0.0, -0.5, -math.inf)),
    ((0.1, -0.1, 3e38), (-0.1, 0.1, -3e38)),
])
def test_unary_minus(v, expected):
    vec = Vector3(*v)
    neg = -vec
    assert neg is not vec
    assert_components(neg, expected, signed=True)
    assert_components(vec, v, signed=True)


def test_unary_minus_repr_shows_negative_zero():
    assert repr(-Vector3(1, 0, -2)) == "Vector3(-1.0, -0.0, 2.0)"


@pytest.mark.parametrize("op", [operator.pos, abs, operator.invert])
def test_other_unary_operators_unsupported(op):
    with pytest.raises(TypeError):
        op(Vector3(1, -2, 3))


# ------------------------------------------------------------------------------- in-place forms


@pytest.mark.parametrize("op, expected", [
    (operator.iadd, (2, 3, 4)),
    (operator.isub, (0, 1, 2)),
    (operator.imul, (2, 4, 6)),
])
def test_in_place_changes_the_same_object(op, expected):
    a = Vector3(1, 2, 3)
    b = a
    rhs = Vector3(1, 1, 1) if op is not operator.imul else Vector3(2, 2, 2)
    result = op(a, rhs)
    assert result is b
    assert_components(b, expected)
    assert_components(rhs, (1, 1, 1) if op is not operator.imul else (2, 2, 2))


def test_in_place_statements():
    a = Vector3(1, 2, 3)
    b = a
    a += Vector3(1, 1, 1)
    assert a is b
    assert_components(b, (2, 3, 4))
    a *= Vector3(2, 2, 2)
    assert a is b
    assert_components(b, (4, 6, 8))
    a -= Vector3(4, 4, 4)
    assert a is b
    assert_components(b, (0, 2, 4))


@pytest.mark.parametrize("op, expected", [
    (operator.iadd, (2, 4, 6)),
    (operator.isub, (0, 0, 0)),
    (operator.imul, (1, 4, 9)),
])
def test_in_place_with_itself(op, expected):
    v = Vector3(1, 2, 3)
    assert op(v, v) is v
    assert_components(v, expected)


@pytest.mark.parametrize("op", [operator.iadd, operator.isub, operator.imul])
@pytest.mark.parametrize("a, b", [((0.1, 1e8, -7.77), (0.2, 1, 0.013))])
def test_in_place_single_precision(op, a, b):
    plain = {operator.iadd: operator.add, operator.isub: operator.sub,
             operator.imul: operator.mul}[op]
    v = Vector3(*a)
    op(v, Vector3(*b))
    assert xyz(v) == tuple(single_op(plain, c, d) for c, d in zip(a, b))


@pytest.mark.parametrize("op", [operator.iadd, operator.isub, operator.imul])
@pytest.mark.parametrize("rhs, got", [
    (2, "int"), (2.0, "float"), ((1, 2, 3), "tuple"), (None, "NoneType"), (Rhs(), "Rhs"),
])
def test_in_place_refuses_non_vectors(op, rhs, got):
    v = Vector3(1, 2, 3)
    with exact(TypeError, argtype("other", got)):
        op(v, rhs)
    assert_components(v, (1, 2, 3))


def test_in_place_multiply_by_scalar_refused():
    a = Vector3(1, 2, 3)
    with exact(TypeError, argtype("other", "int")):
        a *= 2
    assert_components(a, (1, 2, 3))


@pytest.mark.parametrize("op, expected", [
    (operator.itruediv, (0.5, 1, 1.5)),
    (operator.ifloordiv, (0, 1, 1)),
])
def test_in_place_division_rebinds(op, expected):
    a = Vector3(1, 2, 3)
    b = a
    a = op(a, 2)
    assert a is not b
    assert_components(a, expected)
    assert_components(b, (1, 2, 3))


def test_in_place_division_statement():
    a = Vector3(2, 4, 6)
    b = a
    a /= 2
    assert a is not b
    assert_components(a, (1, 2, 3))
    assert_components(b, (2, 4, 6))
    a //= Vector3(2, 2, 2)
    assert_components(a, (0, 1, 1))


# ------------------------------------------------------------------------------------- sadd


def test_sadd():
    v = Vector3(9, 9, 9)
    a, b = Vector3(1, 2, 3), Vector3(10, 20, 30)
    assert v.sadd(Vector3(1, 2, 3), Vector3(10, 20, 30)) is None
    assert_components(v, (11, 22, 33))
    v.sadd(old_vec=a, new_vec=Vector3(-1, -1, -1))
    assert_components(v, (0, 1, 2))
    v.sadd(a, old_vec=b)
    assert_components(v, (11, 22, 33))
    assert_components(a, (1, 2, 3))
    assert_components(b, (10, 20, 30))


@pytest.mark.parametrize("args, expected", [
    (lambda v: (v, v), (2, 4, 6)),
    (lambda v: (v, Vector3(1, 1, 1)), (2, 3, 4)),
    (lambda v: (Vector3(1, 1, 1), v), (2, 3, 4)),
])
def test_sadd_with_itself(args, expected):
    v = Vector3(1, 2, 3)
    v.sadd(*args(v))
    assert_components(v, expected)


def test_sadd_single_precision():
    v = Vector3()
    v.sadd(Vector3(0.1, 1e8, -7.77), Vector3(0.2, 1, 0.013))
    assert xyz(v) == (single_op(operator.add, 0.1, 0.2), single_op(operator.add, 1e8, 1),
                      single_op(operator.add, -7.77, 0.013))


@pytest.mark.parametrize("call, message", [
    (lambda v: v.sadd(1, v), argtype("new_vec", "int")),
    (lambda v: v.sadd(v, 1), argtype("old_vec", "int")),
    (lambda v: v.sadd(None, v), argtype("new_vec", "NoneType")),
    (lambda v: v.sadd(v, None), argtype("old_vec", "NoneType")),
    (lambda v: v.sadd((1, 2, 3), [1, 2, 3]), argtype("new_vec", "tuple")),
    (lambda v: v.sadd(old_vec=1, new_vec="a"), argtype("new_vec", "str")),
    (lambda v: v.sadd(), "sadd() takes exactly 2 positional arguments (0 given)"),
    (lambda v: v.sadd(v), "sadd() takes exactly 2 positional arguments (1 given)"),
    (lambda v: v.sadd(v, v, v), "sadd() takes exactly 2 positional arguments (3 given)"),
    (lambda v: v.sadd(old_vec=v), "sadd() takes exactly 2 positional arguments (0 given)"),
    (lambda v: v.sadd(v, new_vec=v), "sadd() got multiple values for keyword argument 'new_vec'"),
    (lambda v: v.sadd(v, other=v), "sadd() got an unexpected keyword argument 'other'"),
])
def test_sadd_refusals_leave_vector_unchanged(call, message):
    v = Vector3(1, 2, 3)
    with exact(TypeError, message):
        call(v)
    assert_components(v, (1, 2, 3))
