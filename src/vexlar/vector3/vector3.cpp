// vexlar.vector3.vector3: Vector3, a mutable three-component single-precision vector stored as
// a raylib Vector3 record.
//
// Precision rules: vector-vector arithmetic, length, dot and cross work on the stored singles;
// operations with a Python scalar, distances and the normalisation scale work in double and
// round once when they store. The type is final, so skip_dispatch is always ignored.
#include <cmath>
#include <cstring>

#include "vexlar/shared/framework.hpp"

using vx::Ref;
using Vec = VexlarVector3;

extern PyTypeObject Vector3Type;
extern const VexlarVector3Table vector3_table;

namespace {

vx::Module& M = vx::the_module;
vx::Name name_marker{"clamp_magnitude_ip"};   // marks a foreign three-component vector
vx::Name name_x{"x"}, name_y{"y"}, name_z{"z"};

constexpr vx::PickleText kPickle = {
    "vexlar.vector3.vector3.Vector3 cannot be pickled: pickling of the struct member self.data has to be "
    "requested explicitly",
    "Vector3.__reduce_guard__",
    "Vector3.__setstate_guard__",
};

//------------------------------------------------------------------------------------------
// Plain helpers: creation and the arithmetic on records
//------------------------------------------------------------------------------------------

inline bool is_vec(PyObject* o) noexcept { return Py_IS_TYPE(o, &Vector3Type); }
inline Vec* as_vec(PyObject* o) noexcept { return vx::as<Vec>(o); }

// A new vector holding `v`, through the type's allocator and without __init__.
Vec* make(Vector3 v) noexcept {
    Vec* o = vx::alloc<Vec>(&Vector3Type, &vector3_table);
    if (o) [[likely]]
        o->data = v;
    return o;
}

inline float single(double d) noexcept { return static_cast<float>(d); }

// Flipping or clearing the sign bit directly keeps -0.0 meaningful in a fast-math build.
inline float flip_sign(float c) noexcept {
    uint32_t b;
    std::memcpy(&b, &c, 4);
    b ^= 0x80000000u;
    std::memcpy(&c, &b, 4);
    return c;
}
inline float clear_sign(float c) noexcept {
    uint32_t b;
    std::memcpy(&b, &c, 4);
    b &= 0x7fffffffu;
    std::memcpy(&c, &b, 4);
    return c;
}

// Halves away from zero, like roundf: 0.49999997f is the largest single below one half.
inline float round_half_away(float c) noexcept { return std::trunc(c + std::copysign(0.49999997f, c)); }

inline Vector3 add(Vector3 a, Vector3 b) noexcept { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 sub(Vector3 a, Vector3 b) noexcept { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 mul(Vector3 a, Vector3 b) noexcept { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline Vector3 neg(Vector3 a) noexcept { return {flip_sign(a.x), flip_sign(a.y), flip_sign(a.z)}; }
inline Vector3 abs(Vector3 a) noexcept { return {clear_sign(a.x), clear_sign(a.y), clear_sign(a.z)}; }
inline Vector3 round(Vector3 a) noexcept { return {round_half_away(a.x), round_half_away(a.y), round_half_away(a.z)}; }
inline float squared_length(Vector3 a) noexcept { return a.x * a.x + a.y * a.y + a.z * a.z; }
inline float dot(Vector3 a, Vector3 b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vector3 normalized(Vector3 a) noexcept {
    const float s = squared_length(a);
    if (s == 0.0f) return {0.0f, 0.0f, 0.0f};
    const double r = 1.0 / static_cast<double>(std::sqrt(s));
    return {single(a.x * r), single(a.y * r), single(a.z * r)};
}

inline double distance_squared(Vector3 a, Vector3 b) noexcept {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return static_cast<double>(dx) * dx + static_cast<double>(dy) * dy + static_cast<double>(dz) * dz;
}

inline Vector3 cross(Vector3 a, Vector3 b) noexcept {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A component as a 32-bit int (truncated), or false when it does not fit (infinities, NaN).
inline bool fits_int32(float c) noexcept {
    uint32_t b;
    std::memcpy(&b, &c, 4);
    if (((b >> 23) & 0xffu) == 0xffu) return false;
    return std::fabs(c) < 2147483648.0f || c == -2147483648.0f;
}

PyObject* int_tuple(Vector3 v, const char* qualname) noexcept {
    if (!fits_int32(v.x) || !fits_int32(v.y) || !fits_int32(v.z)) [[unlikely]] {
        PyErr_SetString(PyExc_OverflowError, "Vector3 component does not fit a 32-bit int");
        return M.fail(qualname);
    }
    PyObject* t = vx::tuple_of(static_cast<int>(v.x), static_cast<int>(v.y), static_cast<int>(v.z));
    return t ? t : M.fail(qualname);
}

PyObject* float_tuple(Vector3 v, const char* qualname) noexcept {
    PyObject* t = vx::tuple_of(static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z));
    return t ? t : M.fail(qualname);
}

// The first three items of an exact tuple or list, converted to doubles. Items are held while
// they convert: a conversion that runs Python code may shrink the sequence.
Vec* from_items(PyObject* seq, const char* func) noexcept {
    const Py_ssize_t n = PyTuple_Check(seq) ? PyTuple_GET_SIZE(seq) : PyList_GET_SIZE(seq);
    if (n < 3) [[unlikely]] {
        PyErr_Format(PyExc_ValueError, "%s() needs at least 3 items (%zd given)", func, n);
        return nullptr;
    }
    PyObject* const* items = PyTuple_Check(seq) ? &PyTuple_GET_ITEM(seq, 0) : &PyList_GET_ITEM(seq, 0);
    Ref held[3] = {Ref::borrow(items[0]), Ref::borrow(items[1]), Ref::borrow(items[2])};
    double c[3];
    for (int i = 0; i < 3; ++i)
        if (vx::failed(c[i] = vx::to_double(held[i].get()))) return nullptr;
    return make({single(c[0]), single(c[1]), single(c[2])});
}

//------------------------------------------------------------------------------------------
// C method table slots
//------------------------------------------------------------------------------------------

Vec* Vector3_new(double x, double y, double z) noexcept {
    Vec* v = make({single(x), single(y), single(z)});
    return v ? v : M.fail("Vector3.new");
}
Vec* Vector3_cfrom_list(PyObject* list) noexcept {
    Vec* v = from_items(list, "cfrom_list");
    return v ? v : M.fail("Vector3.cfrom_list");
}
Vec* Vector3_cfrom_tuple(PyObject* tuple) noexcept {
    Vec* v = from_items(tuple, "cfrom_tuple");
    return v ? v : M.fail("Vector3.cfrom_tuple");
}
Vec* Vector3_cfrom_ints(int x, int y, int z) noexcept { return Vector3_new(x, y, z); }
Vec* Vector3_cfrom_floats(float x, float y, float z) noexcept { return Vector3_new(x, y, z); }
Vec* Vector3_cfrom_vector3(Vec* other) noexcept {
    Vec* v = make(other->data);
    return v ? v : M.fail("Vector3.cfrom_vector3");
}
Vec* Vector3_cfrom_xyz(double x, double y, double z) noexcept { return Vector3_new(x, y, z); }

Vec* Vector3__add(Vec* self, Vec* other) noexcept {
    Vec* v = make(add(self->data, other->data));
    return v ? v : M.fail("Vector3._add");
}
Vec* Vector3__sub(Vec* self, Vec* other) noexcept {
    Vec* v = make(sub(self->data, other->data));
    return v ? v : M.fail("Vector3._sub");
}
void Vector3__iadd(Vec* self, Vec* other) noexcept { self->data = add(self->data, other->data); }
void Vector3__isub(Vec* self, Vec* other) noexcept { self->data = sub(self->data, other->data); }
void Vector3__imul(Vec* self, Vec* other) noexcept { self->data = mul(self->data, other->data); }
void Vector3__sadd(Vec* self, Vec* new_vec, Vec* old_vec) noexcept { self->data = add(new_vec->data, old_vec->data); }
void Vector3_sadd(Vec* self, Vec* new_vec, Vec* old_vec, int) noexcept { Vector3__sadd(self, new_vec, old_vec); }

PyObject* Vector3_c_get_tuple(Vec* self) noexcept { return float_tuple(self->data, "Vector3.c_get_tuple"); }
PyObject* Vector3_get_tuple(Vec* self, int) noexcept { return float_tuple(self->data, "Vector3.get_tuple"); }

// The to_ slots change the vector and hand it back; the get_ slots leave it and make a new one.
Vec* in_place(Vec* self, Vector3 v) noexcept {
    self->data = v;
    Py_INCREF(self);
    return self;
}
Vec* copy_of(Vector3 v, const char* qualname) noexcept {
    Vec* r = make(v);
    return r ? r : M.fail(qualname);
}
Vec* Vector3_to_round(Vec* self, int) noexcept { return in_place(self, round(self->data)); }
Vec* Vector3_get_round(Vec* self, int) noexcept { return copy_of(round(self->data), "Vector3.get_round"); }
Vec* Vector3_to_abs(Vec* self, int) noexcept { return in_place(self, abs(self->data)); }
Vec* Vector3_get_abs(Vec* self, int) noexcept { return copy_of(abs(self->data), "Vector3.get_abs"); }
Vec* Vector3_to_neg(Vec* self, int) noexcept { return in_place(self, neg(self->data)); }
Vec* Vector3_get_neg(Vec* self, int) noexcept { return copy_of(neg(self->data), "Vector3.get_neg"); }
PyObject* Vector3_get_int_tuple(Vec* self, int) noexcept { return int_tuple(self->data, "Vector3.get_int_tuple"); }
PyObject* Vector3_get_rounded_tuple(Vec* self, int) noexcept {
    return int_tuple(round(self->data), "Vector3.get_rounded_tuple");
}
Vec* Vector3_copy(Vec* self, int) noexcept { return copy_of(self->data, "Vector3.copy"); }
Vec* Vector3_to_normalized(Vec* self, int) noexcept { return in_place(self, normalized(self->data)); }
Vec* Vector3_get_normalized(Vec* self, int) noexcept { return copy_of(normalized(self->data), "Vector3.get_normalized"); }
double Vector3_distance_to(Vec* self, Vec* other, int) noexcept { return std::sqrt(distance_squared(self->data, other->data)); }
double Vector3_distance_squared_to(Vec* self, Vec* other, int) noexcept { return distance_squared(self->data, other->data); }
double Vector3_dot(Vec* self, Vec* other, int) noexcept { return dot(self->data, other->data); }
Vec* Vector3_cross(Vec* self, Vec* other, int) noexcept { return copy_of(cross(self->data, other->data), "Vector3.cross"); }

//------------------------------------------------------------------------------------------
// Construction
//------------------------------------------------------------------------------------------

// Stores the float32 conversion of `value` into component `c`; -1 with the exception.
inline int store(float& c, PyObject* value) noexcept {
    const double d = vx::to_double(value);
    if (vx::failed(d)) return -1;
    c = single(d);
    return 0;
}

int store_attributes(Vec* self, PyObject* a) noexcept {
    float* components[] = {&self->data.x, &self->data.y, &self->data.z};
    const vx::Name* names[] = {&name_x, &name_y, &name_z};
    for (int i = 0; i < 3; ++i) {
        Ref value = Ref::steal(PyObject_GetAttr(a, names[i]->get()));
        if (!value || store(*components[i], value.get()) < 0) return -1;
    }
    return 0;
}

int store_sequence(Vec* self, PyObject* a) noexcept {
    const Py_ssize_t n = PyObject_Length(a);
    if (n < 0) return -1;
    if (n != 3) {
        PyErr_Format(PyExc_TypeError, "Vector3() takes a sequence of length 3, but got %zd", n);
        return -1;
    }
    float* components[] = {&self->data.x, &self->data.y, &self->data.z};
    for (Py_ssize_t i = 0; i < 3; ++i) {
        Ref item = Ref::steal(PySequence_GetItem(a, i));
        if (!item || store(*components[i], item.get()) < 0) return -1;
    }
    return 0;
}

// __init__ by the number of positional arguments; components are written one at a time.
int init_from(Vec* self, PyObject* const* args, Py_ssize_t n) noexcept {
    switch (n) {
    case 0:
        self->data = {0.0f, 0.0f, 0.0f};
        return 0;
    case 1: {
        PyObject* a = args[0];
        if (is_vec(a)) {
            self->data = as_vec(a)->data;
            return 0;
        }
        int marked = PyObject_HasAttrWithError(a, name_marker.get());
        if (marked < 0) return -1;
        if (marked) return store_attributes(self, a);
        if (PyList_Check(a) || PyTuple_Check(a)) return store_sequence(self, a);
        Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(a)));
        if (type_name) PyErr_Format(PyExc_TypeError, "Vector3() invalid constructor argument: %U", type_name.get());
        return -1;
    }
    case 3:
        if (store(self->data.x, args[0]) < 0 || store(self->data.y, args[1]) < 0 || store(self->data.z, args[2]) < 0)
            return -1;
        return 0;
    default:
        PyErr_Format(PyExc_TypeError, "Vector3() takes 0, 1, or 3 arguments, but %zd were given", n);
        return -1;
    }
}

int Vector3_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    if (vx::reject_kwdict("__init__", kwds) < 0 ||
        init_from(as_vec(self), &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args)) < 0)
        return M.fail_int("Vector3.__init__");
    return 0;
}

// Calling the type: allocation and __init__ in one step, without an argument tuple.
PyObject* Vector3_vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    if (vx::reject_kwnames("__init__", kwnames) < 0) return M.fail("Vector3.__init__");
    Ref v = Ref::steal(vx::py(make({0.0f, 0.0f, 0.0f})));
    if (!v) return nullptr;
    if (init_from(as_vec(v.get()), args, PyVectorcall_NARGS(nargsf)) < 0) return M.fail("Vector3.__init__");
    return v.release();
}

