// vexlar.rect.rect: Rect, an axis-aligned rectangle stored as a raylib Rectangle record
// (top-left corner and size, single precision; y grows downward).
//
// Precision rules: the receiver's far edges (x + width, y + height) are always summed in
// single precision; values coming from Python stay doubles until they are stored. The typed
// collision forms for Python objects compare with Python's own operators, so ints compare
// exactly and foreign number types take part on their own terms.
#include "vexlar/shared/framework.hpp"

using vx::Ref;

extern PyTypeObject RectType;
extern const VexlarRectTable rect_table;

namespace {

vx::Module& M = vx::the_module;

// The companions, filled in when the module initialises.
PyTypeObject* Vector2_type;
const VexlarVector2Table* vector2_table;
PyTypeObject* Vector4_type;
const VexlarVector4Table* vector4_table;

vx::Name name_x{"x"}, name_y{"y"}, name_z{"z"}, name_w{"w"};
const vx::Name* const components[] = {&name_x, &name_y, &name_z, &name_w};

constexpr vx::PickleText kPickle = {
    "vexlar.rect.rect.Rect cannot be pickled: pickling of the struct member self._raw has to be requested "
    "explicitly",
    "Rect.__reduce_guard__",
    "Rect.__setstate_guard__",
};

constexpr char kTakes[] = "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4";
constexpr char kFourItems[] = "list/tuple for rect must have 4 elements";
constexpr char kFirst[] = "First argument must be a Vector2 or list/tuple of length 2";
constexpr char kSecond[] = "Second argument must be a Vector2 or list/tuple of length 2";
constexpr char kPointShape[] = "Point must be a Vector2, tuple, or list of length 2";
constexpr char kRectShape[] = "rect for collision must be a Rect, Vector4, tuple, or list of length 4";

//------------------------------------------------------------------------------------------
// Plain helpers
//------------------------------------------------------------------------------------------

inline VexlarRect* as_rect(PyObject* o) noexcept { return vx::as<VexlarRect>(o); }
inline bool is_rect(PyObject* o) noexcept { return PyObject_TypeCheck(o, &RectType); }
inline bool is_sequence(PyObject* o) noexcept { return PyTuple_Check(o) || PyList_Check(o); }
inline bool is_exact_sequence(PyObject* o) noexcept { return PyTuple_CheckExact(o) || PyList_CheckExact(o); }

inline float single(double d) noexcept { return static_cast<float>(d); }
inline float right_of(const Rectangle& r) noexcept { return r.x + r.width; }
inline float bottom_of(const Rectangle& r) noexcept { return r.y + r.height; }

// A NaN anywhere makes every comparison false; tested on the bits (see vx::is_nan).
template <class... D>
inline bool any_nan(D... values) noexcept {
    return (vx::is_nan(values) || ...);
}

inline void value_error(const char* message) noexcept { PyErr_SetString(PyExc_ValueError, message); }

// A new Rect holding `r`, through the type's allocator and without __init__.
VexlarRect* make(Rectangle r) noexcept {
    VexlarRect* o = vx::alloc<VexlarRect>(&RectType, &rect_table);
    if (o) [[likely]]
        o->_raw = r;
    return o;
}

//------------------------------------------------------------------------------------------
// Reading points and rectangles from Python objects
//------------------------------------------------------------------------------------------

// The first n of the attributes x, y, z, w of a vector, read and converted in that order.
int read_attributes(PyObject* o, int n, double* out) noexcept {
    for (int i = 0; i < n; ++i) {
        Ref v = Ref::steal(PyObject_GetAttr(o, components[i]->get()));
        if (!v || vx::failed(out[i] = vx::to_double(v.get()))) return -1;
    }
    return 0;
}

// Item i of a point or rectangle argument, as a new reference. An exact tuple or list is read
// directly, and a list may have shrunk while Python code ran: an item that is no longer there
// raises the shape error. Anything else is subscripted as `seq[i]` would be.
PyObject* fetch_item(PyObject* seq, Py_ssize_t i, const char* shape) noexcept {
    if (is_exact_sequence(seq)) {
        if (i >= Py_SIZE(seq)) {
            value_error(shape);
            return nullptr;
        }
        return Py_NewRef(PyTuple_CheckExact(seq) ? PyTuple_GET_ITEM(seq, i) : PyList_GET_ITEM(seq, i));
    }
    Ref index = Ref::steal(PyLong_FromSsize_t(i));
    return index ? PyObject_GetItem(seq, index.get()) : nullptr;
}

// A tuple or list (subclasses too) of exactly n numbers, converted to doubles in order.
int read_items(PyObject* seq, Py_ssize_t n, double* out, const char* shape) noexcept {
    const Py_ssize_t length = PyObject_Length(seq);
    if (length < 0) return -1;
    if (length != n) {
        value_error(shape);
        return -1;
    }
    for (Py_ssize_t i = 0; i < n; ++i) {
        Ref item = Ref::steal(fetch_item(seq, i, shape));
        if (!item || vx::failed(out[i] = vx::to_double(item.get()))) return -1;
    }
    return 0;
}

// Two numbers from a Vector2, or from a tuple or list of length 2.
int read_pair(PyObject* o, double* out, const char* shape) noexcept {
    if (PyObject_TypeCheck(o, Vector2_type)) return read_attributes(o, 2, out);
    if (is_sequence(o)) return read_items(o, 2, out, shape);
    value_error(shape);
    return -1;
}

// Four numbers from a Rect, a Vector4 (x, y, z, w), or a tuple or list of length 4.
int read_quad(PyObject* o, double* out, const char* wrong_length, const char* wrong_type) noexcept {
    if (is_rect(o)) {
        const Rectangle r = as_rect(o)->_raw;
        out[0] = r.x, out[1] = r.y, out[2] = r.width, out[3] = r.height;
        return 0;
    }
    if (PyObject_TypeCheck(o, Vector4_type)) return read_attributes(o, 4, out);
    if (is_sequence(o)) return read_items(o, 4, out, wrong_length);
    value_error(wrong_type);
    return -1;
}

//------------------------------------------------------------------------------------------
// Collision tests: 1 or 0, or -1 with an exception
//------------------------------------------------------------------------------------------

// A point on or inside the four edges is inside.
int contains(const Rectangle& r, double px, double py) noexcept {
    const double x = r.x, y = r.y, right = right_of(r), bottom = bottom_of(r);
    if (any_nan(px, py, x, y, right, bottom)) return 0;
    return px >= x && px <= right && py >= y && py <= bottom;
}

// Rectangles overlap when each starts before the other ends, on both axes; touching is not
// overlapping. The other rectangle comes as its edges.
int overlaps(const Rectangle& r, double ox, double ox_end, double oy, double oy_end) noexcept {
    const double x = r.x, y = r.y, right = right_of(r), bottom = bottom_of(r);
    if (any_nan(ox, ox_end, oy, oy_end, x, y, right, bottom)) return 0;
    return ox_end > x && right > ox && oy_end > y && bottom > oy;
}

int point_any(VexlarRect* self, PyObject* point) noexcept {
    double p[2];
    if (read_pair(point, p, kPointShape) < 0) return -1;
    return contains(self->_raw, p[0], p[1]);
}

int rect_any(VexlarRect* self, PyObject* other) noexcept {
    double o[4];
    if (read_quad(other, o, kRectShape, kRectShape) < 0) return -1;
    return overlaps(self->_raw, o[0], o[0] + o[2], o[1], o[1] + o[3]);
}

int rect_rect(VexlarRect* self, VexlarRect* other) noexcept {
    if (!is_rect(vx::py(other))) {   // None has no record to read
        vx::raise::arg_type("other", RectType.tp_name, vx::py(other));
        return -1;
    }
    const Rectangle o = other->_raw;
    return overlaps(self->_raw, o.x, right_of(o), o.y, bottom_of(o));
}

// The typed forms for Python objects read component k (0 x, 1 y, 2 z or width, 3 w or height)
// of their argument afresh each time and compare with Python's operators.
using Fetch = PyObject* (*)(PyObject* o, int k) noexcept;

PyObject* attribute(PyObject* o, int k) noexcept { return PyObject_GetAttr(o, components[k]->get()); }
template <const char* Shape>
PyObject* item(PyObject* o, int k) noexcept { return fetch_item(o, k, Shape); }

// An exact tuple or list shorter than what a typed form reads; then the shape error is set.
bool too_short(PyObject* seq, Py_ssize_t needed, const char* shape) noexcept {
    if (!is_exact_sequence(seq) || Py_SIZE(seq) >= needed) return false;
    value_error(shape);
    return true;
}

// `a op b` with Python's comparison; a C number on either side becomes a Python float.
int compare(PyObject* a, PyObject* b, int op) noexcept { return PyObject_RichCompareBool(a, b, op); }
int compare(double a, PyObject* b, int op) noexcept {
    Ref f = Ref::steal(PyFloat_FromDouble(a));
    return f ? compare(f.get(), b, op) : -1;
}
int compare(PyObject* a, double b, int op) noexcept {
    Ref f = Ref::steal(PyFloat_FromDouble(b));
    return f ? compare(a, f.get(), op) : -1;
}

// x <= px <= x + width, then y <= py <= y + height; py is not read when the x part fails.
int point_python(VexlarRect* self, PyObject* point, Fetch fetch) noexcept {
    for (int k = 0; k < 2; ++k) {
        const Rectangle& r = self->_raw;
        const float start = k ? r.y : r.x;
        Ref p = Ref::steal(fetch(point, k));
        if (!p) return -1;
        int t = compare(start, p.get(), Py_LE);
        if (t <= 0) return t;
        t = compare(p.get(), static_cast<double>(k ? bottom_of(r) : right_of(r)), Py_LE);
        if (t <= 0) return t;
    }
    return 1;
}

// x < other.x + other.z; other.x < x + width; then the same on y with other.y and other.w.
int rect_python(VexlarRect* self, PyObject* other, Fetch fetch) noexcept {
    for (int k = 0; k < 2; ++k) {
        const Rectangle& r = self->_raw;
        Ref start = Ref::steal(PyFloat_FromDouble(k ? r.y : r.x));
        if (!start) return -1;
        Ref o = Ref::steal(fetch(other, k));
        if (!o) return -1;
        Ref size = Ref::steal(fetch(other, k + 2));
        if (!size) return -1;
        Ref end = Ref::steal(PyNumber_Add(o.get(), size.get()));
        if (!end) return -1;
        int t = compare(start.get(), end.get(), Py_LT);
        if (t <= 0) return t;
        o = Ref::steal(fetch(other, k));
        if (!o) return -1;
        t = compare(o.get(), static_cast<double>(k ? bottom_of(self->_raw) : right_of(self->_raw)), Py_LT);
        if (t <= 0) return t;
    }
    return 1;
}

int point_vector2(VexlarRect* self, VexlarVector2* point) noexcept { return point_python(self, vx::py(point), attribute); }
int point_sequence(VexlarRect* self, PyObject* point) noexcept {
    return too_short(point, 2, kPointShape) ? -1 : point_python(self, point, item<kPointShape>);
}
int rect_vector4(VexlarRect* self, VexlarVector4* other) noexcept { return rect_python(self, vx::py(other), attribute); }
int rect_sequence(VexlarRect* self, PyObject* other) noexcept {
    return too_short(other, 4, kRectShape) ? -1 : rect_python(self, other, item<kRectShape>);
}

//------------------------------------------------------------------------------------------
// Conversions
//------------------------------------------------------------------------------------------

PyObject* width_of(VexlarRect* self) noexcept { return PyFloat_FromDouble(self->_raw.width); }
PyObject* height_of(VexlarRect* self) noexcept { return PyFloat_FromDouble(self->_raw.height); }
PyObject* tuple_of(VexlarRect* self) noexcept {
    const Rectangle r = self->_raw;
    return vx::tuple_of(static_cast<double>(r.x), static_cast<double>(r.y), static_cast<double>(r.width),
                        static_cast<double>(r.height));
}
VexlarVector4* vector4_of(VexlarRect* self) noexcept {
    const Rectangle r = self->_raw;
    return vector4_table->new_(r.x, r.y, r.width, r.height);
}

//------------------------------------------------------------------------------------------
// Overridable slots and their Python-level methods
//
// Each slot first honours a Python subclass's override of the method of the same name; each
// Python-level method runs its slot's built-in body (skip_dispatch 1).
//------------------------------------------------------------------------------------------

struct Overridable {
    vx::Name name;
    const char* qualname;   // traceback name of the slot
    Overridable(const char* n, const char* q) noexcept : name(n), qualname(q) {}
};

#define VX_OVERRIDABLE(n) Overridable o_##n{#n, "Rect." #n};
VX_OVERRIDABLE(get_width) VX_OVERRIDABLE(get_height) VX_OVERRIDABLE(get_vector4) VX_OVERRIDABLE(get_tuple)
VX_OVERRIDABLE(collide_point) VX_OVERRIDABLE(collide_point_vector2) VX_OVERRIDABLE(collide_point_tuple)
VX_OVERRIDABLE(collide_point_list) VX_OVERRIDABLE(collide_rect) VX_OVERRIDABLE(collide_rect_vector4)
VX_OVERRIDABLE(collide_rect_rect) VX_OVERRIDABLE(collide_rect_tuple) VX_OVERRIDABLE(collide_rect_list)
#undef VX_OVERRIDABLE

template <class F> struct argument_of;
template <class A> struct argument_of<int (*)(VexlarRect*, A) noexcept> { using type = A; };
template <auto Test> using Arg = typename argument_of<decltype(Test)>::type;

// Truth-value slots: 1 or 0, or 0 with an exception.
template <auto Test, const Overridable& O>
int truth_slot(VexlarRect* self, Arg<Test> arg, int skip_dispatch) noexcept;

template <auto Test, const Overridable& O>
PyObject* truth_method(VexlarRect* self, Arg<Test> arg) noexcept {
    const int r = truth_slot<Test, O>(self, arg, 1);
    if (!r && PyErr_Occurred()) return nullptr;
    return PyBool_FromLong(r);
}

template <auto Test, const Overridable& O>
int truth_slot(VexlarRect* self, Arg<Test> arg, int skip_dispatch) noexcept {
    vx::Truth r;
    if (int rc = vx::call_override(r, vx::py(self), skip_dispatch, O.name, vx::body_of<truth_method<Test, O>>, arg))
        return rc < 0 ? M.fail_zero(O.qualname) : r.value;
    const int v = Test(self, arg);
    return v < 0 ? M.fail_zero(O.qualname) : v;
}

// Object slots: a new reference, or nullptr. A Vector4 result is declared as such, so an
// override must return a Vector4 or None.
template <class R, R* (*Make)(VexlarRect*) noexcept, const Overridable& O>
R* object_slot(VexlarRect* self, int skip_dispatch) noexcept;

template <class R, R* (*Make)(VexlarRect*) noexcept, const Overridable& O>
R* object_method(VexlarRect* self) noexcept {
    return object_slot<R, Make, O>(self, 1);
}

template <class R, R* (*Make)(VexlarRect*) noexcept, const Overridable& O>
R* object_slot(VexlarRect* self, int skip_dispatch) noexcept {
    constexpr vx::Body own = vx::body_of<object_method<R, Make, O>>;
    if constexpr (std::is_same_v<R, PyObject>) {
        PyObject* r;
        if (int rc = vx::call_override(r, vx::py(self), skip_dispatch, O.name, own))
            return rc < 0 ? M.fail(O.qualname) : r;
    } else {
        vx::Typed<R> r{nullptr, Vector4_type};
        if (int rc = vx::call_override(r, vx::py(self), skip_dispatch, O.name, own))
            return rc < 0 ? M.fail(O.qualname) : r.value;
    }
    R* v = Make(self);
    return v ? v : M.fail(O.qualname);
}

// The C method table's entries, by name.
constexpr auto Rect_get_width = object_slot<PyObject, width_of, o_get_width>;
constexpr auto Rect_get_height = object_slot<PyObject, height_of, o_get_height>;
constexpr auto Rect_collide_point = truth_slot<point_any, o_collide_point>;
constexpr auto Rect_collide_point_vector2 = truth_slot<point_vector2, o_collide_point_vector2>;
constexpr auto Rect_collide_point_tuple = truth_slot<point_sequence, o_collide_point_tuple>;
constexpr auto Rect_collide_point_list = truth_slot<point_sequence, o_collide_point_list>;
constexpr auto Rect_collide_rect = truth_slot<rect_any, o_collide_rect>;
constexpr auto Rect_collide_rect_vector4 = truth_slot<rect_vector4, o_collide_rect_vector4>;
constexpr auto Rect_collide_rect_rect = truth_slot<rect_rect, o_collide_rect_rect>;
constexpr auto Rect_collide_rect_tuple = truth_slot<rect_sequence, o_collide_rect_tuple>;
constexpr auto Rect_collide_rect_list = truth_slot<rect_sequence, o_collide_rect_list>;
constexpr auto Rect_get_vector4 = object_slot<VexlarVector4, vector4_of, o_get_vector4>;
constexpr auto Rect_get_tuple = object_slot<PyObject, tuple_of, o_get_tuple>;

VexlarRect* Rect_new(Rectangle record) noexcept {
    VexlarRect* r = make(record);
    return r ? r : M.fail("Rect.new");
}

//------------------------------------------------------------------------------------------
// Construction
//------------------------------------------------------------------------------------------

// __init__ by the number of positional arguments. Everything is converted before the record
// is written, so a failed construction leaves the record as it was.
int init_from(VexlarRect* self, PyObject* const* args, Py_ssize_t n) noexcept {
    double c[4] = {0.0, 0.0, 0.0, 0.0};
    switch (n) {
    case 0:
        break;
    case 1: {
        PyObject* a = args[0];
        if (PyObject_TypeCheck(a, Vector2_type)) {   // a size at the origin
            if (read_attributes(a, 2, c + 2) < 0) return -1;
            break;
        }
        if (is_rect(a)) {
            self->_raw = as_rect(a)->_raw;
            return 0;
        }
        if (read_quad(a, c, kFourItems, kTakes) < 0) return -1;
        break;
    }
    case 2:
        if (read_pair(args[0], c, kFirst) < 0 || read_pair(args[1], c + 2, kSecond) < 0) return -1;
        break;
    case 4:
        for (int i = 0; i < 4; ++i)
            if (vx::failed(c[i] = vx::to_double(args[i]))) return -1;
        break;
    default:
        PyErr_Format(PyExc_TypeError, "Rect expected 0, 1, 2, or 4 arguments, got %zd", n);
        return -1;
    }
    self->_raw = {single(c[0]), single(c[1]), single(c[2]), single(c[3])};
    return 0;
}

int Rect_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    if (vx::reject_kwdict("__init__", kwds) < 0 ||
        init_from(as_rect(self), &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args)) < 0)
        return M.fail_int("Rect.__init__");
    return 0;
}

