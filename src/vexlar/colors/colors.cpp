// vexlar.colors.colors: Colors, a palette of 152 named Color objects, and its instance `colors`.
//
// Each entry is a property holding one Color object (or None): reads hand out that very object,
// writes store the given one. Reads and writes run inside the palette's critical section, so a
// reader never sees a half-replaced reference, whether or not the global lock is enabled.
#include <array>

#include "vexlar/shared/framework.hpp"

extern PyTypeObject ColorsType;

namespace {

using vx::Ref;

vx::Module& M = vx::the_module;
PyTypeObject* Color_type;                    // imported at initialisation
const VexlarColorTable* color_table;
PyTypeObject* Vector4_type;                  // needed because Color's table names it
const VexlarVector4Table* vector4_table;

//------------------------------------------------------------------------------------------
// The palette: CSS Color Module Level 4 values, except Blank (transparent), MediumForestGreen,
// NavyBlue and VioletRed (not CSS names) and Maroon, MediumOrchid, MediumSeaGreen,
// MediumSlateBlue, MediumSpringGreen, MediumTurquoise and Purple (the X11 values).
//------------------------------------------------------------------------------------------

struct Entry {
    const char* name;
    int r, g, b, a;
};

constexpr Entry kPalette[VEXLAR_PALETTE_SIZE] = {
    {"AliceBlue",             240, 248, 255, 255},
    {"AntiqueWhite",          250, 235, 215, 255},
    {"Aqua",                    0, 255, 255, 255},
    {"Aquamarine",            127, 255, 212, 255},
    {"Azure",                 240, 255, 255, 255},
    {"Beige",                 245, 245, 220, 255},
    {"Bisque",                255, 228, 196, 255},
    {"Black",                   0,   0,   0, 255},
    {"Blank",                   0,   0,   0,   0},
    {"BlanchedAlmond",        255, 235, 205, 255},
    {"Blue",                    0,   0, 255, 255},
    {"BlueViolet",            138,  43, 226, 255},
    {"Brown",                 165,  42,  42, 255},
    {"BurlyWood",             222, 184, 135, 255},
    {"CadetBlue",              95, 158, 160, 255},
    {"Chartreuse",            127, 255,   0, 255},
    {"Chocolate",             210, 105,  30, 255},
    {"Coral",                 255, 127,  80, 255},
    {"CornflowerBlue",        100, 149, 237, 255},
    {"Cornsilk",              255, 248, 220, 255},
    {"Crimson",               220,  20,  60, 255},
    {"Cyan",                    0, 255, 255, 255},
    {"DarkBlue",                0,   0, 139, 255},
    {"DarkCyan",                0, 139, 139, 255},
    {"DarkGoldenrod",         184, 134,  11, 255},
    {"DarkGray",              169, 169, 169, 255},
    {"DarkGrey",              169, 169, 169, 255},
    {"DarkGreen",               0, 100,   0, 255},
    {"DarkKhaki",             189, 183, 107, 255},
    {"DarkMagenta",           139,   0, 139, 255},
    {"DarkOliveGreen",         85, 107,  47, 255},
    {"DarkOrange",            255, 140,   0, 255},
    {"DarkOrchid",            153,  50, 204, 255},
    {"DarkRed",               139,   0,   0, 255},
    {"DarkSalmon",            233, 150, 122, 255},
    {"DarkSeaGreen",          143, 188, 143, 255},
    {"DarkSlateBlue",          72,  61, 139, 255},
    {"DarkSlateGray",          47,  79,  79, 255},
    {"DarkSlateGrey",          47,  79,  79, 255},
    {"DarkTurquoise",           0, 206, 209, 255},
    {"DarkViolet",            148,   0, 211, 255},
    {"DeepPink",              255,  20, 147, 255},
    {"DeepSkyBlue",             0, 191, 255, 255},
    {"DimGray",               105, 105, 105, 255},
    {"DimGrey",               105, 105, 105, 255},
    {"DodgerBlue",             30, 144, 255, 255},
    {"FireBrick",             178,  34,  34, 255},
    {"FloralWhite",           255, 250, 240, 255},
    {"ForestGreen",            34, 139,  34, 255},
    {"Fuchsia",               255,   0, 255, 255},
    {"Gainsboro",             220, 220, 220, 255},
    {"GhostWhite",            248, 248, 255, 255},
    {"Gold",                  255, 215,   0, 255},
    {"Goldenrod",             218, 165,  32, 255},
    {"Gray",                  128, 128, 128, 255},
    {"Grey",                  128, 128, 128, 255},
    {"Green",                   0, 128,   0, 255},
    {"GreenYellow",           173, 255,  47, 255},
    {"Honeydew",              240, 255, 240, 255},
    {"HotPink",               255, 105, 180, 255},
    {"IndianRed",             205,  92,  92, 255},
    {"Indigo",                 75,   0, 130, 255},
    {"Ivory",                 255, 255, 240, 255},
    {"Khaki",                 240, 230, 140, 255},
    {"Lavender",              230, 230, 250, 255},
    {"LavenderBlush",         255, 240, 245, 255},
    {"LawnGreen",             124, 252,   0, 255},
    {"LemonChiffon",          255, 250, 205, 255},
    {"LightBlue",             173, 216, 230, 255},
    {"LightCoral",            240, 128, 128, 255},
    {"LightCyan",             224, 255, 255, 255},
    {"LightGoldenrodYellow",  250, 250, 210, 255},
    {"LightGray",             211, 211, 211, 255},
    {"LightGrey",             211, 211, 211, 255},
    {"LightGreen",            144, 238, 144, 255},
    {"LightPink",             255, 182, 193, 255},
    {"LightSalmon",           255, 160, 122, 255},
    {"LightSeaGreen",          32, 178, 170, 255},
    {"LightSkyBlue",          135, 206, 250, 255},
    {"LightSlateGray",        119, 136, 153, 255},
    {"LightSlateGrey",        119, 136, 153, 255},
    {"LightSteelBlue",        176, 196, 222, 255},
    {"LightYellow",           255, 255, 224, 255},
    {"Lime",                    0, 255,   0, 255},
    {"LimeGreen",              50, 205,  50, 255},
    {"Linen",                 250, 240, 230, 255},
    {"Magenta",               255,   0, 255, 255},
    {"Maroon",                176,  48,  96, 255},
    {"MediumAquamarine",      102, 205, 170, 255},
    {"MediumBlue",              0,   0, 205, 255},
    {"MediumForestGreen",      50, 129,  75, 255},
    {"MediumOrchid",          219, 112, 219, 255},
    {"MediumPurple",          147, 112, 219, 255},
    {"MediumSeaGreen",         66, 170, 113, 255},
    {"MediumSlateBlue",       127, 255, 212, 255},
    {"MediumSpringGreen",      60, 179, 113, 255},
    {"MediumTurquoise",       112, 219, 219, 255},
    {"MediumVioletRed",       199,  21, 133, 255},
    {"MidnightBlue",           25,  25, 112, 255},
    {"MintCream",             245, 255, 250, 255},
    {"MistyRose",             255, 228, 225, 255},
    {"Moccasin",              255, 228, 181, 255},
    {"NavajoWhite",           255, 222, 173, 255},
    {"Navy",                    0,   0, 128, 255},
    {"NavyBlue",                0,   0, 128, 255},
    {"OldLace",               253, 245, 230, 255},
    {"Olive",                 128, 128,   0, 255},
    {"OliveDrab",             107, 142,  35, 255},
    {"Orange",                255, 165,   0, 255},
    {"OrangeRed",             255,  69,   0, 255},
    {"Orchid",                218, 112, 214, 255},
    {"PaleGoldenrod",         238, 232, 170, 255},
    {"PaleGreen",             152, 251, 152, 255},
    {"PaleTurquoise",         175, 238, 238, 255},
    {"PaleVioletRed",         219, 112, 147, 255},
    {"PapayaWhip",            255, 239, 213, 255},
    {"PeachPuff",             255, 218, 185, 255},
    {"Peru",                  205, 133,  63, 255},
    {"Pink",                  255, 192, 203, 255},
    {"Plum",                  221, 160, 221, 255},
    {"PowderBlue",            176, 224, 230, 255},
    {"Purple",                160,  32, 240, 255},
    {"RebeccaPurple",         102,  51, 153, 255},
    {"Red",                   255,   0,   0, 255},
    {"RosyBrown",             188, 143, 143, 255},
    {"RoyalBlue",              65, 105, 225, 255},
    {"SaddleBrown",           139,  69,  19, 255},
    {"Salmon",                250, 128, 114, 255},
    {"SandyBrown",            244, 164,  96, 255},
    {"SeaGreen",               46, 139,  87, 255},
    {"Seashell",              255, 245, 238, 255},
    {"Sienna",                160,  82,  45, 255},
    {"Silver",                192, 192, 192, 255},
    {"SkyBlue",               135, 206, 235, 255},
    {"SlateBlue",             106,  90, 205, 255},
    {"SlateGray",             112, 128, 144, 255},
    {"SlateGrey",             112, 128, 144, 255},
    {"Snow",                  255, 250, 250, 255},
    {"SpringGreen",             0, 255, 127, 255},
    {"SteelBlue",              70, 130, 180, 255},
    {"Tan",                   210, 180, 140, 255},
    {"Teal",                    0, 128, 128, 255},
    {"Thistle",               216, 191, 216, 255},
    {"Tomato",                255,  99,  71, 255},
    {"Turquoise",              64, 224, 208, 255},
    {"Violet",                238, 130, 238, 255},
    {"VioletRed",             208,  32, 144, 255},
    {"Wheat",                 245, 222, 179, 255},
    {"White",                 255, 255, 255, 255},
    {"WhiteSmoke",            245, 245, 245, 255},
    {"Yellow",                255, 255,   0, 255},
    {"YellowGreen",           154, 205,  50, 255},
};

// "<Name>.__set__" per entry: the traceback name of that property's writer.
constexpr auto kSetterNames = [] {
    constexpr char suffix[] = ".__set__";
    std::array<std::array<char, 32>, VEXLAR_PALETTE_SIZE> names{};
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) {
        std::size_t n = 0;
        for (const char* c = kPalette[i].name; *c; ++c) names[i][n++] = *c;
        for (const char* c = suffix; *c; ++c) names[i][n++] = *c;
    }
    return names;
}();

