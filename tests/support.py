"""Helpers the Vector3 test files share: single-precision reference values and exact messages."""
import math
import re
import struct
from typing import NamedTuple

import pytest

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
