// Everything of the host SDK the module uses.
#ifndef KW_C4D_H
#define KW_C4D_H

#include "c4d_basecontainer.h"
#include "c4d_basedraw.h"
#include "c4d_description.h"
#include "c4d_general.h"
#include "c4d_math.h"
#include "c4d_os.h"
#include "c4d_memory.h"
#include "c4d_nodedata.h"
#include "c4d_nodes.h"
#include "c4d_orientation.h"
#include "c4d_random.h"
#include "c4d_raycollider.h"
#include "c4d_resource.h"
#include "c4d_string.h"
#include "c4d_types.h"

#endif