inline int index_of(void* closure) noexcept { return static_cast<int>(static_cast<const Entry*>(closure) - kPalette); }
inline PyObject*& slot(PyObject* self, int i) noexcept {
    return reinterpret_cast<PyObject*&>(vx::as<VexlarColors>(self)->entries[i]);
}

//------------------------------------------------------------------------------------------
// Properties, one per entry
//------------------------------------------------------------------------------------------

PyObject* get_entry(PyObject* self, void* closure) noexcept {
    PyObject* value;
    Py_BEGIN_CRITICAL_SECTION(self);
    value = slot(self, index_of(closure));
    value = Py_NewRef(value ? value : Py_None);
    Py_END_CRITICAL_SECTION();
    return value;
}

// Stores a Color (or subclass) or None; deletion stores None and never fails.
int set_entry(PyObject* self, PyObject* value, void* closure) noexcept {
    if (!value) {
        value = Py_None;
    } else if (value != Py_None && !PyObject_TypeCheck(value, Color_type)) {
        vx::raise::cannot_convert(value, Color_type);
        return M.fail_int("Colors", kSetterNames[index_of(closure)].data());
    }
    PyObject* old;
    Py_BEGIN_CRITICAL_SECTION(self);
    PyObject*& entry = slot(self, index_of(closure));
    old = entry;
    entry = Py_NewRef(value);
    Py_END_CRITICAL_SECTION();
    Py_XDECREF(old);
    return 0;
}

