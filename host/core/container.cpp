#include "core/container.h"

#include <cstring>
#include <type_traits>


namespace kwhost {

EntryType entryType(const EntryValue& v) { return static_cast<EntryType>(v.index()); }

const char* entryTypeName(EntryType t) {
  switch (t) {
    case EntryType::Bool: return "bool";
    case EntryType::Long: return "long";
    case EntryType::Real: return "real";
    case EntryType::Matrix: return "matrix";
    case EntryType::Link: return "link";
    case EntryType::String: return "string";
  }
  return "?";
}

bool sameEntries(const Container& a, const Container& b) {
  if (a.entries.size() != b.entries.size()) return false;
  auto ia = a.entries.begin();
  for (auto ib = b.entries.begin(); ib != b.entries.end(); ++ia, ++ib) {
    if (ia->first != ib->first || ia->second.index() != ib->second.index()) return false;
    const bool same = std::visit(
        [&](const auto& va) {
          using T = std::decay_t<decltype(va)>;
          const T& vb = std::get<T>(ib->second);
          if constexpr (std::is_same_v<T, float> || std::is_same_v<T, KwMatrix>) {
            return std::memcmp(&va, &vb, sizeof(T)) == 0;
          } else {
            return va == vb;
          }
        },
        ia->second);
    if (!same) return false;
  }
  return true;
}

KwMatrix identityMatrix() { return KwMatrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }

}  // namespace kwhost

using kwhost::EntryValue;
using kwhost::LinkValue;

const EntryValue* KwContainer::find(int32_t id) const {
  auto it = entries.find(id);
  return it == entries.end() ? nullptr : &it->second;
}

bool KwContainer::getBool(int32_t id, bool def) const {
  const EntryValue* v = find(id);
  if (!v) return def;
  if (auto* b = std::get_if<bool>(v)) return *b;
  if (auto* l = std::get_if<int32_t>(v)) return *l != 0;
  return def;
}

int32_t KwContainer::getLong(int32_t id, int32_t def) const {
  const EntryValue* v = find(id);
  if (!v) return def;
  if (auto* l = std::get_if<int32_t>(v)) return *l;
  if (auto* b = std::get_if<bool>(v)) return *b ? 1 : 0;
  return def;
}

float KwContainer::getReal(int32_t id, float def) const {
  const EntryValue* v = find(id);
  if (!v) return def;
  if (auto* r = std::get_if<float>(v)) return *r;
  return def;
}

KwMatrix KwContainer::getMatrix(int32_t id, const KwMatrix& def) const {
  const EntryValue* v = find(id);
  if (!v) return def;
  if (auto* m = std::get_if<KwMatrix>(v)) return *m;
  return def;
}

KwMatrix KwContainer::getMatrix(int32_t id) const { return getMatrix(id, kwhost::identityMatrix()); }

std::string KwContainer::getString(int32_t id) const {
  const EntryValue* v = find(id);
  if (!v) return {};
  if (auto* s = std::get_if<std::string>(v)) return *s;
  return {};
}

