// framework.hpp: what every vexlar extension module is built with.
//
// A module file declares its types (object struct, slot functions, method/property tables,
// C method table, type object) and one `vx::ModuleInfo`; the mechanics live here and in
// framework.cpp, which is compiled once and linked into each module. Each module is its own
// shared library, so the framework's globals are that module's process-global state.
//
// Conventions: every entry point is noexcept (the modules are built without exceptions);
// functions that return a new reference say so; failures set a Python exception and return
// nullptr / -1, and the function that lets it pass adds its traceback entry (Module::trace).
#pragma once

#include <Python.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <source_location>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "vexlar/shared/vexlar.h"

namespace vx {

//------------------------------------------------------------------------------------------
// Ownership
//------------------------------------------------------------------------------------------

// One strong reference, released when the Ref goes away. Plain PyObject* stays borrowed.
class Ref {
public:
    Ref() noexcept = default;
    static Ref steal(PyObject* p) noexcept { return Ref(p); }           // takes a new reference
    static Ref borrow(PyObject* p) noexcept { Py_XINCREF(p); return Ref(p); }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept { std::swap(p_, o.p_); return *this; }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }  // hands out the reference
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

// Object pointer casts between PyObject* and the layouts of vexlar.h.
template <class T> inline T* as(PyObject* o) noexcept { return reinterpret_cast<T*>(o); }
template <class T> inline PyObject* py(T* o) noexcept { return reinterpret_cast<PyObject*>(o); }

//------------------------------------------------------------------------------------------
// Interned names: created and hashed once when the module initialises
//------------------------------------------------------------------------------------------

class Name {
public:
    explicit Name(const char* text) noexcept;   // registers itself for interning
    // Interned at initialisation; a Name made later (a function-local static) interns itself on
    // first use. nullptr only if that fails, with the exception set.
    PyObject* get() noexcept { return obj_ ? obj_ : (obj_ = PyUnicode_InternFromString(text_)); }
    PyObject* get() const noexcept { return obj_ ? obj_ : const_cast<Name*>(this)->get(); }
    const char* text() const noexcept { return text_; }
    static int intern_all() noexcept;            // -1 with an exception

private:
    const char* text_;
    PyObject* obj_ = nullptr;
    Name* next_;
};

//------------------------------------------------------------------------------------------
// Messages: the system's own texts, formatted in one cold place
//------------------------------------------------------------------------------------------

namespace raise {
enum class Count : uint8_t { Exactly, AtLeast, AtMost };
[[gnu::cold]] void arg_count(const char* func, Count kind, Py_ssize_t expected, Py_ssize_t given) noexcept;
[[gnu::cold]] void unexpected_keyword(const char* func, PyObject* name) noexcept;
[[gnu::cold]] void multiple_values(const char* func, PyObject* name) noexcept;
[[gnu::cold]] void keywords_not_strings(const char* func) noexcept;
[[gnu::cold]] void arg_type(const char* param, const char* expected, PyObject* got) noexcept;
[[gnu::cold]] void needs_argument(const char* func) noexcept;
[[gnu::cold]] void wrong_receiver(const char* func, PyTypeObject* owner, PyObject* got) noexcept;
[[gnu::cold]] void one_argument(const char* func, Py_ssize_t given) noexcept;
[[gnu::cold]] void no_arguments(const char* func, Py_ssize_t given) noexcept;
[[gnu::cold]] void no_keywords(const char* func) noexcept;
[[gnu::cold]] void cannot_convert(PyObject* got, PyTypeObject* declared) noexcept;
[[gnu::cold]] void not_implemented(const char* message) noexcept;   // NotImplementedError
}  // namespace raise

//------------------------------------------------------------------------------------------
// Number conversions shared by all modules
//------------------------------------------------------------------------------------------

// Python object to double: exact floats and compact ints read directly, the rest through the
// interpreter's float conversion. -1.0 with an exception pending on failure.
inline double to_double(PyObject* o) noexcept {
    if (PyFloat_CheckExact(o)) [[likely]]
        return PyFloat_AS_DOUBLE(o);
    if (PyLong_CheckExact(o) && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(o)))
        return static_cast<double>(PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(o)));
    return PyFloat_AsDouble(o);
}

