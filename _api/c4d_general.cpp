#include "c4d_general.h"

#include "c4d_os.h"

// Kept by c4d_main at the first system initialisation.
extern Filename* path_storage;

void GePrint(const String& s) { C4DOS.messages.print(s.Handle()); }

void GeConsoleOut(const String& s) { GePrint(String("\x01") + s); }

void EventAdd(LONG flags) { C4DOS.messages.event_add(flags); }

Bool GetCommandLineArgs(C4DPL_CommandLineArgs& args) {
  static_assert(sizeof(C4DPL_CommandLineArgs) == sizeof(KwCommandLineArgs), "record layout");
  return C4DOS.messages.get_command_line_args(reinterpret_cast<KwCommandLineArgs*>(&args));
}

Filename GeGetPluginPath() {
  Filename f;
  if (path_storage) f = *path_storage;
  return f;
}
