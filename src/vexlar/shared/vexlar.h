/*
 * vexlar.h: what native code shares with vexlar's extension modules.
 *
 *   - the raylib records that are the payloads of vexlar's objects,
 *   - the memory layout of every object type,
 *   - the C method tables ("slots") each type publishes under `__pyx_vtable__`.
 *
 * Plain C, usable from C and C++. Object results are new references; NULL means a Python
 * exception is pending. Slots returning C numbers, records or nothing report failure only by a
 * pending exception: test PyErr_Occurred() after each such call. A trailing `skip_dispatch`
 * argument marks an overridable slot: 0 honours a Python subclass's override, 1 runs the
 * built-in body.
 *
 * Include raylib.h before this header when you need both: raylib defines its records
 * unconditionally, and this header then uses raylib's own definitions.
 */
#ifndef VEXLAR_H
#define VEXLAR_H

#include <Python.h>   // PyObject, PyObject_HEAD

#ifdef __cplusplus
extern "C" {
#endif

/*------------------------------------------------------------------------------------------
 * raylib records (layouts identical to raylib.h)
 *----------------------------------------------------------------------------------------*/
#ifndef RAYLIB_H
typedef struct Vector2 {
    float x;                // horizontal component
    float y;                // vertical component (grows downward on screen)
} Vector2;
typedef struct Vector3 {
    float x, y, z;
} Vector3;
typedef struct Rectangle {
    float x, y;             // top-left corner
    float width, height;
} Rectangle;
typedef struct Color {
    unsigned char r, g, b;  // 0..255 each
    unsigned char a;        // opacity, 255 is opaque
} Color;
#endif

typedef struct vector4_t {  // payload of the companion type Vector4 (double precision)
    double x, y, z, w;
} vector4_t;

/*------------------------------------------------------------------------------------------
 * Object layouts: header, method table pointer (types with a table), payload.
 *----------------------------------------------------------------------------------------*/
typedef struct VexlarVector2 VexlarVector2;
typedef struct VexlarVector3 VexlarVector3;
typedef struct VexlarVector4 VexlarVector4;
typedef struct VexlarRect VexlarRect;
typedef struct VexlarColor VexlarColor;
typedef struct VexlarWindow VexlarWindow;

/* The slot named `new` is spelled `new_` here: `new` is reserved in C++. */

/* vexlar.vector2.vector2.Vector2: 31 slots */
typedef struct VexlarVector2Table {
    VexlarVector2 *(*new_)(double x, double y);
    VexlarVector2 *(*cfrom_struct)(Vector2 record);
    VexlarVector2 *(*cfrom_list)(PyObject *list);            // exact list, >= 2 items
    VexlarVector2 *(*cfrom_ints)(int x, int y);
    VexlarVector2 *(*cfrom_floats)(float x, float y);
    VexlarVector2 *(*cfrom_tuple)(PyObject *tuple);          // exact tuple, >= 2 items
    VexlarVector2 *(*cfrom_vector2)(VexlarVector2 *other);
    VexlarVector2 *(*cfrom_xy)(double x, double y);
    VexlarVector2 *(*_add)(VexlarVector2 *self, VexlarVector2 *other);
    VexlarVector2 *(*_sub)(VexlarVector2 *self, VexlarVector2 *other);
    void (*_iadd)(VexlarVector2 *self, VexlarVector2 *other);
    void (*_isub)(VexlarVector2 *self, VexlarVector2 *other);
    void (*_imul)(VexlarVector2 *self, VexlarVector2 *other);
    void (*_sadd)(VexlarVector2 *self, VexlarVector2 *new_vec, VexlarVector2 *old_vec);
    void (*sadd)(VexlarVector2 *self, VexlarVector2 *new_vec, VexlarVector2 *old_vec, int skip_dispatch);
    PyObject *(*get_tuple)(VexlarVector2 *self, int skip_dispatch);
    PyObject *(*c_get_tuple)(VexlarVector2 *self);
    VexlarVector2 *(*to_round)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*get_round)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*to_abs)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*get_abs)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*to_neg)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*get_neg)(VexlarVector2 *self, int skip_dispatch);
    PyObject *(*get_int_tuple)(VexlarVector2 *self, int skip_dispatch);
    PyObject *(*get_rounded_tuple)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*copy)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*to_normalized)(VexlarVector2 *self, int skip_dispatch);
    VexlarVector2 *(*get_normalized)(VexlarVector2 *self, int skip_dispatch);
    double (*distance_to)(VexlarVector2 *self, VexlarVector2 *other, int skip_dispatch);
    double (*distance_squared_to)(VexlarVector2 *self, VexlarVector2 *other, int skip_dispatch);
    double (*dot)(VexlarVector2 *self, VexlarVector2 *other, int skip_dispatch);
} VexlarVector2Table;