//------------------------------------------------------------------------------------------
// Python-level methods (static constructors, copying, arithmetic, geometry)
//------------------------------------------------------------------------------------------

Vec* from_vector3(Vec* other) noexcept { return Vector3_cfrom_vector3(other); }
Vec* from_tuple(PyObject* other) noexcept { return from_items(other, "from_tuple"); }
Vec* from_list(PyObject* other) noexcept { return from_items(other, "from_list"); }

// Converts all three arguments, in order, before the vector is made.
template <class T, T (*Convert)(PyObject*) noexcept>
bool convert3(PyObject* x, PyObject* y, PyObject* z, T (&out)[3]) noexcept {
    PyObject* values[] = {x, y, z};
    for (int i = 0; i < 3; ++i)
        if (vx::failed(out[i] = Convert(values[i]))) return false;
    return true;
}

Vec* from_ints(PyObject* x, PyObject* y, PyObject* z) noexcept {
    int c[3];
    return convert3<int, vx::to_int32>(x, y, z, c) ? Vector3_cfrom_ints(c[0], c[1], c[2]) : nullptr;
}

Vec* from_xyz(PyObject* x, PyObject* y, PyObject* z) noexcept {
    double c[3];
    return convert3<double, vx::to_double>(x, y, z, c) ? Vector3_cfrom_xyz(c[0], c[1], c[2]) : nullptr;
}

