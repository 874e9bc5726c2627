// Console, refresh and command line: the host's general services.
#ifndef KW_C4D_GENERAL_H
#define KW_C4D_GENERAL_H

#include "c4d_string.h"

// The host's command-line record.
struct C4DPL_CommandLineArgs {
  LONG argc;
  CHAR** argv;
};

// The host's image-edit record (plug-in message 1003).
struct C4DPL_EditImage {
  KwFilename* imagefn;
  Bool return_processed;
};

// One line on the host's console.
void GePrint(const String& s);
// The same line in the host's console-output form: a 0x01 byte, then s.
void GeConsoleOut(const String& s);
// Asks the host to refresh after a change.
void EventAdd(LONG flags = 0);
Bool GetCommandLineArgs(C4DPL_CommandLineArgs& args);
// The folder the module was loaded from; empty while none is stored.
Filename GeGetPluginPath();

#endif
