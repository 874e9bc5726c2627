// placeholder until the rules land
#include "Kestrelwood.h"
TVistaHelper VistaHelper[MAX_AGENTS];
