// vexlar.vector3.vector3: Vector3, a mutable three-component single-precision vector stored as
// a raylib Vector3 record. The rules it shares with Vector2 and Vector4 live in vector.hpp;
// this file declares the type: its constructors, the cross product, the 27 swizzles and the
// tables. The type is final, so no slot ever finds a Python-level override.
#include "vexlar/shared/vector.hpp"

extern PyTypeObject Vector3Type;
extern const VexlarVector3Table vector3_table;

namespace {

struct Traits {
    using Obj = VexlarVector3;
    using Table = VexlarVector3Table;
    using Scalar = float;
    static constexpr int N = 3;
    static constexpr char name[] = "Vector3";
    static constexpr char cfrom_vector_name[] = "cfrom_vector3";
    static PyTypeObject* type() noexcept { return &Vector3Type; }
    static const Table* table() noexcept { return &vector3_table; }
};
using V = vx::Vector<Traits>;
using Vec = VexlarVector3;

constexpr vx::PickleText kPickle = {
    "vexlar.vector3.vector3.Vector3 cannot be pickled: pickling of the struct member self.data has to be "
    "requested explicitly",
    "Vector3.__reduce_guard__",
    "Vector3.__setstate_guard__",
};

//------------------------------------------------------------------------------------------
// The cross product, Vector3's own slot
//------------------------------------------------------------------------------------------

// Each component in single precision; one product of each difference may be fused.
V::A cross(const V::A& a, const V::A& b) noexcept {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec* cross_method(Vec* self, Vec* other) noexcept;
vx::Name name_cross{"cross"};
Vec* Vector3_cross(Vec* self, Vec* other, int skip_dispatch) noexcept {
    vx::Typed<Vec> r{nullptr, &Vector3Type};
    if (V::dispatch<cross_method>(r, self, skip_dispatch, name_cross, other)) return r.value;
    return V::make_traced(cross(V::load(self), V::load(other)), "cross");
}
Vec* cross_method(Vec* self, Vec* other) noexcept { return Vector3_cross(self, other, 1); }

//------------------------------------------------------------------------------------------
// Properties: components, the 27 three-letter swizzles in table order, length
//------------------------------------------------------------------------------------------

#define VX_SWIZZLE(name, a, b, c) V::swizzle<a, b, c>(#name, #name ".__get__")

PyGetSetDef Vector3_getset[] = {
    V::component<0>("x", "x.__set__"),
    V::component<1>("y", "y.__set__"),
    V::component<2>("z", "z.__set__"),
    VX_SWIZZLE(xxx, 0, 0, 0), VX_SWIZZLE(xxy, 0, 0, 1), VX_SWIZZLE(xxz, 0, 0, 2),
    VX_SWIZZLE(xyx, 0, 1, 0), VX_SWIZZLE(xyy, 0, 1, 1), VX_SWIZZLE(xyz, 0, 1, 2),
    VX_SWIZZLE(xzy, 0, 2, 1), VX_SWIZZLE(xzx, 0, 2, 0), VX_SWIZZLE(xzz, 0, 2, 2),
    VX_SWIZZLE(yxx, 1, 0, 0), VX_SWIZZLE(yxy, 1, 0, 1), VX_SWIZZLE(yxz, 1, 0, 2),
    VX_SWIZZLE(yyx, 1, 1, 0), VX_SWIZZLE(yyy, 1, 1, 1), VX_SWIZZLE(yyz, 1, 1, 2),
    VX_SWIZZLE(yzx, 1, 2, 0), VX_SWIZZLE(yzy, 1, 2, 1), VX_SWIZZLE(yzz, 1, 2, 2),
    VX_SWIZZLE(zxx, 2, 0, 0), VX_SWIZZLE(zxy, 2, 0, 1), VX_SWIZZLE(zxz, 2, 0, 2),
    VX_SWIZZLE(zyx, 2, 1, 0), VX_SWIZZLE(zyy, 2, 1, 1), VX_SWIZZLE(zyz, 2, 1, 2),
    VX_SWIZZLE(zzx, 2, 2, 0), VX_SWIZZLE(zzy, 2, 2, 1), VX_SWIZZLE(zzz, 2, 2, 2),
    {"length", V::get_length, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef VX_SWIZZLE

//------------------------------------------------------------------------------------------
// Python-level methods
//------------------------------------------------------------------------------------------

const auto Vector3_methods = vx::join(
    V::methods("from_vector3", "from_xyz"),
    std::array{vx::method<cross_method>("cross", vx::arg("other", &Vector3Type))});

}  // namespace

//------------------------------------------------------------------------------------------
// C method table, type object, module
//------------------------------------------------------------------------------------------

// The shared vector slots, with this type's constructors in their places.
constinit const VexlarVector3Table vector3_table = [] {
    VexlarVector3Table t = V::shared_table();
    t.cfrom_vector3 = V::cfrom_vector;
    t.cfrom_xyz = V::from_components<double>;
    t.cross = Vector3_cross;
    return t;
}();

PyTypeObject Vector3Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "vexlar.vector3.vector3.Vector3",
    .tp_basicsize = sizeof(VexlarVector3),
    .tp_dealloc = V::dealloc,
    .tp_repr = V::repr,
    .tp_as_number = &V::as_number,
    .tp_as_sequence = &V::as_sequence,
    .tp_as_mapping = &V::as_mapping,
    .tp_hash = V::hash,
    .tp_flags = Py_TPFLAGS_DEFAULT,   // final: not an acceptable base type
    .tp_richcompare = V::richcompare,
    .tp_methods = vx::PickleGuard<kPickle>::methods,
    .tp_getset = Vector3_getset,
    .tp_init = V::tp_init,
    .tp_alloc = PyType_GenericAlloc,
    .tp_new = vx::tp_new<VexlarVector3, VexlarVector3Table, &vector3_table>,
    .tp_free = PyObject_Free,
    .tp_vectorcall = V::tp_vectorcall,
};

namespace {
const vx::TypeDef types[] = {
    {.type = &Vector3Type, .vtable = &vector3_table, .methods = Vector3_methods, .pickle_guard = true},
};
const vx::ModuleInfo info = {
    VEXLAR_MODULE_NAMES(vector3),
    .types = types,
    .check_type_size = true,
};
}  // namespace

VEXLAR_MODULE(vector3, info)
