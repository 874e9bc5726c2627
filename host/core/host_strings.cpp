#include "core/host_strings.h"

#include "core/allocator.h"

namespace kwhost {

KwString* newString(std::string_view bytes) {
  auto* s = new KwString{std::string(bytes), currentAccount()};
  s->account->handleCreated();
  return s;
}

void freeString(KwString* s) {
  if (!s) return;
  if (s->account) s->account->handleFreed();
  delete s;
}

KwFilename* newFilename(std::string_view path) {
  auto* f = new KwFilename{std::string(path), currentAccount()};
  f->account->handleCreated();
  return f;
}

void freeFilename(KwFilename* f) {
  if (!f) return;
  if (f->account) f->account->handleFreed();
  delete f;
}

std::string joinPath(std::string_view folder, std::string_view part) {
#if defined(_WIN32)
  constexpr char kSep = '\\';
  auto isSep = [](char c) { return c == '/' || c == '\\'; };
#else
  constexpr char kSep = '/';
  auto isSep = [](char c) { return c == '/'; };
#endif
  std::string out(folder);
  if (part.empty()) return out;
  if (out.empty()) return std::string(part);
  if (!isSep(out.back())) out += kSep;
  while (!part.empty() && isSep(part.front())) part.remove_prefix(1);
  out += part;
  return out;
}

}  // namespace kwhost
