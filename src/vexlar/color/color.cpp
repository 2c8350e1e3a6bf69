// vexlar.color.color: Color, an RGBA colour stored as a raylib Color record (four bytes), with
// raylib's own tint, packing and comparison. Every writer clamps channels to 0..255; nothing
// wraps. Python subclasses are allowed: `fade` and `to_int` then honour their overrides.
#include <raylib.h>   // ColorTint, ColorToInt, ColorIsEqual (and the Color record)


#include "vexlar/shared/framework.hpp"

extern PyTypeObject ColorType;
extern const VexlarColorTable color_table;

namespace {

using vx::Ref;
using Col = VexlarColor;

vx::Module& M = vx::the_module;
PyTypeObject* Vector4_type;                  // imported at initialisation
const VexlarVector4Table* vector4_table;
vx::Name name_fade{"fade"}, name_to_int{"to_int"};

constexpr vx::PickleText kPickle = {
    "vexlar.color.color.Color cannot be pickled: pickling of the struct member self._raw has to be requested "
    "explicitly",
    "Color.__reduce_guard__",
    "Color.__setstate_guard__",
};

//------------------------------------------------------------------------------------------
// Plain helpers
//------------------------------------------------------------------------------------------

inline Col* as_color(PyObject* o) noexcept { return vx::as<Col>(o); }
inline unsigned char clamp(int v) noexcept { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A new Color of exactly this type holding `c`, without __init__; nullptr with MemoryError.
Col* make(Color c) noexcept {
    Col* o = vx::alloc<Col>(&ColorType, &color_table);
    if (o) [[likely]]
        o->_raw = c;
    return o;
}

// Channel access by position: r, g, b, a.
inline unsigned char& channel(Col* c, int i) noexcept {
    switch (i) {
    case 0: return c->_raw.r;
    case 1: return c->_raw.g;
    case 2: return c->_raw.b;
    default: return c->_raw.a;
    }
}

// 1/255 as a multiplication, not a division: the two differ in the last bit for some channels
// (33 gives 0.12941176470588234), and the round trip through from_normalized depends on it.
constexpr double kInverse255 = 1.0 / 255.0;

// A normalised component back to a channel: truncated; NaN or beyond 32 bits counts as negative.
inline unsigned char from_unit(double v) noexcept {
    const double scaled = 255.0 * v;
    if (!vx::is_finite(scaled) || scaled <= -2147483649.0 || scaled >= 2147483648.0) return 0;
    return clamp(static_cast<int>(scaled));
}

//------------------------------------------------------------------------------------------
// C method table slots
//------------------------------------------------------------------------------------------

Col* Color_new(int r, int g, int b, int a) noexcept {
    Col* c = make({clamp(r), clamp(g), clamp(b), clamp(a)});
    return c ? c : M.fail("Color.new");
}

int Color_c_equal(Col* self, Col* other) noexcept { return ColorIsEqual(self->_raw, other->_raw) ? 1 : 0; }

VexlarVector4* Color_c_normalize(Col* self) noexcept {
    const Color c = self->_raw;
    VexlarVector4* v = vector4_table->new_(c.r * kInverse255, c.g * kInverse255, c.b * kInverse255, c.a * kInverse255);
    return v ? v : M.fail("Color.c_normalize");
}

Col* Color_c_tint(Col* self, Col* tint) noexcept {
    Col* c = make(ColorTint(self->_raw, tint->_raw));
    return c ? c : M.fail("Color.c_tint");
}

PyObject* fade_method(Col* self, PyObject* alpha) noexcept;
PyObject* to_int_method(Col* self) noexcept;

// Alpha from a fraction: clamped to 0..1 in single precision (NaN counts as 1), then scaled.
void Color_fade(Col* self, float alpha, int skip_dispatch) noexcept {
    vx::Discard ignored;
    if (int rc = vx::call_override(ignored, vx::py(self), skip_dispatch, name_fade, vx::body_of<fade_method>, alpha)) {
        if (rc < 0) M.trace("Color.fade");
        return;
    }
    float t = vx::is_nan(alpha) ? 1.0f : alpha < 1.0f ? alpha : 1.0f;
    t = t > 0.0f ? t : 0.0f;
    self->_raw.a = static_cast<unsigned char>(static_cast<int>(static_cast<double>(t) * 255.0));
}

int Color_to_int(Col* self, int skip_dispatch) noexcept {
    int packed = 0;
    if (int rc = vx::call_override(packed, vx::py(self), skip_dispatch, name_to_int, vx::body_of<to_int_method>)) {
        return rc < 0 ? M.fail_zero("Color.to_int") : packed;
    }
    return ColorToInt(self->_raw);
}

//------------------------------------------------------------------------------------------
// Construction: Color(r, g, b, a=255)
//------------------------------------------------------------------------------------------

vx::Arguments init_arguments{"__init__", {vx::arg("r"), vx::arg("g"), vx::arg("b"),
                                          vx::arg_default("a", vx::default_int(255))}};

// Converts r, g, b, a in order (the first failure stops), then writes all four at once.
int init_from(Col* self, PyObject* const* values) noexcept {
    unsigned char c[4];
    for (int i = 0; i < 4; ++i) {
        const int v = vx::to_int32(values[i]);
        if (vx::failed(v)) return -1;
        c[i] = clamp(v);
    }
    self->_raw = {c[0], c[1], c[2], c[3]};
    return 0;
}

int Color_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    PyObject* values[4];
    if (init_arguments.match(args, kwds, values) < 0 || init_from(as_color(self), values) < 0)
        return M.fail_int("Color.__init__");
    return 0;
}

// Calling exactly Color: allocation and __init__ in one step, without argument tuple or dict.
PyObject* Color_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    if (type != vx::py(&ColorType)) [[unlikely]]
        return vx::call_type_generic(type, args, nargsf, kwnames);
    PyObject* values[4];
    if (init_arguments.match(args, PyVectorcall_NARGS(nargsf), kwnames, values) < 0) return M.fail("Color.__init__");
    Ref c = Ref::steal(vx::py(make({0, 0, 0, 0})));
    if (!c) return nullptr;
    if (init_from(as_color(c.get()), values) < 0) return M.fail("Color.__init__");
    return c.release();
}

