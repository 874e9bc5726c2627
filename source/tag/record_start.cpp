// placeholder until the rules land
#include "Kestrelwood.h"
Bool Kestrelwood::Message(GeListNode*, LONG, void*) { return TRUE; }
