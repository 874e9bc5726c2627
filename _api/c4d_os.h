// The module's binding to the host: the pointer to the host's function table.
// Every wrapper class calls through it.
#ifndef KW_C4D_OS_H
#define KW_C4D_OS_H

#include "c4d_hosttable.h"

// Null until action 1 of c4d_main binds it.
extern C4D_OS* t_C4DOS;

#define C4DOS (*t_C4DOS)

#endif