//------------------------------------------------------------------------------------------
// Python-level methods
//------------------------------------------------------------------------------------------

Col* from_normalized(VexlarVector4* vector) noexcept {
    const vector4_t v = vector->data;
    return make({from_unit(v.x), from_unit(v.y), from_unit(v.z), from_unit(v.w)});
}
Col* tint(Col* self, Col* tint) noexcept { return Color_c_tint(self, tint); }
VexlarVector4* normalize(Col* self) noexcept { return Color_c_normalize(self); }
PyObject* equal(Col* self, Col* other) noexcept { return PyBool_FromLong(Color_c_equal(self, other)); }

PyObject* fade_method(Col* self, PyObject* alpha) noexcept {
    const double a = vx::to_double(alpha);
    if (vx::failed(a)) return nullptr;
    Color_fade(self, static_cast<float>(a), 1);
    Py_RETURN_NONE;
}

PyObject* to_int_method(Col* self) noexcept { return PyLong_FromLong(Color_to_int(self, 1)); }

//------------------------------------------------------------------------------------------
// Slot functions of the type
//------------------------------------------------------------------------------------------

// == and != compare with colours only: anything else but None is an argument-type error.
PyObject* Color_richcompare(PyObject* self, PyObject* other, int op) noexcept {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    if (other == Py_None) return PyBool_FromLong(op == Py_NE);
    if (!PyObject_TypeCheck(other, &ColorType)) {
        vx::raise::arg_type("other", ColorType.tp_name, other);
        return M.fail("Color.__eq__");
    }
    const bool equal = Color_c_equal(as_color(self), as_color(other));
    return PyBool_FromLong(equal == (op == Py_EQ));
}

PyObject* Color_repr(PyObject* self) noexcept {
    const Color c = as_color(self)->_raw;
    PyObject* r = PyUnicode_FromFormat("Color(%d, %d, %d, %d)", c.r, c.g, c.b, c.a);
    return r ? r : M.fail("Color.__repr__");
}

Py_ssize_t Color_length(PyObject*) noexcept { return 4; }

void Color_dealloc(PyObject* self) noexcept { Py_TYPE(self)->tp_free(self); }

//------------------------------------------------------------------------------------------
// The iterator: a generator-like object that reads each channel when it yields it
//------------------------------------------------------------------------------------------

struct ColorIterator {
    PyObject_HEAD
    PyObject* color;   // the colour walked; released when the walk ends
    int next;          // index of the next channel
};

extern PyTypeObject ColorIteratorType;

PyObject* Color_iter(PyObject* self) noexcept {
    ColorIterator* it = PyObject_GC_New(ColorIterator, &ColorIteratorType);
    if (!it) return M.fail("Color.__iter__");
    it->color = Py_NewRef(self);
    it->next = 0;
    PyObject_GC_Track(it);
    return vx::py(it);
}

PyObject* ColorIterator_next(PyObject* self) noexcept {
    ColorIterator* it = vx::as<ColorIterator>(self);
    if (!it->color) return nullptr;
    if (it->next == 4) {
        Py_CLEAR(it->color);
        return nullptr;
    }
    const int value = channel(as_color(it->color), it->next++);
    return PyLong_FromLong(value);
}

int ColorIterator_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(vx::as<ColorIterator>(self)->color);
    return 0;
}

int ColorIterator_clear(PyObject* self) noexcept {
    Py_CLEAR(vx::as<ColorIterator>(self)->color);
    return 0;
}