struct VexlarVector2 {
    PyObject_HEAD
    const VexlarVector2Table *vtab;
    Vector2 data;
};

/* vexlar.vector3.vector3.Vector3: 31 slots. The type is final, so skip_dispatch is ignored. */
typedef struct VexlarVector3Table {
    VexlarVector3 *(*new_)(double x, double y, double z);    // rounds each to single
    VexlarVector3 *(*cfrom_list)(PyObject *list);            // exact list, >= 3 items
    VexlarVector3 *(*cfrom_ints)(int x, int y, int z);
    VexlarVector3 *(*cfrom_floats)(float x, float y, float z);
    VexlarVector3 *(*cfrom_tuple)(PyObject *tuple);          // exact tuple, >= 3 items
    VexlarVector3 *(*cfrom_vector3)(VexlarVector3 *other);
    VexlarVector3 *(*cfrom_xyz)(double x, double y, double z);
    VexlarVector3 *(*_add)(VexlarVector3 *self, VexlarVector3 *other);
    VexlarVector3 *(*_sub)(VexlarVector3 *self, VexlarVector3 *other);
    void (*_iadd)(VexlarVector3 *self, VexlarVector3 *other);
    void (*_isub)(VexlarVector3 *self, VexlarVector3 *other);
    void (*_imul)(VexlarVector3 *self, VexlarVector3 *other);
    void (*_sadd)(VexlarVector3 *self, VexlarVector3 *new_vec, VexlarVector3 *old_vec);
    void (*sadd)(VexlarVector3 *self, VexlarVector3 *new_vec, VexlarVector3 *old_vec, int skip_dispatch);
    PyObject *(*get_tuple)(VexlarVector3 *self, int skip_dispatch);
    PyObject *(*c_get_tuple)(VexlarVector3 *self);
    VexlarVector3 *(*to_round)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*get_round)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*to_abs)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*get_abs)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*to_neg)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*get_neg)(VexlarVector3 *self, int skip_dispatch);
    PyObject *(*get_int_tuple)(VexlarVector3 *self, int skip_dispatch);
    PyObject *(*get_rounded_tuple)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*copy)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*to_normalized)(VexlarVector3 *self, int skip_dispatch);
    VexlarVector3 *(*get_normalized)(VexlarVector3 *self, int skip_dispatch);
    double (*distance_to)(VexlarVector3 *self, VexlarVector3 *other, int skip_dispatch);
    double (*distance_squared_to)(VexlarVector3 *self, VexlarVector3 *other, int skip_dispatch);
    double (*dot)(VexlarVector3 *self, VexlarVector3 *other, int skip_dispatch);
    VexlarVector3 *(*cross)(VexlarVector3 *self, VexlarVector3 *other, int skip_dispatch);
} VexlarVector3Table;

struct VexlarVector3 {
    PyObject_HEAD
    const VexlarVector3Table *vtab;
    Vector3 data;
};

