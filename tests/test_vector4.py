"""The C method tables of the companion vectors Vector4 and Vector2 as native callers use them:
the published capsules, the object layout, every slot called by position through ctypes with
the interpreter lock held (a PYFUNCTYPE call raises the exception a slot leaves pending), the
reference counts around the calls, and the rule by which the overridable slots honour a Python
subclass's override. Each test runs over both types (parameter K) unless it names one; the
Python API is tested in test_vector2.py."""

import ctypes
import math
import struct
import sys

import pytest

from vexlar.vector2.vector2 import Vector2
from vexlar.vector4.vector4 import Vector4

from support import (COMPANIONS, Flt, HEADER, Idx, POINTER, assert_every_slot_is_filled, assert_table_capsule,
                     assert_vector, components, counts, exact, f32, numbers, other_companion, over_companions,
                     referenced, table_address)

O, D, I, F = ctypes.py_object, ctypes.c_double, ctypes.c_int, ctypes.c_float
INF = math.inf


class Vector2Record(ctypes.Structure):
    """raylib's Vector2, passed by value."""

    _fields_ = [("x", ctypes.c_float), ("y", ctypes.c_float)]


def shared_slots(n):
    """The slots after the static constructors, the same in both tables."""
    return [
        ("_add", O, (O, O)), ("_sub", O, (O, O)),
        ("_iadd", None, (O, O)), ("_isub", None, (O, O)), ("_imul", None, (O, O)),
        ("_sadd", None, (O, O, O)), ("sadd", None, (O, O, O, I)),
        ("get_tuple", O, (O, I)), ("c_get_tuple", O, (O,)),
        ("to_round", O, (O, I)), ("get_round", O, (O, I)),
        ("to_abs", O, (O, I)), ("get_abs", O, (O, I)),
        ("to_neg", O, (O, I)), ("get_neg", O, (O, I)),
        ("get_int_tuple", O, (O, I)), ("get_rounded_tuple", O, (O, I)),
        ("copy", O, (O, I)), ("to_normalized", O, (O, I)), ("get_normalized", O, (O, I)),
        ("distance_to", D, (O, O, I)), ("distance_squared_to", D, (O, O, I)), ("dot", D, (O, O, I)),
    ]


# Slot order is fixed: native modules index the tables by position.
SLOTS = {
    Vector2: [
        ("new", O, (D, D)), ("cfrom_struct", O, (Vector2Record,)), ("cfrom_list", O, (O,)),
        ("cfrom_ints", O, (I, I)), ("cfrom_floats", O, (F, F)), ("cfrom_tuple", O, (O,)),
        ("cfrom_vector2", O, (O,)), ("cfrom_xy", O, (D, D)),
    ] + shared_slots(2),
    Vector4: [
        ("new", O, (D, D, D, D)), ("cfrom_list", O, (O,)), ("cfrom_ints", O, (I, I, I, I)),
        ("cfrom_floats", O, (F, F, F, F)), ("cfrom_tuple", O, (O,)), ("cfrom_vector4", O, (O,)),
        ("cfrom_xyzw", O, (D, D, D, D)),
    ] + shared_slots(4),
}

# The slots with a trailing skip_dispatch, named like the Python method they honour.
OVERRIDABLE = [name for name, _, args in shared_slots(2) if args[-1] is I]

def table_class(T):
    return type(T.__name__ + "Table", (ctypes.Structure,),
                {"_fields_": [(name, ctypes.PYFUNCTYPE(r, *a)) for name, r, a in SLOTS[T]]})


TABLES = {T: table_class(T).from_address(table_address(T)) for T in SLOTS}