// A conversion result is a failure only when an exception is pending. The double is compared by
// its bits: in the fast-math build `v == -1.0` also holds for NaN, and the compiler then
// substitutes -1.0 for the value.
inline bool failed(double v) noexcept {
    return std::bit_cast<uint64_t>(v) == std::bit_cast<uint64_t>(-1.0) && PyErr_Occurred();
}
inline bool failed(int v) noexcept { return v == -1 && PyErr_Occurred(); }

// NaN and the infinities, told by their bits: the fast-math build assumes finite values and
// may fold or turn around a comparison-based test.
template <class T> requires std::is_floating_point_v<T>
inline bool is_nan(T v) noexcept {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    constexpr Bits magnitude = ~(Bits(1) << (sizeof(T) * 8 - 1));
    constexpr Bits infinity = std::bit_cast<Bits>(std::numeric_limits<T>::infinity());
    return (std::bit_cast<Bits>(v) & magnitude) > infinity;
}
template <class T> requires std::is_floating_point_v<T>
inline bool is_finite(T v) noexcept {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    constexpr Bits magnitude = ~(Bits(1) << (sizeof(T) * 8 - 1));
    constexpr Bits infinity = std::bit_cast<Bits>(std::numeric_limits<T>::infinity());
    return (std::bit_cast<Bits>(v) & magnitude) < infinity;
}

// A subscript as a machine index: ints directly, anything else through __index__ (a float or a
// slice is the interpreter's TypeError, an int beyond the machine range its OverflowError).
// -1 with an exception pending on failure.
inline Py_ssize_t to_index(PyObject* key) noexcept { return PyNumber_AsSsize_t(key, PyExc_OverflowError); }

// Python object to a 32-bit C int: ints by value, others through __int__ (floats truncate).
// -1 with an exception pending on failure.
int to_int32_slow(PyObject* o) noexcept;
inline int to_int32(PyObject* o) noexcept {
    if (PyLong_CheckExact(o) && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(o))) {
        Py_ssize_t v = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(o));
        if (v == static_cast<int>(v)) [[likely]]
            return static_cast<int>(v);
    }
    return to_int32_slow(o);
}

//------------------------------------------------------------------------------------------
// Method descriptors: a record per Python-level method, one runtime that makes the function
// object and matches its arguments
//------------------------------------------------------------------------------------------

// The body of a method: `self` is the checked receiver (nullptr for static methods), `args`
// the matched parameters in declaration order. Returns a new reference, or nullptr.
using Body = PyObject* (*)(PyObject* self, PyObject* const* args) noexcept;

enum class Call : uint8_t {
    Keywords,   // fast call with keywords: parameters by position or by name
    One,        // exactly one positional argument, no keywords
    NoArgs,     // no arguments at all
};

struct Default {
    enum Kind : uint8_t { Required, None, Int, Float } kind = Required;
    long long i = 0;
    double d = 0.0;
};
inline constexpr Default default_int(long long v) { return {Default::Int, v, 0.0}; }
inline constexpr Default default_float(double v) { return {Default::Float, 0, v}; }
inline constexpr Default default_none() { return {Default::None, 0, 0.0}; }

// A parameter: its name, and optionally the type it is declared with: one of this module's
// types, or (through `imported`) a type another module hands over at initialisation. A typed
// parameter accepts an instance of the type or a subtype (or exactly the type, for tuple and
// list); None passes the check only where the method handles None itself.
struct Param {
    const char* name;
    PyTypeObject* type = nullptr;
    PyTypeObject* const* imported = nullptr;
    bool exact = false;
    bool none_ok = false;
    Default fallback = {};
    const char* annotation = nullptr;

    constexpr PyTypeObject* declared() const { return type ? type : imported ? *imported : nullptr; }
};
inline constexpr Param arg(const char* name) { return {name}; }
inline constexpr Param arg(const char* name, PyTypeObject* type) { return {name, type}; }
inline constexpr Param arg(const char* name, PyTypeObject* const* imported) { return {name, nullptr, imported}; }
inline constexpr Param arg_exact(const char* name, PyTypeObject* type) { return {name, type, nullptr, true}; }
inline constexpr Param arg_or_none(Param p) { p.none_ok = true; return p; }
inline constexpr Param arg_default(const char* name, Default d) { return {name, nullptr, nullptr, false, false, d}; }

inline constexpr int kMaxParams = 8;