Vec* copy(Vec* self) noexcept { return Vector3_copy(self, 1); }
Vec* deepcopy(Vec* self, PyObject*) noexcept {
    return Vector3_new(self->data.x, self->data.y, self->data.z);
}

// The operators: only a vector on the left drives them.
PyObject* add_method(Vec* self, PyObject* other) noexcept {
    if (!is_vec(other)) {
        vx::raise::arg_type("other", Vector3Type.tp_name, other);
        return nullptr;
    }
    return vx::py(Vector3__add(self, as_vec(other)));
}
PyObject* sub_method(Vec* self, PyObject* other) noexcept {
    if (!is_vec(other)) {
        vx::raise::arg_type("other", Vector3Type.tp_name, other);
        return nullptr;
    }
    return vx::py(Vector3__sub(self, as_vec(other)));
}

// The right operand of *, / and //: a vector, a scalar (int or float, subclasses included),
// or neither (NotImplemented).
enum class Operand { Vector, Scalar, Other };
inline Operand classify(PyObject* o) noexcept {
    if (is_vec(o)) return Operand::Vector;
    if (PyFloat_Check(o) || PyLong_Check(o)) return Operand::Scalar;
    return Operand::Other;
}

template <class VectorOp, class ScalarOp>
PyObject* scale_method(Vec* self, PyObject* other, VectorOp vector_op, ScalarOp scalar_op, const char* qualname) noexcept {
    Vector3 r;
    switch (classify(other)) {
    case Operand::Vector:
        r = vector_op(self->data, as_vec(other)->data);
        break;
    case Operand::Scalar: {
        const double s = vx::to_double(other);
        if (vx::failed(s)) return nullptr;
        r = scalar_op(self->data, s);
        break;
    }
    default:
        Py_RETURN_NOTIMPLEMENTED;
    }
    return vx::py(copy_of(r, qualname));
}

