// framework.cpp: the runtime half of the framework, compiled once and linked into every
// module. Templates in framework.hpp only fill records; everything that turns a record into
// Python objects, matches arguments, formats messages or initialises a module is here.
#include "vexlar/shared/framework.hpp"

#include <frameobject.h>   // PyFrame_New, for traceback entries

#include <atomic>
#include <cstdio>

namespace vx {

//==========================================================================================
// Interned names
//==========================================================================================

namespace {
constinit Name* g_names = nullptr;   // every Name of this module, interned at initialisation
}

Name::Name(const char* text) noexcept : text_(text), next_(g_names) { g_names = this; }

int Name::intern_all() noexcept {
    for (Name* n = g_names; n; n = n->next_) {
        if (n->obj_) continue;
        n->obj_ = PyUnicode_InternFromString(n->text_);
        if (!n->obj_ || PyObject_Hash(n->obj_) == -1) return -1;
    }
    return 0;
}

//==========================================================================================
// Messages
//==========================================================================================

namespace raise {

void arg_count(const char* func, Count kind, Py_ssize_t expected, Py_ssize_t given) noexcept {
    static const char* const words[] = {"exactly", "at least", "at most"};
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", func,
                 words[static_cast<int>(kind)], expected, expected == 1 ? "" : "s", given);
}

void unexpected_keyword(const char* func, PyObject* name) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", func, name);
}

void multiple_values(const char* func, PyObject* name) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", func, name);
}

void keywords_not_strings(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", func);
}

void arg_type(const char* param, const char* expected, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", param,
                 expected, Py_TYPE(got)->tp_name);
}

void needs_argument(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s", func, "needs an argument");
}

void wrong_receiver(const char* func, PyTypeObject* owner, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError, "descriptor '%.200s' for '%.100s' objects doesn't apply to a '%.100s' object",
                 func, owner->tp_name, Py_TYPE(got)->tp_name);
}

void one_argument(const char* func, Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s (%zd given)", func, "takes exactly one argument", given);
}

void no_arguments(const char* func, Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s (%zd given)", func, "takes no arguments", given);
}

void no_keywords(const char* func) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s", func, "takes no keyword arguments");
}

void cannot_convert(PyObject* got, PyTypeObject* declared) noexcept {
    PyErr_Format(PyExc_TypeError, "%.1sCannot convert %.200s to %.200s", "", Py_TYPE(got)->tp_name,
                 declared->tp_name);
}

void not_implemented(const char* message) noexcept { PyErr_SetString(PyExc_NotImplementedError, message); }

}  // namespace raise

//==========================================================================================
// Int conversion
//==========================================================================================

namespace {
// An int object to a C int: magnitudes below 2**60 that do not fit get our own message, larger
// ones the interpreter's.
int long_to_int32(PyObject* o) noexcept {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (overflow == 0 && v >= INT32_MIN && v <= INT32_MAX) return static_cast<int>(v);
    constexpr long long limit = 1LL << 60;
    if (overflow == 0 && v > -limit && v < limit) {
        PyErr_Format(PyExc_OverflowError, "value too large to convert to %.200s", "int");
        return -1;
    }
    return PyLong_AsInt(o);   // raises the interpreter's own OverflowError
}
}  // namespace

int to_int32_slow(PyObject* o) noexcept {
    if (PyLong_Check(o)) return long_to_int32(o);
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "an integer is required");
        return -1;
    }
    Ref r = Ref::steal(nb->nb_int(o));
    if (!r) return -1;
    if (!PyLong_CheckExact(r.get())) {
        if (!PyLong_Check(r.get())) {
            PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)", Py_TYPE(r.get())->tp_name);
            return -1;
        }
        if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                             "__int__ returned non-int (type %.200s).  The ability to return an instance of a "
                             "strict subclass of int is deprecated, and may be removed in a future version of "
                             "Python.",
                             Py_TYPE(r.get())->tp_name) < 0)
            return -1;
    }
    return long_to_int32(r.get());
}

//==========================================================================================
// Argument matching
//==========================================================================================

namespace {

// Index of the parameter called `key`: identity with the names not yet filled first, then
// string equality with all of them. -1 when none matches.
Py_ssize_t find_param(std::span<PyObject* const> names, PyObject* const* out, PyObject* key) noexcept {
    const Py_ssize_t n = static_cast<Py_ssize_t>(names.size());
    for (Py_ssize_t j = 0; j < n; ++j)
        if (names[j] == key && !out[j]) return j;
    for (Py_ssize_t j = 0; j < n; ++j)
        if (names[j] == key || PyUnicode_Compare(names[j], key) == 0) return j;
    return -1;
}

// Places one keyword argument; 0, or -1 with the exception.
int place_keyword(const Signature& sig, PyObject** out, Py_ssize_t nargs, PyObject* key, PyObject* value) noexcept {
    Py_ssize_t j = find_param(sig.names, out, key);
    if (j < 0) {
        raise::unexpected_keyword(sig.name, key);
        return -1;
    }
    if (j < nargs || out[j]) {
        raise::multiple_values(sig.name, key);
        return -1;
    }
    out[j] = value;
    return 0;
}

int check_counts(const Signature& sig, Py_ssize_t nargs) noexcept {
    const Py_ssize_t n = static_cast<Py_ssize_t>(sig.params.size());
    if (nargs <= n) return 0;
    raise::arg_count(sig.name, sig.nrequired == n ? raise::Count::Exactly : raise::Count::AtMost, n, nargs);
    return -1;
}

int check_required(const Signature& sig, PyObject* const* out) noexcept {
    const Py_ssize_t n = static_cast<Py_ssize_t>(sig.params.size());
    for (Py_ssize_t i = 0; i < sig.nrequired; ++i) {
        if (out[i]) continue;
        raise::arg_count(sig.name, sig.nrequired == n ? raise::Count::Exactly : raise::Count::AtLeast, sig.nrequired, i);
        return -1;
    }
    return 0;
}

}  // namespace