struct MethodDef {
    const char* name;
    Body body;
    Call call = Call::Keywords;
    bool is_static = false;
    uint8_t nparams = 0;
    uint8_t nrequired = 0;
    Param params[kMaxParams] = {};
    const char* doc = nullptr;
    const char* returns = nullptr;    // return annotation, as text
    int line = 0;                     // where the method is declared
};

namespace detail {
template <class F> struct fn_traits;
template <class R, class... A> struct fn_traits<R (*)(A...) noexcept> {
    static constexpr std::size_t arity = sizeof...(A);
    template <std::size_t I> using arg = std::tuple_element_t<I, std::tuple<A...>>;
};
template <class T> inline T cast_arg(PyObject* o) noexcept {
    if constexpr (std::is_same_v<T, PyObject*>) return o;
    else return reinterpret_cast<T>(o);
}
template <class T> inline PyObject* cast_result(T* r) noexcept { return reinterpret_cast<PyObject*>(r); }

// Adapts a typed body `R* f(Self* self, A*... args)` (or, static, `R* f(A*... args)`) to Body.
template <auto F, bool Static>
PyObject* adapt(PyObject* self, PyObject* const* args) noexcept {
    using T = fn_traits<decltype(F)>;
    if constexpr (Static) {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return cast_result(F(cast_arg<typename T::template arg<I>>(args[I])...));
        }(std::make_index_sequence<T::arity>{});
    } else {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return cast_result(F(cast_arg<typename T::template arg<0>>(self),
                                 cast_arg<typename T::template arg<I + 1>>(args[I])...));
        }(std::make_index_sequence<T::arity - 1>{});
    }
}

template <class... P>
constexpr MethodDef make_def(const char* name, Body body, Call call, bool is_static, int line, P... params) {
    static_assert(sizeof...(P) <= kMaxParams, "a method has at most kMaxParams parameters");
    MethodDef d{name, body, call, is_static, static_cast<uint8_t>(sizeof...(P)), 0, {params...}};
    d.line = line;
    uint8_t required = 0;
    for (std::size_t i = 0; i < sizeof...(P); ++i) {
        if (d.params[i].fallback.kind != Default::Required) break;
        ++required;
    }
    d.nrequired = required;
    return d;
}
}  // namespace detail

// A method's name together with the line that declares it (for __code__ and traceback
// entries): converting the name literal captures the caller's line.
struct Declared {
    const char* name;
    int line;
    Declared(const char* n, std::source_location loc = std::source_location::current()) noexcept
        : name(n), line(static_cast<int>(loc.line())) {}
};

// An ordinary method: body `R* f(Self* self, params...)`, parameters by position or keyword.
template <auto F, class... P>
MethodDef method(Declared d, P... params) noexcept {
    static_assert(detail::fn_traits<decltype(F)>::arity == sizeof...(P) + 1,
                  "the body takes the receiver and one argument per declared parameter");
    return detail::make_def(d.name, &detail::adapt<F, false>, Call::Keywords, false, d.line, params...);
}
// A static constructor (wrapped in staticmethod): body `R* f(params...)`.
template <auto F, class... P>
MethodDef static_method(Declared d, P... params) noexcept {
    static_assert(detail::fn_traits<decltype(F)>::arity == sizeof...(P),
                  "a static body takes one argument per declared parameter");
    return detail::make_def(d.name, &detail::adapt<F, true>, Call::Keywords, true, d.line, params...);
}
// An operator method with the single-argument convention: body `PyObject* f(Self*, PyObject*)`.
template <auto F>
MethodDef operator_method(Declared d) noexcept {
    return detail::make_def(d.name, &detail::adapt<F, false>, Call::One, false, d.line, arg("other"));
}
// Adds documentation and a return annotation to a method record.
constexpr MethodDef with_doc(MethodDef d, const char* doc, const char* returns = nullptr) {
    d.doc = doc;
    d.returns = returns;
    return d;
}

// One array of method records from several (a type's shared methods and its own).
template <std::size_t... K>
std::array<MethodDef, (K + ...)> join(const std::array<MethodDef, K>&... parts) noexcept {
    std::array<MethodDef, (K + ...)> all;
    std::size_t i = 0;
    ((std::copy(parts.begin(), parts.end(), all.begin() + i), i += K), ...);
    return all;
}

