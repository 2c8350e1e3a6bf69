// vexlar.vector4.vector4: Vector4, a mutable four-component vector of doubles (vector4_t). The
// companion that Rect and Color hand their four numbers out in; it computes in double precision
// throughout. Shared vector rules live in vector.hpp. Python subclasses are allowed; the
// overridable slots then honour their overrides.
#include "vexlar/shared/vector.hpp"

extern PyTypeObject Vector4Type;
extern const VexlarVector4Table vector4_table;

namespace {

struct Traits {
    using Obj = VexlarVector4;
    using Table = VexlarVector4Table;
    using Scalar = double;
    static constexpr int N = 4;
    static constexpr char name[] = "Vector4";
    static constexpr char cfrom_vector_name[] = "cfrom_vector4";
    static PyTypeObject* type() noexcept { return &Vector4Type; }
    static const Table* table() noexcept { return &vector4_table; }
};
using V = vx::Vector<Traits>;
using Vec = VexlarVector4;

constexpr vx::PickleText kPickle = {
    "vexlar.vector4.vector4.Vector4 cannot be pickled: pickling of the struct member self.data has to be "
    "requested explicitly",
    "Vector4.__reduce_guard__",
    "Vector4.__setstate_guard__",
};

//------------------------------------------------------------------------------------------
// Properties and methods
//------------------------------------------------------------------------------------------

PyGetSetDef Vector4_getset[] = {
    V::component<0>("x", "x.__set__"),
    V::component<1>("y", "y.__set__"),
    V::component<2>("z", "z.__set__"),
    V::component<3>("w", "w.__set__"),
    {"length", V::get_length, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const auto Vector4_methods = V::methods("from_vector4", "from_xyzw");

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type object, module
//------------------------------------------------------------------------------------------

// The shared vector slots, with this type's constructors in their places.
constinit const VexlarVector4Table vector4_table = [] {
    VexlarVector4Table t = V::shared_table();
    t.cfrom_vector4 = V::cfrom_vector;
    t.cfrom_xyzw = V::from_components<double>;
    return t;
}();

PyTypeObject Vector4Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.vector4.vector4.Vector4",
    .tp_basicsize = sizeof(VexlarVector4),
    .tp_dealloc = V::dealloc,
    .tp_repr = V::repr,
    .tp_as_number = &V::as_number,
    .tp_as_sequence = &V::as_sequence,
    .tp_as_mapping = &V::as_mapping,
    .tp_hash = V::hash,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_richcompare = V::richcompare,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Vector4_getset,
    .tp_init = V::tp_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarVector4, VexlarVector4Table, &vector4_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = V::tp_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &Vector4Type, .vtable = &vector4_table, .methods = Vector4_methods, .pickle_guard = true},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(vector4),
    .types = types,
};
}  // namespace

VEXLAR_MODULE(vector4, info)