auto Colors_getset = [] {
    std::array<PyGetSetDef, VEXLAR_PALETTE_SIZE + 1> table{};
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i)
        table[i] = {kPalette[i].name, get_entry, set_entry, nullptr, const_cast<Entry*>(&kPalette[i])};
    return table;
}();

//------------------------------------------------------------------------------------------
// Construction and garbage collection
//------------------------------------------------------------------------------------------

// Allocation: every entry None.
PyObject* Colors_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) slot(self, i) = Py_NewRef(Py_None);
    return self;
}

// Fills the entries in table order by calling the Color type; stops at the first failure,
// leaving the entries filled so far.
int fill(PyObject* self) noexcept {
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) {
        const Entry& e = kPalette[i];
        PyObject* channels[] = {PyLong_FromLong(e.r), PyLong_FromLong(e.g), PyLong_FromLong(e.b), PyLong_FromLong(e.a)};
        Ref color;
        if (channels[0] && channels[1] && channels[2] && channels[3])
            color = Ref::steal(PyObject_Vectorcall(vx::py(Color_type), channels, 4, nullptr));
        for (PyObject* c : channels) Py_XDECREF(c);
        if (!color) return -1;
        PyObject* old = slot(self, i);
        slot(self, i) = color.release();
        Py_XDECREF(old);
    }
    return 0;
}

