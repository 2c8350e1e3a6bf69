// vector.hpp: the rules Vector2, Vector3 and Vector4 share, written once.
//
// A vector module describes its type with a traits struct and takes its slots, method bodies
// and protocol functions from vx::Vector<Traits>; its own file then only declares what is
// particular to it (its static constructors, extra methods, swizzles) and the tables.
//
//     struct Traits {
//         using Obj = VexlarVector3;            // object layout (vexlar.h)
//         using Table = VexlarVector3Table;     // its C method table
//         using Scalar = float;                 // stored component type
//         static constexpr int N = 3;
//         static constexpr char name[] = "Vector3";
//         static constexpr char cfrom_vector_name[] = "cfrom_vector3";
//         static PyTypeObject* type() noexcept;
//         static const Table* table() noexcept;
//     };
//
// Precision: vector-vector arithmetic, length and dot work in the stored precision; scalar
// operands, distances and the normalisation scale work in double and round once on store.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "vexlar/shared/framework.hpp"

namespace vx {

template <class Tr>
struct Vector {
    using Obj = typename Tr::Obj;
    using T = typename Tr::Scalar;
    static constexpr int N = Tr::N;
    using A = std::array<T, N>;
    using Record = decltype(Obj::data);
    static_assert(sizeof(Record) == sizeof(A), "a vector record is N packed components");

    //--------------------------------------------------------------------------------------
    // Components and arithmetic on plain arrays
    //--------------------------------------------------------------------------------------

    static A load(const Obj* o) noexcept { return std::bit_cast<A>(o->data); }
    static void store(Obj* o, const A& a) noexcept { o->data = std::bit_cast<Record>(a); }
    static T narrow(double d) noexcept { return static_cast<T>(d); }

    template <class F>
    static A map(const A& a, F f) noexcept {
        A r;
        for (int i = 0; i < N; ++i) r[i] = f(a[i]);
        return r;
    }
    template <class F>
    static A zip(const A& a, const A& b, F f) noexcept {
        A r;
        for (int i = 0; i < N; ++i) r[i] = f(a[i], b[i]);
        return r;
    }

    // Sign changes act on the sign bit itself, so -0.0 survives the fast-math build.
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    static constexpr Bits kSign = Bits(1) << (sizeof(T) * 8 - 1);
    static T flip_sign(T c) noexcept { return std::bit_cast<T>(std::bit_cast<Bits>(c) ^ kSign); }
    static T clear_sign(T c) noexcept { return std::bit_cast<T>(std::bit_cast<Bits>(c) & ~kSign); }

    // Halves away from zero (roundf's rule); for singles through the largest single below one
    // half, which gives roundf's result for every finite value.
    static T round_half_away(T c) noexcept {
        if constexpr (sizeof(T) == 4) return std::trunc(c + std::copysign(0.49999997f, c));
        else return std::round(c);
    }

    static A add(const A& a, const A& b) noexcept { return zip(a, b, [](T x, T y) { return x + y; }); }
    static A sub(const A& a, const A& b) noexcept { return zip(a, b, [](T x, T y) { return x - y; }); }
    static A mul(const A& a, const A& b) noexcept { return zip(a, b, [](T x, T y) { return x * y; }); }
    static A div(const A& a, const A& b) noexcept { return zip(a, b, [](T x, T y) { return x / y; }); }
    static A floordiv(const A& a, const A& b) noexcept {
        return zip(a, b, [](T x, T y) { return std::floor(x / y); });
    }
    // With a Python scalar: in double, one reciprocal shared by the components for divisions.
    static A scale(const A& a, double s) noexcept { return map(a, [s](T c) { return narrow(c * s); }); }
    static A divide(const A& a, double s) noexcept { return scale(a, 1.0 / s); }
    static A floor_divide(const A& a, double s) noexcept {
        const double r = 1.0 / s;
        return map(a, [r](T c) { return narrow(std::floor(c * r)); });
    }
    static A neg(const A& a) noexcept { return map(a, flip_sign); }
    static A abs(const A& a) noexcept { return map(a, clear_sign); }
    static A round(const A& a) noexcept { return map(a, round_half_away); }

    static T dot(const A& a, const A& b) noexcept {
        T s = 0;
        for (int i = 0; i < N; ++i) s += a[i] * b[i];
        return s;
    }
    static T length(const A& a) noexcept { return std::sqrt(dot(a, a)); }
    static A normalized(const A& a) noexcept {
        const T s = dot(a, a);
        if (s == T(0)) return A{};
        const double r = 1.0 / static_cast<double>(std::sqrt(s));
        return scale(a, r);
    }
    // Differences in the stored precision, squares and sum in double.
    static double distance_squared(const A& a, const A& b) noexcept {
        double s = 0.0;
        for (int i = 0; i < N; ++i) {
            const double d = static_cast<T>(a[i] - b[i]);
            s += d * d;
        }
        return s;
    }