// Calling the type itself: allocation and __init__ in one step, without an argument tuple.
// Subclasses do not inherit it and go through tp_new and tp_init.
PyObject* Rect_vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    if (vx::reject_kwnames("__init__", kwnames) < 0) return M.fail("Rect.__init__");
    Ref r = Ref::steal(vx::py(make({0.0f, 0.0f, 0.0f, 0.0f})));
    if (!r) return nullptr;
    if (init_from(as_rect(r.get()), args, PyVectorcall_NARGS(nargsf)) < 0) return M.fail("Rect.__init__");
    return r.release();
}

//------------------------------------------------------------------------------------------
// Sequence and mapping protocols, comparison, representation
//------------------------------------------------------------------------------------------

// Items 0 to 3 are x, y, width, height; negative indices are not counted from the end.
float* field(VexlarRect* self, Py_ssize_t i) noexcept {
    switch (i) {
    case 0: return &self->_raw.x;
    case 1: return &self->_raw.y;
    case 2: return &self->_raw.width;
    case 3: return &self->_raw.height;
    default: PyErr_SetString(PyExc_IndexError, "Rect index out of range"); return nullptr;
    }
}

void refuse_item_delete(PyObject* self) noexcept {
    PyErr_Format(PyExc_NotImplementedError, "Subscript %.10s not supported by %.200s", "deletion",
                 Py_TYPE(self)->tp_name);
}

