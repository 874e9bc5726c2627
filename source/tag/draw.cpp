// placeholder until the rules land
#include "Kestrelwood.h"
Bool Kestrelwood::Draw(PluginTag*, BaseObject*, BaseDraw*, BaseDrawHelp*) { return TRUE; }