    // Whether a component truncates to a 32-bit int (not for infinities, NaN or beyond).
    static bool fits_int32(T c) noexcept {
        if (!is_finite(c)) return false;
        const double d = c;   // truncation toward zero keeps (-2**31 - 1, 2**31) in range
        return d > -2147483649.0 && d < 2147483648.0;
    }

    //--------------------------------------------------------------------------------------
    // Creation
    //--------------------------------------------------------------------------------------

    static bool is_vec(PyObject* o) noexcept { return PyObject_TypeCheck(o, Tr::type()); }
    static Obj* as_vec(PyObject* o) noexcept { return vx::as<Obj>(o); }

    // A new vector through the type's allocator, without __init__; nullptr with MemoryError.
    static Obj* make(const A& a) noexcept {
        Obj* o = vx::alloc<Obj>(Tr::type(), Tr::table());
        if (o) [[likely]]
            store(o, a);
        return o;
    }
    static Obj* make_traced(const A& a, const char* member) noexcept {
        Obj* o = make(a);
        return o ? o : the_module.fail(Tr::name, member);
    }
    static Obj* from_doubles(const std::array<double, N>& d) noexcept {
        A a;
        for (int i = 0; i < N; ++i) a[i] = narrow(d[i]);
        return make_traced(a, "new");
    }

    // The static constructor slots from N C numbers (`new`, `cfrom_ints`, `cfrom_floats` and
    // `cfrom_xy`/`cfrom_xyz`/`cfrom_xyzw`): each number widened to double, then rounded once.
    template <class C, class Seq> struct Components;
    template <class C, std::size_t... I> struct Components<C, std::index_sequence<I...>> {
        static Obj* slot(decltype((void)I, C{})... values) noexcept {
            return from_doubles({static_cast<double>(values)...});
        }
    };
    template <class C>
    static constexpr auto from_components = &Components<C, std::make_index_sequence<N>>::slot;

    // The first N items of an exact tuple or list, converted to doubles. The items are held
    // while they convert: a conversion that runs Python code may shrink the list.
    static Obj* from_items(PyObject* seq, const char* func) noexcept {
        const Py_ssize_t n = PyTuple_Check(seq) ? PyTuple_GET_SIZE(seq) : PyList_GET_SIZE(seq);
        if (n < N) [[unlikely]] {
            PyErr_Format(PyExc_ValueError, "%s() needs at least %d items (%zd given)", func, N, n);
            return nullptr;
        }
        PyObject* const* items = PyTuple_Check(seq) ? &PyTuple_GET_ITEM(seq, 0) : &PyList_GET_ITEM(seq, 0);
        Ref held[N];
        for (int i = 0; i < N; ++i) held[i] = Ref::borrow(items[i]);
        A a;
        for (int i = 0; i < N; ++i) {
            const double d = to_double(held[i].get());
            if (failed(d)) return nullptr;
            a[i] = narrow(d);
        }
        return make(a);
    }

    //--------------------------------------------------------------------------------------
    // C method table slots shared by all vector types
    //--------------------------------------------------------------------------------------

    static Obj* cfrom_list(PyObject* list) noexcept {
        Obj* v = from_items(list, "cfrom_list");
        return v ? v : the_module.fail(Tr::name, "cfrom_list");
    }
    static Obj* cfrom_tuple(PyObject* tuple) noexcept {
        Obj* v = from_items(tuple, "cfrom_tuple");
        return v ? v : the_module.fail(Tr::name, "cfrom_tuple");
    }
    static Obj* cfrom_vector(Obj* other) noexcept { return make_traced(load(other), Tr::cfrom_vector_name); }

    static Obj* _add(Obj* self, Obj* other) noexcept { return make_traced(add(load(self), load(other)), "_add"); }
    static Obj* _sub(Obj* self, Obj* other) noexcept { return make_traced(sub(load(self), load(other)), "_sub"); }
    static void _iadd(Obj* self, Obj* other) noexcept { store(self, add(load(self), load(other))); }
    static void _isub(Obj* self, Obj* other) noexcept { store(self, sub(load(self), load(other))); }
    static void _imul(Obj* self, Obj* other) noexcept { store(self, mul(load(self), load(other))); }
    static void _sadd(Obj* self, Obj* new_vec, Obj* old_vec) noexcept { store(self, add(load(new_vec), load(old_vec))); }