int match_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** out) noexcept {
    if (check_counts(sig, nargs) < 0) return -1;
    const Py_ssize_t n = static_cast<Py_ssize_t>(sig.params.size());
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = i < nargs ? args[i] : nullptr;
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            if (!PyUnicode_Check(key)) [[unlikely]] {
                raise::keywords_not_strings(sig.name);
                return -1;
            }
            if (place_keyword(sig, out, nargs, key, args[nargs + k]) < 0) return -1;
        }
    }
    return check_required(sig, out);
}

int match_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwds, PyObject** out) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (check_counts(sig, nargs) < 0) return -1;
    const Py_ssize_t n = static_cast<Py_ssize_t>(sig.params.size());
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = i < nargs ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (kwds && PyDict_GET_SIZE(kwds)) {
        if (!PyArg_ValidateKeywordArguments(kwds)) return -1;
        int rc = 0;
        Py_BEGIN_CRITICAL_SECTION(kwds);
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwds, &pos, &key, &value))
            if ((rc = place_keyword(sig, out, nargs, key, value)) < 0) break;
        Py_END_CRITICAL_SECTION();
        if (rc < 0) return -1;
    }
    return check_required(sig, out);
}

namespace {
PyObject* make_default(const Default& d) noexcept {
    switch (d.kind) {
    case Default::Int: return PyLong_FromLongLong(d.i);
    case Default::Float: return PyFloat_FromDouble(d.d);
    default: Py_RETURN_NONE;
    }
}
}  // namespace

namespace {
constinit Arguments* g_arguments = nullptr;   // every Arguments of this module, prepared at initialisation
}

int Arguments::prepare_all() noexcept {
    for (Arguments* a = g_arguments; a; a = a->next_)
        if (!a->ready_ && a->prepare() < 0) return -1;
    return 0;
}

Arguments::Arguments(const char* func, std::initializer_list<Param> params) noexcept : next_(g_arguments), func_(func) {
    g_arguments = this;
    for (const Param& p : params) {
        if (count_ == kMaxParams) break;
        params_[count_++] = p;
        if (p.fallback.kind == Default::Required && required_ == count_ - 1) ++required_;
    }
}

int Arguments::prepare() noexcept {
    for (int i = 0; i < count_; ++i) {
        if (!names_[i] && !(names_[i] = PyUnicode_InternFromString(params_[i].name))) return -1;
        if (i >= required_ && !defaults_[i] && !(defaults_[i] = make_default(params_[i].fallback))) return -1;
    }
    ready_ = true;
    return 0;
}

Signature Arguments::signature() const noexcept {
    return Signature{func_, std::span<const Param>(params_, count_), std::span<PyObject* const>(names_, count_),
                     required_};
}

int Arguments::finish(PyObject** out) noexcept {
    for (int i = required_; i < count_; ++i)
        if (!out[i]) out[i] = defaults_[i];
    for (int i = 0; i < count_; ++i)
        if (check_param(params_[i], out[i]) < 0) return -1;
    return 0;
}

int Arguments::match(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) noexcept {
    if (!ready_ && prepare() < 0) return -1;
    if (match_fastcall(signature(), args, nargs, kwnames, out) < 0) return -1;
    return finish(out);
}

int Arguments::match(PyObject* args, PyObject* kwds, PyObject** out) noexcept {
    if (!ready_ && prepare() < 0) return -1;
    if (match_tuple_dict(signature(), args, kwds, out) < 0) return -1;
    return finish(out);
}

int reject_kwnames(const char* func, PyObject* kwnames) noexcept {
    if (!kwnames || PyTuple_GET_SIZE(kwnames) == 0) [[likely]]
        return 0;
    PyObject* key = PyTuple_GET_ITEM(kwnames, 0);
    if (!PyUnicode_Check(key)) raise::keywords_not_strings(func);
    else raise::unexpected_keyword(func, key);
    return -1;
}

int reject_kwdict(const char* func, PyObject* kwds) noexcept {
    if (!kwds || PyDict_GET_SIZE(kwds) == 0) [[likely]]
        return 0;
    if (!PyArg_ValidateKeywordArguments(kwds)) return -1;
    Py_BEGIN_CRITICAL_SECTION(kwds);
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    if (PyDict_Next(kwds, &pos, &key, &value)) raise::unexpected_keyword(func, key);
    Py_END_CRITICAL_SECTION();
    return -1;
}