PyObject* mul_method(Vec* self, PyObject* other) noexcept {
    return scale_method(
        self, other, mul,
        [](Vector3 a, double s) -> Vector3 { return {single(a.x * s), single(a.y * s), single(a.z * s)}; },
        "Vector3.__mul__");
}
PyObject* truediv_method(Vec* self, PyObject* other) noexcept {
    return scale_method(
        self, other, [](Vector3 a, Vector3 b) -> Vector3 { return {a.x / b.x, a.y / b.y, a.z / b.z}; },
        [](Vector3 a, double s) -> Vector3 {
            const double r = 1.0 / s;
            return {single(a.x * r), single(a.y * r), single(a.z * r)};
        },
        "Vector3.__truediv__");
}
PyObject* floordiv_method(Vec* self, PyObject* other) noexcept {
    return scale_method(
        self, other,
        [](Vector3 a, Vector3 b) -> Vector3 {
            return {std::floor(a.x / b.x), std::floor(a.y / b.y), std::floor(a.z / b.z)};
        },
        [](Vector3 a, double s) -> Vector3 {
            const double r = 1.0 / s;
            return {single(std::floor(a.x * r)), single(std::floor(a.y * r)), single(std::floor(a.z * r))};
        },
        "Vector3.__floordiv__");
}