    // The slots with a trailing skip_dispatch honour a Python subclass's override of the method
    // of the same name (never the case for a final type). On a failed override they add their
    // entry and return the zero value, the exception pending.
    template <auto Method, class R, class... Args>
    static int dispatch(R& out, Obj* self, int skip_dispatch, const Name& name, Args... args) noexcept {
        const int rc = call_override(out, py(self), skip_dispatch, name, body_of<Method>, args...);
        if (rc < 0) [[unlikely]]
            the_module.trace(Tr::name, name.text(), __LINE__);
        return rc;
    }
    // A slot returning a vector of this type: the override may answer None or such a vector.
    template <auto Method>
    static int dispatch_vector(Obj*& out, Obj* self, int skip_dispatch, const Name& name) noexcept {
        Typed<Obj> r{nullptr, Tr::type()};
        const int rc = dispatch<Method>(r, self, skip_dispatch, name);
        out = r.value;
        return rc;
    }

    static inline Name n_sadd{"sadd"}, n_get_tuple{"get_tuple"}, n_to_round{"to_round"}, n_get_round{"get_round"},
        n_to_abs{"to_abs"}, n_get_abs{"get_abs"}, n_to_neg{"to_neg"}, n_get_neg{"get_neg"},
        n_get_int_tuple{"get_int_tuple"}, n_get_rounded_tuple{"get_rounded_tuple"}, n_copy{"copy"},
        n_to_normalized{"to_normalized"}, n_get_normalized{"get_normalized"}, n_distance_to{"distance_to"},
        n_distance_squared_to{"distance_squared_to"}, n_dot{"dot"};

    static void sadd(Obj* self, Obj* new_vec, Obj* old_vec, int skip_dispatch) noexcept {
        Discard r;
        if (!dispatch<sadd_method>(r, self, skip_dispatch, n_sadd, new_vec, old_vec)) _sadd(self, new_vec, old_vec);
    }

