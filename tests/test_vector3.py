"""Vector3: the object, construction, components, item access, comparison, hashing,
printed form, copying, pickling refusal, the three-letter properties and the C method table."""

from vexlar.vector3.vector3 import Vector3

import copy
import ctypes
import itertools
import math
import pickle
import re
import weakref

import pytest

from support import (Declines, EqualsAnything, Flt, Foreign, Idx, NoMarker, TYPE_NAME, api_function, argtype,
                     assert_components, capsule_is_valid, exact, f32, xyz)


# ---------------------------------------------------------------------------------- the type


def test_type_identity():
    assert Vector3.__module__ == "vexlar.vector3.vector3"
    assert Vector3.__name__ == "Vector3"
    assert Vector3.__qualname__ == "Vector3"
    assert type(Vector3()) is Vector3


def test_cannot_be_subclassed():
    with pytest.raises(TypeError):
        class Sub(Vector3):
            pass


def test_instances_have_no_dict_and_no_weakrefs():
    v = Vector3()
    with pytest.raises(AttributeError):
        v.__dict__
    with pytest.raises(AttributeError):
        v.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(v)


def test_method_table_is_published_as_unnamed_capsule():
    cap = Vector3.__dict__["__pyx_vtable__"]
    assert type(cap).__name__ == "PyCapsule"
    assert capsule_is_valid(cap, None) == 1


def test_allocation_alone_gives_zero_vector():
    v = Vector3.__new__(Vector3)
    assert_components(v, (0, 0, 0))


@pytest.mark.parametrize("name", [
    "copy", "__copy__", "__deepcopy__", "sadd", "get_tuple", "get_int_tuple",
    "get_rounded_tuple", "to_round", "get_round", "to_abs", "get_abs", "to_neg", "get_neg",
    "to_normalized", "get_normalized", "distance_to", "distance_squared_to", "dot", "cross",
    "__add__", "__sub__", "__mul__", "__truediv__", "__floordiv__",
])
def test_method_objects_name_themselves(name):
    func = Vector3.__dict__[name]
    assert func.__name__ == name
    assert func.__qualname__ == "Vector3." + name
    assert func.__module__ == "vexlar.vector3.vector3"


@pytest.mark.parametrize("name", [
    "from_vector3", "from_tuple", "from_list", "from_ints", "from_floats", "from_xyz",
])
def test_static_constructors_are_staticmethods(name):
    wrapper = Vector3.__dict__[name]
    assert isinstance(wrapper, staticmethod)
    assert wrapper.__func__.__name__ == name
    assert wrapper.__func__.__qualname__ == "Vector3." + name
    assert wrapper.__func__.__module__ == "vexlar.vector3.vector3"


# ------------------------------------------------------------------------------ construction


class TupleTimesTen(tuple):
    def __getitem__(self, i):
        return tuple.__getitem__(self, i) * 10


class ListPlusOne(list):
    def __getitem__(self, i):
        return list.__getitem__(self, i) + 1