PyObject* sadd(Vec* self, Vec* new_vec, Vec* old_vec) noexcept {
    Vector3_sadd(self, new_vec, old_vec, 1);
    Py_RETURN_NONE;
}

PyObject* get_tuple(Vec* self) noexcept { return Vector3_get_tuple(self, 1); }
PyObject* get_int_tuple(Vec* self) noexcept { return Vector3_get_int_tuple(self, 1); }
PyObject* get_rounded_tuple(Vec* self) noexcept { return Vector3_get_rounded_tuple(self, 1); }
Vec* to_round(Vec* self) noexcept { return Vector3_to_round(self, 1); }
Vec* get_round(Vec* self) noexcept { return Vector3_get_round(self, 1); }
Vec* to_abs(Vec* self) noexcept { return Vector3_to_abs(self, 1); }
Vec* get_abs(Vec* self) noexcept { return Vector3_get_abs(self, 1); }
Vec* to_neg(Vec* self) noexcept { return Vector3_to_neg(self, 1); }
Vec* get_neg(Vec* self) noexcept { return Vector3_get_neg(self, 1); }
Vec* to_normalized(Vec* self) noexcept { return Vector3_to_normalized(self, 1); }
Vec* get_normalized(Vec* self) noexcept { return Vector3_get_normalized(self, 1); }
PyObject* distance_to(Vec* self, Vec* other) noexcept { return PyFloat_FromDouble(Vector3_distance_to(self, other, 1)); }
PyObject* distance_squared_to(Vec* self, Vec* other) noexcept {
    return PyFloat_FromDouble(Vector3_distance_squared_to(self, other, 1));
}
PyObject* dot_method(Vec* self, Vec* other) noexcept { return PyFloat_FromDouble(Vector3_dot(self, other, 1)); }
Vec* cross_method(Vec* self, Vec* other) noexcept { return Vector3_cross(self, other, 1); }

//------------------------------------------------------------------------------------------
// Slot functions of the type
//------------------------------------------------------------------------------------------

// Binary operator slots: the left operand must be a vector, else NotImplemented.
template <PyObject* (*Method)(Vec*, PyObject*) noexcept>
PyObject* binary_slot(PyObject* a, PyObject* b, const char* qualname) noexcept {
    if (!is_vec(a)) Py_RETURN_NOTIMPLEMENTED;
    PyObject* r = Method(as_vec(a), b);
    return r ? r : M.fail(qualname);
}
PyObject* Vector3_nb_add(PyObject* a, PyObject* b) noexcept { return binary_slot<add_method>(a, b, "Vector3.__add__"); }
PyObject* Vector3_nb_subtract(PyObject* a, PyObject* b) noexcept { return binary_slot<sub_method>(a, b, "Vector3.__sub__"); }
PyObject* Vector3_nb_multiply(PyObject* a, PyObject* b) noexcept { return binary_slot<mul_method>(a, b, "Vector3.__mul__"); }
PyObject* Vector3_nb_true_divide(PyObject* a, PyObject* b) noexcept {
    return binary_slot<truediv_method>(a, b, "Vector3.__truediv__");
}
PyObject* Vector3_nb_floor_divide(PyObject* a, PyObject* b) noexcept {
    return binary_slot<floordiv_method>(a, b, "Vector3.__floordiv__");
}

// In-place operators take only a vector; anything else fails without an out-of-place retry.
template <void (*Op)(Vec*, Vec*) noexcept>
PyObject* inplace_slot(PyObject* a, PyObject* b, const char* qualname) noexcept {
    if (!is_vec(b)) {
        vx::raise::arg_type("other", Vector3Type.tp_name, b);
        return M.fail(qualname);
    }
    Op(as_vec(a), as_vec(b));
    return Py_NewRef(a);
}
PyObject* Vector3_nb_inplace_add(PyObject* a, PyObject* b) noexcept {
    return inplace_slot<Vector3__iadd>(a, b, "Vector3.__iadd__");
}
PyObject* Vector3_nb_inplace_subtract(PyObject* a, PyObject* b) noexcept {
    return inplace_slot<Vector3__isub>(a, b, "Vector3.__isub__");
}
PyObject* Vector3_nb_inplace_multiply(PyObject* a, PyObject* b) noexcept {
    return inplace_slot<Vector3__imul>(a, b, "Vector3.__imul__");
}

