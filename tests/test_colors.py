"""The named colour palette: the type Colors and its instance colors, the 152 entries with their
values and order, identity of the stored colours, the write check, deletion, construction,
garbage collection and concurrent use of one palette from several threads."""

from vexlar.color.color import Color
from vexlar.colors.colors import Colors, colors
from vexlar.vector4.vector4 import Vector4

import copy
import ctypes
import gc
import pickle
import random
import sys
import threading
import time
import weakref

import pytest

from support import (HEADER, POINTER, SubColor, assert_module_namespace, assert_type_identity, channels,
                     exact, package_entries, run_threads)

MODULE = "vexlar.colors.colors"
COLORS = "vexlar.colors.colors.Colors"
COLOR = "vexlar.color.color.Color"
SRC = "src/vexlar/colors/colors.cpp"

# Every entry in palette order with its (r, g, b, a): the CSS Color Module Level 4 value with
# alpha 255, apart from the entries marked.
PALETTE = [
    ("AliceBlue", (240, 248, 255, 255)),
    ("AntiqueWhite", (250, 235, 215, 255)),
    ("Aqua", (0, 255, 255, 255)),
    ("Aquamarine", (127, 255, 212, 255)),
    ("Azure", (240, 255, 255, 255)),
    ("Beige", (245, 245, 220, 255)),
    ("Bisque", (255, 228, 196, 255)),
    ("Black", (0, 0, 0, 255)),
    ("Blank", (0, 0, 0, 0)),                              # not a CSS name: transparent black
    ("BlanchedAlmond", (255, 235, 205, 255)),
    ("Blue", (0, 0, 255, 255)),
    ("BlueViolet", (138, 43, 226, 255)),
    ("Brown", (165, 42, 42, 255)),
    ("BurlyWood", (222, 184, 135, 255)),
    ("CadetBlue", (95, 158, 160, 255)),
    ("Chartreuse", (127, 255, 0, 255)),
    ("Chocolate", (210, 105, 30, 255)),
    ("Coral", (255, 127, 80, 255)),
    ("CornflowerBlue", (100, 149, 237, 255)),
    ("Cornsilk", (255, 248, 220, 255)),
    ("Crimson", (220, 20, 60, 255)),
    ("Cyan", (0, 255, 255, 255)),
    ("DarkBlue", (0, 0, 139, 255)),
    ("DarkCyan", (0, 139, 139, 255)),
    ("DarkGoldenrod", (184, 134, 11, 255)),
    ("DarkGray", (169, 169, 169, 255)),
    ("DarkGrey", (169, 169, 169, 255)),
    ("DarkGreen", (0, 100, 0, 255)),
    ("DarkKhaki", (189, 183, 107, 255)),
    ("DarkMagenta", (139, 0, 139, 255)),
    ("DarkOliveGreen", (85, 107, 47, 255)),
    ("DarkOrange", (255, 140, 0, 255)),
    ("DarkOrchid", (153, 50, 204, 255)),
    ("DarkRed", (139, 0, 0, 255)),
    ("DarkSalmon", (233, 150, 122, 255)),
    ("DarkSeaGreen", (143, 188, 143, 255)),
    ("DarkSlateBlue", (72, 61, 139, 255)),
    ("DarkSlateGray", (47, 79, 79, 255)),
    ("DarkSlateGrey", (47, 79, 79, 255)),
    ("DarkTurquoise", (0, 206, 209, 255)),
    ("DarkViolet", (148, 0, 211, 255)),
    ("DeepPink", (255, 20, 147, 255)),
    ("DeepSkyBlue", (0, 191, 255, 255)),
    ("DimGray", (105, 105, 105, 255)),
    ("DimGrey", (105, 105, 105, 255)),
    ("DodgerBlue", (30, 144, 255, 255)),
    ("FireBrick", (178, 34, 34, 255)),
    ("FloralWhite", (255, 250, 240, 255)),
    ("ForestGreen", (34, 139, 34, 255)),
    ("Fuchsia", (255, 0, 255, 255)),
    ("Gainsboro", (220, 220, 220, 255)),
    ("GhostWhite", (248, 248, 255, 255)),
    ("Gold", (255, 215, 0, 255)),
    ("Goldenrod", (218, 165, 32, 255)),
    ("Gray", (128, 128, 128, 255)),
    ("Grey", (128, 128, 128, 255)),
    ("Green", (0, 128, 0, 255)),
    ("GreenYellow", (173, 255, 47, 255)),
    ("Honeydew", (240, 255, 240, 255)),
    ("HotPink", (255, 105, 180, 255)),
    ("IndianRed", (205, 92, 92, 255)),
    ("Indigo", (75, 0, 130, 255)),
    ("Ivory", (255, 255, 240, 255)),
    ("Khaki", (240, 230, 140, 255)),
    ("Lavender", (230, 230, 250, 255)),
    ("LavenderBlush", (255, 240, 245, 255)),
    ("LawnGreen", (124, 252, 0, 255)),
    ("LemonChiffon", (255, 250, 205, 255)),
    ("LightBlue", (173, 216, 230, 255)),
    ("LightCoral", (240, 128, 128, 255)),
    ("LightCyan", (224, 255, 255, 255)),
    ("LightGoldenrodYellow", (250, 250, 210, 255)),
    ("LightGray", (211, 211, 211, 255)),
    ("LightGrey", (211, 211, 211, 255)),
    ("LightGreen", (144, 238, 144, 255)),
    ("LightPink", (255, 182, 193, 255)),
    ("LightSalmon", (255, 160, 122, 255)),
    ("LightSeaGreen", (32, 178, 170, 255)),
    ("LightSkyBlue", (135, 206, 250, 255)),
    ("LightSlateGray", (119, 136, 153, 255)),
    ("LightSlateGrey", (119, 136, 153, 255)),
    ("LightSteelBlue", (176, 196, 222, 255)),
    ("LightYellow", (255, 255, 224, 255)),
    ("Lime", (0, 255, 0, 255)),
    ("LimeGreen", (50, 205, 50, 255)),
    ("Linen", (250, 240, 230, 255)),
    ("Magenta", (255, 0, 255, 255)),
    ("Maroon", (176, 48, 96, 255)),                       # CSS: 128, 0, 0
    ("MediumAquamarine", (102, 205, 170, 255)),
    ("MediumBlue", (0, 0, 205, 255)),
    ("MediumForestGreen", (50, 129, 75, 255)),            # not a CSS name
    ("MediumOrchid", (219, 112, 219, 255)),               # CSS: 186, 85, 211
    ("MediumPurple", (147, 112, 219, 255)),
    ("MediumSeaGreen", (66, 170, 113, 255)),              # CSS: 60, 179, 113
    ("MediumSlateBlue", (127, 255, 212, 255)),            # CSS: 123, 104, 238; Aquamarine's value
    ("MediumSpringGreen", (60, 179, 113, 255)),           # CSS: 0, 250, 154
    ("MediumTurquoise", (112, 219, 219, 255)),            # CSS: 72, 209, 204
    ("MediumVioletRed", (199, 21, 133, 255)),
    ("MidnightBlue", (25, 25, 112, 255)),
    ("MintCream", (245, 255, 250, 255)),
    ("MistyRose", (255, 228, 225, 255)),
    ("Moccasin", (255, 228, 181, 255)),
    ("NavajoWhite", (255, 222, 173, 255)),
    ("Navy", (0, 0, 128, 255)),
    ("NavyBlue", (0, 0, 128, 255)),                       # not a CSS name; Navy's value
    ("OldLace", (253, 245, 230, 255)),
    ("Olive", (128, 128, 0, 255)),
    ("OliveDrab", (107, 142, 35, 255)),
    ("Orange", (255, 165, 0, 255)),
    ("OrangeRed", (255, 69, 0, 255)),
    ("Orchid", (218, 112, 214, 255)),
    ("PaleGoldenrod", (238, 232, 170, 255)),
    ("PaleGreen", (152, 251, 152, 255)),
    ("PaleTurquoise", (175, 238, 238, 255)),
    ("PaleVioletRed", (219, 112, 147, 255)),
    ("PapayaWhip", (255, 239, 213, 255)),
    ("PeachPuff", (255, 218, 185, 255)),
    ("Peru", (205, 133, 63, 255)),
    ("Pink", (255, 192, 203, 255)),
    ("Plum", (221, 160, 221, 255)),
    ("PowderBlue", (176, 224, 230, 255)),
    ("Purple", (160, 32, 240, 255)),                      # CSS: 128, 0, 128
    ("RebeccaPurple", (102, 51, 153, 255)),
    ("Red", (255, 0, 0, 255)),
    ("RosyBrown", (188, 143, 143, 255)),
    ("RoyalBlue", (65, 105, 225, 255)),
    ("SaddleBrown", (139, 69, 19, 255)),
    ("Salmon", (250, 128, 114, 255)),
    ("SandyBrown", (244, 164, 96, 255)),
    ("SeaGreen", (46, 139, 87, 255)),
    ("Seashell", (255, 245, 238, 255)),
    ("Sienna", (160, 82, 45, 255)),
    ("Silver", (192, 192, 192, 255)),
    ("SkyBlue", (135, 206, 235, 255)),
    ("SlateBlue", (106, 90, 205, 255)),
    ("SlateGray", (112, 128, 144, 255)),
    ("SlateGrey", (112, 128, 144, 255)),
    ("Snow", (255, 250, 250, 255)),
    ("SpringGreen", (0, 255, 127, 255)),
    ("SteelBlue", (70, 130, 180, 255)),
    ("Tan", (210, 180, 140, 255)),
    ("Teal", (0, 128, 128, 255)),
    ("Thistle", (216, 191, 216, 255)),
    ("Tomato", (255, 99, 71, 255)),
    ("Turquoise", (64, 224, 208, 255)),
    ("Violet", (238, 130, 238, 255)),
    ("VioletRed", (208, 32, 144, 255)),                   # not a CSS name
    ("Wheat", (245, 222, 179, 255)),
    ("White", (255, 255, 255, 255)),
    ("WhiteSmoke", (245, 245, 245, 255)),
    ("Yellow", (255, 255, 0, 255)),
    ("YellowGreen", (154, 205, 50, 255)),
]
NAMES = [name for name, _ in PALETTE]
VALUES = dict(PALETTE)