Py_ssize_t Rect_length(PyObject*) noexcept { return 4; }

PyObject* Rect_sq_item(PyObject* self, Py_ssize_t i) noexcept {
    float* f = field(as_rect(self), i);
    PyObject* r = f ? PyFloat_FromDouble(*f) : nullptr;
    return r ? r : M.fail("Rect.__getitem__");
}

// The value is converted before the index is examined: a non-number fails as such anywhere.
int assign_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
    const double d = vx::to_double(value);
    if (vx::failed(d)) return -1;
    float* f = field(as_rect(self), i);
    if (!f) return -1;
    *f = single(d);
    return 0;
}

int Rect_sq_ass_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
    if (!value) refuse_item_delete(self);
    if (!value || assign_item(self, i, value) < 0) return M.fail_int("Rect.__setitem__");
    return 0;
}

PyObject* Rect_mp_subscript(PyObject* self, PyObject* key) noexcept {
    const Py_ssize_t i = vx::to_index(key);
    if (i == -1 && PyErr_Occurred()) return M.fail("Rect.__getitem__");
    return Rect_sq_item(self, i);
}

int Rect_mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
    Py_ssize_t i = 0;
    if (value) {
        i = vx::to_index(key);
        if (i == -1 && PyErr_Occurred()) return M.fail_int("Rect.__setitem__");
    }
    return Rect_sq_ass_item(self, i, value);
}

