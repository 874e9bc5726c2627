#include "c4d_orientation.h"
