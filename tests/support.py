"""Helpers the test files share: single-precision reference values, exact messages, stand-in
arguments, traceback entries, access to the published C method tables, reference-count checks and
the rules every type of the package follows."""
import ctypes
import gc
import math
import re
import struct
import sys
import threading
import weakref
from typing import NamedTuple

import pytest

from vexlar.color.color import Color
from vexlar.rect.rect import Rect
from vexlar.vector2.vector2 import Vector2
from vexlar.vector3.vector3 import Vector3
from vexlar.vector4.vector4 import Vector4

TYPE_NAME = "vexlar.vector3.vector3.Vector3"


def f32(x):
    """Round a double to the nearest single, as the vector stores it."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def xyz(v):
    return (v.x, v.y, v.z)


def exact(exc, message):
    """pytest.raises for exactly this message."""
    return pytest.raises(exc, match="^" + re.escape(message) + "$")


def argtype(param, got, expected=TYPE_NAME):
    return f"Argument '{param}' has incorrect type (expected {expected}, got {got})"


def count(n, kind, given, name="__init__"):
    return f"{name}() takes {kind} {n} positional argument{'' if n == 1 else 's'} ({given} given)"


def unexpected(key, name="__init__"):
    return f"{name}() got an unexpected keyword argument '{key}'"


def multiple(key, name="__init__"):
    return f"{name}() got multiple values for keyword argument '{key}'"


def same_bits(a, b):
    """Equal, with the same sign of zero; NaN matches NaN."""
    if math.isnan(b):
        return math.isnan(a)
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def assert_components(v, expected, signed=False):
    """v is a Vector3 whose components are Python floats equal to `expected` rounded to single
    (with the signs of zeros too when `signed`)."""
    assert type(v) is Vector3
    got = xyz(v)
    assert all(type(g) is float for g in got)
    want = tuple(f32(e) for e in expected)
    if signed:
        assert all(same_bits(g, w) for g, w in zip(got, want)), (got, want)
    else:
        assert got == want


# ------------------------------------------------------------ stand-in arguments and subclasses

class Idx:
    """Converts only through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Flt:
    """Converts only through __float__."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class IntLike:
    """Converts only through __int__."""

    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


class Boom:
    """Fails every numeric conversion."""

    def __int__(self):
        raise ZeroDivisionError("boom")

    def __float__(self):
        raise ZeroDivisionError("boom")


class NoMarker:
    """Has a vector's components (x, y, z, w: as many as given) but not the marker attribute by
    which the package recognises vectors of other libraries."""

    def __init__(self, *c):
        for axis, value in zip("xyzw", c):
            setattr(self, axis, value)


class Foreign(NoMarker):
    """A vector from another library: recognised by its marker attribute."""

    clamp_magnitude_ip = None


class EqualsAnything:
    def __eq__(self, other):
        return True

    def __ne__(self, other):
        return False


class Declines:
    def __eq__(self, other):
        return NotImplemented

    def __ne__(self, other):
        return NotImplemented


class IntSub(int):
    pass


# What the interpreter warns when __int__ returns an IntSub.
INT_SUBCLASS_DEPRECATION = ("__int__ returned non-int (type IntSub).  The ability to return an instance of a strict "
                            "subclass of int is deprecated, and may be removed in a future version of Python.")


class FloatSub(float):
    pass


class TupleSub(tuple):
    pass


class ListSub(list):
    pass


class SubColor(Color):
    pass


class SubRect(Rect):
    pass


class V2Sub(Vector2):
    pass


class V4Sub(Vector4):
    pass


def channels(c):
    return (c.r, c.g, c.b, c.a)


# ------------------------------------------------------------ the companion vector types

class Companion(NamedTuple):
    """What the tests need to know of Vector2 or Vector4 to run one test over both."""

    type: type
    n: int
    tp_name: str
    narrow: object          # how a stored component rounds a double
    from_vector: str        # name of the static copy constructor
    from_components: str    # name of the static constructor from n numbers

    @property
    def name(self):
        return self.type.__name__

    def make(self, *c):
        """A vector of this type from the first n of the components given."""
        return self.type(*c[:self.n])

    def want(self, *c):
        """The first n components as this type stores them."""
        return tuple(self.narrow(x) for x in c[:self.n])


COMPANIONS = [
    Companion(Vector2, 2, "vexlar.vector2.vector2.Vector2", f32, "from_vector2", "from_xy"),
    Companion(Vector4, 4, "vexlar.vector4.vector4.Vector4", float, "from_vector4", "from_xyzw"),
]

# Runs a test once per companion type, as parameter K.
over_companions = pytest.mark.parametrize("K", COMPANIONS, ids=[k.name for k in COMPANIONS])


def components(v):
    return tuple(getattr(v, axis) for axis in "xyzw"[:len(v)])


def assert_vector(v, K, expected):
    """v is exactly K's type and holds `expected` as stored (signs of zeros included); the
    components read back as Python floats."""
    assert type(v) is K.type
    got = components(v)
    assert all(type(g) is float for g in got)
    assert len(got) == len(expected) and all(same_bits(g, e) for g, e in zip(got, expected)), (got, expected)


def other_companion(K):
    """The companion type that K is not."""
    return COMPANIONS[K.type is Vector2]


# ------------------------------------------------------------------------- traceback entries

PACKAGE_SOURCES = "src/vexlar/"


class Entry(NamedTuple):
    name: str
    filename: str
    lineno: int


def traceback_entries(exc):
    """Every entry of the exception's traceback, outermost first."""
    entries = []
    tb = exc.__traceback__
    while tb is not None:
        code = tb.tb_frame.f_code
        entries.append(Entry(code.co_name, code.co_filename, tb.tb_lineno))
        tb = tb.tb_next
    return entries