# Names that share a value; each is still its own object.
SAME_VALUE = [
    ("Aqua", "Cyan"), ("Fuchsia", "Magenta"), ("Navy", "NavyBlue"), ("Aquamarine", "MediumSlateBlue"),
    ("DarkGray", "DarkGrey"), ("DarkSlateGray", "DarkSlateGrey"), ("DimGray", "DimGrey"), ("Gray", "Grey"),
    ("LightGray", "LightGrey"), ("LightSlateGray", "LightSlateGrey"), ("SlateGray", "SlateGrey"),
]


def cannot_convert(got):
    return f"Cannot convert {got} to {COLOR}"


def entries(palette):
    """The 152 stored references, read where native code reads them."""
    return list((ctypes.c_void_p * 152).from_address(id(palette) + HEADER))


class SubColors(Colors):
    pass


@pytest.fixture
def palette():
    return Colors()


# ------------------------------------------------------------------------------ the table


def test_the_table_itself():
    assert len(PALETTE) == 152 == len(set(NAMES))
    assert (NAMES[0], NAMES[-1]) == ("AliceBlue", "YellowGreen")
    assert [name for name, value in PALETTE if value[3] != 255] == ["Blank"]
    groups = {}
    for name, value in PALETTE:
        groups.setdefault(value, []).append(name)
    assert sorted(tuple(g) for g in groups.values() if len(g) > 1) == sorted(SAME_VALUE)


