// The function table C4D_OS the host hands to a module: every operation is
// a host function wrapped so that no C++ exception leaves it (a failure
// comes back as null, FALSE or a default value and is reported on stderr).
#ifndef KWHOST_HOST_TABLE_H
#define KWHOST_HOST_TABLE_H

#include "c4d_hosttable.h"

namespace kwhost {

// A fresh copy of the host's table (version KW_HOST_VERSION, its size, no
// crash handler). A module keeps a pointer to its copy until it is unloaded.
C4D_OS makeHostTable();

// Reports a fault inside a table operation (stderr, one line); the host
// counts them: tableFaults().
void reportTableFault(const char* operation, const char* what);
long tableFaults();

}  // namespace kwhost

#endif