def package_entries(exc, src=None):
    """The entries the package's functions added: those of source file `src`, or of any of its
    source files."""
    return [e for e in traceback_entries(exc)
            if (e.filename == src if src is not None else e.filename.startswith(PACKAGE_SOURCES))]


def traceback_names(exc):
    return [(e.name, e.filename) for e in traceback_entries(exc)]


# -------------------------------------------------------------------- the published C tables

HEADER = object.__basicsize__
POINTER = ctypes.sizeof(ctypes.c_void_p)


def api_function(name, result, *args):
    """A function of the Python C API, called with the interpreter lock held; an exception it
    leaves pending is raised."""
    return ctypes.PYFUNCTYPE(result, *args)((name, ctypes.pythonapi))


capsule_pointer = api_function("PyCapsule_GetPointer", ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)
capsule_name = api_function("PyCapsule_GetName", ctypes.c_char_p, ctypes.py_object)
capsule_destructor = api_function("PyCapsule_GetDestructor", ctypes.c_void_p, ctypes.py_object)
capsule_is_valid = api_function("PyCapsule_IsValid", ctypes.c_int, ctypes.py_object, ctypes.c_char_p)


def table_address(cls):
    """Where the method table that cls publishes starts."""
    return capsule_pointer(cls.__dict__["__pyx_vtable__"], None)


# Runs a test of an overridable slot with skip_dispatch 0 and 1.
SKIPS = pytest.mark.parametrize("skip", [0, 1])


def method_table(cls, table_type):
    """cls's method table, read through table_type, a ctypes structure of its slots."""
    address = table_address(cls)
    assert address
    return table_type.from_address(address)


def assert_table_capsule(cls, tp_name):
    """cls publishes its method table in an unnamed capsule without a destructor, the same one at
    every lookup; asked for under a name, the capsule refuses."""
    cap = cls.__dict__["__pyx_vtable__"]
    assert type(cap).__name__ == "PyCapsule"
    assert cls.__dict__["__pyx_vtable__"] is cap
    assert capsule_name(cap) is None
    assert capsule_destructor(cap) is None
    assert capsule_is_valid(cap, None) == 1
    assert capsule_is_valid(cap, tp_name.encode()) == 0
    assert table_address(cls) == table_address(cls) != 0
    with pytest.raises(ValueError):
        capsule_pointer(cap, tp_name.encode())


def assert_every_slot_is_filled(cls, table, slots):
    """No slot of cls's method table is NULL, and `table` (a ctypes structure of `slots`, given as
    (name, result, arguments)) reads each at its position. Returns the slot pointers."""
    raw = (ctypes.c_void_p * len(slots)).from_address(table_address(cls))
    for i, (name, _, _) in enumerate(slots):
        assert raw[i], f"slot {i} ({name}) is NULL"
        assert ctypes.cast(getattr(table, name), ctypes.c_void_p).value == raw[i]
    return raw


class Vector4Object(ctypes.Structure):
    """A Vector4 instance as native code sees it: header, table pointer, four doubles."""

    _fields_ = [("header", ctypes.c_byte * HEADER), ("vtab", ctypes.c_void_p),
                ("x", ctypes.c_double), ("y", ctypes.c_double), ("z", ctypes.c_double), ("w", ctypes.c_double)]