@pytest.mark.parametrize("name, values", PALETTE, ids=NAMES)
def test_entry_values(name, values):
    for palette in (colors, Colors(), SubColors()):
        c = getattr(palette, name)
        assert type(c) is Color
        assert channels(c) == values


@pytest.mark.parametrize("name, values", [
    ("AliceBlue", (240, 248, 255, 255)), ("Blank", (0, 0, 0, 0)), ("MediumSlateBlue", (127, 255, 212, 255)),
    ("Maroon", (176, 48, 96, 255)), ("Gray", (128, 128, 128, 255)),
])
def test_named_examples(name, values):
    assert channels(getattr(colors, name)) == values


def test_properties_in_palette_order():
    properties = [k for k, v in vars(Colors).items() if hasattr(type(v), "__set__") and not k.startswith("__")]
    assert properties == NAMES


def test_fields_in_palette_order(palette):
    assert entries(palette) == [id(getattr(palette, name)) for name in NAMES]


# ------------------------------------------------------------------------------- the type


def test_type_identity():
    assert_type_identity(Colors, COLORS, colors)


def test_module_namespace():
    assert_module_namespace(MODULE, {"Colors": Colors, "colors": colors})


def test_static_subclassable_collected_type_without_dict_weak_references_or_table():
    assert not Colors.__flags__ & (1 << 9)        # not a heap type
    assert Colors.__flags__ & (1 << 10)           # may be subclassed
    assert Colors.__flags__ & (1 << 14)           # takes part in garbage collection
    assert Colors.__dictoffset__ == 0 and Colors.__weakrefoffset__ == 0
    assert Colors.__basicsize__ == HEADER + 152 * POINTER
    assert Colors.__itemsize__ == 0
    assert "__pyx_vtable__" not in Colors.__dict__
    with pytest.raises(TypeError):
        weakref.ref(colors)
    with pytest.raises(TypeError):
        Colors.extra = 1