PyObject* Vector3_nb_negative(PyObject* a) noexcept { return vx::py(copy_of(neg(as_vec(a)->data), "Vector3.__neg__")); }

// Items: only 0, 1 and 2 address components.
float* component(Vec* self, Py_ssize_t i) noexcept {
    switch (i) {
    case 0: return &self->data.x;
    case 1: return &self->data.y;
    case 2: return &self->data.z;
    default: PyErr_SetString(PyExc_IndexError, "Vector index out of range"); return nullptr;
    }
}

Py_ssize_t Vector3_length(PyObject*) noexcept { return 3; }

PyObject* Vector3_sq_item(PyObject* self, Py_ssize_t i) noexcept {
    float* c = component(as_vec(self), i);
    return c ? PyFloat_FromDouble(*c) : M.fail("Vector3.__getitem__");
}

int assign_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
    if (!value) {
        vx::raise::not_implemented("Subscript deletion not supported by vexlar.vector3.vector3.Vector3");
        return -1;
    }
    const double d = vx::to_double(value);
    if (vx::failed(d)) return -1;
    float* c = component(as_vec(self), i);
    if (!c) return -1;
    *c = single(d);
    return 0;
}

int Vector3_sq_ass_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
    return assign_item(self, i, value) < 0 ? M.fail_int("Vector3.__setitem__") : 0;
}

PyObject* Vector3_mp_subscript(PyObject* self, PyObject* key) noexcept {
    const Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
    if (i == -1 && PyErr_Occurred()) return M.fail("Vector3.__getitem__");
    return Vector3_sq_item(self, i);
}

int Vector3_mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
    Py_ssize_t i = 0;
    if (value) {
        i = PyNumber_AsSsize_t(key, PyExc_OverflowError);
        if (i == -1 && PyErr_Occurred()) return M.fail_int("Vector3.__setitem__");
    }
    return Vector3_sq_ass_item(self, i, value);
}

PyObject* Vector3_richcompare(PyObject* a, PyObject* b, int op) noexcept {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    bool equal = false;
    if (is_vec(a) && is_vec(b)) {
        const Vector3 u = as_vec(a)->data, v = as_vec(b)->data;
        equal = u.x == v.x && u.y == v.y && u.z == v.z;
    }
    return PyBool_FromLong(equal == (op == Py_EQ));
}

// hash((float(x), float(y), float(z))) without building the tuple: the interpreter's tuple hash.
Py_hash_t Vector3_hash(PyObject* self) noexcept {
    constexpr Py_uhash_t prime1 = 11400714785074694791ULL, prime2 = 14029467366897019727ULL,
                         prime5 = 2870177450012600261ULL;
    const Vector3 v = as_vec(self)->data;
    const double c[3] = {v.x, v.y, v.z};
    Py_uhash_t acc = prime5;
    for (double d : c) {
        const Py_uhash_t lane = static_cast<Py_uhash_t>(_Py_HashDouble(self, d));
        acc += lane * prime2;
        acc = (acc << 31) | (acc >> 33);
        acc *= prime1;
    }
    acc += 3 ^ (prime5 ^ 3527539UL);
    return acc == static_cast<Py_uhash_t>(-1) ? 1546275796 : static_cast<Py_hash_t>(acc);
}

PyObject* Vector3_repr(PyObject* self) noexcept {
    const Vector3 v = as_vec(self)->data;
    char* text[3] = {};
    const double c[3] = {v.x, v.y, v.z};
    PyObject* r = nullptr;
    for (int i = 0; i < 3; ++i)
        if (!(text[i] = PyOS_double_to_string(c[i], 'r', 0, Py_DTSF_ADD_DOT_0, nullptr))) goto done;
    r = PyUnicode_FromFormat("Vector3(%s, %s, %s)", text[0], text[1], text[2]);
done:
    for (char* t : text) PyMem_Free(t);
    return r ? r : M.fail("Vector3.__repr__");
}

void Vector3_dealloc(PyObject* self) noexcept { Py_TYPE(self)->tp_free(self); }

//------------------------------------------------------------------------------------------
// Properties
//------------------------------------------------------------------------------------------

template <float Vector3::*C>
PyObject* get_component(PyObject* self, void*) noexcept {
    return PyFloat_FromDouble(as_vec(self)->data.*C);
}

