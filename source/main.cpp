// The plug-in's start, message and end hooks.
#include "c4d.h"
#include "tag/Kestrelwood.h"

// The host's crash handler as it was before ours took its place.
static void (*old_handler)(CHAR*) = nullptr;

void SDKCrashHandler(CHAR* crashinfo) {
  if (old_handler) old_handler(crashinfo);
}

Bool PluginStart() {
  old_handler = C4DOS.crash_handler;
  C4DOS.crash_handler = SDKCrashHandler;

  C4DPL_CommandLineArgs args;
  args.argc = 0;
  args.argv = nullptr;
  if (GetCommandLineArgs(args)) GeConsoleOut(String("COMMANDLINE number of arguments: ") + LongToString(args.argc));

  return RegisterKestrelwood();
}

void PluginEnd() {}

namespace {

bool SameBytes(const CHAR* a, const CHAR* b) {
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// The command line: answers "--help" and consumes "-SDK".
void CommandLineArguments(C4DPL_CommandLineArgs* args) {
  if (!args || args->argc <= 0 || !args->argv) return;
  for (LONG i = 0; i < args->argc; ++i) {
    if (!args->argv[i]) continue;
    if (SameBytes(args->argv[i], "--help")) {
      GePrint(String("\x01-SDK is here :-)"));
    } else if (SameBytes(args->argv[i], "-SDK")) {
      args->argv[i] = nullptr;
      GePrint(String("\x01-SDK executed:-)"));
    }
  }
}

// The image edit hook: reports an image that nobody handled yet.
void EditImageHook(C4DPL_EditImage* rec) {
  if (!rec || rec->return_processed) return;
  GePrint(String("C4DSDK - Edit Image Hook: ") + Filename::GetString(rec->imagefn));
}

}  // namespace

Bool PluginMessage(LONG id, void* data) {
  switch (id) {
    case KW_PLUGINMSG_NONE:
      return TRUE;
    case KW_PLUGINMSG_INIT_RESOURCE:
      return resource.Init();
    case KW_PLUGINMSG_COMMANDLINE:
      CommandLineArguments(static_cast<C4DPL_CommandLineArgs*>(data));
      return FALSE;
    case KW_PLUGINMSG_EDIT_IMAGE:
      EditImageHook(static_cast<C4DPL_EditImage*>(data));
      return FALSE;
    default:
      return FALSE;
  }
}