int check_param(const Param& p, PyObject* value) noexcept {
    PyTypeObject* type = p.declared();
    if (!type) return 0;
    if (p.exact ? Py_IS_TYPE(value, type) : PyObject_TypeCheck(value, type)) [[likely]]
        return 0;
    if (value == Py_None && p.none_ok) return 0;
    raise::arg_type(p.name, type->tp_name, value);
    return -1;
}

PyObject* call_type_generic(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    Ref tuple = Ref::steal(PyTuple_New(nargs));
    if (!tuple) return nullptr;
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(tuple.get(), i, Py_NewRef(args[i]));
    Ref kwargs;
    if (kwnames && PyTuple_GET_SIZE(kwnames)) {
        if (!(kwargs = Ref::steal(PyDict_New()))) return nullptr;
        for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(kwnames); ++k)
            if (PyDict_SetItem(kwargs.get(), PyTuple_GET_ITEM(kwnames, k), args[nargs + k]) < 0) return nullptr;
    }
    return PyType_Type.tp_call(type, tuple.get(), kwargs.get());
}

//==========================================================================================
// Function objects
//==========================================================================================

namespace {

struct Function {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodDef* def;
    PyTypeObject* owner;            // receiver type; nullptr for static methods
    const char* trace_name;         // "<Type>.<method>": UTF-8 of trace_qualname
    PyObject* trace_qualname;       // the qualified name as made; __qualname__ may be rebound
    PyObject* names[kMaxParams];    // interned parameter names
    PyObject* name;
    PyObject* qualname;
    PyObject* module_name;
    PyObject* dict;
    PyObject* defaults;             // tuple or None
    PyObject* kwdefaults;
    PyObject* annotations;
    PyObject* doc;
    PyObject* code;                 // made on first use
};

extern PyTypeObject FunctionType;

Signature signature_of(const Function* f) noexcept {
    const MethodDef& d = *f->def;
    return Signature{d.name, std::span<const Param>(d.params, d.nparams),
                     std::span<PyObject* const>(f->names, d.nparams), d.nrequired};
}

PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    Function* f = reinterpret_cast<Function*>(callable);
    const MethodDef& d = *f->def;
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyObject* self = nullptr;
    PyObject* matched[kMaxParams];
    PyObject* const* values = args;
    PyObject* result = nullptr;

    if (!d.is_static) {
        if (nargs < 1) [[unlikely]] {
            raise::needs_argument(d.name);
            goto fail;
        }
        self = args[0];
        if (!PyObject_TypeCheck(self, f->owner)) [[unlikely]] {
            raise::wrong_receiver(d.name, f->owner, self);
            goto fail;
        }
        ++args;
        --nargs;
        values = args;
    }
    switch (d.call) {
    case Call::One:
        if (kwnames && PyTuple_GET_SIZE(kwnames)) [[unlikely]] {
            raise::no_keywords(d.name);
            goto fail;
        }
        if (nargs != 1) [[unlikely]] {
            raise::one_argument(d.name, nargs);
            goto fail;
        }
        break;
    case Call::NoArgs:
        if (kwnames && PyTuple_GET_SIZE(kwnames)) [[unlikely]] {
            raise::no_keywords(d.name);
            goto fail;
        }
        if (nargs != 0) [[unlikely]] {
            raise::no_arguments(d.name, nargs);
            goto fail;
        }
        break;
    case Call::Keywords:
        if (kwnames || nargs != d.nparams) {
            if (match_fastcall(signature_of(f), args, nargs, kwnames, matched) < 0) goto fail;
            for (int i = d.nrequired; i < d.nparams; ++i)
                if (!matched[i]) matched[i] = PyTuple_GET_ITEM(f->defaults, i - d.nrequired);
            values = matched;
        }
        for (int i = 0; i < d.nparams; ++i)
            if (check_param(d.params[i], values[i]) < 0) goto fail;
        break;
    }
    result = d.body(self, values);
    if (result) [[likely]]
        return result;
fail:
    the_module.trace(f->trace_name, d.line);
    return nullptr;
}

PyObject* function_descr_get(PyObject* self, PyObject* obj, PyObject*) noexcept {
    Function* f = reinterpret_cast<Function*>(self);
    if (!obj || f->def->is_static) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

PyObject* function_repr(PyObject* self) noexcept {
    return PyUnicode_FromFormat("<function %U at %p>", reinterpret_cast<Function*>(self)->qualname, self);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Function* f = reinterpret_cast<Function*>(self);
    Py_VISIT(f->dict);
    Py_VISIT(f->defaults);
    Py_VISIT(f->kwdefaults);
    Py_VISIT(f->annotations);
    Py_VISIT(f->doc);
    Py_VISIT(f->code);
    return 0;
}

int function_clear(PyObject* self) noexcept {
    Function* f = reinterpret_cast<Function*>(self);
    Py_CLEAR(f->dict);
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->kwdefaults);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->code);
    return 0;
}

void function_dealloc(PyObject* self) noexcept {
    Function* f = reinterpret_cast<Function*>(self);
    PyObject_GC_UnTrack(self);
    function_clear(self);
    for (PyObject*& n : f->names) Py_CLEAR(n);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->trace_qualname);
    Py_CLEAR(f->module_name);
    PyObject_GC_Del(self);
}