    static PyObject* float_tuple(const A& a, const char* member) noexcept {
        PyObject* t = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return tuple_of(static_cast<double>(a[I])...);
        }(std::make_index_sequence<N>{});
        return t ? t : the_module.fail(Tr::name, member);
    }
    static PyObject* int_tuple(const A& a, const char* member) noexcept {
        for (T c : a)
            if (!fits_int32(c)) [[unlikely]] {
                PyErr_Format(PyExc_OverflowError, "%s component does not fit a 32-bit int", Tr::name);
                return the_module.fail(Tr::name, member);
            }
        PyObject* t = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return tuple_of(static_cast<int>(a[I])...);
        }(std::make_index_sequence<N>{});
        return t ? t : the_module.fail(Tr::name, member);
    }
    static PyObject* c_get_tuple(Obj* self) noexcept { return float_tuple(load(self), "c_get_tuple"); }

    template <auto Method>
    static PyObject* tuple_slot(Obj* self, int skip_dispatch, const Name& name, PyObject* (*body)(Obj*) noexcept) noexcept {
        PyObject* r = nullptr;
        if (dispatch<Method>(r, self, skip_dispatch, name)) return r;
        return body(self);
    }
    static PyObject* get_tuple(Obj* self, int skip_dispatch) noexcept {
        return tuple_slot<get_tuple_method>(self, skip_dispatch, n_get_tuple,
                                            [](Obj* v) noexcept { return float_tuple(load(v), "get_tuple"); });
    }
    static PyObject* get_int_tuple(Obj* self, int skip_dispatch) noexcept {
        return tuple_slot<get_int_tuple_method>(self, skip_dispatch, n_get_int_tuple,
                                                [](Obj* v) noexcept { return int_tuple(load(v), "get_int_tuple"); });
    }
    static PyObject* get_rounded_tuple(Obj* self, int skip_dispatch) noexcept {
        return tuple_slot<get_rounded_tuple_method>(
            self, skip_dispatch, n_get_rounded_tuple,
            [](Obj* v) noexcept { return int_tuple(round(load(v)), "get_rounded_tuple"); });
    }

    // to_ slots change the vector and return it; get_ slots return a changed copy.
    template <auto Method, A (*Op)(const A&) noexcept>
    static Obj* to_slot(Obj* self, int skip_dispatch, const Name& name) noexcept {
        Obj* r;
        if (dispatch_vector<Method>(r, self, skip_dispatch, name)) return r;
        store(self, Op(load(self)));
        Py_INCREF(self);
        return self;
    }
    template <auto Method, A (*Op)(const A&) noexcept>
    static Obj* get_slot(Obj* self, int skip_dispatch, const Name& name) noexcept {
        Obj* r;
        if (dispatch_vector<Method>(r, self, skip_dispatch, name)) return r;
        return make_traced(Op(load(self)), name.text());
    }
    static A same(const A& a) noexcept { return a; }
    static Obj* to_round(Obj* self, int skip) noexcept { return to_slot<to_round_method, round>(self, skip, n_to_round); }
    static Obj* get_round(Obj* self, int skip) noexcept { return get_slot<get_round_method, round>(self, skip, n_get_round); }
    static Obj* to_abs(Obj* self, int skip) noexcept { return to_slot<to_abs_method, abs>(self, skip, n_to_abs); }
    static Obj* get_abs(Obj* self, int skip) noexcept { return get_slot<get_abs_method, abs>(self, skip, n_get_abs); }
    static Obj* to_neg(Obj* self, int skip) noexcept { return to_slot<to_neg_method, neg>(self, skip, n_to_neg); }
    static Obj* get_neg(Obj* self, int skip) noexcept { return get_slot<get_neg_method, neg>(self, skip, n_get_neg); }
    static Obj* copy(Obj* self, int skip) noexcept { return get_slot<copy_method, same>(self, skip, n_copy); }
    static Obj* to_normalized(Obj* self, int skip) noexcept {
        return to_slot<to_normalized_method, normalized>(self, skip, n_to_normalized);
    }
    static Obj* get_normalized(Obj* self, int skip) noexcept {
        return get_slot<get_normalized_method, normalized>(self, skip, n_get_normalized);
    }

    template <auto Method>
    static double number_slot(Obj* self, Obj* other, int skip_dispatch, const Name& name,
                              double (*body)(const A&, const A&) noexcept) noexcept {
        double r = 0.0;
        if (int rc = dispatch<Method>(r, self, skip_dispatch, name, other)) return rc < 0 ? 0.0 : r;
        return body(load(self), load(other));
    }
    static double distance(const A& a, const A& b) noexcept { return std::sqrt(distance_squared(a, b)); }
    static double dot_double(const A& a, const A& b) noexcept { return dot(a, b); }
    static double distance_to(Obj* self, Obj* other, int skip) noexcept {
        return number_slot<distance_to_method>(self, other, skip, n_distance_to, distance);
    }
    static double distance_squared_to(Obj* self, Obj* other, int skip) noexcept {
        return number_slot<distance_squared_to_method>(self, other, skip, n_distance_squared_to, distance_squared);
    }
    static double dot_slot(Obj* self, Obj* other, int skip) noexcept {
        return number_slot<dot_method>(self, other, skip, n_dot, dot_double);
    }

    // The slots every vector table has under the same name; a module sets those named after
    // its type (`cfrom_vector3`, `cfrom_xyz`) and any slot of its own on the returned table.
    static constexpr typename Tr::Table shared_table() noexcept {
        typename Tr::Table t{};
        t.new_ = from_components<double>;
        t.cfrom_ints = from_components<int>;
        t.cfrom_floats = from_components<float>;
        t.cfrom_list = cfrom_list;
        t.cfrom_tuple = cfrom_tuple;
        t._add = _add;
        t._sub = _sub;
        t._iadd = _iadd;
        t._isub = _isub;
        t._imul = _imul;
        t._sadd = _sadd;
        t.sadd = sadd;
        t.get_tuple = get_tuple;
        t.c_get_tuple = c_get_tuple;
        t.to_round = to_round;
        t.get_round = get_round;
        t.to_abs = to_abs;
        t.get_abs = get_abs;
        t.to_neg = to_neg;
        t.get_neg = get_neg;
        t.get_int_tuple = get_int_tuple;
        t.get_rounded_tuple = get_rounded_tuple;
        t.copy = copy;
        t.to_normalized = to_normalized;
        t.get_normalized = get_normalized;
        t.distance_to = distance_to;
        t.distance_squared_to = distance_squared_to;
        t.dot = dot_slot;
        return t;
    }

    //--------------------------------------------------------------------------------------
    // Construction
    //--------------------------------------------------------------------------------------

    static inline Name marker{"clamp_magnitude_ip"};   // marks a foreign vector of the same size
    static constexpr const char* component_names[4] = {"x", "y", "z", "w"};
    static inline Name attribute_names[4] = {Name{"x"}, Name{"y"}, Name{"z"}, Name{"w"}};

    // Stores the float conversion of `value` into component i; -1 with the exception.
    static int store_component(Obj* self, int i, PyObject* value) noexcept {
        const double d = to_double(value);
        if (failed(d)) return -1;
        A a = load(self);
        a[i] = narrow(d);
        store(self, a);
        return 0;
    }

    static int store_attributes(Obj* self, PyObject* a) noexcept {
        for (int i = 0; i < N; ++i) {
            Ref value = Ref::steal(PyObject_GetAttr(a, attribute_names[i].get()));
            if (!value || store_component(self, i, value.get()) < 0) return -1;
        }
        return 0;
    }

    static int store_sequence(Obj* self, PyObject* a) noexcept {
        const Py_ssize_t n = PyObject_Length(a);
        if (n < 0) return -1;
        if (n != N) {
            PyErr_Format(PyExc_TypeError, "%s() takes a sequence of length %d, but got %zd", Tr::name, N, n);
            return -1;
        }
        for (int i = 0; i < N; ++i) {
            Ref item = Ref::steal(PySequence_GetItem(a, i));
            if (!item || store_component(self, i, item.get()) < 0) return -1;
        }
        return 0;
    }

    // __init__ by the number of positional arguments; components are written one at a time.
    static int init_from(Obj* self, PyObject* const* args, Py_ssize_t n) noexcept {
        if (n == 0) {
            store(self, A{});
            return 0;
        }
        if (n == N) {
            for (int i = 0; i < N; ++i)
                if (store_component(self, i, args[i]) < 0) return -1;
            return 0;
        }
        if (n != 1) {
            PyErr_Format(PyExc_TypeError, "%s() takes 0, 1, or %d arguments, but %zd were given", Tr::name, N, n);
            return -1;
        }
        PyObject* a = args[0];
        if (is_vec(a)) {
            store(self, load(as_vec(a)));
            return 0;
        }
        const int marked = PyObject_HasAttrWithError(a, marker.get());
        if (marked < 0) return -1;
        if (marked) return store_attributes(self, a);
        if (PyList_Check(a) || PyTuple_Check(a)) return store_sequence(self, a);
        Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(a)));
        if (type_name) PyErr_Format(PyExc_TypeError, "%s() invalid constructor argument: %U", Tr::name, type_name.get());
        return -1;
    }

    static int tp_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
        if (reject_kwdict("__init__", kwds) < 0 ||
            init_from(as_vec(self), &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args)) < 0)
            return the_module.fail_int(Tr::name, "__init__");
        return 0;
    }

    // Calling the type: allocation and __init__ in one step, without an argument tuple.
    static PyObject* tp_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
        if (type != py(Tr::type())) [[unlikely]]   // a subclass: its own __new__ and __init__
            return call_type_generic(type, args, nargsf, kwnames);
        if (reject_kwnames("__init__", kwnames) < 0) return the_module.fail(Tr::name, "__init__");
        Ref v = Ref::steal(py(make(A{})));
        if (!v) return nullptr;
        if (init_from(as_vec(v.get()), args, PyVectorcall_NARGS(nargsf)) < 0) return the_module.fail(Tr::name, "__init__");
        return v.release();
    }

    //--------------------------------------------------------------------------------------
    // Python-level method bodies
    //--------------------------------------------------------------------------------------

    static Obj* from_vector(Obj* other) noexcept { return cfrom_vector(other); }
    static Obj* from_tuple(PyObject* other) noexcept { return from_items(other, "from_tuple"); }
    static Obj* from_list(PyObject* other) noexcept { return from_items(other, "from_list"); }

    // from_ints / from_floats take N arguments, all converted (in order) before the vector is made.
    template <class Seq> struct FromN;
    template <std::size_t... I> struct FromN<std::index_sequence<I...>> {
        static Obj* ints(decltype((void)I, (PyObject*)nullptr)... values) noexcept {
            PyObject* v[] = {values...};
            A a;
            for (int i = 0; i < N; ++i) {
                const int c = to_int32(v[i]);
                if (failed(c)) return nullptr;
                a[i] = narrow(static_cast<double>(c));
            }
            return make(a);
        }
        static Obj* floats(decltype((void)I, (PyObject*)nullptr)... values) noexcept {
            PyObject* v[] = {values...};
            A a;
            for (int i = 0; i < N; ++i) {
                const double d = to_double(v[i]);
                if (failed(d)) return nullptr;
                a[i] = narrow(d);
            }
            return make(a);
        }
    };
    static constexpr auto from_ints = &FromN<std::make_index_sequence<N>>::ints;
    static constexpr auto from_floats = &FromN<std::make_index_sequence<N>>::floats;

    static Obj* copy_method(Obj* self) noexcept { return copy(self, 1); }
    static Obj* deepcopy(Obj* self, PyObject*) noexcept { return make(load(self)); }

    // The operators: only a vector on the left drives them; + and - insist on a vector.
    static PyObject* add_method(Obj* self, PyObject* other) noexcept {
        if (!is_vec(other)) {
            raise::arg_type("other", Tr::type()->tp_name, other);
            return nullptr;
        }
        return py(_add(self, as_vec(other)));
    }
    static PyObject* sub_method(Obj* self, PyObject* other) noexcept {
        if (!is_vec(other)) {
            raise::arg_type("other", Tr::type()->tp_name, other);
            return nullptr;
        }
        return py(_sub(self, as_vec(other)));
    }

    // *, / and //: a vector, a scalar (int or float, subclasses included), or NotImplemented.
    template <A (*VectorOp)(const A&, const A&) noexcept, A (*ScalarOp)(const A&, double) noexcept>
    static PyObject* scale_method(Obj* self, PyObject* other, const char* member) noexcept {
        A r;
        if (is_vec(other)) {
            r = VectorOp(load(self), load(as_vec(other)));
        } else if (PyFloat_Check(other) || PyLong_Check(other)) {
            const double s = to_double(other);
            if (failed(s)) return nullptr;
            r = ScalarOp(load(self), s);
        } else {
            Py_RETURN_NOTIMPLEMENTED;
        }
        return py(make_traced(r, member));
    }
    static PyObject* mul_method(Obj* self, PyObject* other) noexcept {
        return scale_method<mul, scale>(self, other, "__mul__");
    }
    static PyObject* truediv_method(Obj* self, PyObject* other) noexcept {
        return scale_method<div, divide>(self, other, "__truediv__");
    }
    static PyObject* floordiv_method(Obj* self, PyObject* other) noexcept {
        return scale_method<floordiv, floor_divide>(self, other, "__floordiv__");
    }

    static PyObject* sadd_method(Obj* self, Obj* new_vec, Obj* old_vec) noexcept {
        sadd(self, new_vec, old_vec, 1);
        Py_RETURN_NONE;
    }
    static PyObject* get_tuple_method(Obj* self) noexcept { return get_tuple(self, 1); }
    static PyObject* get_int_tuple_method(Obj* self) noexcept { return get_int_tuple(self, 1); }
    static PyObject* get_rounded_tuple_method(Obj* self) noexcept { return get_rounded_tuple(self, 1); }
    static Obj* to_round_method(Obj* self) noexcept { return to_round(self, 1); }
    static Obj* get_round_method(Obj* self) noexcept { return get_round(self, 1); }
    static Obj* to_abs_method(Obj* self) noexcept { return to_abs(self, 1); }
    static Obj* get_abs_method(Obj* self) noexcept { return get_abs(self, 1); }
    static Obj* to_neg_method(Obj* self) noexcept { return to_neg(self, 1); }
    static Obj* get_neg_method(Obj* self) noexcept { return get_neg(self, 1); }
    static Obj* to_normalized_method(Obj* self) noexcept { return to_normalized(self, 1); }
    static Obj* get_normalized_method(Obj* self) noexcept { return get_normalized(self, 1); }
    static PyObject* distance_to_method(Obj* self, Obj* other) noexcept {
        return PyFloat_FromDouble(distance_to(self, other, 1));
    }
    static PyObject* distance_squared_to_method(Obj* self, Obj* other) noexcept {
        return PyFloat_FromDouble(distance_squared_to(self, other, 1));
    }
    static PyObject* dot_method(Obj* self, Obj* other) noexcept { return PyFloat_FromDouble(dot_slot(self, other, 1)); }

    // The Python-level methods every vector type has, in their dictionary order: the static
    // constructors (`from_vector`, e.g. "from_vector3", and `from_components`, e.g. "from_xyz"),
    // copying, the operators, sadd and the geometry.
    static std::array<MethodDef, 29> methods(const char* from_vector_name, const char* from_components) noexcept {
        PyTypeObject* t = Tr::type();
        const Param other = arg("other", t);
        auto components = [](auto make) noexcept {
            return [&]<std::size_t... I>(std::index_sequence<I...>) {
                return make(arg(component_names[I])...);
            }(std::make_index_sequence<N>{});
        };
        return {
            static_method<from_vector>(from_vector_name, other),
            static_method<from_tuple>("from_tuple", arg_exact("other", &PyTuple_Type)),
            static_method<from_list>("from_list", arg_exact("other", &PyList_Type)),
            components([](auto... p) noexcept { return static_method<from_ints>("from_ints", p...); }),
            components([](auto... p) noexcept { return static_method<from_floats>("from_floats", p...); }),
            components([&](auto... p) noexcept { return static_method<from_floats>(from_components, p...); }),
            method<copy_method>("copy"),
            method<copy_method>("__copy__"),
            method<deepcopy>("__deepcopy__", arg("memo")),
            operator_method<add_method>("__add__"),
            operator_method<sub_method>("__sub__"),
            operator_method<mul_method>("__mul__"),
            operator_method<truediv_method>("__truediv__"),
            operator_method<floordiv_method>("__floordiv__"),
            method<sadd_method>("sadd", arg("new_vec", t), arg("old_vec", t)),
            method<get_tuple_method>("get_tuple"),
            method<get_int_tuple_method>("get_int_tuple"),
            method<get_rounded_tuple_method>("get_rounded_tuple"),
            method<to_round_method>("to_round"),
            method<get_round_method>("get_round"),
            method<to_abs_method>("to_abs"),
            method<get_abs_method>("get_abs"),
            method<to_neg_method>("to_neg"),
            method<get_neg_method>("get_neg"),
            method<to_normalized_method>("to_normalized"),
            method<get_normalized_method>("get_normalized"),
            method<distance_to_method>("distance_to", other),
            method<distance_squared_to_method>("distance_squared_to", other),
            method<dot_method>("dot", other),
        };
    }

    //--------------------------------------------------------------------------------------
    // Protocol slots of the type
    //--------------------------------------------------------------------------------------

    template <PyObject* (*Method)(Obj*, PyObject*) noexcept>
    static PyObject* binary(PyObject* a, PyObject* b, const char* member) noexcept {
        if (!is_vec(a)) Py_RETURN_NOTIMPLEMENTED;
        PyObject* r = Method(as_vec(a), b);
        return r ? r : the_module.fail(Tr::name, member);
    }
    static PyObject* nb_add(PyObject* a, PyObject* b) noexcept { return binary<add_method>(a, b, "__add__"); }
    static PyObject* nb_subtract(PyObject* a, PyObject* b) noexcept { return binary<sub_method>(a, b, "__sub__"); }
    static PyObject* nb_multiply(PyObject* a, PyObject* b) noexcept { return binary<mul_method>(a, b, "__mul__"); }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) noexcept {
        return binary<truediv_method>(a, b, "__truediv__");
    }
    static PyObject* nb_floor_divide(PyObject* a, PyObject* b) noexcept {
        return binary<floordiv_method>(a, b, "__floordiv__");
    }

    // In-place operators take only a vector; anything else fails without an out-of-place retry.
    template <void (*Op)(Obj*, Obj*) noexcept>
    static PyObject* inplace(PyObject* a, PyObject* b, const char* member) noexcept {
        if (!is_vec(b)) {
            raise::arg_type("other", Tr::type()->tp_name, b);
            return the_module.fail(Tr::name, member);
        }
        Op(as_vec(a), as_vec(b));
        return Py_NewRef(a);
    }
    static PyObject* nb_inplace_add(PyObject* a, PyObject* b) noexcept { return inplace<_iadd>(a, b, "__iadd__"); }
    static PyObject* nb_inplace_subtract(PyObject* a, PyObject* b) noexcept { return inplace<_isub>(a, b, "__isub__"); }
    static PyObject* nb_inplace_multiply(PyObject* a, PyObject* b) noexcept { return inplace<_imul>(a, b, "__imul__"); }
    static PyObject* nb_negative(PyObject* a) noexcept { return py(make_traced(neg(load(as_vec(a))), "__neg__")); }

    // Items: only the indices 0 .. N-1 address components.
    static Py_ssize_t length_slot(PyObject*) noexcept { return N; }

    static bool index_ok(Py_ssize_t i) noexcept {
        if (i >= 0 && i < N) [[likely]]
            return true;
        PyErr_SetString(PyExc_IndexError, "Vector index out of range");
        return false;
    }
    static PyObject* sq_item(PyObject* self, Py_ssize_t i) noexcept {
        if (!index_ok(i)) return the_module.fail(Tr::name, "__getitem__");
        return PyFloat_FromDouble(load(as_vec(self))[i]);
    }
    static int assign_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
        if (!value) {
            PyErr_Format(PyExc_NotImplementedError, "Subscript deletion not supported by %s", Tr::type()->tp_name);
            return -1;
        }
        const double d = to_double(value);
        if (failed(d) || !index_ok(i)) return -1;
        A a = load(as_vec(self));
        a[i] = narrow(d);
        store(as_vec(self), a);
        return 0;
    }
    static int sq_ass_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
        return assign_item(self, i, value) < 0 ? the_module.fail_int(Tr::name, "__setitem__") : 0;
    }
    static PyObject* mp_subscript(PyObject* self, PyObject* key) noexcept {
        const Py_ssize_t i = to_index(key);
        if (i == -1 && PyErr_Occurred()) return the_module.fail(Tr::name, "__getitem__");
        return sq_item(self, i);
    }
    static int mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
        Py_ssize_t i = 0;
        if (value) {
            i = to_index(key);
            if (i == -1 && PyErr_Occurred()) return the_module.fail_int(Tr::name, "__setitem__");
        }
        return sq_ass_item(self, i, value);
    }

    // == and != compare with vectors only (anything else is unequal); no ordering.
    static PyObject* richcompare(PyObject* a, PyObject* b, int op) noexcept {
        if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
        bool equal = false;
        if (is_vec(a) && is_vec(b)) {
            const A u = load(as_vec(a)), v = load(as_vec(b));
            equal = true;
            for (int i = 0; i < N; ++i) equal &= u[i] == v[i];
        }
        return PyBool_FromLong(equal == (op == Py_EQ));
    }

    // hash of the tuple of components as floats, without building it: the interpreter's tuple hash.
    static Py_hash_t hash(PyObject* self) noexcept {
        constexpr Py_uhash_t prime1 = 11400714785074694791ULL, prime2 = 14029467366897019727ULL,
                             prime5 = 2870177450012600261ULL;
        Py_uhash_t acc = prime5;
        for (T c : load(as_vec(self))) {
            const Py_uhash_t lane = static_cast<Py_uhash_t>(_Py_HashDouble(self, c));
            acc += lane * prime2;
            acc = (acc << 31) | (acc >> 33);
            acc *= prime1;
        }
        acc += N ^ (prime5 ^ 3527539UL);
        return acc == static_cast<Py_uhash_t>(-1) ? 1546275796 : static_cast<Py_hash_t>(acc);
    }

    // "Vector3(1.0, 2.0, 3.0)": each component as Python's repr of the widened float.
    static PyObject* repr(PyObject* self) noexcept {
        const A a = load(as_vec(self));
        PyUnicodeWriter* w = PyUnicodeWriter_Create(16 * N);
        if (!w) return the_module.fail(Tr::name, "__repr__");
        bool ok = PyUnicodeWriter_WriteUTF8(w, Tr::name, -1) == 0 && PyUnicodeWriter_WriteChar(w, '(') == 0;
        for (int i = 0; ok && i < N; ++i) {
            char* text = PyOS_double_to_string(a[i], 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
            ok = text && (i == 0 || PyUnicodeWriter_WriteUTF8(w, ", ", 2) == 0) &&
                 PyUnicodeWriter_WriteUTF8(w, text, -1) == 0;
            PyMem_Free(text);
        }
        if (!ok || PyUnicodeWriter_WriteChar(w, ')') < 0) {
            PyUnicodeWriter_Discard(w);
            return the_module.fail(Tr::name, "__repr__");
        }
        PyObject* r = PyUnicodeWriter_Finish(w);
        return r ? r : the_module.fail(Tr::name, "__repr__");
    }

    static void dealloc(PyObject* self) noexcept { Py_TYPE(self)->tp_free(self); }

    //--------------------------------------------------------------------------------------
    // Properties
    //--------------------------------------------------------------------------------------

    template <int I>
    static PyObject* get_component(PyObject* self, void*) noexcept {
        return PyFloat_FromDouble(load(as_vec(self))[I]);
    }
    // The closure names the property's writer for its traceback entry ("x.__set__").
    template <int I>
    static int set_component(PyObject* self, PyObject* value, void* member) noexcept {
        if (refuse_delete(value) || store_component(as_vec(self), I, value) < 0)
            return the_module.fail_int(Tr::name, static_cast<const char*>(member));
        return 0;
    }
    template <int I>
    static constexpr PyGetSetDef component(const char* name, const char* setter_name) {
        return {name, get_component<I>, set_component<I>, nullptr, const_cast<char*>(setter_name)};
    }

    // A new vector of the named components, copied bit for bit.
    template <int... I>
    static PyObject* get_swizzle(PyObject* self, void* member) noexcept {
        static_assert(sizeof...(I) == N, "a swizzle names every component of the result");
        const A a = load(as_vec(self));
        Obj* r = make(A{a[I]...});
        return r ? py(r) : the_module.fail(Tr::name, static_cast<const char*>(member));
    }
    template <int... I>
    static constexpr PyGetSetDef swizzle(const char* name, const char* getter_name) {
        return {name, get_swizzle<I...>, nullptr, nullptr, const_cast<char*>(getter_name)};
    }

    static PyObject* get_length(PyObject* self, void*) noexcept { return PyFloat_FromDouble(length(load(as_vec(self)))); }

    //--------------------------------------------------------------------------------------
    // Protocol tables
    //--------------------------------------------------------------------------------------

    static inline PyNumberMethods as_number = {
        .nb_add = nb_add,
        .nb_subtract = nb_subtract,
        .nb_multiply = nb_multiply,
        .nb_negative = nb_negative,
        .nb_inplace_add = nb_inplace_add,
        .nb_inplace_subtract = nb_inplace_subtract,
        .nb_inplace_multiply = nb_inplace_multiply,
        .nb_floor_divide = nb_floor_divide,
        .nb_true_divide = nb_true_divide,
    };
    static inline PySequenceMethods as_sequence = {
        .sq_length = length_slot,
        .sq_item = sq_item,
        .sq_ass_item = sq_ass_item,
    };
    static inline PyMappingMethods as_mapping = {
        .mp_length = length_slot,
        .mp_subscript = mp_subscript,
        .mp_ass_subscript = mp_ass_subscript,
    };
};

}  // namespace vx
