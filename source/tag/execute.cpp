// placeholder until the rules land
#include "Kestrelwood.h"
LONG Kestrelwood::Execute(PluginTag*, BaseDocument*, BaseObject*, BaseThread*, LONG, LONG) { return EXECUTION_RESULT_OK; }