// Attribute reads and writes happen inside a critical section on the function object.
template <PyObject* Function::*Field>
PyObject* get_field(PyObject* self, void*) noexcept {
    PyObject* r;
    Py_BEGIN_CRITICAL_SECTION(self);
    r = reinterpret_cast<Function*>(self)->*Field;
    r = Py_NewRef(r ? r : Py_None);
    Py_END_CRITICAL_SECTION();
    return r;
}

// Writes a field; `check` refuses values of the wrong kind (None stores None unless refused).
template <PyObject* Function::*Field>
int set_field(PyObject* self, PyObject* value, bool ok, const char* what) noexcept {
    if (!ok) {
        PyErr_Format(PyExc_TypeError, "%s", what);
        return -1;
    }
    PyObject* old;
    Py_BEGIN_CRITICAL_SECTION(self);
    old = reinterpret_cast<Function*>(self)->*Field;
    reinterpret_cast<Function*>(self)->*Field = Py_XNewRef(value ? value : Py_None);
    Py_END_CRITICAL_SECTION();
    Py_XDECREF(old);
    return 0;
}

template <PyObject* Function::*Field>
int set_str(PyObject* self, PyObject* v, void*) noexcept {
    return set_field<Field>(self, v, v && PyUnicode_Check(v), "__name__ and __qualname__ must be set to a string object");
}
template <PyObject* Function::*Field>
int set_any(PyObject* self, PyObject* v, void*) noexcept {
    return set_field<Field>(self, v, true, "");
}
int set_kwdefaults(PyObject* self, PyObject* v, void*) noexcept {
    return set_field<&Function::kwdefaults>(self, v, !v || v == Py_None || PyDict_Check(v),
                                            "__kwdefaults__ must be set to a dict object");
}
int set_annotations(PyObject* self, PyObject* v, void*) noexcept {
    return set_field<&Function::annotations>(self, v, !v || v == Py_None || PyDict_Check(v),
                                             "__annotations__ must be set to a dict object");
}

PyObject* get_globals(PyObject*, void*) noexcept { return Py_NewRef(the_module.dict ? the_module.dict : Py_None); }
PyObject* get_closure(PyObject*, void*) noexcept { Py_RETURN_NONE; }

// __code__: a code object whose arguments are the method's parameters (and the receiver),
// whose file is the module's source and whose first line is the method's declaration.
PyObject* make_code(Function* f) noexcept {
    const MethodDef& d = *f->def;
    Ref code = Ref::steal(reinterpret_cast<PyObject*>(PyCode_NewEmpty(the_module.info->source, d.name, d.line)));
    if (!code) return nullptr;
    const int self_slot = d.is_static ? 0 : 1;
    Ref varnames = Ref::steal(PyTuple_New(d.nparams + self_slot));
    if (!varnames) return nullptr;
    if (self_slot) PyTuple_SET_ITEM(varnames.get(), 0, PyUnicode_InternFromString("self"));
    for (int i = 0; i < d.nparams; ++i) PyTuple_SET_ITEM(varnames.get(), i + self_slot, Py_NewRef(f->names[i]));
    Ref replace = Ref::steal(PyObject_GetAttrString(code.get(), "replace"));
    if (!replace) return nullptr;
    Ref kwargs = Ref::steal(Py_BuildValue("{s:i,s:i,s:O,s:O}", "co_argcount", d.nparams + self_slot, "co_nlocals",
                                          d.nparams + self_slot, "co_varnames", varnames.get(), "co_qualname",
                                          f->qualname));
    if (!kwargs) return nullptr;
    return PyObject_Call(replace.get(), the_module.empty_tuple, kwargs.get());
}

PyObject* get_code(PyObject* self, void*) noexcept {
    Function* f = reinterpret_cast<Function*>(self);
    PyObject* code;
    Py_BEGIN_CRITICAL_SECTION(self);
    code = Py_XNewRef(f->code);
    Py_END_CRITICAL_SECTION();
    if (code) return code;
    code = make_code(f);
    if (!code) return nullptr;
    Py_BEGIN_CRITICAL_SECTION(self);
    if (!f->code) f->code = Py_NewRef(code);
    Py_END_CRITICAL_SECTION();
    return code;
}