/* vexlar.vector4.vector4.Vector4: 30 slots, double precision. */
typedef struct VexlarVector4Table {
    VexlarVector4 *(*new_)(double x, double y, double z, double w);
    VexlarVector4 *(*cfrom_list)(PyObject *list);            // exact list, >= 4 items
    VexlarVector4 *(*cfrom_ints)(int x, int y, int z, int w);
    VexlarVector4 *(*cfrom_floats)(float x, float y, float z, float w);
    VexlarVector4 *(*cfrom_tuple)(PyObject *tuple);          // exact tuple, >= 4 items
    VexlarVector4 *(*cfrom_vector4)(VexlarVector4 *other);
    VexlarVector4 *(*cfrom_xyzw)(double x, double y, double z, double w);
    VexlarVector4 *(*_add)(VexlarVector4 *self, VexlarVector4 *other);
    VexlarVector4 *(*_sub)(VexlarVector4 *self, VexlarVector4 *other);
    void (*_iadd)(VexlarVector4 *self, VexlarVector4 *other);
    void (*_isub)(VexlarVector4 *self, VexlarVector4 *other);
    void (*_imul)(VexlarVector4 *self, VexlarVector4 *other);
    void (*_sadd)(VexlarVector4 *self, VexlarVector4 *new_vec, VexlarVector4 *old_vec);
    void (*sadd)(VexlarVector4 *self, VexlarVector4 *new_vec, VexlarVector4 *old_vec, int skip_dispatch);
    PyObject *(*get_tuple)(VexlarVector4 *self, int skip_dispatch);
    PyObject *(*c_get_tuple)(VexlarVector4 *self);
    VexlarVector4 *(*to_round)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*get_round)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*to_abs)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*get_abs)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*to_neg)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*get_neg)(VexlarVector4 *self, int skip_dispatch);
    PyObject *(*get_int_tuple)(VexlarVector4 *self, int skip_dispatch);
    PyObject *(*get_rounded_tuple)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*copy)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*to_normalized)(VexlarVector4 *self, int skip_dispatch);
    VexlarVector4 *(*get_normalized)(VexlarVector4 *self, int skip_dispatch);
    double (*distance_to)(VexlarVector4 *self, VexlarVector4 *other, int skip_dispatch);
    double (*distance_squared_to)(VexlarVector4 *self, VexlarVector4 *other, int skip_dispatch);
    double (*dot)(VexlarVector4 *self, VexlarVector4 *other, int skip_dispatch);
} VexlarVector4Table;

struct VexlarVector4 {
    PyObject_HEAD
    const VexlarVector4Table *vtab;
    vector4_t data;
};

/* vexlar.rect.rect.Rect: 14 slots. Truth-value slots return 0 with an exception on failure. */
typedef struct VexlarRectTable {
    VexlarRect *(*new_)(Rectangle record);
    PyObject *(*get_width)(VexlarRect *self, int skip_dispatch);
    PyObject *(*get_height)(VexlarRect *self, int skip_dispatch);
    int (*collide_point)(VexlarRect *self, PyObject *point, int skip_dispatch);
    int (*collide_point_vector2)(VexlarRect *self, VexlarVector2 *point, int skip_dispatch);
    int (*collide_point_tuple)(VexlarRect *self, PyObject *point, int skip_dispatch);
    int (*collide_point_list)(VexlarRect *self, PyObject *point, int skip_dispatch);
    int (*collide_rect)(VexlarRect *self, PyObject *other, int skip_dispatch);
    int (*collide_rect_vector4)(VexlarRect *self, VexlarVector4 *other, int skip_dispatch);
    int (*collide_rect_rect)(VexlarRect *self, VexlarRect *other, int skip_dispatch);
    int (*collide_rect_tuple)(VexlarRect *self, PyObject *other, int skip_dispatch);
    int (*collide_rect_list)(VexlarRect *self, PyObject *other, int skip_dispatch);
    VexlarVector4 *(*get_vector4)(VexlarRect *self, int skip_dispatch);
    PyObject *(*get_tuple)(VexlarRect *self, int skip_dispatch);
} VexlarRectTable;

struct VexlarRect {
    PyObject_HEAD
    const VexlarRectTable *vtab;
    Rectangle _raw;
};

/* vexlar.color.color.Color: 6 slots. */
typedef struct VexlarColorTable {
    VexlarColor *(*new_)(int r, int g, int b, int a);        // channels clamped to 0..255
    int (*c_equal)(VexlarColor *self, VexlarColor *other);
    VexlarVector4 *(*c_normalize)(VexlarColor *self);
    VexlarColor *(*c_tint)(VexlarColor *self, VexlarColor *tint);
    void (*fade)(VexlarColor *self, float alpha, int skip_dispatch);
    int (*to_int)(VexlarColor *self, int skip_dispatch);
} VexlarColorTable;