inline bool same(float a, float b) noexcept { return !any_nan(a, b) && a == b; }

// Equal to another Rect with the same four numbers; unequal to everything else. Never
// NotImplemented for == and !=, so the answer is the same from either side.
PyObject* Rect_richcompare(PyObject* self, PyObject* other, int op) noexcept {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    bool equal = false;
    if (is_rect(other)) {
        const Rectangle a = as_rect(self)->_raw, b = as_rect(other)->_raw;
        equal = same(a.x, b.x) && same(a.y, b.y) && same(a.width, b.width) && same(a.height, b.height);
    }
    return PyBool_FromLong(equal == (op == Py_EQ));
}

PyObject* Rect_repr(PyObject* self) noexcept {
    const Rectangle r = as_rect(self)->_raw;
    Ref x = Ref::steal(PyFloat_FromDouble(r.x)), w = Ref::steal(PyFloat_FromDouble(r.width));
    PyObject* text = x && w ? PyUnicode_FromFormat("Rect(position=%R, size=%R)", x.get(), w.get()) : nullptr;
    return text ? text : M.fail("Rect.__repr__");
}

void Rect_dealloc(PyObject* self) noexcept { Py_TYPE(self)->tp_free(self); }

//------------------------------------------------------------------------------------------
// Properties; the closure holds the traceback names of the reader and the writer
//------------------------------------------------------------------------------------------