# ---------------------------------------------------------------------- reference counts


def numbers(*c):
    """Float objects made at run time (not shared constants), so their counts are telling."""
    return [float(str(x)) for x in c]


def referenced(args):
    """Every object argument (not the plain numbers and records that ctypes passes by value) and
    every item of a sequence argument."""
    objs = [a for a in args if type(a) not in (int, float) and not isinstance(a, ctypes.Structure)]
    for a in list(objs):
        if type(a) in (list, tuple):
            objs.extend(a)
    return objs


def counts(objs):
    return [sys.getrefcount(o) for o in objs]


def assert_slot_keeps_counts(slot, args, fresh, calls=1000):
    """Many calls of slot(*args) leave the counts of the arguments and of their items as they
    were; when `fresh`, the result is a new object whose only reference is the caller's."""
    objs = referenced(args)
    before = counts(objs)
    first = slot(*args)
    if fresh:
        # the result's only reference is ours, like that of any new local object
        assert sys.getrefcount(first) == sys.getrefcount(object())
    del first
    for _ in range(calls):
        r = slot(*args)
        del r
    assert counts(objs) == before


def assert_failing_slot_keeps_counts(slot, args, errors, calls=1000):
    """slot(*args) fails with one of `errors` every time and leaves the counts of the arguments
    and of their items as they were."""
    objs = referenced(args)
    before = counts(objs)
    for _ in range(calls):
        try:
            slot(*args)
        except errors:
            pass
        else:
            pytest.fail(f"{slot!r} did not fail for {args!r}")
    assert counts(objs) == before


# ---------------------------------------------------------- rules every type of the package follows


def assert_type_identity(cls, tp_name, instance):
    """cls is named tp_name everywhere and `instance` is exactly of it."""
    module, _, name = tp_name.rpartition(".")
    assert cls.__module__ == module
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert repr(cls) == f"<class '{tp_name}'>"
    assert type(instance) is cls


def assert_module_namespace(module_name, public):
    """The module holds the objects of `public` (name: object) and nothing else of its own."""
    module = sys.modules[module_name]
    assert set(vars(module)) == set(public) | {"__builtins__", "__doc__", "__file__", "__loader__",
                                               "__name__", "__package__", "__spec__", "__test__"}
    assert module.__test__ == {}
    for name, obj in public.items():
        assert getattr(module, name) is obj


def assert_plain_static_type(cls, instance):
    """cls is a static type that may be subclassed; `instance` of it is not tracked by the
    collector and takes neither new attributes nor weak references, and neither does cls."""
    assert not cls.__flags__ & (1 << 9)        # not a heap type
    assert cls.__flags__ & (1 << 10)           # may be subclassed
    assert cls.__dictoffset__ == 0 and cls.__weakrefoffset__ == 0
    assert not gc.is_tracked(instance)
    assert not hasattr(instance, "__dict__")
    with pytest.raises(AttributeError):
        instance.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(instance)
    with pytest.raises(TypeError):
        cls.extra = 1


def assert_raw_record_is_not_visible(cls, make):
    assert not hasattr(make(), "_raw")
    assert "_raw" not in dir(cls)
    with pytest.raises(AttributeError):
        make()._raw = (1, 2, 3, 4)


def assert_unhashable(obj):
    assert type(obj).__hash__ is None
    with pytest.raises(TypeError, match="unhashable"):
        hash(obj)
    with pytest.raises(TypeError):
        {obj}
    with pytest.raises(TypeError):
        {obj: 1}


def assert_pickling_guard_installed(cls):
    """The guard that refuses pickling stands under __reduce__ and __setstate__ only; the
    other pickling hooks are object's."""
    d = cls.__dict__
    assert "__reduce__" in d and "__setstate__" in d
    assert d["__reduce__"] is not object.__dict__["__reduce__"]
    guards = {id(d["__reduce__"]), id(d["__setstate__"])}
    strays = [key for key, value in d.items() if id(value) in guards and key not in ("__reduce__", "__setstate__")]
    assert strays == []
    assert cls.__reduce_ex__ is object.__reduce_ex__
    assert cls.__getstate__ is object.__getstate__


# ----------------------------------------------------------------------------------- threads


def run_threads(worker, n):
    """Run worker(0) ... worker(n - 1) in threads of their own and wait for them all."""
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
