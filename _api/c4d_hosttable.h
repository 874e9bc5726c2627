/*
 * The host/plug-in boundary: the one table of host operations that the host
 * hands to a module with action 1 of c4d_main, shared verbatim by both sides.
 *
 * Rules of this boundary:
 *  - plain C: fixed-width integers, floats, plain structs and opaque handles;
 *    no C++ object, no exception and no allocation ownership crosses it
 *    silently (every handle a call returns says below who frees it);
 *  - the first member is the host's version (11500 for R11.5), so a module can
 *    refuse an old host before it touches anything else; the second is the
 *    size of the table in bytes, so a newer host can grow the table at its end
 *    without breaking older modules;
 *  - operations are grouped by family into sub-tables, one struct each;
 *  - the crash-handler hook is the one writable member: the module may chain
 *    its own handler in it.
 *
 * Geometry types are 32-bit floats throughout (the host's `Real`), laid out as
 * the module's Vector and Matrix classes, which are layout-compatible.
 */
#ifndef KW_C4D_HOSTTABLE_H
#define KW_C4D_HOSTTABLE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KW_HOST_VERSION 11500

/* ---- plain data ------------------------------------------------------- */

typedef struct KwVector {
  float x, y, z;
} KwVector;

/* off (origin), v1, v2, v3 (X, Y, Z axes); p maps to off + v1*p.x + v2*p.y + v3*p.z */
typedef struct KwMatrix {
  KwVector off, v1, v2, v3;
} KwMatrix;

/* A time value as a fraction: seconds = numerator / denominator. */
typedef struct KwTime {
  double numerator;
  double denominator;
} KwTime;

/* One level of a description identifier. */
typedef struct KwDescLevel {
  int32_t id;
  int32_t dtype;
  int32_t creator;
} KwDescLevel;

#define KW_DESCID_MAX_DEPTH 7
typedef struct KwDescID {
  int32_t depth; /* number of levels in use */
  KwDescLevel level[KW_DESCID_MAX_DEPTH];
} KwDescID;

/* Data of node message 18 (a description command, e.g. a button press). */
typedef struct KwDescriptionCommand {
  KwDescID id;
} KwDescriptionCommand;

/* Data of plug-in message 1003 (image edit hook). */
typedef struct KwImageEditRecord {
  struct KwFilename* image;
  int32_t handled; /* non-zero: already handled */
} KwImageEditRecord;

/* Command line as the host received it; entries may be null. */
typedef struct KwCommandLineArgs {
  int32_t argc;
  char** argv;
} KwCommandLineArgs;

/* Result of the nearest intersection of the last ray test; positions and
 * normals are in the local coordinates of the collider's object. */
typedef struct KwRayColResult {
  KwVector hitPosition;
  float distance;
  int32_t faceId;
  KwVector faceNormal;
  KwVector barycentric;
  int32_t backface; /* non-zero when the ray met the face from its back */
} KwRayColResult;

/* Opaque handles, owned by the host. */
typedef struct KwString KwString;           /* text; freed with strings.free */
typedef struct KwFilename KwFilename;       /* a path; freed with filenames.free */
typedef struct KwContainer KwContainer;     /* a node's parameters */
typedef struct KwNode KwNode;               /* a scene node: object or tag */
typedef struct KwDocument KwDocument;       /* a scene */
typedef struct KwCollider KwCollider;       /* a ray collider */
typedef struct KwDraw KwDraw;               /* a viewport */
typedef struct KwDrawHelp KwDrawHelp;       /* drawing context of one pass */
typedef struct KwDescription KwDescription; /* a description being built */
typedef struct KwResource KwResource;       /* a module's loaded res/ folder */
typedef struct KwThread KwThread;           /* the thread evaluating a scene */

/* ---- what a module registers ------------------------------------------ */

/* The operations of a registered tag type, called by the host for each tag
 * instance. `instance` is what `create` returned; `node` is the tag's own
 * node. All results are 0/non-zero booleans unless said otherwise. */
