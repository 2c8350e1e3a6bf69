// vexlar.vector2.vector2: Vector2, a mutable two-component single-precision vector stored as
// a raylib Vector2 record. The companion of the deliverables: Rect builds its centre with the
// slot `new`, Window its position with `cfrom_struct`. Shared vector rules live in vector.hpp.
// Python subclasses are allowed; the overridable slots then honour their overrides.
#include "vexlar/shared/vector.hpp"

extern PyTypeObject Vector2Type;
extern const VexlarVector2Table vector2_table;

namespace {

struct Traits {
    using Obj = VexlarVector2;
    using Table = VexlarVector2Table;
    using Scalar = float;
    static constexpr int N = 2;
    static constexpr char name[] = "Vector2";
    static constexpr char cfrom_vector_name[] = "cfrom_vector2";
    static PyTypeObject* type() noexcept { return &Vector2Type; }
    static const Table* table() noexcept { return &vector2_table; }
};
using V = vx::Vector<Traits>;
using Vec = VexlarVector2;

constexpr vx::PickleText kPickle = {
    "vexlar.vector2.vector2.Vector2 cannot be pickled: pickling of the struct member self.data has to be "
    "requested explicitly",
    "Vector2.__reduce_guard__",
    "Vector2.__setstate_guard__",
};

//------------------------------------------------------------------------------------------
// C method table slots particular to Vector2
//------------------------------------------------------------------------------------------

Vec* Vector2_cfrom_struct(Vector2 record) noexcept { return V::from_doubles({record.x, record.y}); }

//------------------------------------------------------------------------------------------
// Properties: components, the two-letter swizzles, length
//------------------------------------------------------------------------------------------

PyGetSetDef Vector2_getset[] = {
    V::component<0>("x", "x.__set__"),
    V::component<1>("y", "y.__set__"),
    V::swizzle<0, 0>("xx", "xx.__get__"),
    V::swizzle<0, 1>("xy", "xy.__get__"),
    V::swizzle<1, 0>("yx", "yx.__get__"),
    V::swizzle<1, 1>("yy", "yy.__get__"),
    {"length", V::get_length, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

//------------------------------------------------------------------------------------------
// Python-level methods
//------------------------------------------------------------------------------------------

const auto Vector2_methods = V::methods("from_vector2", "from_xy");

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type object, module
//------------------------------------------------------------------------------------------

// The shared vector slots, with this type's constructors in their places.
constinit const VexlarVector2Table vector2_table = [] {
    VexlarVector2Table t = V::shared_table();
    t.cfrom_struct = Vector2_cfrom_struct;
    t.cfrom_vector2 = V::cfrom_vector;
    t.cfrom_xy = V::from_components<double>;
    return t;
}();

PyTypeObject Vector2Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.vector2.vector2.Vector2",
    .tp_basicsize = sizeof(VexlarVector2),
    .tp_dealloc = V::dealloc,
    .tp_repr = V::repr,
    .tp_as_number = &V::as_number,
    .tp_as_sequence = &V::as_sequence,
    .tp_as_mapping = &V::as_mapping,
    .tp_hash = V::hash,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_richcompare = V::richcompare,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Vector2_getset,
    .tp_init = V::tp_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarVector2, VexlarVector2Table, &vector2_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = V::tp_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &Vector2Type, .vtable = &vector2_table, .methods = Vector2_methods, .pickle_guard = true},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(vector2),
    .types = types,
};
}  // namespace

VEXLAR_MODULE(vector2, info)