@pytest.mark.parametrize("name", ["NotAColour", "aliceblue", "ALICEBLUE", "_raw"])
def test_no_other_attributes(palette, name):
    with pytest.raises(AttributeError):
        setattr(palette, name, Color(1, 2, 3))
    with pytest.raises(AttributeError):
        getattr(palette, name)
    assert not hasattr(palette, "__dict__")


def test_interpreter_defaults_for_everything_else(palette):
    assert repr(palette).startswith(f"<{COLORS} object at ")
    assert str(palette) == repr(palette)
    assert hash(palette) == hash(palette)
    assert palette == palette and palette != Colors()
    assert "__reduce__" not in Colors.__dict__ and "__setstate__" not in Colors.__dict__
    with pytest.raises(TypeError, match="cannot pickle"):
        pickle.dumps(palette)
    with pytest.raises(TypeError):
        copy.copy(palette)


# --------------------------------------------------------------------------- construction


@pytest.mark.parametrize("cls", [Colors, SubColors])
@pytest.mark.parametrize("args, kwargs, message", [
    ((1,), {}, "__init__() takes exactly 0 positional arguments (1 given)"),
    ((1, 2), {}, "__init__() takes exactly 0 positional arguments (2 given)"),
    ((), {"x": 1}, "__init__() got an unexpected keyword argument 'x'"),
    ((), {"AliceBlue": Color(1, 2, 3)}, "__init__() got an unexpected keyword argument 'AliceBlue'"),
])
def test_construction_takes_no_arguments(cls, args, kwargs, message):
    with exact(TypeError, message):
        cls(*args, **kwargs)


def test_init_errors_carry_a_traceback_entry():
    with pytest.raises(TypeError) as excinfo:
        Colors(1)
    entries = package_entries(excinfo.value)
    assert [e.name for e in entries] == [f"{MODULE}.Colors.__init__"]
    assert all(e.filename == SRC for e in entries)


def test_allocation_alone_gives_none_entries():
    for cls in (Colors, SubColors):
        palette = cls.__new__(cls)
        assert type(palette) is cls
        assert all(getattr(palette, name) is None for name in NAMES)
        palette.__init__()
        assert [channels(getattr(palette, name)) for name in NAMES] == [v for _, v in PALETTE]


def test_subclass_instances(palette):
    s = SubColors()
    s.note = "subclasses get a dict"
    assert isinstance(s, Colors)
    assert channels(s.Red) == (255, 0, 0, 255)
    assert s.Red is not palette.Red


def test_reinit_replaces_every_entry_with_a_new_colour(palette):
    before = {name: getattr(palette, name) for name in NAMES}
    palette.Red.r = 0
    palette.Blue = None
    del palette.Green
    palette.Gold = Color(1, 2, 3)
    palette.__init__()
    for name, values in PALETTE:
        c = getattr(palette, name)
        assert type(c) is Color and channels(c) == values
        assert c is not before[name]


