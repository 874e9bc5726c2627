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
 *    its own handler in it;
 *  - every number either side uses to talk to the other (actions, answers,
 *    messages, types, the parameters the host reads) is named below, once;
 *  - threads: the host calls the module's entry and a tag type's functions on
 *    one thread at a time (the one working on the scene), and the module calls
 *    the table's operations only from within those calls, on that thread. The
 *    module creates no threads and takes no locks; the table's operations are
 *    not meant to be called concurrently.
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

/* ---- protocol numbers --------------------------------------------------- */

/* Actions of c4d_main(action, p1, p2, p3). */
enum {
  KW_ACTION_INIT = 1,    /* p1: the C4D_OS table, p3: the module's path (KwFilename) */
  KW_ACTION_START = 2,   /* start the module: register its types */
  KW_ACTION_END = 3,
  KW_ACTION_VERSION = 4, /* the interface the module speaks: KW_INTERFACE_VERSION */
  KW_ACTION_MESSAGE = 6  /* p1: a plug-in message (KW_PLUGINMSG_*), p2: its data */
};

/* What c4d_main answers. */
enum {
  KW_MAIN_OK = 1,       /* done (KW_ACTION_START: the start succeeded) */
  KW_MAIN_FAILED = 0,   /* KW_ACTION_START: the start failed */
  KW_MAIN_REFUSED = -1, /* an unknown action, or a message the module does not handle */
  KW_MAIN_TOO_OLD = -3  /* KW_ACTION_INIT: the host's version or table is too old, or no path */
};
#define KW_INTERFACE_VERSION 3

/* Plug-in messages (KW_ACTION_MESSAGE). */
enum {
  KW_PLUGINMSG_NONE = 0,           /* answered, nothing done */
  KW_PLUGINMSG_INIT_RESOURCE = 1,  /* load the module's res/ folder; before KW_ACTION_START */
  KW_PLUGINMSG_COMMANDLINE = 1002, /* data: KwCommandLineArgs */
  KW_PLUGINMSG_EDIT_IMAGE = 1003   /* data: KwImageEditRecord */
};

/* Messages to a node (KwTagFuncs.message). */
enum {
  KW_MSG_DESCRIPTION_COMMAND = 18 /* data: KwDescriptionCommand; a command button was pressed */
};

/* What a tag's execute answers when all went well. */
enum { KW_EXECUTION_RESULT_OK = 0 };

/* Flags of a registered tag type (registry.register_tag, info). */
enum { KW_TAG_VISIBLE = 1, KW_TAG_EXPRESSION = 8 };

/* Object types (nodes.get_type of an object). */
enum {
  KW_OBJECT_POLYGON = 5100,
  KW_OBJECT_NULL = 5140,
  KW_OBJECT_CUBE = 5159,
  KW_OBJECT_CIRCLE = 5181 /* a circle spline */
};

/* Parameters of the host's own objects. */
enum {
  KW_PRIM_CIRCLE_RADIUS = 2012 /* real: a circle spline's radius, scene units (200 when unset) */
};

/* The Kestrelwood tag as the host knows it: its type, the string of its
 * name, and the parameters the host reads (to record a run, report on it and
 * warn about a crowd that will do nothing) or presses. The module's own
 * parameter table holds the rest. */
enum {
  KW_KESTRELWOOD_ID = 1019785,
  KW_KESTRELWOOD_NAME_STRING = 10072,
  KW_KESTRELWOOD_AGENTS_GROUP = 1000,    /* link: the agents are its direct children */
  KW_KESTRELWOOD_TARGET = 1001,          /* link */
  KW_KESTRELWOOD_OBSTACLES_GROUP = 1002, /* link: its circle-spline children are obstacles */
  KW_KESTRELWOOD_RECORD_START = 1010,    /* button: record the start state */
  KW_KESTRELWOOD_REPULSION_RADIUS = 1011, /* real, scene units */
  KW_KESTRELWOOD_START_RECORDED = 1019,  /* bool: a start state is stored */
  KW_KESTRELWOOD_START_COUNT_ID = 1020,  /* long: id of the entry holding the slot count; pairs follow it */
  KW_KESTRELWOOD_TERRAIN = 1021          /* link: a polygon object */
};

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

/* Whether a table of table_size bytes holds `member`: a module checks this
 * before it relies on a sub-table, so that a shorter (older) table is refused
 * instead of read past its end. */
#define KW_TABLE_HAS(os, member) ((os)->table_size >= offsetof(C4D_OS, member) + sizeof((os)->member))

/* The module's one exported entry point. */
typedef int32_t (*KwMainFn)(int32_t action, void* p1, void* p2, void* p3);

#ifdef __cplusplus
}
#endif

#endif