vx::Arguments init_arguments{"__init__", {}};

int Colors_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    if (init_arguments.match(args, kwds, nullptr) < 0 || fill(self) < 0) return M.fail_int("Colors.__init__");
    return 0;
}

// Calling exactly Colors: allocation and initialisation without an argument tuple.
PyObject* Colors_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    if (type != vx::py(&ColorsType)) [[unlikely]]
        return vx::call_type_generic(type, args, nargsf, kwnames);
    if (init_arguments.match(args, PyVectorcall_NARGS(nargsf), kwnames, nullptr) < 0) return M.fail("Colors.__init__");
    Ref self = Ref::steal(Colors_new(&ColorsType, nullptr, nullptr));
    if (!self || fill(self.get()) < 0) return M.fail("Colors.__init__");
    return self.release();
}

int Colors_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) Py_VISIT(slot(self, i));
    return 0;
}

int Colors_clear(PyObject* self) noexcept {
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) {
        PyObject* old = slot(self, i);
        slot(self, i) = Py_NewRef(Py_None);
        Py_XDECREF(old);
    }
    return 0;
}

void Colors_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    for (int i = 0; i < VEXLAR_PALETTE_SIZE; ++i) Py_CLEAR(slot(self, i));
    Py_TYPE(self)->tp_free(self);
}

// Module-level object: the palette every game uses.
int make_palette(vx::Module& m) noexcept {
    Ref palette = Ref::steal(PyObject_CallNoArgs(vx::py(&ColorsType)));
    return palette ? PyModule_AddObjectRef(m.module, "colors", palette.get()) : -1;
}

}  // namespace

//------------------------------------------------------------------------------------------
// Type object, module
//------------------------------------------------------------------------------------------

PyTypeObject ColorsType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.colors.colors.Colors",
    .tp_basicsize = sizeof(VexlarColors),
    .tp_dealloc = Colors_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_traverse = Colors_traverse,
    .tp_clear = Colors_clear,
    .tp_getset = Colors_getset.data(),
    .tp_init = Colors_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = Colors_new,
    .tp_free = PyObject_GC_Del,
    .tp_vectorcall = Colors_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &ColorsType},
};
const vx::TypeImport imports[] = {
    {"vexlar.vector4.vector4", "Vector4", sizeof(VexlarVector4), &Vector4_type,
     reinterpret_cast<const void**>(&vector4_table)},
    {"vexlar.color.color", "Color", sizeof(VexlarColor), &Color_type, reinterpret_cast<const void**>(&color_table)},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(colors),
    .types = types,
    .imports = imports,
    .statements = make_palette,
};
}  // namespace

VEXLAR_MODULE(colors, info)