def test_failed_reinit_leaves_the_entries(palette):
    red = palette.Red
    with pytest.raises(TypeError):
        palette.__init__(1)
    assert palette.Red is red


# ------------------------------------------------------------------------------- identity


def test_every_read_returns_the_stored_object(palette):
    for name in NAMES:
        assert getattr(palette, name) is getattr(palette, name)
    assert colors.Red is colors.Red


def test_every_entry_is_its_own_object(palette):
    assert len({id(getattr(palette, name)) for name in NAMES}) == 152


@pytest.mark.parametrize("first, second", SAME_VALUE)
def test_equal_values_under_different_names_are_separate_objects(palette, first, second):
    a, b = getattr(palette, first), getattr(palette, second)
    assert a is not b
    assert a == b
    a.r = 1
    assert b.r != 1


def test_a_new_palette_has_new_objects(palette):
    other = Colors()
    for name in NAMES:
        assert getattr(other, name) is not getattr(palette, name)
        assert getattr(other, name) is not getattr(colors, name)
        assert getattr(other, name) == getattr(palette, name)


def test_changing_a_stored_colour_is_seen_by_later_reads(palette):
    palette.Red.g = 99
    assert channels(palette.Red) == (255, 99, 0, 255)
    assert channels(Colors().Red) == (255, 0, 0, 255)


# --------------------------------------------------------------------- writes and deletion


@pytest.mark.parametrize("value, got", [
    (5, "int"), ("Red", "str"), ((255, 0, 0, 255), "tuple"), ([255, 0, 0], "list"), (1.5, "float"),
    (Vector4(1, 0, 0, 1), "vexlar.vector4.vector4.Vector4"), (Colors, "type"), (True, "bool"),
])
@pytest.mark.parametrize("name", ["AliceBlue", "Red", "YellowGreen"])
def test_writes_accept_only_colours_and_none(palette, name, value, got):
    stored = getattr(palette, name)
    with exact(TypeError, cannot_convert(got)):
        setattr(palette, name, value)
    assert getattr(palette, name) is stored


def test_write_check_names_other_types(palette):
    class Foo:
        pass

    with exact(TypeError, cannot_convert("Foo")):
        palette.Red = Foo()
    with exact(TypeError, cannot_convert(COLORS)):
        palette.Red = Colors()


@pytest.mark.parametrize("name", ["AliceBlue", "Red", "YellowGreen"])
def test_write_failure_carries_the_property_writers_traceback_entry(palette, name):
    with pytest.raises(TypeError) as excinfo:
        setattr(palette, name, 5)
    entries = [(e.name, e.filename) for e in package_entries(excinfo.value)]
    assert entries == [(f"{MODULE}.Colors.{name}.__set__", SRC)]


@pytest.mark.parametrize("value", [Color(1, 2, 3), SubColor(4, 5, 6, 7), None])
def test_writes_store_that_very_object(palette, value):
    palette.Red = value
    assert palette.Red is value
    assert palette.Blue is not value
    assert channels(palette.Blue) == (0, 0, 255, 255)


def test_the_same_colour_under_several_names(palette):
    c = Color(1, 2, 3)
    palette.Red = palette.Blue = c
    c.a = 0
    assert palette.Red is palette.Blue is c
    assert palette.Blue.a == 0


def test_deletion_stores_none_and_never_fails(palette):
    del palette.Red
    assert palette.Red is None
    del palette.Red
    assert palette.Red is None
    for name in NAMES:
        delattr(palette, name)
    assert all(getattr(palette, name) is None for name in NAMES)
    assert entries(palette) == [id(None)] * 152


def test_module_palette_entries_can_be_replaced():
    red = colors.Red
    try:
        with exact(TypeError, cannot_convert("int")):
            colors.Red = 5
        colors.Red = None
        assert colors.Red is None
        del colors.Red
        assert colors.Red is None
        mine = Color(9, 9, 9)
        colors.Red = mine
        assert colors.Red is mine
    finally:
        colors.Red = red
    assert colors.Red is red and channels(red) == (255, 0, 0, 255)