class ClaimsThree(list):
    """Empty list that reports three items and makes them up."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        return (i + 1) * 100


class ListWithMarker(list):
    clamp_magnitude_ip = None
    x, y, z = 7, 8, 9


@pytest.mark.parametrize("args, expected", [
    ((), (0, 0, 0)),
    ((1, 2, 3), (1, 2, 3)),
    (((1, 2, 3),), (1, 2, 3)),
    (([1, 2, 3],), (1, 2, 3)),
    ((Vector3(1, 2, 3),), (1, 2, 3)),
    ((1.5, -2.25, 1e10), (1.5, -2.25, 1e10)),
    ((0.1, 0.2, 0.3), (0.1, 0.2, 0.3)),
    ((True, False, True), (1, 0, 1)),
    ((2**24 + 1, -(2**24 + 1), 2**100), (2**24 + 1, -(2**24 + 1), 2**100)),
    ((1e39, -1e39, 0), (math.inf, -math.inf, 0)),
    ((Idx(4), Flt(0.1), Idx(-6)), (4, 0.1, -6)),
    (([Idx(1), Flt(2.5), 3],), (1, 2.5, 3)),
    ((Foreign(1, 2.5, Idx(3)),), (1, 2.5, 3)),
    ((TupleTimesTen((1, 2, 3)),), (10, 20, 30)),
    ((ListPlusOne([1, 2, 3]),), (2, 3, 4)),
    ((ClaimsThree(),), (100, 200, 300)),
    ((ListWithMarker([1, 2, 3]),), (7, 8, 9)),
])
def test_constructor_forms(args, expected):
    assert_components(Vector3(*args), expected)


def test_constructor_copy_is_independent_and_keeps_bits():
    src = Vector3(-0.0, math.inf, -math.inf)
    dup = Vector3(src)
    assert dup is not src
    assert_components(dup, (-0.0, math.inf, -math.inf), signed=True)
    dup.x = 5
    assert math.copysign(1.0, src.x) == -1.0


def test_foreign_vector_reads_only_x_y_z_in_order():
    log = []

    class Value:
        def __init__(self, name, value):
            self.name, self.value = name, value

        def __float__(self):
            log.append("conv " + self.name)
            return self.value

    class Logged:
        clamp_magnitude_ip = None

        def __getattribute__(self, name):
            if name in ("x", "y", "z"):
                log.append("get " + name)
                return Value(name, {"x": 1.0, "y": 2.0, "z": 3.0}[name])
            log.append(name)
            return object.__getattribute__(self, name)

    assert_components(Vector3(Logged()), (1, 2, 3))
    assert log == ["clamp_magnitude_ip",
                   "get x", "conv x", "get y", "conv y", "get z", "conv z"]


def test_sequence_items_fetched_and_converted_one_at_a_time():
    log = []

    class Value:
        def __init__(self, i):
            self.i = i

        def __float__(self):
            log.append(f"conv {self.i}")
            return float(self.i)

    class Seq(list):
        def __len__(self):
            log.append("len")
            return 3

        def __getitem__(self, i):
            log.append(f"get {i}")
            return Value(i)

    assert_components(Vector3(Seq()), (0, 1, 2))
    assert log == ["len", "get 0", "conv 0", "get 1", "conv 1", "get 2", "conv 2"]


class BrokenLen(tuple):
    def __len__(self):
        raise ZeroDivisionError("len")


class MarkerRaises:
    @property
    def clamp_magnitude_ip(self):
        raise RuntimeError("marker lookup")


class MarkerAttributeError:
    x, y, z = 1, 2, 3

    @property
    def clamp_magnitude_ip(self):
        raise AttributeError("absent after all")


class ForeignWithoutZ:
    clamp_magnitude_ip = None
    x, y = 1, 2


@pytest.mark.parametrize("args, exc, message", [
    ((1, 2), TypeError, "Vector3() takes 0, 1, or 3 arguments, but 2 were given"),
    ((1, 2, 3, 4), TypeError, "Vector3() takes 0, 1, or 3 arguments, but 4 were given"),
    ((1, 2, 3, 4, 5), TypeError, "Vector3() takes 0, 1, or 3 arguments, but 5 were given"),
    (((1, 2),), TypeError, "Vector3() takes a sequence of length 3, but got 2"),
    (((),), TypeError, "Vector3() takes a sequence of length 3, but got 0"),
    (([1, 2, 3, 4],), TypeError, "Vector3() takes a sequence of length 3, but got 4"),
    ((TupleTimesTen((1,)),), TypeError, "Vector3() takes a sequence of length 3, but got 1"),
    ((None,), TypeError, "Vector3() invalid constructor argument: NoneType"),
    ((5,), TypeError, "Vector3() invalid constructor argument: int"),
    ((5.0,), TypeError, "Vector3() invalid constructor argument: float"),
    (("xyz",), TypeError, "Vector3() invalid constructor argument: str"),
    ((range(3),), TypeError, "Vector3() invalid constructor argument: range"),
    (({0: 1, 1: 2, 2: 3},), TypeError, "Vector3() invalid constructor argument: dict"),
    ((NoMarker(1, 2, 3),), TypeError, "Vector3() invalid constructor argument: NoMarker"),
    ((MarkerAttributeError(),), TypeError,
     "Vector3() invalid constructor argument: MarkerAttributeError"),
    ((BrokenLen((1, 2, 3)),), ZeroDivisionError, "len"),
    ((MarkerRaises(),), RuntimeError, "marker lookup"),
])
def test_constructor_refusals(args, exc, message):
    with exact(exc, message):
        Vector3(*args)


@pytest.mark.parametrize("call", [
    lambda: Vector3(x=1),
    lambda: Vector3(1, 2, x=1),   # keywords are refused before the count is looked at
    lambda: Vector3(**{"x": 1, "y": 2}),
])
def test_constructor_refuses_keywords(call):
    with exact(TypeError, "__init__() got an unexpected keyword argument 'x'"):
        call()


@pytest.mark.parametrize("args, exc", [
    (("a", 2, 3), TypeError),
    ((1, None, 3), TypeError),
    ((1, 2, [3]), TypeError),
    ((("a", 2, 3),), TypeError),
    (([1, 2, object()],), TypeError),
    ((Foreign(1, "b", 3),), TypeError),
    ((ForeignWithoutZ(),), AttributeError),
    ((10**400, 0, 0), OverflowError),
])
def test_constructor_conversion_errors(args, exc):
    with pytest.raises(exc):
        Vector3(*args)


def test_reinit_keeps_components_written_before_failure():
    v = Vector3(1, 2, 3)
    with pytest.raises(TypeError):
        v.__init__(7, "a", 9)
    assert_components(v, (7, 2, 3))
    with pytest.raises(AttributeError):
        v.__init__(ForeignWithoutZ())
    assert_components(v, (1, 2, 3))


def test_reinit_refusing_keywords_or_count_leaves_vector_unchanged():
    v = Vector3(1, 2, 3)
    with pytest.raises(TypeError):
        v.__init__(4, 5, z=6)
    with pytest.raises(TypeError):
        v.__init__(4, 5)
    assert_components(v, (1, 2, 3))


@pytest.mark.parametrize("args, expected", [
    ((), (0, 0, 0)),
    (((4, 5, 6),), (4, 5, 6)),
    ((7, 8, 9), (7, 8, 9)),
])
def test_reinit_overwrites(args, expected):
    v = Vector3(1, 2, 3)
    assert v.__init__(*args) is None
    assert_components(v, expected)


# ----------------------------------------------------------------------- static constructors


@pytest.mark.parametrize("make", [
    lambda: Vector3.from_xyz(1, 2, 3),
    lambda: Vector3.from_floats(1, 2, 3),
    lambda: Vector3.from_ints(1, 2, 3),
    lambda: Vector3.from_tuple((1, 2, 3)),
    lambda: Vector3.from_list([1, 2, 3]),
    lambda: Vector3.from_vector3(Vector3(1, 2, 3)),
    lambda: Vector3.from_tuple((1, 2, 3, "ignored")),
    lambda: Vector3.from_list([1, 2, 3, 4]),
    lambda: Vector3.from_xyz(x=1, y=2, z=3),
    lambda: Vector3.from_floats(1, z=3, y=2),
    lambda: Vector3.from_ints(z=3, x=1, y=2),
    lambda: Vector3.from_tuple(other=(1, 2, 3)),
    lambda: Vector3.from_list(other=[1, 2, 3]),
    lambda: Vector3.from_vector3(other=Vector3(1, 2, 3)),
    lambda: Vector3().from_xyz(1, 2, 3),
    lambda: Vector3(9, 9, 9).from_ints(1, 2, 3),
    lambda: Vector3().from_tuple((1, 2, 3)),
    lambda: Vector3().from_vector3(Vector3(1, 2, 3)),
])
def test_static_constructors_give_1_2_3(make):
    assert_components(make(), (1, 2, 3))


@pytest.mark.parametrize("name", ["from_xyz", "from_floats"])
@pytest.mark.parametrize("args, expected", [
    ((0.1, -0.2, 1e39), (0.1, -0.2, math.inf)),
    ((2**24 + 1, Idx(5), Flt(-2.5)), (2**24, 5, -2.5)),
    ((True, -1e-50, -0.0), (1, -0.0, -0.0)),
])
def test_from_xyz_and_from_floats_round_to_single(name, args, expected):
    assert_components(getattr(Vector3, name)(*args), expected, signed=True)


@pytest.mark.parametrize("name", ["from_tuple", "from_list"])
def test_from_sequence_rounds_items(name):
    kind = tuple if name == "from_tuple" else list
    v = getattr(Vector3, name)(kind([0.1, 2**24 + 1, Idx(-3)]))
    assert_components(v, (0.1, 2**24, -3))


class IntReturnsBool:
    def __int__(self):
        return True


class IntReturnsStr:
    def __int__(self):
        return "7"


class IntOnly:
    def __int__(self):
        return -12


@pytest.mark.parametrize("args, expected", [
    ((1.9, -1.9, 3), (1, -1, 3)),
    ((0.99, -0.99, -0.5), (0, 0, 0)),
    ((True, False, IntOnly()), (1, 0, -12)),
    ((2**31 - 1, -2**31, 2**24 + 1), (2**31, -2**31, 2**24)),
])
def test_from_ints(args, expected):
    assert_components(Vector3.from_ints(*args), expected)


@pytest.mark.parametrize("args, exc, message", [
    ((2**31, 0, 0), OverflowError, "value too large to convert to int"),
    ((0, -2**31 - 1, 0), OverflowError, "value too large to convert to int"),
    ((0, 0, 2**59), OverflowError, "value too large to convert to int"),
    (("7", 0, 0), TypeError, "an integer is required"),
    ((0, None, 0), TypeError, "an integer is required"),
    ((0, 0, Idx(1)), TypeError, "an integer is required"),
    ((IntReturnsStr(), 0, 0), TypeError, "__int__ returned non-int (type str)"),
    # x, y, z are converted in that order: the first bad one decides
    ((2**31, "a", 0), OverflowError, "value too large to convert to int"),
    ((0, "a", 2**31), TypeError, "an integer is required"),
])
def test_from_ints_refusals(args, exc, message):
    with exact(exc, message):
        Vector3.from_ints(*args)


@pytest.mark.parametrize("args, exc", [
    ((2**61, 0, 0), OverflowError),
    ((-(10**30), 0, 0), OverflowError),
    ((3e9, 0, 0), OverflowError),
    ((math.inf, 0, 0), OverflowError),
    ((math.nan, 0, 0), ValueError),
])
def test_from_ints_interpreter_errors(args, exc):
    with pytest.raises(exc):
        Vector3.from_ints(*args)


def test_from_ints_int_subclass_from_dunder_int_warns():
    with pytest.warns(DeprecationWarning, match=re.escape("__int__ returned non-int (type bool)")):
        v = Vector3.from_ints(IntReturnsBool(), 0, 0)
    assert_components(v, (1, 0, 0))


class MyTuple(tuple):
    pass


class MyList(list):
    pass


@pytest.mark.parametrize("call, message", [
    (lambda: Vector3.from_tuple([1, 2, 3]), argtype("other", "list", "tuple")),
    (lambda: Vector3.from_tuple(MyTuple((1, 2, 3))), argtype("other", "MyTuple", "tuple")),
    (lambda: Vector3.from_tuple(None), argtype("other", "NoneType", "tuple")),
    (lambda: Vector3.from_tuple(Vector3()), argtype("other", TYPE_NAME, "tuple")),
    (lambda: Vector3.from_list((1, 2, 3)), argtype("other", "tuple", "list")),
    (lambda: Vector3.from_list(MyList([1, 2, 3])), argtype("other", "MyList", "list")),
    (lambda: Vector3.from_list(None), argtype("other", "NoneType", "list")),
    (lambda: Vector3.from_vector3((1, 2, 3)), argtype("other", "tuple", TYPE_NAME)),
    (lambda: Vector3.from_vector3(None), argtype("other", "NoneType", TYPE_NAME)),
    (lambda: Vector3.from_vector3(other=[1, 2, 3]), argtype("other", "list", TYPE_NAME)),
])
def test_static_constructor_argument_types(call, message):
    with exact(TypeError, message):
        call()


@pytest.mark.parametrize("call, message", [
    (lambda: Vector3.from_tuple((1, 2)), "from_tuple() needs at least 3 items (2 given)"),
    (lambda: Vector3.from_tuple(()), "from_tuple() needs at least 3 items (0 given)"),
    (lambda: Vector3.from_list([1]), "from_list() needs at least 3 items (1 given)"),
    (lambda: Vector3.from_list([]), "from_list() needs at least 3 items (0 given)"),
])
def test_short_sequences_are_refused(call, message):
    with exact(ValueError, message):
        call()


@pytest.mark.parametrize("call, exc", [
    (lambda: Vector3.from_tuple((1, "b", 3)), TypeError),
    (lambda: Vector3.from_list([1, 2, None]), TypeError),
    (lambda: Vector3.from_xyz(1, 2, "c"), TypeError),
    (lambda: Vector3.from_floats(None, 2, 3), TypeError),
    (lambda: Vector3.from_floats(10**400, 2, 3), OverflowError),
    (lambda: Vector3.from_list([10**400, 2, 3]), OverflowError),
])
def test_static_constructor_conversion_errors(call, exc):
    with pytest.raises(exc):
        call()


# --------------------------------------------------------------------------- argument matching


@pytest.mark.parametrize("call, exc, message", [
    (lambda v: v.copy(1), TypeError, "copy() takes exactly 0 positional arguments (1 given)"),
    (lambda v: v.copy(x=1), TypeError, "copy() got an unexpected keyword argument 'x'"),
    (lambda v: v.__copy__(1), TypeError,
     "__copy__() takes exactly 0 positional arguments (1 given)"),
    (lambda v: v.__deepcopy__(), TypeError,
     "__deepcopy__() takes exactly 1 positional argument (0 given)"),
    (lambda v: v.__deepcopy__({}, {}), TypeError,
     "__deepcopy__() takes exactly 1 positional argument (2 given)"),
    (lambda v: v.__deepcopy__({}, memo={}), TypeError,
     "__deepcopy__() got multiple values for keyword argument 'memo'"),
    (lambda v: v.__deepcopy__(mem={}), TypeError,
     "__deepcopy__() got an unexpected keyword argument 'mem'"),
    (lambda v: Vector3.from_ints(1, 2), TypeError,
     "from_ints() takes exactly 3 positional arguments (2 given)"),
    (lambda v: Vector3.from_ints(1, 2, 3, 4), TypeError,
     "from_ints() takes exactly 3 positional arguments (4 given)"),
    (lambda v: Vector3.from_ints(1, z=3), TypeError,
     "from_ints() takes exactly 3 positional arguments (1 given)"),
    (lambda v: Vector3.from_xyz(y=2, z=3), TypeError,
     "from_xyz() takes exactly 3 positional arguments (0 given)"),
    (lambda v: Vector3.from_floats(1, 2, x=1), TypeError,
     "from_floats() got multiple values for keyword argument 'x'"),
    (lambda v: Vector3.from_xyz(1, 2, w=3), TypeError,
     "from_xyz() got an unexpected keyword argument 'w'"),
    (lambda v: Vector3.from_tuple(), TypeError,
     "from_tuple() takes exactly 1 positional argument (0 given)"),
    (lambda v: Vector3.from_list([1, 2, 3], [4, 5, 6]), TypeError,
     "from_list() takes exactly 1 positional argument (2 given)"),
    (lambda v: Vector3.from_vector3(vec=v), TypeError,
     "from_vector3() got an unexpected keyword argument 'vec'"),
    (lambda v: Vector3.copy(), TypeError, "copy() needs an argument"),
    (lambda v: Vector3.get_tuple(), TypeError, "get_tuple() needs an argument"),
])
def test_argument_matching_messages(call, exc, message):
    with exact(exc, message):
        call(Vector3(1, 2, 3))


def test_non_string_keywords_are_refused():
    with pytest.raises(TypeError, match="keywords must be strings"):
        Vector3.from_xyz(1, 2, **{3: 3})
    with pytest.raises(TypeError):
        Vector3(**{1: 2})


def test_method_through_type_with_foreign_receiver_is_refused():
    with pytest.raises(TypeError):
        Vector3.copy((1, 2, 3))
    with pytest.raises(TypeError):
        Vector3.to_neg(None)


def test_methods_called_through_the_type():
    v = Vector3(1, 2, 3)
    assert_components(Vector3.copy(v), (1, 2, 3))
    assert Vector3.get_tuple(v) == (1.0, 2.0, 3.0)


def traceback_entries(excinfo):
    entries = []
    tb = excinfo.value.__traceback__
    while tb is not None:
        code = tb.tb_frame.f_code
        entries.append((code.co_name, code.co_filename))
        tb = tb.tb_next
    return entries


@pytest.mark.parametrize("call, exc, name", [
    (lambda v: Vector3(1, 2), TypeError, "Vector3.__init__"),
    (lambda v: Vector3(None), TypeError, "Vector3.__init__"),
    (lambda v: setattr(v, "x", "a"), TypeError, "Vector3.x.__set__"),
    (lambda v: v.dot(1), TypeError, "Vector3.dot"),
    (lambda v: Vector3.from_ints(2**31, 0, 0), OverflowError, "Vector3.from_ints"),
    (lambda v: v.sadd(1, v), TypeError, "Vector3.sadd"),
    (lambda v: v + 1, TypeError, "Vector3.__add__"),
])
def test_failures_carry_a_traceback_entry(call, exc, name):
    with pytest.raises(exc) as excinfo:
        call(Vector3(1, 2, 3))
    entries = traceback_entries(excinfo)
    assert any(co_name == "vexlar.vector3.vector3." + name
               and filename.startswith("src/vexlar/vector3/vector3")
               for co_name, filename in entries), entries


# ------------------------------------------------------------------------------- properties


@pytest.mark.parametrize("axis, index", [("x", 0), ("y", 1), ("z", 2)])
@pytest.mark.parametrize("value, expected", [
    (5, 5.0), (0.1, f32(0.1)), (True, 1.0), (Idx(7), 7.0), (Flt(-2.5), -2.5),
    (1e39, math.inf), (2**24 + 1, 16777216.0),
])
def test_component_property_write_read(axis, index, value, expected):
    v = Vector3(1, 2, 3)
    setattr(v, axis, value)
    got = getattr(v, axis)
    assert type(got) is float and got == expected
    assert v[index] == expected
    others = [c for i, c in enumerate((1.0, 2.0, 3.0)) if i != index]
    assert [c for i, c in enumerate(xyz(v)) if i != index] == others


@pytest.mark.parametrize("axis", ["x", "y", "z"])
@pytest.mark.parametrize("value, exc", [("a", TypeError), (None, TypeError),
                                        ([1.0], TypeError), (10**400, OverflowError)])
def test_component_property_bad_write_leaves_vector_unchanged(axis, value, exc):
    v = Vector3(1, 2, 3)
    with pytest.raises(exc):
        setattr(v, axis, value)
    assert_components(v, (1, 2, 3))


@pytest.mark.parametrize("axis", ["x", "y", "z"])
def test_component_property_cannot_be_deleted(axis):
    v = Vector3(1, 2, 3)
    with exact(NotImplementedError, "__del__"):
        delattr(v, axis)
    assert_components(v, (1, 2, 3))


def test_component_read_widens_single_exactly():
    assert Vector3(0.1, 0, 0).x == 0.10000000149011612


# ---------------------------------------------------------------------- item access, sequence


def test_sequence_behaviour():
    v = Vector3(1, 2, 3)
    assert len(v) == 3
    assert v.__len__() == 3
    assert list(v) == [1.0, 2.0, 3.0]
    assert all(type(c) is float for c in v)
    assert tuple(v) == (1.0, 2.0, 3.0)
    a, b, c = v
    assert (a, b, c) == (1.0, 2.0, 3.0)
    assert 2.0 in v and 2 in v and 4 not in v
    assert list(reversed(v)) == [3.0, 2.0, 1.0]


@pytest.mark.parametrize("vec", [Vector3(), Vector3(-0.0, 0, 0), Vector3(1, 2, 3)])
def test_every_vector_is_true(vec):
    assert bool(vec) is True


@pytest.mark.parametrize("index, expected", [
    (0, 1.0), (1, 2.0), (2, 3.0), (True, 2.0), (False, 1.0), (Idx(2), 3.0),
])
def test_item_read(index, expected):
    got = Vector3(1, 2, 3)[index]
    assert type(got) is float and got == expected


@pytest.mark.parametrize("index, exc", [
    (-1, IndexError), (-3, IndexError), (3, IndexError), (2**40, IndexError),
    (-(2**40), IndexError), (Idx(-1), IndexError),
    (1.0, TypeError), ("0", TypeError), (None, TypeError), (slice(0, 2), TypeError),
    (2**64, OverflowError),
])
def test_item_read_refusals(index, exc):
    v = Vector3(1, 2, 3)
    if exc is IndexError:
        with exact(IndexError, "Vector index out of range"):
            v[index]
    else:
        with pytest.raises(exc):
            v[index]


@pytest.mark.parametrize("index, position", [(0, 0), (1, 1), (2, 2), (True, 1), (Idx(2), 2)])
@pytest.mark.parametrize("value, expected", [(5, 5.0), (0.1, f32(0.1)), (-1e39, -math.inf)])
def test_item_write(index, position, value, expected):
    v = Vector3(1, 2, 3)
    v[index] = value
    want = [1.0, 2.0, 3.0]
    want[position] = expected
    assert list(v) == want


@pytest.mark.parametrize("index, value, exc", [
    (7, 1, IndexError),
    (-1, 1, IndexError),
    (3, 1.5, IndexError),
    # the value is converted before the range is tested
    (7, "a", TypeError),
    (0, "a", TypeError),
    (1, None, TypeError),
    # the index is converted before the value
    (1.0, 1, TypeError),
    (slice(0, 2), 1, TypeError),
    (2**64, "a", OverflowError),
])
def test_item_write_refusals_leave_vector_unchanged(index, value, exc):
    v = Vector3(1, 2, 3)
    if exc is IndexError:
        with exact(IndexError, "Vector index out of range"):
            v[index] = value
    else:
        with pytest.raises(exc):
            v[index] = value
    assert_components(v, (1, 2, 3))


@pytest.mark.parametrize("index", [0, 1, 2])
def test_item_deletion_refused(index):
    v = Vector3(1, 2, 3)
    with exact(NotImplementedError,
               "Subscript deletion not supported by vexlar.vector3.vector3.Vector3"):
        del v[index]
    assert_components(v, (1, 2, 3))


def test_sequence_functions_wrap_negative_indices():
    get_item = api_function("PySequence_GetItem", ctypes.py_object, ctypes.py_object, ctypes.c_ssize_t)
    set_item = api_function("PySequence_SetItem", ctypes.c_int, ctypes.py_object, ctypes.c_ssize_t, ctypes.py_object)
    v = Vector3(1, 2, 3)
    assert [get_item(v, i) for i in (-1, -2, -3)] == [3.0, 2.0, 1.0]
    assert set_item(v, -3, 9) == 0
    assert_components(v, (9, 2, 3))
    with exact(IndexError, "Vector index out of range"):
        get_item(v, -4)
    with exact(IndexError, "Vector index out of range"):
        get_item(v, 3)


# ------------------------------------------------------------------------------- comparison


@pytest.mark.parametrize("left, right, equal", [
    (Vector3(1, 2, 3), Vector3(1, 2, 3), True),
    (Vector3(0, 0, 0), Vector3(-0.0, 0, -0.0), True),
    (Vector3(0.1, 0, 0), Vector3.from_xyz(f32(0.1), 0, 0), True),
    (Vector3(math.inf, 0, 0), Vector3(1e39, 0, 0), True),
    (Vector3(1, 2, 3), Vector3(9, 2, 3), False),
    (Vector3(1, 2, 3), Vector3(1, 9, 3), False),
    (Vector3(1, 2, 3), Vector3(1, 2, 9), False),
    (Vector3(1, 2, 3), (1, 2, 3), False),
    (Vector3(1, 2, 3), [1, 2, 3], False),
    ((1, 2, 3), Vector3(1, 2, 3), False),
    ([1.0, 2.0, 3.0], Vector3(1, 2, 3), False),
    (Vector3(), None, False),
    (Vector3(), 0, False),
    (Vector3(), EqualsAnything(), False),   # the right operand is not consulted
    (Declines(), Vector3(), False),
])
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)


def test_equality_consults_left_foreign_operand():
    assert (EqualsAnything() == Vector3()) is True


@pytest.mark.parametrize("op", ["__lt__", "__le__", "__gt__", "__ge__"])
def test_ordering_not_supported(op):
    a, b = Vector3(), Vector3(1, 1, 1)
    assert getattr(a, op)(b) is NotImplemented
    with pytest.raises(TypeError):
        {"__lt__": lambda: a < b, "__le__": lambda: a <= b,
         "__gt__": lambda: a > b, "__ge__": lambda: a >= b}[op]()


# ------------------------------------------------------------------------------------ hashing


@pytest.mark.parametrize("vec, components", [
    (Vector3(1, 2, 3), (1.0, 2.0, 3.0)),
    (Vector3(0.1, -0.5, 1e39), (f32(0.1), -0.5, math.inf)),
    (Vector3(-0.0, 0, 0), (0.0, 0.0, 0.0)),
])
def test_hash_is_that_of_component_tuple(vec, components):
    assert hash(vec) == hash(components)


def test_equal_vectors_hash_alike_and_hash_follows_mutation():
    a, b = Vector3(0, -0.0, 5), Vector3(-0.0, 0, 5)
    assert a == b and hash(a) == hash(b)
    a.x = 7
    assert hash(a) == hash((7.0, -0.0, 5.0))
    table = {Vector3(1, 2, 3): "v"}
    assert table[Vector3(1, 2, 3)] == "v"


# -------------------------------------------------------------------------------- printed form


@pytest.mark.parametrize("vec, text", [
    (Vector3(1, 2, 3), "Vector3(1.0, 2.0, 3.0)"),
    (Vector3(), "Vector3(0.0, 0.0, 0.0)"),
    (Vector3(0.1, 0, 0), "Vector3(0.10000000149011612, 0.0, 0.0)"),
    (Vector3(1e39, 0, 0), "Vector3(inf, 0.0, 0.0)"),
    (Vector3(-1e39, -0.0, 0.5), "Vector3(-inf, -0.0, 0.5)"),
    (Vector3(math.nan, 1e10, -2**30), "Vector3(nan, 10000000000.0, -1073741824.0)"),
    (Vector3(3.4e38, 1e-30, 0), f"Vector3({f32(3.4e38)!r}, {f32(1e-30)!r}, 0.0)"),
])
def test_repr_and_str(vec, text):
    assert repr(vec) == text
    assert str(vec) == text


# ------------------------------------------------------------------------------------ copying


@pytest.mark.parametrize("make_copy", [
    lambda v: v.copy(),
    lambda v: v.__copy__(),
    lambda v: v.__deepcopy__({}),
    lambda v: v.__deepcopy__(memo=None),
    lambda v: copy.copy(v),
    lambda v: copy.deepcopy(v),
])
def test_copies_are_equal_independent_and_keep_bits(make_copy):
    v = Vector3(-0.0, math.inf, 0.1)
    dup = make_copy(v)
    assert type(dup) is Vector3 and dup is not v
    assert_components(dup, (-0.0, math.inf, 0.1), signed=True)
    dup.x = 5
    v.y = 6
    assert_components(v, (-0.0, 6, 0.1), signed=True)
    assert_components(dup, (5, math.inf, 0.1), signed=True)


def test_deepcopy_inside_container():
    v = Vector3(1, 2, 3)
    outer = copy.deepcopy([v, v])
    assert outer[0] == v and outer[0] is not v and outer[0] is outer[1]


# ------------------------------------------------------------------------------------ pickling


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_refused(protocol):
    with pytest.raises(TypeError, match=re.escape("self.data")):
        pickle.dumps(Vector3(1, 2, 3), protocol)


def test_pickle_guard_methods():
    v = Vector3(1, 2, 3)
    assert "__reduce__" in Vector3.__dict__
    assert "__setstate__" in Vector3.__dict__
    with pytest.raises(TypeError, match=re.escape("self.data")):
        v.__reduce__()
    with pytest.raises(TypeError, match=re.escape("self.data")):
        v.__reduce_ex__(2)
    with pytest.raises(TypeError, match=re.escape("self.data")):
        v.__setstate__((4, 5, 6))
    with pytest.raises(TypeError):
        v.__setstate__()
    assert_components(v, (1, 2, 3))


# ------------------------------------------------------------------- three-letter properties

SWIZZLE_ORDER = [
    "xxx", "xxy", "xxz", "xyx", "xyy", "xyz", "xzy", "xzx", "xzz",
    "yxx", "yxy", "yxz", "yyx", "yyy", "yyz", "yzx", "yzy", "yzz",
    "zxx", "zxy", "zxz", "zyx", "zyy", "zyz", "zzx", "zzy", "zzz",
]


def test_swizzle_names_are_all_words_over_xyz():
    assert sorted(SWIZZLE_ORDER) == sorted("".join(p) for p in itertools.product("xyz", repeat=3))


def test_property_order_in_type_dict():
    wanted = {"x", "y", "z", "length", *SWIZZLE_ORDER}
    assert [k for k in Vector3.__dict__ if k in wanted] == ["x", "y", "z", *SWIZZLE_ORDER, "length"]


@pytest.mark.parametrize("name", SWIZZLE_ORDER)
def test_swizzle_reads(name):
    v = Vector3(1, 2, 3)
    value = {"x": 1.0, "y": 2.0, "z": 3.0}
    got = getattr(v, name)
    assert type(got) is Vector3 and got is not v
    assert xyz(got) == tuple(value[c] for c in name)
    assert getattr(v, name) is not got   # nothing is cached
    got.x = 100
    v.y = 200
    assert xyz(got) == (100.0,) + tuple(value[c] for c in name[1:])
    assert_components(v, (1, 200, 3))


@pytest.mark.parametrize("name, expected", [
    ("zyx", (3, 2, 1)), ("xxx", (1, 1, 1)), ("yzx", (2, 3, 1)),
    ("xzy", (1, 3, 2)), ("zzz", (3, 3, 3)),
])
def test_swizzle_examples(name, expected):
    assert_components(getattr(Vector3(1, 2, 3), name), expected)


def test_swizzle_identity_word_equals_but_is_new():
    v = Vector3(1, 2, 3)
    w = v.xyz
    assert w == v and w is not v
    w.x = 50
    assert v.x == 1.0


def test_swizzle_copies_bits():
    v = Vector3(-0.0, 1e39, -1e39)
    assert_components(v.xxx, (-0.0, -0.0, -0.0), signed=True)
    assert repr(v.xxx) == "Vector3(-0.0, -0.0, -0.0)"
    assert_components(v.zyx, (-math.inf, math.inf, -0.0), signed=True)
    n = Vector3(math.nan, 0, 0).yxx
    assert n.x == 0.0 and math.isnan(n.y) and math.isnan(n.z)


@pytest.mark.parametrize("name", ["xyz", "zyx", "xxx", "length"])
def test_read_only_properties(name):
    v = Vector3(1, 2, 3)
    with pytest.raises(AttributeError):
        setattr(v, name, Vector3())
    with pytest.raises(AttributeError):
        delattr(v, name)
    assert_components(v, (1, 2, 3))


@pytest.mark.parametrize("name", ["xyw", "www", "xy", "xyzx", "w"])
def test_unknown_component_words(name):
    with pytest.raises(AttributeError):
        getattr(Vector3(1, 2, 3), name)


# A NaN must never be mistaken for the -1.0 that signals a failed conversion (the fast-math build
# treats NaN == -1.0 as true unless the check looks at the bits).
@pytest.mark.parametrize("make", [
    lambda n: Vector3(n, 0, 0),
    lambda n: Vector3((n, 0, 0)),
    lambda n: Vector3.from_xyz(n, 0, 0),
    lambda n: Vector3.from_tuple((n, 0, 0)),
    lambda n: Vector3.from_list([n, 0, 0]),
])
def test_nan_is_stored_as_nan(make):
    assert math.isnan(make(float("nan")).x)


def test_nan_written_through_property_and_item_stays_nan():
    v = Vector3(1, 2, 3)
    v.x = float("nan")
    v[1] = float("nan")
    assert math.isnan(v.x) and math.isnan(v.y) and v.z == 3.0
