// Loading and driving a module through its one entry point c4d_main.
//
// Start sequence (start()): action 1 (the host table, -, the module's folder
// as a KwFilename), plug-in message 1 (load the resource), action 2 (start),
// then plug-in message 1002 with the command line. Shutdown (end()): the
// module's tag instances are destroyed and its types unregistered, then
// action 3; the library is closed when the Module is destroyed.
#ifndef KWHOST_MODULE_LOADER_H
#define KWHOST_MODULE_LOADER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "c4d_hosttable.h"
#include "core/call_scope.h"
#include "core/result.h"

namespace kwhost {

struct LoadOptions {
  std::string folder;                  // empty: the folder of the file
  int32_t hostVersion = KW_HOST_VERSION;  // the version the table announces
  uint32_t tableSize = sizeof(C4D_OS);    // the size the table announces
  bool sendCommandLine = true;         // message 1002 after the start
};

class Module {
 public:
  ~Module();  // end() if started, then closes the library
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Opens the library and finds c4d_main; no action is called. Refuses a
  // file that is loaded already (its state is process wide).
  static Result<std::unique_ptr<Module>> open(const std::string& path, const LoadOptions& options = {});
  // open() and start().
  static Result<std::unique_ptr<Module>> load(const std::string& path, const LoadOptions& options = {});

  Result<void> start();
  // Unregisters the module's types (destroying their tags' instances), then
  // action 3. Does nothing unless start() got past action 1.
  Result<void> end();

  // c4d_main in the module's call scope; for tests of the entry's rules.
  int32_t call(int32_t action, void* p1, void* p2, void* p3);
  // Action 6: 1 when the module answered TRUE, -1 when FALSE.
  int32_t message(int32_t id, void* data);

  C4D_OS& table() { return table_; }
  KwFilename* folderHandle() { return folder_; }
  const std::string& path() const { return ctx_.path; }
  const std::string& folder() const { return ctx_.folder; }
  const Account& account() const { return *ctx_.account; }
  ModuleContext* context() { return &ctx_; }
  // What the host refused the module, and why (a registration, a resource).
  const std::vector<Error>& refusals() const { return ctx_.refusals; }
  bool started() const { return initialised_; }

 private:
  // The reason of the newest refusal after the first `since`, or "".
  std::string lastRefusal(size_t since) const;
  Module() = default;
  void* lib_ = nullptr;
  KwMainFn main_ = nullptr;
  C4D_OS table_{};
  KwFilename* folder_ = nullptr;
  ModuleContext ctx_;
  LoadOptions options_;
  bool initialised_ = false;  // action 1 succeeded and no action 3 yet
};

}  // namespace kwhost

#endif
