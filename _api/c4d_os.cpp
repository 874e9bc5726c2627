// Module-wide binding state.
#include "c4d_os.h"

#include "c4d_string.h"

C4D_OS* t_C4DOS = nullptr;

// The module's path as the host gave it at the first system initialisation;
// null before that and after the last end.
Filename* path_storage = nullptr;