struct PropertyNames {
    const char* get;
    const char* set;
};
inline const char* get_name(void* closure) noexcept { return static_cast<const PropertyNames*>(closure)->get; }
inline const char* set_name(void* closure) noexcept { return static_cast<const PropertyNames*>(closure)->set; }

inline PyObject* new_float(double d, void* closure) noexcept {
    PyObject* r = PyFloat_FromDouble(d);
    return r ? r : M.fail(get_name(closure));
}

template <float Rectangle::*F>
PyObject* get_field(PyObject* self, void* closure) noexcept {
    return new_float(as_rect(self)->_raw.*F, closure);
}

template <float Rectangle::*F>
int set_field(PyObject* self, PyObject* value, void* closure) noexcept {
    if (vx::refuse_delete(value)) return M.fail_int(set_name(closure));
    const double d = vx::to_double(value);
    if (vx::failed(d)) return M.fail_int(set_name(closure));
    as_rect(self)->_raw.*F = single(d);
    return 0;
}

// `value - offset` by Python's own subtraction, as a double; -1.0 with an exception on failure.
// Exact floats and ints subtract as Python would, without the round trip.
double minus(PyObject* value, double offset) noexcept {
    if (PyFloat_CheckExact(value) || PyLong_CheckExact(value)) {
        const double v = vx::to_double(value);
        return vx::failed(v) ? -1.0 : v - offset;
    }
    Ref f = Ref::steal(PyFloat_FromDouble(offset));
    if (!f) return -1.0;
    Ref diff = Ref::steal(PyNumber_Subtract(value, f.get()));
    return diff ? vx::to_double(diff.get()) : -1.0;
}