// Argument matching for callables that are not function objects (an `__init__` reached
// through tp_init, a type's vectorcall). `out` receives borrowed references, nparams entries;
// unfilled optional parameters are left nullptr. 0 on success, -1 with the exception.
struct Signature {
    const char* name;                  // bare callable name, for messages
    std::span<const Param> params;
    std::span<PyObject* const> names;  // interned parameter names, same order
    uint8_t nrequired;
};
int match_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** out) noexcept;

// The parameters of a callable that is not a function object (an `__init__`), matched by the
// same rules. Names are interned and defaults made when the module initialises (or on first
// use, for one made later); `out` receives borrowed references with the defaults filled in.
// 0, or -1 with the exception.
class Arguments {
public:
    Arguments(const char* func, std::initializer_list<Param> params) noexcept;
    int match(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) noexcept;
    int match(PyObject* args, PyObject* kwds, PyObject** out) noexcept;
    static int prepare_all() noexcept;   // -1 with an exception

private:
    int prepare() noexcept;
    Arguments* next_;
    int finish(PyObject** out) noexcept;
    Signature signature() const noexcept;

    const char* func_;
    Param params_[kMaxParams] = {};
    uint8_t count_ = 0;
    uint8_t required_ = 0;
    bool ready_ = false;
    PyObject* names_[kMaxParams] = {};
    PyObject* defaults_[kMaxParams] = {};
};
int match_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwds, PyObject** out) noexcept;
// Refuses any keyword (a callable without named parameters): 0, or -1 with the exception.
int reject_kwnames(const char* func, PyObject* kwnames) noexcept;
int reject_kwdict(const char* func, PyObject* kwds) noexcept;
// The typed-parameter check for one value: 0, or -1 with the argument-type TypeError.
int check_param(const Param& p, PyObject* value) noexcept;

//------------------------------------------------------------------------------------------
// Types, method tables, pickling guard, imports
//------------------------------------------------------------------------------------------

// Allocation through the type's allocator without __init__: zeroed payload, method table set.
// Returns a new reference, or nullptr with MemoryError.
template <class Obj, class Table>
inline Obj* alloc(PyTypeObject* type, const Table* table) noexcept {
    Obj* o = reinterpret_cast<Obj*>(type->tp_alloc(type, 0));
    if (o) [[likely]]
        o->vtab = table;
    return o;
}

// tp_new of a type with a method table.
template <class Obj, class Table, const Table* T>
PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* o;
    if (type->tp_flags & Py_TPFLAGS_IS_ABSTRACT)
        o = PyBaseObject_Type.tp_new(type, PyTuple_New(0), nullptr);
    else
        o = type->tp_alloc(type, 0);
    if (o) [[likely]]
        reinterpret_cast<Obj*>(o)->vtab = T;
    return o;
}

