#include "core/module_loader.h"

#include <filesystem>
#include <mutex>
#include <set>

#include "core/console.h"
#include "core/host_table.h"
#include "core/platform_dl.h"
#include "core/registry.h"
#include "core/resources.h"
#include "core/host_strings.h"

namespace kwhost {

namespace {

// A module's globals are process wide: one Module per file at a time.
std::mutex& loadedMutex() {
  static std::mutex m;
  return m;
}
std::set<std::string>& loadedFiles() {
  static auto* s = new std::set<std::string>();
  return *s;
}

std::string canonical(const std::string& path) {
  std::error_code ec;
  auto p = std::filesystem::weakly_canonical(std::filesystem::path(path), ec);
  return ec ? path : p.string();
}

}  // namespace

Result<std::unique_ptr<Module>> Module::open(const std::string& path, const LoadOptions& options) {
  const std::string key = canonical(path);
  {
    std::lock_guard<std::mutex> lock(loadedMutex());
    if (loadedFiles().count(key)) return fail(path + ": this module is loaded already");
  }
  auto opened = dlOpen(path);
  if (!opened) return fail(path + ": cannot be loaded: " + opened.error());
  void* lib = *opened;
  void* entry = dlSymbol(lib, "c4d_main");
  if (!entry) {
    dlClose(lib);
    return fail(path + ": exports no c4d_main");
  }
  std::unique_ptr<Module> m(new Module());
  m->lib_ = lib;
  m->main_ = reinterpret_cast<KwMainFn>(entry);
  m->table_ = makeHostTable();
  m->table_.version = options.hostVersion;
  m->table_.table_size = options.tableSize;
  m->options_ = options;
  m->ctx_.path = key;
  if (!options.folder.empty()) {
    m->ctx_.folder = options.folder;
  } else {
    m->ctx_.folder = std::filesystem::path(key).parent_path().string();
  }
  m->ctx_.account = newAccount("module " + key);
  m->folder_ = new KwFilename{m->ctx_.folder, nullptr};  // the host's own handle
  std::lock_guard<std::mutex> lock(loadedMutex());
  loadedFiles().insert(key);
  return m;
}

Result<std::unique_ptr<Module>> Module::load(const std::string& path, const LoadOptions& options) {
  auto m = open(path, options);
  if (!m) return m;
  if (auto r = m.value()->start(); !r) return Error{r.error()};
  return m;
}

Module::~Module() {
  (void)end();
  dlClose(lib_);
  delete folder_;
  std::lock_guard<std::mutex> lock(loadedMutex());
  loadedFiles().erase(ctx_.path);
}

int32_t Module::call(int32_t action, void* p1, void* p2, void* p3) {
  CallScope scope(&ctx_);
  return main_(action, p1, p2, p3);
}

int32_t Module::message(int32_t id, void* data) {
  return call(KW_ACTION_MESSAGE, reinterpret_cast<void*>(static_cast<intptr_t>(id)), data, nullptr);
}

Result<void> Module::start() {
  if (initialised_) return fail(ctx_.path + ": started already");
  const int32_t init = call(KW_ACTION_INIT, &table_, nullptr, folder_);
  if (init != KW_MAIN_OK) {
    std::string why = init == KW_MAIN_TOO_OLD ? " (host version " + std::to_string(table_.version) + " or table of " +
                                                    std::to_string(table_.table_size) +
                                                    " bytes too old, or no module path)"
                                              : "";
    return fail(ctx_.path + ": the module refused the host: initialisation answered " + std::to_string(init) + why);
  }
  initialised_ = true;
  size_t refused = ctx_.refusals.size();
  if (message(KW_PLUGINMSG_INIT_RESOURCE, nullptr) != KW_MAIN_OK) {
    std::string why = lastRefusal(refused);
    (void)end();
    return fail(ctx_.path + ": the module could not load its resource" + (why.empty() ? "" : ": " + why));
  }
  refused = ctx_.refusals.size();
  if (call(KW_ACTION_START, nullptr, nullptr, nullptr) != KW_MAIN_OK) {
    std::string why = lastRefusal(refused);
    (void)end();
    return fail(ctx_.path + ": the module's start failed" + (why.empty() ? "" : " (" + why + ")"));
  }
  if (options_.sendCommandLine) {
    KwCommandLineArgs args{0, nullptr};
    Console::instance().commandLine(&args);
    message(KW_PLUGINMSG_COMMANDLINE, &args);  // answered FALSE by design
  }
  return {};
}

std::string Module::lastRefusal(size_t since) const {
  return ctx_.refusals.size() > since ? ctx_.refusals.back().message : std::string();
}

Result<void> Module::end() {
  if (!initialised_) return {};
  unregisterModule(&ctx_);
  initialised_ = false;
  const int32_t r = call(KW_ACTION_END, nullptr, nullptr, nullptr);
  if (r != KW_MAIN_OK) return fail(ctx_.path + ": the module's end answered " + std::to_string(r));
  return {};
}

}  // namespace kwhost
