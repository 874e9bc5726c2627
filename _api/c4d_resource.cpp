#include "c4d_resource.h"

#include "c4d_general.h"
#include "c4d_memory.h"
#include "c4d_os.h"

GeResource resource;

GeResource::~GeResource() { Free(); }

Bool GeResource::Init() {
  if (!folder_) {
    Filename path = GeGetPluginPath();
    folder_ = gNew Filename(path);
    if (!folder_) return FALSE;
  }
  if (loaded_) return handle_ != nullptr;
  handle_ = C4DOS.resources.load(folder_->Handle());
  loaded_ = TRUE;
  return handle_ != nullptr;
}

String GeResource::LoadString(LONG id) { return String::Adopt(C4DOS.resources.load_string(handle_, id)); }

void GeResource::Free() {
  if (global_) return;
  if (handle_) C4DOS.resources.free(handle_);
  handle_ = nullptr;
  gDelete(folder_);
}

String GeLoadString(LONG id) { return resource.LoadString(id); }

void FreeResource() { resource.Free(); }
