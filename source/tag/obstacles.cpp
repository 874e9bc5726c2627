// placeholder until the rules land
#include "Kestrelwood.h"