struct VexlarColor {
    PyObject_HEAD
    const VexlarColorTable *vtab;
    Color _raw;
};

/* vexlar.colors.colors.Colors: no method table; one Color reference per named colour, in
 * palette order. */
#define VEXLAR_PALETTE_SIZE 152
typedef struct VexlarColors {
    PyObject_HEAD
    VexlarColor *entries[VEXLAR_PALETTE_SIZE];
} VexlarColors;

/* vexlar.core.core.Window: 31 slots over raylib's window functions. */
typedef struct VexlarWindowTable {
    int (*is_ready)(VexlarWindow *self);
    int (*is_fullscreen)(VexlarWindow *self);
    int (*is_hidden)(VexlarWindow *self);
    int (*is_maximized)(VexlarWindow *self);
    int (*is_minimized)(VexlarWindow *self);
    int (*is_focused)(VexlarWindow *self);
    int (*is_resized)(VexlarWindow *self);
    void (*set_title)(VexlarWindow *self, PyObject *title);
    void (*set_position)(VexlarWindow *self, int x, int y);
    void (*set_monitor)(VexlarWindow *self, int monitor);
    void (*set_minsize)(VexlarWindow *self, int width, int height);
    void (*set_maxsize)(VexlarWindow *self, int width, int height);
    void (*set_size)(VexlarWindow *self, int width, int height);
    void (*set_width)(VexlarWindow *self, int width);
    void (*set_height)(VexlarWindow *self, int height);
    void (*set_opacity)(VexlarWindow *self, double opacity);
    void (*set_focused)(VexlarWindow *self);
    void *(*get_handle)(VexlarWindow *self);
    int (*get_width)(VexlarWindow *self);
    int (*get_height)(VexlarWindow *self);
    int (*get_render_width)(VexlarWindow *self);
    int (*get_render_height)(VexlarWindow *self);
    VexlarVector2 *(*get_position)(VexlarWindow *self);
    VexlarVector2 *(*get_DPI_scale)(VexlarWindow *self);
    void (*begin_drawing)(VexlarWindow *self);
    void (*end_drawing)(VexlarWindow *self);
    int (*is_state)(VexlarWindow *self, int flag, int skip_dispatch);
    void (*set_state)(VexlarWindow *self, int flags, int skip_dispatch);
    void (*clear_state)(VexlarWindow *self, int flags, int skip_dispatch);
    void (*close)(VexlarWindow *self, int skip_dispatch);
    void (*focus)(VexlarWindow *self, int skip_dispatch);
} VexlarWindowTable;

struct VexlarWindow {
    PyObject_HEAD
    const VexlarWindowTable *vtab;
    VexlarVector2 *_size;
    VexlarVector2 *_min_size;
    VexlarVector2 *_max_size;
    PyObject *_title;
    int _flags;           // raylib ConfigFlags applied at construction
    double _opacity;      // 0.0 (transparent) .. 1.0 (opaque)
};

/*------------------------------------------------------------------------------------------
 * Parser functions of vexlar.parser.parser, published in its `__pyx_capi__` dict: each capsule
 * is named by the signature below and must be asked for under exactly that name.
 *----------------------------------------------------------------------------------------*/
#define VEXLAR_PARSE_VECTOR2_LIKE_SIGNATURE "struct Vector2 (PyObject *)"
#define VEXLAR_PARSE_COLOR_LIKE_SIGNATURE "struct Color (PyObject *)"
#define VEXLAR_PARSE_RECT_LIKE_SIGNATURE "struct Rectangle (PyObject *)"
typedef Vector2 (*VexlarParseVector2Like)(PyObject *obj);
typedef Color (*VexlarParseColorLike)(PyObject *obj);
typedef Rectangle (*VexlarParseRectLike)(PyObject *obj);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // VEXLAR_H