// Anchors along one axis: Share 1 is the far edge (right, bottom), read as a single-precision
// sum; Share 0.5 the centre (centerx, centery), read in double. Writing moves the rectangle
// and keeps its size.
template <float Rectangle::*Pos, float Rectangle::*Size, double Share>
PyObject* get_anchor(PyObject* self, void* closure) noexcept {
    const Rectangle& r = as_rect(self)->_raw;
    if constexpr (Share == 1.0)
        return new_float(r.*Pos + r.*Size, closure);
    else
        return new_float(static_cast<double>(r.*Pos) + static_cast<double>(r.*Size) * Share, closure);
}

template <float Rectangle::*Pos, float Rectangle::*Size, double Share>
int set_anchor(PyObject* self, PyObject* value, void* closure) noexcept {
    if (vx::refuse_delete(value)) return M.fail_int(set_name(closure));
    const double d = minus(value, static_cast<double>(as_rect(self)->_raw.*Size) * Share);
    if (vx::failed(d)) return M.fail_int(set_name(closure));
    as_rect(self)->_raw.*Pos = single(d);
    return 0;
}

PyObject* get_center(PyObject* self, void* closure) noexcept {
    const Rectangle r = as_rect(self)->_raw;
    VexlarVector2* v = vector2_table->new_(static_cast<double>(r.x) + static_cast<double>(r.width) * 0.5,
                                           static_cast<double>(r.y) + static_cast<double>(r.height) * 0.5);
    return v ? vx::py(v) : M.fail(get_name(closure));
}