typedef struct KwTagFuncs {
  void* (*create)(const void* type_data); /* a new instance, or null */
  void (*destroy)(void* instance);
  int32_t (*init)(void* instance, KwNode* node);
  int32_t (*message)(void* instance, KwNode* node, int32_t type, void* data);
  int32_t (*get_ddescription)(void* instance, KwNode* node, KwDescription* description, int32_t* flags);
  int32_t (*draw)(void* instance, KwNode* tag, KwNode* op, KwDraw* bd, KwDrawHelp* bh);
  int32_t (*execute)(void* instance, KwNode* tag, KwDocument* doc, KwNode* op, KwThread* thread,
                     int32_t priority, int32_t flags); /* 0 on success */
  const void* type_data; /* passed back to create */
} KwTagFuncs;

/* ---- the sub-tables ----------------------------------------------------- */

typedef struct KwMemoryOps {
  /* zero-filled block of `size` bytes (size >= 1), or null; line/file name the caller */
  void* (*alloc)(size_t size, int32_t line, const char* file);
  /* the same, contents left as they are */
  void* (*alloc_nc)(size_t size, int32_t line, const char* file);
  /* releases a block from alloc or alloc_nc; null does nothing */
  void (*free)(void* block);
} KwMemoryOps;

typedef struct KwStringOps {
  KwString* (*create)(const char* utf8, int32_t length); /* length < 0: up to the NUL */
  void (*free)(KwString* s);
  KwString* (*concat)(const KwString* a, const KwString* b); /* a new string */
  KwString* (*from_long)(int32_t value);                     /* decimal */
  int32_t (*length)(const KwString* s);                      /* in bytes */
  /* copies up to cap-1 bytes and a NUL into buf; returns the full length */
  int32_t (*get_utf8)(const KwString* s, char* buf, int32_t cap);
  KwString* (*copy)(const KwString* s);
} KwStringOps;

typedef struct KwFilenameOps {
  KwFilename* (*create)(void);
  void (*free)(KwFilename* f);
  void (*copy_to)(const KwFilename* src, KwFilename* dst);
  KwString* (*get_string)(const KwFilename* f); /* a new string */
  void (*set_string)(KwFilename* f, const KwString* s);
  /* appends one path component (a name within the folder f names) */
  void (*add_part)(KwFilename* f, const char* part);
} KwFilenameOps;

typedef struct KwContainerOps {
  KwContainer* (*create)(void);
  void (*free)(KwContainer* bc);
  void (*copy_to)(const KwContainer* src, KwContainer* dst);
  int32_t (*get_bool)(const KwContainer* bc, int32_t id, int32_t def);
  int32_t (*get_long)(const KwContainer* bc, int32_t id, int32_t def);
  float (*get_real)(const KwContainer* bc, int32_t id, float def);
  void (*get_matrix)(const KwContainer* bc, int32_t id, const KwMatrix* def, KwMatrix* out);
  /* the linked node if it is in `doc`, else null */
  KwNode* (*get_link)(const KwContainer* bc, int32_t id, const KwDocument* doc);
  KwString* (*get_string)(const KwContainer* bc, int32_t id); /* a new string; empty if absent */
  void (*set_bool)(KwContainer* bc, int32_t id, int32_t v);
  void (*set_long)(KwContainer* bc, int32_t id, int32_t v);
  void (*set_real)(KwContainer* bc, int32_t id, float v);
  void (*set_matrix)(KwContainer* bc, int32_t id, const KwMatrix* v);
  void (*set_link)(KwContainer* bc, int32_t id, KwNode* v);
  void (*set_string)(KwContainer* bc, int32_t id, const KwString* v);
} KwContainerOps;