void ColorIterator_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    ColorIterator_clear(self);
    PyObject_GC_Del(self);
}

PyObject* ColorIterator_close(PyObject* self, PyObject*) noexcept {
    ColorIterator_clear(self);
    Py_RETURN_NONE;
}

PyObject* ColorIterator_name(PyObject*, void*) noexcept { return PyUnicode_FromString("__iter__"); }
PyObject* ColorIterator_qualname(PyObject*, void*) noexcept { return PyUnicode_FromString("Color.__iter__"); }

PyMethodDef ColorIterator_methods[] = {
    {"close", ColorIterator_close, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef ColorIterator_getset[] = {
    {"__name__", ColorIterator_name, nullptr, nullptr, nullptr},
    {"__qualname__", ColorIterator_qualname, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

//------------------------------------------------------------------------------------------
// Properties: r, g, b, a and their long names, in this order
//------------------------------------------------------------------------------------------

template <int I>
PyObject* get_channel(PyObject* self, void*) noexcept {
    return PyLong_FromLong(channel(as_color(self), I));
}

// The closure names the writer for its traceback entry.
template <int I>
int set_channel(PyObject* self, PyObject* value, void* qualname) noexcept {
    if (vx::refuse_delete(value)) return M.fail_int(static_cast<const char*>(qualname));
    const int v = vx::to_int32(value);
    if (vx::failed(v)) return M.fail_int(static_cast<const char*>(qualname));
    channel(as_color(self), I) = clamp(v);
    return 0;
}

#define VX_CHANNEL(name, i) {#name, get_channel<i>, set_channel<i>, nullptr, const_cast<char*>("Color." #name ".__set__")}

PyGetSetDef Color_getset[] = {
    VX_CHANNEL(r, 0),
    VX_CHANNEL(g, 1),
    VX_CHANNEL(b, 2),
    VX_CHANNEL(a, 3),
    VX_CHANNEL(red, 0),
    VX_CHANNEL(green, 1),
    VX_CHANNEL(blue, 2),
    VX_CHANNEL(alpha, 3),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef VX_CHANNEL

//------------------------------------------------------------------------------------------
// Method and protocol tables
//------------------------------------------------------------------------------------------

const vx::MethodDef Color_methods[] = {
    vx::static_method<from_normalized>("from_normalized", vx::arg("vector", &Vector4_type)),
    vx::with_doc(vx::method<tint>("tint", vx::arg("tint", &ColorType)), nullptr, "Color"),
    vx::with_doc(vx::method<normalize>("normalize"), nullptr, "Vector4"),
    vx::with_doc(vx::method<equal>("equal", vx::arg("other", &ColorType)), nullptr, "bool"),
    vx::method<fade_method>("fade", vx::arg("alpha")),
    vx::method<to_int_method>("to_int"),
};

PySequenceMethods Color_as_sequence = {
    .sq_length = Color_length,
};

PyMappingMethods Color_as_mapping = {
    .mp_length = Color_length,
};

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type objects, module
//------------------------------------------------------------------------------------------

const VexlarColorTable color_table = {
    .new_ = Color_new,
    .c_equal = Color_c_equal,
    .c_normalize = Color_c_normalize,
    .c_tint = Color_c_tint,
    .fade = Color_fade,
    .to_int = Color_to_int,
};

PyTypeObject ColorType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.color.color.Color",
    .tp_basicsize = sizeof(VexlarColor),
    .tp_dealloc = Color_dealloc,
    .tp_repr = Color_repr,
    .tp_as_sequence = &Color_as_sequence,
    .tp_as_mapping = &Color_as_mapping,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_richcompare = Color_richcompare,
    .tp_iter = Color_iter,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Color_getset,
    .tp_init = Color_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarColor, VexlarColorTable, &color_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = Color_vectorcall,
};

namespace {
PyTypeObject ColorIteratorType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.color.color.__iter__",
    .tp_basicsize = sizeof(ColorIterator),
    .tp_dealloc = ColorIterator_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,   // final
    .tp_traverse = ColorIterator_traverse,
    .tp_clear = ColorIterator_clear,
    .tp_iter = PyObject_SelfIter,
    .tp_iternext = ColorIterator_next,
    .tp_methods = ColorIterator_methods,
    .tp_getset = ColorIterator_getset,
};

const vx::TypeDef types[] = {
    {.type = &ColorType, .vtable = &color_table, .methods = Color_methods, .pickle_guard = true},
    {.type = &ColorIteratorType, .module_attribute = false},
};
const vx::TypeImport imports[] = {
    {"vexlar.vector4.vector4", "Vector4", sizeof(VexlarVector4), &Vector4_type,
     reinterpret_cast<const void**>(&vector4_table)},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(color),
    .types = types,
    .imports = imports,
};
}  // namespace

VEXLAR_MODULE(color, info)