// A Vector2 gives its x and y; anything else is subscripted with 0 and 1, unchecked.
int read_center(PyObject* value, double* out) noexcept {
    if (PyObject_TypeCheck(value, Vector2_type)) return read_attributes(value, 2, out);
    for (int i = 0; i < 2; ++i) {
        Ref index = Ref::steal(PyLong_FromLong(i));
        Ref item = Ref::steal(index ? PyObject_GetItem(value, index.get()) : nullptr);
        if (!item || vx::failed(out[i] = vx::to_double(item.get()))) return -1;
    }
    return 0;
}

int set_center(PyObject* self, PyObject* value, void* closure) noexcept {
    if (vx::refuse_delete(value)) return M.fail_int(set_name(closure));
    double c[2];
    if (read_center(value, c) < 0) return M.fail_int(set_name(closure));
    Rectangle& r = as_rect(self)->_raw;
    const float x = single(c[0] - static_cast<double>(r.width) * 0.5);
    const float y = single(c[1] - static_cast<double>(r.height) * 0.5);
    r.x = x;
    r.y = y;
    return 0;
}

#define VX_NAMES(n) constexpr PropertyNames names_##n{"Rect." #n ".__get__", "Rect." #n ".__set__"};
VX_NAMES(x) VX_NAMES(left) VX_NAMES(y) VX_NAMES(top) VX_NAMES(w) VX_NAMES(width) VX_NAMES(h) VX_NAMES(height)
VX_NAMES(right) VX_NAMES(bottom) VX_NAMES(centerx) VX_NAMES(centery) VX_NAMES(center)
#undef VX_NAMES

#define VX_PROPERTY(n, get, set) {#n, get, set, nullptr, const_cast<PropertyNames*>(&names_##n)}
#define VX_FIELD(n, f) VX_PROPERTY(n, get_field<&Rectangle::f>, set_field<&Rectangle::f>)
#define VX_ANCHOR(n, pos, size, share) \
    VX_PROPERTY(n, (get_anchor<&Rectangle::pos, &Rectangle::size, share>), (set_anchor<&Rectangle::pos, &Rectangle::size, share>))