// The closure is the property's traceback name.
template <float Vector3::*C>
int set_component(PyObject* self, PyObject* value, void* qualname) noexcept {
    if (vx::refuse_delete(value)) return M.fail_int(static_cast<const char*>(qualname));
    const double d = vx::to_double(value);
    if (vx::failed(d)) return M.fail_int(static_cast<const char*>(qualname));
    as_vec(self)->data.*C = single(d);
    return 0;
}

PyObject* get_length(PyObject* self, void*) noexcept {
    return PyFloat_FromDouble(std::sqrt(squared_length(as_vec(self)->data)));
}

template <int A, int B, int C>
PyObject* get_swizzle(PyObject* self, void* qualname) noexcept {
    const Vector3 v = as_vec(self)->data;
    const float c[3] = {v.x, v.y, v.z};
    Vec* r = make({c[A], c[B], c[C]});
    return r ? vx::py(r) : M.fail(static_cast<const char*>(qualname));
}

#define VX_COMPONENT(n) \
    {#n, get_component<&Vector3::n>, set_component<&Vector3::n>, nullptr, const_cast<char*>("Vector3." #n ".__set__")}
#define VX_SWIZZLE(name, a, b, c) \
    {#name, get_swizzle<a, b, c>, nullptr, nullptr, const_cast<char*>("Vector3." #name ".__get__")}

PyGetSetDef Vector3_getset[] = {
    VX_COMPONENT(x),
    VX_COMPONENT(y),
    VX_COMPONENT(z),
    VX_SWIZZLE(xxx, 0, 0, 0), VX_SWIZZLE(xxy, 0, 0, 1), VX_SWIZZLE(xxz, 0, 0, 2),
    VX_SWIZZLE(xyx, 0, 1, 0), VX_SWIZZLE(xyy, 0, 1, 1), VX_SWIZZLE(xyz, 0, 1, 2),
    VX_SWIZZLE(xzy, 0, 2, 1), VX_SWIZZLE(xzx, 0, 2, 0), VX_SWIZZLE(xzz, 0, 2, 2),
    VX_SWIZZLE(yxx, 1, 0, 0), VX_SWIZZLE(yxy, 1, 0, 1), VX_SWIZZLE(yxz, 1, 0, 2),
    VX_SWIZZLE(yyx, 1, 1, 0), VX_SWIZZLE(yyy, 1, 1, 1), VX_SWIZZLE(yyz, 1, 1, 2),
    VX_SWIZZLE(yzx, 1, 2, 0), VX_SWIZZLE(yzy, 1, 2, 1), VX_SWIZZLE(yzz, 1, 2, 2),
    VX_SWIZZLE(zxx, 2, 0, 0), VX_SWIZZLE(zxy, 2, 0, 1), VX_SWIZZLE(zxz, 2, 0, 2),
    VX_SWIZZLE(zyx, 2, 1, 0), VX_SWIZZLE(zyy, 2, 1, 1), VX_SWIZZLE(zyz, 2, 1, 2),
    VX_SWIZZLE(zzx, 2, 2, 0), VX_SWIZZLE(zzy, 2, 2, 1), VX_SWIZZLE(zzz, 2, 2, 2),
    {"length", get_length, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef VX_COMPONENT
#undef VX_SWIZZLE

//------------------------------------------------------------------------------------------
// Method and protocol tables
//------------------------------------------------------------------------------------------

constexpr auto other_vector = vx::arg("other", &Vector3Type);

const vx::MethodDef Vector3_methods[] = {
    vx::static_method<from_vector3>("from_vector3", other_vector),
    vx::static_method<from_tuple>("from_tuple", vx::arg_exact("other", &PyTuple_Type)),
    vx::static_method<from_list>("from_list", vx::arg_exact("other", &PyList_Type)),
    vx::static_method<from_ints>("from_ints", vx::arg("x"), vx::arg("y"), vx::arg("z")),
    vx::static_method<from_xyz>("from_floats", vx::arg("x"), vx::arg("y"), vx::arg("z")),
    vx::static_method<from_xyz>("from_xyz", vx::arg("x"), vx::arg("y"), vx::arg("z")),
    vx::method<copy>("copy"),
    vx::method<copy>("__copy__"),
    vx::method<deepcopy>("__deepcopy__", vx::arg("memo")),
    vx::operator_method<add_method>("__add__"),
    vx::operator_method<sub_method>("__sub__"),
    vx::operator_method<mul_method>("__mul__"),
    vx::operator_method<truediv_method>("__truediv__"),
    vx::operator_method<floordiv_method>("__floordiv__"),
    vx::method<sadd>("sadd", vx::arg("new_vec", &Vector3Type), vx::arg("old_vec", &Vector3Type)),
    vx::method<get_tuple>("get_tuple"),
    vx::method<get_int_tuple>("get_int_tuple"),
    vx::method<get_rounded_tuple>("get_rounded_tuple"),
    vx::method<to_round>("to_round"),
    vx::method<get_round>("get_round"),
    vx::method<to_abs>("to_abs"),
    vx::method<get_abs>("get_abs"),
    vx::method<to_neg>("to_neg"),
    vx::method<get_neg>("get_neg"),
    vx::method<to_normalized>("to_normalized"),
    vx::method<get_normalized>("get_normalized"),
    vx::method<distance_to>("distance_to", other_vector),
    vx::method<distance_squared_to>("distance_squared_to", other_vector),
    vx::method<dot_method>("dot", other_vector),
    vx::method<cross_method>("cross", other_vector),
};

PyNumberMethods Vector3_as_number = {
    .nb_add = Vector3_nb_add,
    .nb_subtract = Vector3_nb_subtract,
    .nb_multiply = Vector3_nb_multiply,
    .nb_negative = Vector3_nb_negative,
    .nb_inplace_add = Vector3_nb_inplace_add,
    .nb_inplace_subtract = Vector3_nb_inplace_subtract,
    .nb_inplace_multiply = Vector3_nb_inplace_multiply,
    .nb_floor_divide = Vector3_nb_floor_divide,
    .nb_true_divide = Vector3_nb_true_divide,
};

PySequenceMethods Vector3_as_sequence = {
    .sq_length = Vector3_length,
    .sq_item = Vector3_sq_item,
    .sq_ass_item = Vector3_sq_ass_item,
};

PyMappingMethods Vector3_as_mapping = {
    .mp_length = Vector3_length,
    .mp_subscript = Vector3_mp_subscript,
    .mp_ass_subscript = Vector3_mp_ass_subscript,
};

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type object, module
//------------------------------------------------------------------------------------------

const VexlarVector3Table vector3_table = {
    .new_ = Vector3_new,
    .cfrom_list = Vector3_cfrom_list,
    .cfrom_ints = Vector3_cfrom_ints,
    .cfrom_floats = Vector3_cfrom_floats,
    .cfrom_tuple = Vector3_cfrom_tuple,
    .cfrom_vector3 = Vector3_cfrom_vector3,
    .cfrom_xyz = Vector3_cfrom_xyz,
    ._add = Vector3__add,
    ._sub = Vector3__sub,
    ._iadd = Vector3__iadd,
    ._isub = Vector3__isub,
    ._imul = Vector3__imul,
    ._sadd = Vector3__sadd,
    .sadd = Vector3_sadd,
    .get_tuple = Vector3_get_tuple,
    .c_get_tuple = Vector3_c_get_tuple,
    .to_round = Vector3_to_round,
    .get_round = Vector3_get_round,
    .to_abs = Vector3_to_abs,
    .get_abs = Vector3_get_abs,
    .to_neg = Vector3_to_neg,
    .get_neg = Vector3_get_neg,
    .get_int_tuple = Vector3_get_int_tuple,
    .get_rounded_tuple = Vector3_get_rounded_tuple,
    .copy = Vector3_copy,
    .to_normalized = Vector3_to_normalized,
    .get_normalized = Vector3_get_normalized,
    .distance_to = Vector3_distance_to,
    .distance_squared_to = Vector3_distance_squared_to,
    .dot = Vector3_dot,
    .cross = Vector3_cross,
};

PyTypeObject Vector3Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.vector3.vector3.Vector3",
    .tp_basicsize = sizeof(VexlarVector3),
    .tp_dealloc = Vector3_dealloc,
    .tp_repr = Vector3_repr,
    .tp_as_number = &Vector3_as_number,
    .tp_as_sequence = &Vector3_as_sequence,
    .tp_as_mapping = &Vector3_as_mapping,
    .tp_hash = Vector3_hash,
    .tp_flags = Py_TPFLAGS_DEFAULT,   // final: not an acceptable base type
    .tp_richcompare = Vector3_richcompare,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Vector3_getset,
    .tp_init = Vector3_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarVector3, VexlarVector3Table, &vector3_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = Vector3_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &Vector3Type, .vtable = &vector3_table, .methods = Vector3_methods, .pickle_guard = true},
};
const vx::ModuleInfo info = {
    .name = "vector3",
    .qualified = "vexlar.vector3.vector3",
    .source = "src/vexlar/vector3/vector3.cpp",
    .types = types,
    .check_type_size = true,
};
}  // namespace

VEXLAR_MODULE(vector3, info)