typedef struct KwNodeOps {
  KwDocument* (*get_document)(KwNode* n); /* null when not in a document */
  KwNode* (*get_down)(KwNode* n);         /* first child */
  KwNode* (*get_next)(KwNode* n);         /* next sibling */
  KwNode* (*get_up)(KwNode* n);           /* parent */
  int32_t (*get_type)(KwNode* n);
  KwContainer* (*get_data)(KwNode* n);      /* a new copy; the caller frees it */
  KwContainer* (*get_live_data)(KwNode* n); /* the node's own; never freed by the caller */
  KwString* (*get_name)(KwNode* n);         /* a new string */
} KwNodeOps;

typedef struct KwObjectOps {
  void (*get_global_matrix)(KwNode* op, KwMatrix* out);
  void (*set_global_matrix)(KwNode* op, const KwMatrix* m, int32_t flag);
  void (*get_rotation)(KwNode* op, KwVector* out); /* heading, pitch, bank */
  void (*set_rotation)(KwNode* op, const KwVector* v);
} KwObjectOps;

typedef struct KwDocumentOps {
  void (*get_time)(const KwDocument* doc, KwTime* out);
  void (*get_min_time)(const KwDocument* doc, KwTime* out);
  int32_t (*get_fps)(const KwDocument* doc);
} KwDocumentOps;

typedef struct KwColliderOps {
  KwCollider* (*alloc)(void); /* null when it cannot be made */
  void (*free)(KwCollider* rc);
  /* builds on a polygon object; force: re-read the geometry */
  int32_t (*init)(KwCollider* rc, KwNode* op, int32_t force);
  /* local coordinates of the object; direction of unit length */
  int32_t (*intersect)(KwCollider* rc, const KwVector* start, const KwVector* direction, float distance,
                       int32_t only_test);
  int32_t (*get_nearest)(KwCollider* rc, KwRayColResult* out);
} KwColliderOps;

typedef struct KwDrawOps {
  void (*set_color)(KwDraw* bd, const KwVector* color); /* components 0..255 */
  void (*line3d)(KwDraw* bd, const KwVector* p1, const KwVector* p2);
  void (*circle3d)(KwDraw* bd, const KwMatrix* m);
  KwDocument* (*helper_document)(KwDrawHelp* bh);
} KwDrawOps;

typedef struct KwRegistryOps {
  int32_t (*register_tag)(int32_t id, const KwString* name, int32_t info, const KwTagFuncs* funcs,
                          const char* description, const char* icon, int32_t disklevel);
  int32_t (*load_description)(KwDescription* d, int32_t id);
} KwRegistryOps;

typedef struct KwMessageOps {
  void (*print)(const KwString* s); /* one console line */
  void (*event_add)(int32_t flags);
  int32_t (*get_command_line_args)(KwCommandLineArgs* out);
} KwMessageOps;

typedef struct KwResourceOps {
  KwResource* (*load)(const KwFilename* folder); /* null when it cannot be loaded */
  void (*free)(KwResource* r);
  /* a new string; the host's default string (empty) when r is null or id unknown */
  KwString* (*load_string)(const KwResource* r, int32_t id);
} KwResourceOps;

typedef struct C4D_OS {
  int32_t version;     /* KW_HOST_VERSION of the host; must stay first */
  uint32_t table_size; /* sizeof(C4D_OS) as the host compiled it */
  KwMemoryOps memory;
  KwStringOps strings;
  KwFilenameOps filenames;
  KwContainerOps containers;
  KwNodeOps nodes;
  KwObjectOps objects;
  KwDocumentOps documents;
  KwColliderOps colliders;
  KwDrawOps drawing;
  KwRegistryOps registry;
  KwMessageOps messages;
  KwResourceOps resources;
  /* writable: the handler the host calls with its crash text */
  void (*crash_handler)(char* text);
} C4D_OS;

/* The module's one exported entry point. */
typedef int32_t (*KwMainFn)(int32_t action, void* p1, void* p2, void* p3);

#ifdef __cplusplus
}
#endif

#endif