PyGetSetDef Rect_getset[] = {
    VX_FIELD(x, x),
    VX_FIELD(left, x),
    VX_FIELD(y, y),
    VX_FIELD(top, y),
    VX_FIELD(w, width),
    VX_FIELD(width, width),
    VX_FIELD(h, height),
    VX_FIELD(height, height),
    VX_ANCHOR(right, x, width, 1.0),
    VX_ANCHOR(bottom, y, height, 1.0),
    VX_ANCHOR(centerx, x, width, 0.5),
    VX_ANCHOR(centery, y, height, 0.5),
    VX_PROPERTY(center, get_center, set_center),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef VX_PROPERTY
#undef VX_FIELD
#undef VX_ANCHOR

//------------------------------------------------------------------------------------------
// Method and protocol tables
//------------------------------------------------------------------------------------------

template <auto Test, const Overridable& O>
constexpr auto collide = truth_method<Test, O>;

const vx::MethodDef Rect_methods[] = {
    vx::method<object_method<PyObject, width_of, o_get_width>>("get_width"),
    vx::method<object_method<PyObject, height_of, o_get_height>>("get_height"),
    vx::method<collide<point_any, o_collide_point>>("collide_point", vx::arg("point")),
    vx::method<collide<point_vector2, o_collide_point_vector2>>("collide_point_vector2",
                                                                 vx::arg_or_none(vx::arg("point", &Vector2_type))),
    vx::method<collide<point_sequence, o_collide_point_tuple>>("collide_point_tuple",
                                                                vx::arg_or_none(vx::arg_exact("point", &PyTuple_Type))),
    vx::method<collide<point_sequence, o_collide_point_list>>("collide_point_list",
                                                               vx::arg_or_none(vx::arg_exact("point", &PyList_Type))),
    vx::method<collide<rect_any, o_collide_rect>>("collide_rect", vx::arg("other")),
    vx::method<collide<rect_vector4, o_collide_rect_vector4>>("collide_rect_vector4",
                                                               vx::arg_or_none(vx::arg("other", &Vector4_type))),
    // None is refused here too: there is no record to compare with.
    vx::method<collide<rect_rect, o_collide_rect_rect>>("collide_rect_rect", vx::arg("other", &RectType)),
    vx::method<collide<rect_sequence, o_collide_rect_tuple>>("collide_rect_tuple",
                                                              vx::arg_or_none(vx::arg_exact("other", &PyTuple_Type))),
    vx::method<collide<rect_sequence, o_collide_rect_list>>("collide_rect_list",
                                                             vx::arg_or_none(vx::arg_exact("other", &PyList_Type))),
    vx::method<object_method<VexlarVector4, vector4_of, o_get_vector4>>("get_vector4"),
    vx::method<object_method<PyObject, tuple_of, o_get_tuple>>("get_tuple"),
};

PySequenceMethods Rect_as_sequence = {
    .sq_length = Rect_length,
    .sq_item = Rect_sq_item,
    .sq_ass_item = Rect_sq_ass_item,
};

PyMappingMethods Rect_as_mapping = {
    .mp_length = Rect_length,
    .mp_subscript = Rect_mp_subscript,
    .mp_ass_subscript = Rect_mp_ass_subscript,
};

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type object, module
//------------------------------------------------------------------------------------------

const VexlarRectTable rect_table = {
    .new_ = Rect_new,
    .get_width = Rect_get_width,
    .get_height = Rect_get_height,
    .collide_point = Rect_collide_point,
    .collide_point_vector2 = Rect_collide_point_vector2,
    .collide_point_tuple = Rect_collide_point_tuple,
    .collide_point_list = Rect_collide_point_list,
    .collide_rect = Rect_collide_rect,
    .collide_rect_vector4 = Rect_collide_rect_vector4,
    .collide_rect_rect = Rect_collide_rect_rect,
    .collide_rect_tuple = Rect_collide_rect_tuple,
    .collide_rect_list = Rect_collide_rect_list,
    .get_vector4 = Rect_get_vector4,
    .get_tuple = Rect_get_tuple,
};

PyTypeObject RectType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.rect.rect.Rect",
    .tp_basicsize = sizeof(VexlarRect),
    .tp_dealloc = Rect_dealloc,
    .tp_repr = Rect_repr,
    .tp_as_sequence = &Rect_as_sequence,
    .tp_as_mapping = &Rect_as_mapping,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_richcompare = Rect_richcompare,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Rect_getset,
    .tp_init = Rect_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarRect, VexlarRectTable, &rect_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = Rect_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &RectType, .vtable = &rect_table, .methods = Rect_methods, .pickle_guard = true},
};
const vx::TypeImport imports[] = {
    {"vexlar.vector2.vector2", "Vector2", sizeof(VexlarVector2), &Vector2_type,
     reinterpret_cast<const void**>(&vector2_table)},
    {"vexlar.vector4.vector4", "Vector4", sizeof(VexlarVector4), &Vector4_type,
     reinterpret_cast<const void**>(&vector4_table)},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(rect),
    .types = types,
    .imports = imports,
};
}  // namespace

VEXLAR_MODULE(rect, info)
