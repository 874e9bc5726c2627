// A node's parameters: typed entries by 32-bit id, kept ordered by id so a
// saved container lists its entries in a stable order. Links are weak: they
// hold the node's serial, and a link to a node that has been deleted reads
// as null.
#ifndef KWHOST_CONTAINER_H
#define KWHOST_CONTAINER_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "c4d_hosttable.h"

namespace kwhost {
class Account;

enum class EntryType { Bool, Long, Real, Matrix, Link, String };

struct LinkValue {
  uint64_t serial = 0;  // 0: empty link
  bool operator==(const LinkValue&) const = default;
};

using EntryValue = std::variant<bool, int32_t, float, KwMatrix, LinkValue, std::string>;

EntryType entryType(const EntryValue& v);
const char* entryTypeName(EntryType t);
KwMatrix identityMatrix();

// The entries of a container, ordered by id, shared between copies until
// one of them changes: the module takes a fresh copy of a tag's parameters
// for every single read, so a copy must cost a reference, not a rebuild of
// a few hundred entries.
class EntryMap {
 public:
  using Map = std::map<int32_t, EntryValue>;
  using const_iterator = Map::const_iterator;
  using iterator = Map::iterator;

  EntryMap() : m_(std::make_shared<Map>()) {}

  const_iterator begin() const { return m_->begin(); }
  const_iterator end() const { return m_->end(); }
  const_iterator find(int32_t id) const { return m_->find(id); }
  size_t size() const { return m_->size(); }
  bool empty() const { return m_->empty(); }
  size_t count(int32_t id) const { return m_->count(id); }

  // Changing calls give this copy entries of its own first.
  iterator begin() { return own().begin(); }
  iterator end() { return own().end(); }
  EntryValue& operator[](int32_t id) { return own()[id]; }
  size_t erase(int32_t id) { return own().erase(id); }
  void clear() { m_ = std::make_shared<Map>(); }

 private:
  Map& own() {
    if (m_.use_count() > 1) m_ = std::make_shared<Map>(*m_);
    return *m_;
  }
  std::shared_ptr<Map> m_;
};

}  // namespace kwhost

struct KwContainer {
  kwhost::EntryMap entries;
  kwhost::Account* account = nullptr;  // non-null for handles made for a caller

  const kwhost::EntryValue* find(int32_t id) const;
  bool has(int32_t id) const { return entries.count(id) != 0; }

  // Reads with the host's type rules: a bool reads a bool or long entry
  // (non-zero), a long a long or bool entry; a real only a real, a matrix
  // only a matrix; anything else gives the default.
  bool getBool(int32_t id, bool def = false) const;
  int32_t getLong(int32_t id, int32_t def = 0) const;
  float getReal(int32_t id, float def = 0.0f) const;
  KwMatrix getMatrix(int32_t id, const KwMatrix& def) const;
  KwMatrix getMatrix(int32_t id) const;
  std::string getString(int32_t id) const;
  // The linked node if it is alive and belongs to doc; null otherwise.
  // (The three link members are defined with the nodes, in node.cpp.)
  KwNode* getLink(int32_t id, const KwDocument* doc) const;
  // The linked node if it is alive, in whatever document (for saving).
  KwNode* getLinkAnywhere(int32_t id) const;

  // Create or replace an entry.
  void setBool(int32_t id, bool v) { entries[id] = v; }
  void setLong(int32_t id, int32_t v) { entries[id] = v; }
  void setReal(int32_t id, float v) { entries[id] = v; }
  void setMatrix(int32_t id, const KwMatrix& v) { entries[id] = v; }
  void setString(int32_t id, std::string v) { entries[id] = std::move(v); }
  void setLink(int32_t id, const KwNode* node);
  void remove(int32_t id) { entries.erase(id); }
  void clear() { entries.clear(); }
};

namespace kwhost {
using Container = ::KwContainer;

// The same ids with the same types and values, bit for bit (so -0.0 and 0.0
// differ, and a NaN equals the same NaN): what a saved and reloaded
// container must give back.
bool sameEntries(const Container& a, const Container& b);
}

#endif