def object_class(K):
    """An instance as native code sees it: header, table pointer, the payload record."""
    scalar = ctypes.c_float if K.type is Vector2 else ctypes.c_double
    return type(K.name + "Object", (ctypes.Structure,), {"_fields_": [
        ("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p),
        *[(axis, scalar) for axis in "xyzw"[:K.n]]]})


def slot(K, name):
    return getattr(TABLES[K.type], name)


# --------------------------------------------------------------------- publication and layout


@over_companions
def test_table_is_published_in_an_unnamed_capsule(K):
    assert_table_capsule(K.type, K.tp_name)


@over_companions
def test_every_slot_is_filled(K):
    slots = SLOTS[K.type]
    assert len(slots) == {2: 31, 4: 30}[K.n]
    raw = assert_every_slot_is_filled(K.type, TABLES[K.type], slots)
    assert all(raw), [name for (name, _, _), p in zip(slots, raw) if not p]


@over_companions
def test_layout_is_header_table_pointer_payload(K):
    Obj = object_class(K)
    payload = K.n * (4 if K.type is Vector2 else 8)
    assert Obj.vtab.offset == HEADER and Obj.x.offset == HEADER + POINTER
    assert K.type.__basicsize__ == ctypes.sizeof(Obj) == (HEADER + POINTER + payload + 7) // 8 * 8
    assert K.type.__itemsize__ == 0


@over_companions
@pytest.mark.parametrize("make", [
    lambda K: K.type.__new__(K.type),
    lambda K: K.make(1.5, -2, 0.1, 4),
    lambda K: -K.make(1.5, -2, 0.1, 4),
    lambda K: slot(K, "new")(*(1.5, -2, 0.1, 4)[:K.n]),
    lambda K: slot(K, "get_neg")(K.make(1.5, -2, 0.1, 4), 1),
    lambda K: type("Sub", (K.type,), {})(*(1.5, -2, 0.1, 4)[:K.n]),
], ids=["alloc", "init", "operator", "slot-new", "slot-get_neg", "subclass"])
def test_every_instance_points_at_the_table_and_holds_its_payload(K, make):
    v = make(K)
    raw = object_class(K).from_address(id(v))
    assert raw.vtab == table_address(K.type)
    assert tuple(getattr(raw, axis) for axis in "xyzw"[:K.n]) == components(v)


# -------------------------------------------------------------------- static constructors

CONSTRUCTORS = [
    (Vector2, "new", lambda: (0.1, 1e39), (f32(0.1), INF)),
    (Vector2, "cfrom_struct", lambda: (Vector2Record(0.1, -2.5),), (f32(0.1), -2.5)),
    (Vector2, "cfrom_list", lambda: ([Idx(3), 0.1, "ignored"],), (3, f32(0.1))),
    (Vector2, "cfrom_ints", lambda: (-2**31, 2**24 + 1), (-2.0**31, 2.0**24)),
    (Vector2, "cfrom_floats", lambda: (0.1, -0.0), (f32(0.1), -0.0)),
    (Vector2, "cfrom_tuple", lambda: ((Flt(0.5), True, None),), (0.5, 1)),
    (Vector2, "cfrom_vector2", lambda: (Vector2(-0.0, INF),), (-0.0, INF)),
    (Vector2, "cfrom_xy", lambda: (1 + 2**-24, -1e-46), (1.0, -0.0)),
    (Vector4, "new", lambda: (0.1, 1e39, -0.0, 1 / 3), (0.1, 1e39, -0.0, 1 / 3)),
    (Vector4, "cfrom_list", lambda: ([0.1, Idx(2), Flt(-0.0), 2**53 + 1, "ignored"],), (0.1, 2, -0.0, 2.0**53)),
    (Vector4, "cfrom_ints", lambda: (-2**31, 2**31 - 1, 2**24 + 1, 0), (-2**31, 2**31 - 1, 2**24 + 1, 0)),
    (Vector4, "cfrom_floats", lambda: (0.1, -0.0, 1e39, 2**-149), (f32(0.1), -0.0, INF, 2**-149)),
    (Vector4, "cfrom_tuple", lambda: ((1e300, True, -1e-300, 0.1),), (1e300, 1, -1e-300, 0.1)),
    (Vector4, "cfrom_vector4", lambda: (Vector4(-0.0, INF, 0.1, -1e-300),), (-0.0, INF, 0.1, -1e-300)),
    (Vector4, "cfrom_xyzw", lambda: (1 + 2**-52, -1e-320, 1e308, -0.0), (1 + 2**-52, -1e-320, 1e308, -0.0)),
]


@pytest.mark.parametrize("T, name, args, expected", CONSTRUCTORS, ids=[f"{c[0].__name__}-{c[1]}" for c in CONSTRUCTORS])
def test_static_constructor_slots(T, name, args, expected):
    K = COMPANIONS[T is Vector4]
    a = args()
    v = getattr(TABLES[T], name)(*a)
    assert_vector(v, K, expected)
    assert all(v is not x for x in a)
    assert object_class(K).from_address(id(v)).vtab == table_address(T)


@over_companions
@pytest.mark.parametrize("name, kind", [("cfrom_list", list), ("cfrom_tuple", tuple)])
def test_sequence_slots_refuse_short_sequences_and_non_numbers(K, name, kind):
    with exact(ValueError, f"{name}() needs at least {K.n} items ({K.n - 1} given)"):
        slot(K, name)(kind([1.0] * (K.n - 1)))
    with pytest.raises(TypeError):
        slot(K, name)(kind([1.0] * (K.n - 1) + ["a"]))


# ----------------------------------------------------------- the receiver slots, by position


def vec(K, *c):
    """A vector with fresh float objects behind it (so reference counts are telling)."""
    return K.type(*numbers(*c[:K.n]))


A, B = (1.5, -2, 0.25, 3), (0.5, 4, -1, 2)

# slot, arguments before skip_dispatch, what the call gives:
#   ("new", c)  a new vector holding c     ("self", c)  the receiver, now holding c
#   ("none", c) None, the receiver now c   ("value", x) exactly the value x
RECEIVER_SLOTS = [
    ("_add", lambda K: (vec(K, *A), vec(K, *B)), ("new", (2, 2, -0.75, 5))),
    ("_sub", lambda K: (vec(K, *A), vec(K, *B)), ("new", (1, -6, 1.25, 1))),
    ("_iadd", lambda K: (vec(K, *A), vec(K, *B)), ("none", (2, 2, -0.75, 5))),
    ("_isub", lambda K: (vec(K, *A), vec(K, *B)), ("none", (1, -6, 1.25, 1))),
    ("_imul", lambda K: (vec(K, *A), vec(K, *B)), ("none", (0.75, -8, -0.25, 6))),
    ("_sadd", lambda K: (vec(K, 9, 9, 9, 9), vec(K, *A), vec(K, *B)), ("none", (2, 2, -0.75, 5))),
    ("sadd", lambda K: (vec(K, 9, 9, 9, 9), vec(K, *A), vec(K, *B)), ("none", (2, 2, -0.75, 5))),
    ("get_tuple", lambda K: (vec(K, 1, -0.0, 0.5, INF),), ("value", (1.0, -0.0, 0.5, INF))),
    ("c_get_tuple", lambda K: (vec(K, 1, -0.0, 0.5, INF),), ("value", (1.0, -0.0, 0.5, INF))),
    ("to_round", lambda K: (vec(K, 0.5, -2.5, -0.3, 2.5),), ("self", (1, -3, -0.0, 3))),
    ("get_round", lambda K: (vec(K, 0.5, -2.5, -0.3, 2.5),), ("new", (1, -3, -0.0, 3))),
    ("to_abs", lambda K: (vec(K, -1, -0.0, 2, -INF),), ("self", (1, 0.0, 2, INF))),
    ("get_abs", lambda K: (vec(K, -1, -0.0, 2, -INF),), ("new", (1, 0.0, 2, INF))),
    ("to_neg", lambda K: (vec(K, 1, 0, -2, -0.0),), ("self", (-1, -0.0, 2, 0.0))),
    ("get_neg", lambda K: (vec(K, 1, 0, -2, -0.0),), ("new", (-1, -0.0, 2, 0.0))),
    ("get_int_tuple", lambda K: (vec(K, 1.9, -1.9, -0.5, 1e9),), ("value", (1, -1, 0, 1000000000))),
    ("get_rounded_tuple", lambda K: (vec(K, 0.5, -2.5, -0.3, 1e9),), ("value", (1, -3, 0, 1000000000))),
    ("copy", lambda K: (vec(K, -0.0, 0.1, INF, 3),), ("new", (-0.0, 0.1, INF, 3))),
    ("to_normalized", lambda K: (vec(K, 0, -5, 0, 0),), ("self", (0, -1, 0, 0))),
    ("get_normalized", lambda K: (vec(K, -0.0, 0, -0.0, 0),), ("new", (0.0, 0.0, 0.0, 0.0))),
    ("distance_to", lambda K: (vec(K, 1, 2, 3, 3), vec(K, 4, 6, 3, 3)), ("value", 5.0)),
    ("distance_squared_to", lambda K: (vec(K, 1, 2, 3, 3), vec(K, 4, 6, 3, 3)), ("value", 25.0)),
    ("dot", lambda K: (vec(K, 1, 2, 0, 0), vec(K, 4, -5, 7, 0)), ("value", -6.0)),
]


def test_every_slot_has_a_case():
    for T, slots in SLOTS.items():
        constructors = {name for t, name, _, _ in CONSTRUCTORS if t is T}
        assert constructors | {name for name, _, _ in RECEIVER_SLOTS} == {name for name, _, _ in slots}


def check_result(K, r, args, expected):
    kind, value = expected
    if kind == "value":
        want = value[:K.n] if type(value) is tuple else value
        assert type(r) is type(want) and r == want
        if type(r) is tuple:
            assert all(type(c) is type(w) and struct.pack("d", c) == struct.pack("d", w) for c, w in zip(r, want))
        return
    receiver = {"new": r, "self": args[0], "none": args[0]}[kind]
    if kind == "new":
        assert all(r is not a for a in args)
    else:
        assert r is (args[0] if kind == "self" else None)
    assert_vector(receiver, K, K.want(*value))


SKIPPED = [(name, args, want, skip) for name, args, want in RECEIVER_SLOTS
           for skip in ([0, 1] if name in OVERRIDABLE else [None])]


@over_companions
@pytest.mark.parametrize("name, make_args, expected, skip", SKIPPED,
                         ids=[f"{c[0]}-{c[3]}" if c[3] is not None else c[0] for c in SKIPPED])
def test_receiver_slot(K, name, make_args, expected, skip):
    """Called on plain instances, where skip_dispatch never matters; the arguments' reference
    counts are the same after many calls, and a new result is held only by the caller."""
    args = make_args(K)
    call_args = args + ((skip,) if skip is not None else ())
    objs = referenced(args)
    before = counts(objs)
    fn = slot(K, name)
    r = fn(*call_args)
    check_result(K, r, args, expected)
    if expected[0] == "new":
        alone = object()
        assert sys.getrefcount(r) == sys.getrefcount(alone)
    del r
    for _ in range(300):
        fn(*call_args)
    assert counts(objs) == before


@over_companions
@pytest.mark.parametrize("name, args", [
    ("new", lambda K: (1.5, 2.5, 3.5, 4.5)[:K.n]),
    ("cfrom_list", lambda K: (numbers(1.5, 2.5, 3.5, 4.5, 5.5),)),
    ("cfrom_tuple", lambda K: (tuple(numbers(1.5, 2.5, 3.5, 4.5, 5.5)),)),
    ("cfrom_vector", lambda K: (vec(K, 1, 2, 3, 4),)),
    ("cfrom_list", lambda K: ([1.5] * (K.n - 1),)),
    ("cfrom_tuple", lambda K: (tuple([Flt(1.5), object(), 3.5, 4.5][:K.n]),)),
    ("get_int_tuple", lambda K: (vec(K, 1, 3e9, 1, 1), 1)),
    ("get_rounded_tuple", lambda K: (vec(K, INF, 2, 3, 4), 0)),
])
def test_constructor_and_failing_slots_keep_reference_counts(K, name, args):
    if name == "cfrom_vector":
        name = "cfrom_" + K.name.lower()
    a = args(K)
    objs = referenced(a)
    before = counts(objs)
    fn = slot(K, name)
    for _ in range(300):
        try:
            r = fn(*a)
        except (ValueError, TypeError, OverflowError):
            continue
        alone = object()
        assert sys.getrefcount(r) == sys.getrefcount(alone)
        del r
    assert counts(objs) == before


@over_companions
def test_int_tuple_slots_refuse_components_beyond_32_bits(K):
    with exact(OverflowError, f"{K.name} component does not fit a 32-bit int"):
        slot(K, "get_int_tuple")(K.make(1, INF, 0, 0), 0)
    with exact(OverflowError, f"{K.name} component does not fit a 32-bit int"):
        slot(K, "get_rounded_tuple")(K.make(-3e9, 0, 0, 0), 1)


@over_companions
def test_vector_precision_through_the_slots(K):
    n = K.narrow
    a, b = vec(K, 0.1, 0.2, 0.3, 1 / 3), vec(K, 0.2, 0.1, 0.7, 1 / 7)
    assert components(slot(K, "_add")(a, b)) == tuple(n(n(x) + n(y)) for x, y in
                                                      zip((0.1, 0.2, 0.3, 1 / 3), (0.2, 0.1, 0.7, 1 / 7)))[:K.n]
    assert slot(K, "dot")(vec(K, 0.1, 0, 0, 0), vec(K, 0.1, 0, 0, 0), 1) == n(n(0.1) * n(0.1))
    assert slot(K, "distance_squared_to")(vec(K, 0.1, 0, 0, 0), vec(K, 0, 0, 0, 0), 0) == n(0.1) ** 2


# --------------------------------------------------------------- overrides of Python subclasses

ARGS = {"sadd": 2, "distance_to": 1, "distance_squared_to": 1, "dot": 1}


def answers(K):
    """What each override returns, by slot: vectors for the vector slots, any object for the
    tuple slots, a number for the double slots; sadd's result is ignored."""
    return {
        **{name: K.make(7, 7, 7, 7) for name in OVERRIDABLE if name.startswith(("to_", "get_")) or name == "copy"},
        "get_tuple": ("get_tuple", "overridden"), "get_int_tuple": "int tuple", "get_rounded_tuple": None,
        "distance_to": 42, "distance_squared_to": 2.5, "dot": True, "sadd": "ignored",
    }


def recording_subclass(K, answer):
    calls = []

    def override(name):
        def method(self, *args):
            calls.append((name, self, args))
            return answer[name]
        return method

    Sub = type("Recording" + K.name, (K.type,), {name: override(name) for name in OVERRIDABLE})
    return Sub, calls


def slot_args(K, name):
    return tuple(vec(K, 1, 2, 3, 4) for _ in range(ARGS.get(name, 0)))


@over_companions
@pytest.mark.parametrize("name", OVERRIDABLE)
def test_override_runs_with_skip_dispatch_0(K, name):
    answer = answers(K)
    Sub, calls = recording_subclass(K, answer)
    s = Sub(*(0.5, -1.5, 2.5, -3.5)[:K.n])
    others = slot_args(K, name)
    want = answer[name]
    objs = [s, *others, want]
    before = counts(objs)
    r = slot(K, name)(s, *others, 0)
    if name in ARGS and name != "sadd":
        assert type(r) is float and r == float(want)
    elif name == "sadd":
        assert r is None
    else:
        assert r is want
    del r
    assert calls == [(name, s, others)]
    assert components(s) == K.want(0.5, -1.5, 2.5, -3.5)       # the built-in body did not run
    for _ in range(300):
        slot(K, name)(s, *others, 0)
    assert len(calls) == 301
    calls.clear()                       # the record holds the receiver and the arguments
    assert counts(objs) == before


def builtin_result(K, name, receiver, others):
    r = slot(K, name)(receiver, *others, 1)
    return components(r) if isinstance(r, K.type) else r


@over_companions
@pytest.mark.parametrize("name", OVERRIDABLE)
@pytest.mark.parametrize("sub", ["overriding-skip-1", "not-overriding-skip-0", "not-overriding-skip-1"])
def test_builtin_body_runs_otherwise(K, name, sub):
    """With skip_dispatch 1, or on a subclass that does not override the method, the slot gives
    what it gives for a plain instance."""
    if sub.startswith("overriding"):
        Sub, calls = recording_subclass(K, answers(K))
    else:
        Sub, calls = type("Plain" + K.name, (K.type,), {}), []
    skip = int(sub.endswith("1"))
    start = (0.5, -1.5, 2.5, -3.5)
    s, plain = Sub(*start[:K.n]), K.make(*start)
    others = slot_args(K, name)
    want = builtin_result(K, name, plain, others)
    r = slot(K, name)(s, *others, skip)
    if name.startswith("to_"):
        assert r is s
    if isinstance(r, K.type):
        assert type(r) is (Sub if r is s else K.type)
        r = components(r)
    assert r == want
    assert components(s) == components(plain)
    assert calls == []


@over_companions
def test_override_may_call_the_builtin_method(K):
    class Doubling(K.type):
        def get_round(self):
            return super().get_round() * 2

        def dot(self, other):
            return super().dot(other) + 0.5

    s = Doubling(*(1.5, -2.5, 0.5, 3)[:K.n])
    assert_vector(slot(K, "get_round")(s, 0), K, K.want(4, -6, 2, 6))
    assert slot(K, "dot")(s, K.make(1, 1, 1, 1), 0) == sum(K.want(1.5, -2.5, 0.5, 3)) + 0.5
    assert_vector(slot(K, "get_round")(s, 1), K, K.want(2, -3, 1, 3))


@over_companions
@pytest.mark.parametrize("name, answer", [
    ("copy", lambda K: None),
    ("get_abs", lambda K: type("Other", (K.type,), {})()),
    ("to_neg", lambda K: K.make(7, 7, 7, 7)),
])
def test_vector_slot_override_may_answer_none_or_an_instance(K, name, answer):
    result = answer(K)
    Sub = type("Answering" + K.name, (K.type,), {name: lambda self: result})
    assert slot(K, name)(Sub(), 0) is result


@over_companions
@pytest.mark.parametrize("name, result, exc, message", [
    ("get_round", 5, TypeError, "Cannot convert int to {tp}"),
    ("to_abs", "5", TypeError, "Cannot convert str to {tp}"),
    ("copy", (1, 2), TypeError, "Cannot convert tuple to {tp}"),
    ("get_normalized", "other", TypeError, "Cannot convert {other} to {tp}"),
    ("dot", "x", TypeError, None),
    ("distance_to", None, TypeError, None),
    ("to_round", "raise", ZeroDivisionError, None),
    ("sadd", "raise", ZeroDivisionError, None),
    ("get_tuple", "raise", ZeroDivisionError, None),
])
def test_failing_overrides_fail_the_slot(K, name, result, exc, message):
    other = other_companion(K)
    answer = other.make(1, 2, 3, 4) if result == "other" else result

    def method(self, *args):
        if answer == "raise":
            raise ZeroDivisionError("from the override")
        return answer

    Sub = type("Failing" + K.name, (K.type,), {name: method})
    s = Sub(*(0.5, -1.5, 2.5, -3.5)[:K.n])
    others = slot_args(K, name)
    before = sys.getrefcount(s)
    for _ in range(50):
        if message is None:
            with pytest.raises(exc):
                slot(K, name)(s, *others, 0)
        else:
            with exact(exc, message.format(tp=K.tp_name, other=other.tp_name)):
                slot(K, name)(s, *others, 0)
    assert sys.getrefcount(s) == before
    assert components(s) == K.want(0.5, -1.5, 2.5, -3.5)