# ------------------------------------------------------------------- references and gc


def test_writes_take_and_release_references(palette):
    c = Color(1, 2, 3)
    base = sys.getrefcount(c)
    palette.Red = c
    palette.Blue = c
    assert sys.getrefcount(c) == base + 2
    palette.Red = None
    assert sys.getrefcount(c) == base + 1
    del palette.Blue
    assert sys.getrefcount(c) == base
    for _ in range(1000):
        palette.Gold = c
        palette.Gold
        with pytest.raises(TypeError):
            palette.Gold = 5
    assert sys.getrefcount(c) == base + 1
    palette.__init__()
    assert sys.getrefcount(c) == base


def test_entries_are_released_with_the_palette():
    c = Color(1, 2, 3)
    base = sys.getrefcount(c)
    p = Colors()
    p.Red = p.Green = c
    red = p.Blue
    assert sys.getrefcount(c) == base + 2
    del p
    assert sys.getrefcount(c) == base
    assert sys.getrefcount(red) == sys.getrefcount(object())


def test_palettes_are_tracked_and_traverse_their_entries(palette):
    assert gc.is_tracked(colors) and gc.is_tracked(palette)
    referents = {id(r) for r in gc.get_referents(palette)}
    assert {id(getattr(palette, name)) for name in NAMES} <= referents
    s = SubColor(1, 2, 3)
    palette.Red = s
    assert any(r is s for r in gc.get_referents(palette))


@pytest.mark.parametrize("cls", [Colors, SubColors])
def test_a_palette_in_a_reference_cycle_is_collected(cls):
    class Holder(Color):
        pass

    p = cls()
    h = Holder(1, 2, 3)
    h.palette = p                   # palette -> colour -> palette
    p.Red = h
    probe = weakref.ref(h)
    del p, h
    gc.collect()
    assert probe() is None


def test_collecting_a_cycle_releases_the_other_entries():
    class Holder(Color):
        pass

    c = Color(1, 2, 3)
    base = sys.getrefcount(c)
    p = Colors()
    h = Holder(4, 5, 6)
    h.palette = p
    p.Red, p.Blue = h, c
    assert sys.getrefcount(c) == base + 1
    del p, h
    gc.collect()
    assert sys.getrefcount(c) == base


# ----------------------------------------------------------------------------- threads

THREADS = 4
SECONDS = 1.0
STRESS_NAMES = ["AliceBlue", "Red", "Green", "Blue", "Gray", "Grey", "YellowGreen", "Blank"]


def test_concurrent_replacing_deleting_and_reading(palette):
    pool = [Color(i, 2 * i, 3 * i) for i in range(8)] + [SubColor(9, 9, 9)]
    baseline = [sys.getrefcount(c) for c in pool]
    problems, counts = [], [0] * THREADS
    lock = threading.Lock()
    start = threading.Barrier(THREADS)

    def worker(n):
        rng = random.Random(n)
        start.wait()
        deadline = time.monotonic() + SECONDS
        done = 0
        while time.monotonic() < deadline:
            for _ in range(200):
                name = rng.choice(STRESS_NAMES)
                op = rng.randrange(5)
                try:
                    if op == 0:
                        setattr(palette, name, rng.choice(pool))
                    elif op == 1:
                        delattr(palette, name)
                    elif op == 2:
                        setattr(palette, name, None)
                    else:
                        value = getattr(palette, name)
                        if value is not None and not isinstance(value, Color):
                            raise AssertionError(f"{name} read {value!r}")
                        if value is not None:
                            channels(value)
                except Exception as e:  # noqa: BLE001 - reported below
                    with lock:
                        problems.append(repr(e))
                    return
                done += 1
        counts[n] = done

    run_threads(worker, THREADS)
    assert problems == []
    assert all(counts)
    # Read without keeping a local: a leftover reference would spoil the count below.
    for name in STRESS_NAMES:
        assert getattr(palette, name) is None or any(getattr(palette, name) is c for c in pool)
    palette.__init__()
    assert [sys.getrefcount(c) for c in pool] == baseline
    for name in STRESS_NAMES:
        assert channels(getattr(palette, name)) == VALUES[name]