PyGetSetDef function_getset[] = {
    {"__name__", get_field<&Function::name>, set_str<&Function::name>, nullptr, nullptr},
    {"__qualname__", get_field<&Function::qualname>, set_str<&Function::qualname>, nullptr, nullptr},
    {"__module__", get_field<&Function::module_name>, set_any<&Function::module_name>, nullptr, nullptr},
    {"__doc__", get_field<&Function::doc>, set_any<&Function::doc>, nullptr, nullptr},
    // Read-only: argument matching takes the defaults from here without a lock.
    {"__defaults__", get_field<&Function::defaults>, nullptr, nullptr, nullptr},
    {"__kwdefaults__", get_field<&Function::kwdefaults>, set_kwdefaults, nullptr, nullptr},
    {"__annotations__", get_field<&Function::annotations>, set_annotations, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"__closure__", get_closure, nullptr, nullptr, nullptr},
    {"__code__", get_code, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject FunctionType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.function",
    .tp_basicsize = sizeof(Function),
    .tp_dealloc = function_dealloc,
    .tp_vectorcall_offset = offsetof(Function, vectorcall),
    .tp_repr = function_repr,
    .tp_call = PyVectorcall_Call,
    .tp_getattro = PyObject_GenericGetAttr,
    .tp_setattro = PyObject_GenericSetAttr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_HAVE_VECTORCALL |
                Py_TPFLAGS_IMMUTABLETYPE,
    .tp_traverse = function_traverse,
    .tp_clear = function_clear,
    .tp_getset = function_getset,
    .tp_descr_get = function_descr_get,
    .tp_dictoffset = offsetof(Function, dict),
};

// A new function object for `d`, a method of `owner` (qualified "<owner>.<name>").
PyObject* make_function(const MethodDef& d, PyTypeObject* owner, const char* owner_name) noexcept {
    Function* f = PyObject_GC_New(Function, &FunctionType);
    if (!f) return nullptr;
    f->vectorcall = function_vectorcall;
    f->def = &d;
    f->owner = d.is_static ? nullptr : owner;
    f->trace_name = nullptr;
    for (PyObject*& n : f->names) n = nullptr;
    f->name = f->qualname = f->trace_qualname = f->module_name = f->dict = f->defaults = f->kwdefaults = f->annotations = f->doc =
        f->code = nullptr;
    Ref self = Ref::steal(reinterpret_cast<PyObject*>(f));
    PyObject_GC_Track(self.get());

    for (int i = 0; i < d.nparams; ++i)
        if (!(f->names[i] = PyUnicode_InternFromString(d.params[i].name))) return nullptr;
    if (!(f->name = PyUnicode_InternFromString(d.name))) return nullptr;
    if (!(f->qualname = PyUnicode_FromFormat("%s.%s", owner_name, d.name))) return nullptr;
    f->trace_qualname = Py_NewRef(f->qualname);
    if (!(f->trace_name = PyUnicode_AsUTF8(f->trace_qualname))) return nullptr;
    if (!(f->module_name = PyUnicode_FromString(the_module.info->qualified))) return nullptr;
    f->doc = d.doc ? PyUnicode_FromString(d.doc) : Py_NewRef(Py_None);
    if (!f->doc) return nullptr;
    if (d.nrequired < d.nparams) {
        if (!(f->defaults = PyTuple_New(d.nparams - d.nrequired))) return nullptr;
        for (int i = d.nrequired; i < d.nparams; ++i) {
            PyObject* v = make_default(d.params[i].fallback);
            if (!v) return nullptr;
            PyTuple_SET_ITEM(f->defaults, i - d.nrequired, v);
        }
    }
    if (!(f->annotations = PyDict_New())) return nullptr;
    for (int i = 0; i < d.nparams; ++i) {
        const Param& p = d.params[i];
        const char* a = p.annotation ? p.annotation : (p.declared() ? p.declared()->tp_name : nullptr);
        if (!a) continue;
        if (const char* dot = std::strrchr(a, '.'); dot && !p.annotation) a = dot + 1;
        Ref text = Ref::steal(PyUnicode_FromString(a));
        if (!text || PyDict_SetItem(f->annotations, f->names[i], text.get()) < 0) return nullptr;
    }
    if (d.returns) {
        Ref text = Ref::steal(PyUnicode_FromString(d.returns));
        if (!text || PyDict_SetItemString(f->annotations, "return", text.get()) < 0) return nullptr;
    }
    return self.release();
}

// Places `value` in the type's dictionary under `name`, calling its __set_name__ first.
int place_in_type(PyTypeObject* type, PyObject* name, PyObject* value) noexcept {
    PyObject* hook = nullptr;
    if (PyObject_GetOptionalAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__set_name__", &hook) < 0)
        return -1;
    if (hook) {
        Py_DECREF(hook);
        Ref r = Ref::steal(PyObject_CallMethod(value, "__set_name__", "OO", type, name));
        if (!r) return -1;
    }
    if (PyDict_SetItem(type->tp_dict, name, value) < 0) return -1;
    PyType_Modified(type);
    return 0;
}

}  // namespace

//==========================================================================================
// Pickling guard
//==========================================================================================

PyObject* pickle_refuse(const PickleText& text) noexcept {
    PyErr_SetString(PyExc_TypeError, text.message);
    return the_module.fail(text.reduce_name);
}

namespace {
Arguments setstate_arguments{"__setstate_guard__", {arg("state")}};
}

PyObject* pickle_refuse_setstate(const PickleText& text, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
    PyObject* matched[1];
    if (setstate_arguments.match(args, nargs, kwnames, matched) == 0) PyErr_SetString(PyExc_TypeError, text.message);
    return the_module.fail(text.setstate_name);
}

namespace {

PyObject* lookup(PyObject* owner, const char* name) noexcept {
    PyObject* r = nullptr;
    PyObject_GetOptionalAttrString(owner, name, &r);
    return r;
}

// Moves the guard methods to __reduce__ / __setstate__ unless the type pickles some other way.
int install_pickle_guard(PyTypeObject* type) noexcept {
    PyObject* t = reinterpret_cast<PyObject*>(type);
    PyObject* object = reinterpret_cast<PyObject*>(&PyBaseObject_Type);
    PyObject* dict = type->tp_dict;
    int rc = -1;
    {
        Ref getstate = Ref::steal(lookup(t, "__getstate__")), object_getstate = Ref::steal(lookup(object, "__getstate__"));
        Ref reduce_ex = Ref::steal(lookup(t, "__reduce_ex__")), object_reduce_ex = Ref::steal(lookup(object, "__reduce_ex__"));
        if (PyErr_Occurred()) goto done;
        if (getstate.get() != object_getstate.get() || reduce_ex.get() != object_reduce_ex.get()) return 0;
        Ref reduce = Ref::steal(lookup(t, "__reduce__")), object_reduce = Ref::steal(lookup(object, "__reduce__"));
        if (PyErr_Occurred()) goto done;
        PyObject* guard_reduce = PyDict_GetItemString(dict, "__reduce_guard__");
        if (reduce.get() == object_reduce.get() || (guard_reduce && reduce.get() == guard_reduce)) {
            if (!guard_reduce || PyDict_SetItemString(dict, "__reduce__", guard_reduce) < 0 ||
                PyDict_DelItemString(dict, "__reduce_guard__") < 0)
                goto done;
            Ref setstate = Ref::steal(lookup(t, "__setstate__"));
            if (PyErr_Occurred()) goto done;
            PyObject* guard_setstate = PyDict_GetItemString(dict, "__setstate_guard__");
            if (!setstate || (guard_setstate && setstate.get() == guard_setstate)) {
                if (!guard_setstate || PyDict_SetItemString(dict, "__setstate__", guard_setstate) < 0 ||
                    PyDict_DelItemString(dict, "__setstate_guard__") < 0)
                    goto done;
            }
            PyType_Modified(type);
        }
        rc = 0;
    }
done:
    if (rc < 0 && !PyErr_Occurred())
        PyErr_Format(PyExc_RuntimeError, "Unable to initialize pickling for %.200s", type->tp_name);
    return rc;
}

//==========================================================================================
// Method tables: publication and import
//==========================================================================================

int publish_vtable(PyTypeObject* type, const void* table) noexcept {
    Ref capsule = Ref::steal(PyCapsule_New(const_cast<void*>(table), nullptr, nullptr));
    if (!capsule) return -1;
    return PyDict_SetItemString(type->tp_dict, "__pyx_vtable__", capsule.get());
}

int import_type(const TypeImport& imp) noexcept {
    Ref module = Ref::steal(PyImport_ImportModule(imp.module));
    if (!module) return -1;
    Ref attr = Ref::steal(PyObject_GetAttrString(module.get(), imp.name));
    if (!attr) return -1;
    if (!PyType_Check(attr.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", imp.module, imp.name);
        return -1;
    }
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(attr.get());
    const Py_ssize_t basic = type->tp_basicsize;
    const Py_ssize_t item = type->tp_itemsize;
    const Py_ssize_t actual = basic + (item ? (item > 8 ? item : 8) : 0);
    const Py_ssize_t expected = static_cast<Py_ssize_t>(imp.expected_size);
    static const char fmt[] =
        "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from C header, got %zd from PyObject";
    if (actual < expected) {
        PyErr_Format(PyExc_ValueError, fmt, imp.module, imp.name, expected, actual);
        return -1;
    }
    if (basic > expected && PyErr_WarnFormat(PyExc_RuntimeWarning, 0, fmt, imp.module, imp.name, expected, basic) < 0)
        return -1;
    if (imp.vtable) {
        PyObject* found = nullptr;
        if (PyDict_GetItemStringRef(type->tp_dict, "__pyx_vtable__", &found) < 0) return -1;
        Ref capsule = Ref::steal(found);
        if (!capsule) {
            Ref key = Ref::steal(PyUnicode_FromString("__pyx_vtable__"));
            if (key) PyErr_SetObject(PyExc_KeyError, key.get());
            return -1;
        }
        void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
        if (!table) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
            return -1;
        }
        *imp.vtable = table;
    }
    if (imp.type) *imp.type = reinterpret_cast<PyTypeObject*>(attr.release());
    return 0;
}

int publish_capi(PyObject* dict, std::span<const CapiExport> capi) noexcept {
    Ref table = Ref::steal(PyDict_New());
    if (!table) return -1;
    for (const CapiExport& e : capi) {
        Ref capsule = Ref::steal(PyCapsule_New(e.function, e.signature, nullptr));
        if (!capsule || PyDict_SetItemString(table.get(), e.name, capsule.get()) < 0) return -1;
    }
    return PyDict_SetItemString(dict, "__pyx_capi__", table.get());
}

//==========================================================================================
// Module creation and execution
//==========================================================================================

// Each module is its own shared library with one state, so the create and execution steps use
// it directly: the execution step may be handed a module object that is not ours at all.
PyObject* module_create(PyObject* spec, PyModuleDef*) noexcept {
    Module& m = the_module;
    int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    if (m.interpreter == -1) {
        m.interpreter = id;
    } else if (m.interpreter != id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per process.");
        return nullptr;
    }
    if (m.module) return Py_NewRef(m.module);

    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    if (!name) return nullptr;
    Ref module = Ref::steal(PyModule_NewObject(name.get()));
    if (!module) return nullptr;
    PyObject* dict = PyModule_GetDict(module.get());
    static const struct { const char* from; const char* to; bool none_too; } copies[] = {
        {"loader", "__loader__", true},
        {"origin", "__file__", true},
        {"parent", "__package__", true},
        {"submodule_search_locations", "__path__", false},
    };
    for (const auto& c : copies) {
        PyObject* value = nullptr;
        if (PyObject_GetOptionalAttrString(spec, c.from, &value) < 0) return nullptr;
        Ref v = Ref::steal(value);
        if (!v || (!c.none_too && v.get() == Py_None)) continue;
        if (PyDict_SetItemString(dict, c.to, v.get()) < 0) return nullptr;
    }
    return module.release();
}

int version_check(const char* qualified) noexcept {
    const int major = static_cast<int>((Py_Version >> 24) & 0xff);
    const int minor = static_cast<int>((Py_Version >> 16) & 0xff);
    if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION) return 0;
    char message[200];
    std::snprintf(message, sizeof message, "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  PY_MAJOR_VERSION, PY_MINOR_VERSION, qualified, "does not match", major, minor);
    return PyErr_WarnEx(PyExc_RuntimeWarning, message, 1);
}

int ready_type(Module& m, const TypeDef& t) noexcept {
    PyTypeObject* type = t.type;
    if (PyType_Ready(type) < 0) return -1;
    PyUnstable_Object_EnableDeferredRefcount(reinterpret_cast<PyObject*>(type));
    if (t.vtable && publish_vtable(type, t.vtable) < 0) return -1;
    if (t.module_attribute) {
        const char* dot = std::strrchr(type->tp_name, '.');
        if (PyModule_AddObjectRef(m.module, dot ? dot + 1 : type->tp_name, reinterpret_cast<PyObject*>(type)) < 0)
            return -1;
    }
    if (t.pickle_guard && install_pickle_guard(type) < 0) return -1;
    return 0;
}

int place_methods(const TypeDef& t) noexcept {
    const char* dot = std::strrchr(t.type->tp_name, '.');
    const char* owner_name = dot ? dot + 1 : t.type->tp_name;
    for (const MethodDef& d : t.methods) {
        Ref f = Ref::steal(make_function(d, t.type, owner_name));
        if (!f) return -1;
        PyUnstable_Object_EnableDeferredRefcount(f.get());
        Ref value = d.is_static ? Ref::steal(PyStaticMethod_New(f.get())) : std::move(f);
        if (!value) return -1;
        Ref name = Ref::steal(PyUnicode_InternFromString(d.name));
        if (!name || place_in_type(t.type, name.get(), value.get()) < 0) return -1;
    }
    return 0;
}

// Steps after the module object is stored; -1 with an exception.
int execute_steps(Module& m, PyObject* module) noexcept {
    const ModuleInfo& info = *m.info;
    m.dict = Py_NewRef(PyModule_GetDict(module));
    if (!m.builtins && !(m.builtins = PyImport_AddModuleRef("builtins"))) return -1;
    if (PyDict_SetItemString(m.dict, "__builtins__", m.builtins) < 0) return -1;
    if (version_check(info.qualified) < 0) return -1;

    if (!m.empty_tuple && !(m.empty_tuple = PyTuple_New(0))) return -1;
    if (!m.empty_bytes && !(m.empty_bytes = PyBytes_FromStringAndSize("", 0))) return -1;
    if (!m.empty_str && !(m.empty_str = PyUnicode_FromStringAndSize("", 0))) return -1;
    if (Name::intern_all() < 0 || Arguments::prepare_all() < 0) return -1;
    if (PyType_Ready(&FunctionType) < 0) return -1;

    // From here on a failure carries the module's init entry.
    if (m.is_main && *m.is_main && PyDict_SetItemString(m.dict, "__name__", Ref::steal(PyUnicode_FromString("__main__")).get()) < 0)
        return -2;
    {
        PyObject* modules = PyImport_GetModuleDict();
        int has = PyDict_ContainsString(modules, info.qualified);
        if (has < 0 || (!has && PyDict_SetItemString(modules, info.qualified, module) < 0)) return -2;
    }
    for (const TypeDef& t : info.types)
        if (ready_type(m, t) < 0) return -2;
    if (!info.capi.empty() && publish_capi(m.dict, info.capi) < 0) return -2;
    if (info.check_type_size) {
        TypeImport type_check{"builtins", "type", sizeof(PyHeapTypeObject), nullptr, nullptr};
        if (import_type(type_check) < 0) return -2;
    }
    for (const TypeImport& imp : info.imports)
        if (import_type(imp) < 0) return -2;
    if (info.imports_py && info.imports_py(m) < 0) return -2;
    for (const TypeDef& t : info.types)
        if (place_methods(t) < 0) return -2;
    if (info.statements && info.statements(m) < 0) return -2;
    Ref test = Ref::steal(PyDict_New());
    if (!test || PyDict_SetItemString(m.dict, "__test__", test.get()) < 0) return -2;
    return 0;
}

int module_exec(PyObject* module) noexcept {
    Module& m = the_module;
    if (m.module) {
        if (m.module == module) return 0;
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.", m.info->name);
        return -1;
    }
    m.module = Py_NewRef(module);
#ifdef Py_GIL_DISABLED
    PyUnstable_Module_SetGIL(module, Py_MOD_GIL_USED);
#endif
    int rc = execute_steps(m, module);
    if (rc == 0) return 0;
    if (rc == -2) m.trace_init();
    Py_CLEAR(m.dict);
    Py_CLEAR(m.module);
    return -1;
}

}  // namespace

PyObject* Module::init(const ModuleInfo& i, int* main_flag) noexcept {
    if (!info) {
        info = &i;
        is_main = main_flag;
        static PyModuleDef_Slot slots[] = {
            {Py_mod_create, reinterpret_cast<void*>(module_create)},
            {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
#ifdef Py_GIL_DISABLED
            {Py_mod_gil, Py_MOD_GIL_USED},
#endif
            {0, nullptr},
        };
        def = PyModuleDef{
            .m_base = PyModuleDef_HEAD_INIT,
            .m_name = i.name,
            .m_doc = nullptr,
            .m_size = 0,
            .m_methods = nullptr,
            .m_slots = slots,
        };
    }
    return PyModuleDef_Init(&def);
}

//==========================================================================================
// Traceback entries
//==========================================================================================

namespace {

struct CodeEntry {
    int line;
    const char* owner;
    const char* member;
    PyObject* code;
};

// Code objects for traceback entries, made on first use and kept for the process. A thread
// that finds the cache busy makes its code object without caching it.
struct CodeCache {
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    CodeEntry* entries = nullptr;
    Py_ssize_t size = 0, capacity = 0;

    PyObject* find(int line, const char* owner, const char* member) noexcept {   // new reference or nullptr
        for (Py_ssize_t i = 0; i < size; ++i) {
            const CodeEntry& e = entries[i];
            if (e.line == line && e.owner == owner && e.member == member) return Py_NewRef(e.code);
        }
        return nullptr;
    }
    void add(int line, const char* owner, const char* member, PyObject* code) noexcept {
        if (size == capacity) {
            Py_ssize_t cap = capacity ? capacity * 2 : 16;
            auto* grown = static_cast<CodeEntry*>(PyMem_RawRealloc(entries, cap * sizeof(CodeEntry)));
            if (!grown) return;
            entries = grown;
            capacity = cap;
        }
        entries[size++] = {line, owner, member, Py_NewRef(code)};
    }
};
CodeCache g_codes;

PyObject* new_code(const Module& m, const char* owner, const char* member, int line, bool init) noexcept {
    Ref name = Ref::steal(init     ? PyUnicode_FromFormat("init %s", m.info->qualified)
                          : member ? PyUnicode_FromFormat("%s.%s.%s", m.info->qualified, owner, member)
                                   : PyUnicode_FromFormat("%s.%s", m.info->qualified, owner));
    if (!name) return nullptr;
    const char* text = PyUnicode_AsUTF8(name.get());
    if (!text) return nullptr;
    return reinterpret_cast<PyObject*>(PyCode_NewEmpty(m.info->source, text, line));
}

void add_entry(Module& m, const char* owner, const char* member, int line, bool init) noexcept {
    PyObject* exc = PyErr_GetRaisedException();
    Ref code;
    const bool owned = !g_codes.busy.test_and_set(std::memory_order_acquire);
    if (owned) code = Ref::steal(g_codes.find(line, owner, member));
    if (!code) {
        code = Ref::steal(new_code(m, owner, member, line, init));
        if (code && owned) g_codes.add(line, owner, member, code.get());
    }
    if (owned) g_codes.busy.clear(std::memory_order_release);
    Ref globals = Ref::borrow(m.dict);
    if (!globals) globals = Ref::steal(PyDict_New());
    Ref frame;
    if (code && globals)
        frame = Ref::steal(reinterpret_cast<PyObject*>(
            PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code.get()), globals.get(), nullptr)));
    PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (frame) PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

}  // namespace

void Module::trace(const char* owner, const char* member, int line) noexcept {
    add_entry(*this, owner, member, line, false);
}

void Module::trace_init() noexcept {
    static const char init_key[] = "init";
    add_entry(*this, init_key, nullptr, 1, true);
}

//==========================================================================================
// Overridable C-level methods
//==========================================================================================

PyObject* find_override(PyObject* self, PyObject* name, Body own) noexcept {
    PyObject* attr = PyObject_GetAttr(self, name);
    if (!attr) return nullptr;
    PyObject* func = PyMethod_Check(attr) ? PyMethod_GET_FUNCTION(attr) : attr;
    if (Py_IS_TYPE(func, &FunctionType) && reinterpret_cast<Function*>(func)->def->body == own) {
        Py_DECREF(attr);
        return nullptr;
    }
    return attr;
}

namespace detail {
int truth_of(PyObject* r) noexcept {
    if (r == Py_True) return 1;
    if (r == Py_False || r == Py_None) return 0;
    return PyObject_IsTrue(r);
}
}  // namespace detail

}  // namespace vx