// Calls a type through its generic tp_call (tp_new, then tp_init), for a type's vectorcall
// fast path to hand subclasses back to. Returns a new reference, or nullptr.
PyObject* call_type_generic(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept;

// A setter that refuses deletion with NotImplementedError "__del__"; true if it refused.
inline bool refuse_delete(PyObject* value) noexcept {
    if (value) [[likely]]
        return false;
    raise::not_implemented("__del__");
    return true;
}

// The guard methods that refuse pickling; put `PickleGuard<text>::methods` in tp_methods.
struct PickleText {
    const char* message;          // the TypeError both guards raise
    const char* reduce_name;      // traceback names of the two guards, e.g. "Vector3.__reduce_guard__"
    const char* setstate_name;
};
PyObject* pickle_refuse(const PickleText& text) noexcept;
PyObject* pickle_refuse_setstate(const PickleText& text, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept;
template <const PickleText& Text>
struct PickleGuard {
    static PyObject* reduce(PyObject*, PyObject*) noexcept { return pickle_refuse(Text); }
    static PyObject* setstate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return pickle_refuse_setstate(Text, args, nargs, kwnames);
    }
    static inline PyMethodDef methods[] = {
        {"__reduce_guard__", reinterpret_cast<PyCFunction>(&reduce), METH_NOARGS, nullptr},
        {"__setstate_guard__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&setstate)),
         METH_FASTCALL | METH_KEYWORDS, nullptr},
        {nullptr, nullptr, 0, nullptr},
    };
};

struct TypeDef {
    PyTypeObject* type;
    const void* vtable = nullptr;           // published under __pyx_vtable__
    std::span<const MethodDef> methods = {}; // placed in the type dictionary, in order
    bool module_attribute = true;            // false for internal types
    bool pickle_guard = false;               // tp_methods holds a PickleGuard
};

// A type this module uses from another module: filled in at initialisation.
struct TypeImport {
    const char* module;
    const char* name;
    std::size_t expected_size;
    PyTypeObject** type;
    const void** vtable;                     // nullptr: no method table wanted
};

// A C function published in the module's `__pyx_capi__` dict.
struct CapiExport {
    const char* name;
    void* function;
    const char* signature;
};

//------------------------------------------------------------------------------------------
// The module
//------------------------------------------------------------------------------------------

struct Module;

struct ModuleInfo {
    const char* name;        // definition name, e.g. "vector3"
    const char* qualified;   // e.g. "vexlar.vector3.vector3"
    const char* source;      // source path named in traceback entries
    std::span<const TypeDef> types;
    std::span<const TypeImport> imports = {};
    std::span<const CapiExport> capi = {};
    bool check_type_size = false;              // check builtins.type against PyHeapTypeObject
    int (*imports_py)(Module&) noexcept = nullptr;  // Python-level imports of attributes
    int (*statements)(Module&) noexcept = nullptr;  // module-level objects, after the methods
};

struct Module {
    PyModuleDef def;               // what PyInit_<name> hands to the interpreter
    const ModuleInfo* info;
    int* is_main;                  // set by an embedding host that runs the module as __main__
    PyObject* module = nullptr;    // the one instance, empty until initialised
    int64_t interpreter = -1;
    PyObject* dict = nullptr;
    PyObject* builtins = nullptr;
    PyObject* empty_tuple = nullptr;
    PyObject* empty_bytes = nullptr;
    PyObject* empty_str = nullptr;

    // PyInit_<name>: the definition for multi-phase initialisation.
    PyObject* init(const ModuleInfo& i, int* main_flag) noexcept;

    // Adds the traceback entry "<qualified module>.<qualname>" at `line` to the pending exception;
    // the two-part form names "<qualified module>.<owner>.<member>" (templates shared by several
    // types pass their type name and the function's). Names are keyed by address: pass literals.
    void trace(const char* owner, const char* member, int line) noexcept;
    void trace(const char* qualname, int line) noexcept { trace(qualname, nullptr, line); }
    void trace(const char* qualname, std::source_location loc = std::source_location::current()) noexcept {
        trace(qualname, nullptr, static_cast<int>(loc.line()));
    }
    // trace(), then the failure value of a pointer-returning function.
    std::nullptr_t fail(const char* qualname, std::source_location loc = std::source_location::current()) noexcept {
        trace(qualname, nullptr, static_cast<int>(loc.line()));
        return nullptr;
    }
    std::nullptr_t fail(const char* owner, const char* member,
                        std::source_location loc = std::source_location::current()) noexcept {
        trace(owner, member, static_cast<int>(loc.line()));
        return nullptr;
    }
    // trace(), then the failure value 0 of a slot whose int result stands for a truth or a number.
    int fail_zero(const char* qualname, std::source_location loc = std::source_location::current()) noexcept {
        trace(qualname, nullptr, static_cast<int>(loc.line()));
        return 0;
    }
    // trace(), then the failure value -1 of a slot returning int.
    int fail_int(const char* qualname, std::source_location loc = std::source_location::current()) noexcept {
        trace(qualname, nullptr, static_cast<int>(loc.line()));
        return -1;
    }
    int fail_int(const char* owner, const char* member,
                 std::source_location loc = std::source_location::current()) noexcept {
        trace(owner, member, static_cast<int>(loc.line()));
        return -1;
    }
    void trace_init() noexcept;   // "init <qualified module>" at line 1
};

// The module's state; a module file defines it with VEXLAR_MODULE.
extern Module the_module;

namespace detail {
inline PyObject* to_py(PyObject* o) noexcept { Py_INCREF(o); return o; }
template <class T> requires std::is_pointer_v<T> inline PyObject* to_py(T o) noexcept {
    PyObject* p = reinterpret_cast<PyObject*>(o);
    Py_INCREF(p);
    return p;
}
inline PyObject* to_py(double v) noexcept { return PyFloat_FromDouble(v); }
inline PyObject* to_py(float v) noexcept { return PyFloat_FromDouble(v); }
inline PyObject* to_py(int v) noexcept { return PyLong_FromLong(v); }
int truth_of(PyObject* r) noexcept;
}  // namespace detail

// A new tuple of Python numbers: doubles become floats, ints become ints. nullptr on failure.
template <class... T>
PyObject* tuple_of(T... values) noexcept {
    PyObject* items[] = {detail::to_py(values)...};
    for (PyObject* item : items)
        if (!item) [[unlikely]] {
            for (PyObject* other : items) Py_XDECREF(other);
            return nullptr;
        }
    PyObject* t = PyTuple_New(sizeof...(T));
    for (std::size_t i = 0; i < sizeof...(T); ++i) {
        if (t) PyTuple_SET_ITEM(t, i, items[i]);
        else Py_DECREF(items[i]);
    }
    return t;
}

//------------------------------------------------------------------------------------------
// Overridable C-level methods (a slot with a trailing skip_dispatch)
//------------------------------------------------------------------------------------------

// True when the receiver may carry a Python-level override: an instance of a Python subclass.
inline bool may_override(PyObject* self) noexcept {
    PyTypeObject* t = Py_TYPE(self);
    return (t->tp_flags & (Py_TPFLAGS_HEAPTYPE | Py_TPFLAGS_IS_ABSTRACT)) || t->tp_dictoffset != 0;
}

// The receiver's attribute `name` when it overrides the method whose body is `own`: a new
// reference. nullptr when the built-in body should run, or with an exception when the lookup
// failed (test PyErr_Occurred).
PyObject* find_override(PyObject* self, PyObject* name, Body own) noexcept;

// How an override's result becomes the slot's result type.
struct Truth { int value; };          // int slots that stand for a truth value
struct Discard {};                    // slots without a result
template <class Obj> struct Typed { Obj* value; PyTypeObject* type; };


// The Body of a Python-level method: what an overridable slot compares an override with.
template <auto F> inline constexpr Body body_of = &detail::adapt<F, false>;

// Runs the override of an overridable slot if the receiver has one, converting its result into
// `out` by the slot's result type (PyObject*, Truth, double, float, int, or Typed<Obj> with its
// declared type set, or Discard). Returns 0 when the built-in body should run, 1 when the override ran
// and `out` holds its result, -1 when the lookup, the call or the conversion failed.
//
//     vx::Truth r;
//     if (int rc = vx::call_override(r, self, skip_dispatch, name, vx::body_of<collide_point>, point))
//         return rc < 0 ? fail(...) : r.value;
template <class R, class... A>
int call_override(R& out, PyObject* self, int skip_dispatch, const Name& name, Body own, A... args) noexcept {
    if (skip_dispatch || !may_override(self)) [[likely]]
        return 0;
    Ref attr = Ref::steal(find_override(self, name.get(), own));
    if (!attr) return PyErr_Occurred() ? -1 : 0;
    PyObject* argv[sizeof...(A) + 1] = {nullptr, detail::to_py(args)...};
    Ref result;
    bool args_ok = true;
    for (std::size_t i = 1; i <= sizeof...(A); ++i) args_ok &= argv[i] != nullptr;
    if (args_ok)
        result = Ref::steal(PyObject_Vectorcall(attr.get(), argv + 1, sizeof...(A) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    for (std::size_t i = 1; i <= sizeof...(A); ++i) Py_XDECREF(argv[i]);
    if (!result) return -1;
    PyObject* r = result.get();
    if constexpr (std::is_same_v<R, PyObject*>) {
        out = result.release();
    } else if constexpr (std::is_same_v<R, Truth>) {
        out.value = detail::truth_of(r);
        if (out.value < 0) return -1;
    } else if constexpr (std::is_same_v<R, double>) {
        if (failed(out = to_double(r))) return -1;
    } else if constexpr (std::is_same_v<R, float>) {   // float32 conversion: rounded once
        const double d = to_double(r);
        if (failed(d)) return -1;
        out = static_cast<float>(d);
    } else if constexpr (std::is_same_v<R, int>) {
        if (failed(out = to_int32(r))) return -1;
    } else if constexpr (std::is_same_v<R, Discard>) {
        (void)out;
    } else {   // Typed<Obj>: None or an instance of the declared type
        if (r != Py_None && !PyObject_TypeCheck(r, out.type)) {
            raise::cannot_convert(r, out.type);
            return -1;
        }
        out.value = reinterpret_cast<decltype(out.value)>(result.release());
    }
    return 1;
}

//------------------------------------------------------------------------------------------
// Build-time checks of the shared declarations in vexlar.h: other modules index the tables by
// position and read payloads at fixed offsets, so a slip here would corrupt memory at run time.
//------------------------------------------------------------------------------------------

template <class Table> inline constexpr std::size_t slot_count = sizeof(Table) / sizeof(void (*)());
static_assert(slot_count<VexlarVector2Table> == 31, "Vector2's method table has 31 slots");
static_assert(slot_count<VexlarVector3Table> == 31, "Vector3's method table has 31 slots");
static_assert(slot_count<VexlarVector4Table> == 30, "Vector4's method table has 30 slots");
static_assert(slot_count<VexlarRectTable> == 14, "Rect's method table has 14 slots");
static_assert(slot_count<VexlarColorTable> == 6, "Color's method table has 6 slots");
static_assert(slot_count<VexlarWindowTable> == 31, "Window's method table has 31 slots");

static_assert(sizeof(Vector2) == 8 && sizeof(Vector3) == 12 && sizeof(Rectangle) == 16 && sizeof(Color) == 4 &&
                  sizeof(vector4_t) == 32,
              "raylib's records are packed floats and bytes, vector4_t four doubles");

// Header, then the method table pointer, then the payload at its natural alignment.
inline constexpr std::size_t kTableOffset = sizeof(PyObject);
inline constexpr std::size_t kPayloadOffset = sizeof(PyObject) + sizeof(void*);
static_assert(offsetof(VexlarVector2, vtab) == kTableOffset && offsetof(VexlarVector2, data) == kPayloadOffset,
              "Vector2 objects are header, table pointer, data");
static_assert(offsetof(VexlarVector3, vtab) == kTableOffset && offsetof(VexlarVector3, data) == kPayloadOffset,
              "Vector3 objects are header, table pointer, data");
static_assert(offsetof(VexlarVector4, vtab) == kTableOffset && offsetof(VexlarVector4, data) == kPayloadOffset,
              "Vector4 objects are header, table pointer, data");
static_assert(offsetof(VexlarRect, vtab) == kTableOffset && offsetof(VexlarRect, _raw) == kPayloadOffset,
              "Rect objects are header, table pointer, _raw");
static_assert(offsetof(VexlarColor, vtab) == kTableOffset && offsetof(VexlarColor, _raw) == kPayloadOffset,
              "Color objects are header, table pointer, _raw");
static_assert(offsetof(VexlarColors, entries) == sizeof(PyObject) && sizeof(VexlarColors) == sizeof(PyObject) + 152 * sizeof(void*),
              "Colors objects are the header and 152 Color references");
static_assert(offsetof(VexlarWindow, _size) == kPayloadOffset &&
                  offsetof(VexlarWindow, _min_size) == kPayloadOffset + 8 &&
                  offsetof(VexlarWindow, _max_size) == kPayloadOffset + 16 &&
                  offsetof(VexlarWindow, _title) == kPayloadOffset + 24 &&
                  offsetof(VexlarWindow, _flags) == kPayloadOffset + 32 &&
                  offsetof(VexlarWindow, _opacity) == kPayloadOffset + 40,
              "Window objects hold their fields in declaration order at natural alignment");

}  // namespace vx

// The names of module vexlar.<m>.<m>, derived from <m>: definition name, dotted name, and the
// source path its traceback entries name. Opens a vx::ModuleInfo initialiser.
#define VEXLAR_MODULE_NAMES(m) .name = #m, .qualified = "vexlar." #m "." #m, .source = "src/vexlar/" #m "/" #m ".cpp"

// Defines the module's state and its entry point PyInit_<name>, and the flag by which an
// embedding host marks the module as the program's main module.
#define VEXLAR_MODULE(name, info)                                                               \
    extern "C" {                                                                                \
    __attribute__((visibility("default"))) int __pyx_module_is_main_vexlar__##name##__##name = 0; \
    }                                                                                           \
    vx::Module vx::the_module{};                                                                \
    PyMODINIT_FUNC PyInit_##name() { return vx::the_module.init(info, &__pyx_module_is_main_vexlar__##name##__##name); }
