#include "scene/json_fault.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kwhost::scene {

namespace {

constexpr size_t kLongText = 64;   // longer texts are shortened in messages
constexpr size_t kShortText = 60;  // to this many bytes and "..."

// The first n bytes of s, not cutting a UTF-8 sequence in two.
std::string_view headOf(std::string_view s, size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

std::string shortened(std::string_view s) {
  if (s.size() <= kLongText) return std::string(s);
  return std::string(headOf(s, kShortText)) + "...";
}

void appendStep(std::string& out, const PathStep& s) {
  if (s.isIndex) {
    out += '[';
    out += std::to_string(s.index);
    out += ']';
    return;
  }
  if (!out.empty()) out += '.';
  if (s.key.size() <= kLongText) out += s.key;
  else out += shortened(s.key);
}

}  // namespace

// ---- paths ----

Where Where::member(std::string_view key) const {
  Where w = *this;
  // Own steps are few by construction (the reader takes at most six, from a
  // kept node to a matrix element inside a tag); more are dropped.
  if (w.count_ < kOwnSteps) w.steps_[w.count_++] = PathStep{key, 0, false};
  return w;
}

Where Where::element(size_t index) const {
  Where w = *this;
  if (w.count_ < kOwnSteps) w.steps_[w.count_++] = PathStep{{}, index, true};
  return w;
}

std::string Where::str() const {
  std::vector<const PathStep*> chain;
  for (const PathNode* n = node_; n; n = n->up) chain.push_back(&n->step);
  std::reverse(chain.begin(), chain.end());
  std::string out;
  for (const PathStep* s : chain) appendStep(out, *s);
  for (size_t i = 0; i < count_; ++i) appendStep(out, steps_[i]);
  return out;
}

const PathNode* PathArena::keep(const Where& where) {
  const PathNode* at = where.node_;
  for (size_t i = 0; i < where.count_; ++i) {
    nodes_.push_back(PathNode{at, where.steps_[i]});
    at = &nodes_.back();
  }
  return at;
}

void fault(const Where& where, std::string what) { throw Fault{where.str(), std::move(what)}; }
void fault(std::string where, std::string what) { throw Fault{std::move(where), std::move(what)}; }

std::string inQuotes(std::string_view text) {
  std::string out(1, '"');
  out += shortened(text);
  out += '"';
  return out;
}

std::string describe(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return j.get<bool>() ? "true" : "false";
    case Json::value_t::string: {
      // Escaped as JSON, shortened to 40 characters.
      const std::string& s = j.get_ref<const std::string&>();
      std::string d = Json(std::string(headOf(s, kLongText))).dump();  // not all of a long one
      if (d.size() > 40) d = d.substr(0, 37) + "...";
      return "the string " + d;
    }
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "the number " + j.dump();
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    default: return "a value of no JSON type";
  }
}

size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diag = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

void NearestName::consider(std::string_view candidate) {
  // The distance is at least the difference in length.
  const size_t gap = key_.size() > candidate.size() ? key_.size() - candidate.size() : candidate.size() - key_.size();
  if (gap >= bestDistance_) return;
  const size_t d = editDistance(key_, candidate);
  if (d < bestDistance_) bestDistance_ = d, best_ = std::string(candidate);
}

void onlyKeys(const Json& obj, const Where& where, std::initializer_list<std::string_view> allowed) {
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    bool known = false;
    for (std::string_view k : allowed) known = known || it.key() == k;
    if (known) continue;
    std::string what = "unknown key " + inQuotes(it.key());
    NearestName guess(it.key());
    for (std::string_view k : allowed) guess.consider(k);
    if (!guess.best().empty()) what += " (did you mean \"" + guess.best() + "\"?)";
    fault(where.member(it.key()), what);
  }
}

const Json& requireObject(const Json& j, const Where& where) {
  if (!j.is_object()) fault(where, "expected an object, got " + describe(j));
  return j;
}

const Json& requireArray(const Json& j, const Where& where) {
  if (!j.is_array()) fault(where, "expected an array, got " + describe(j));
  return j;
}

const std::string& requireString(const Json& j, const Where& where) {
  if (!j.is_string()) fault(where, "expected a string, got " + describe(j));
  return j.get_ref<const std::string&>();
}

bool requireBool(const Json& j, const Where& where) {
  if (!j.is_boolean()) fault(where, "expected true or false, got " + describe(j));
  return j.get<bool>();
}

int32_t requireInt(const Json& j, const Where& where) {
  if (j.is_number_unsigned()) {
    if (j.get<uint64_t>() > uint64_t(INT32_MAX)) fault(where, "the integer " + j.dump() + " does not fit 32 bits");
    return static_cast<int32_t>(j.get<uint64_t>());
  }
  if (j.is_number_integer()) {
    int64_t v = j.get<int64_t>();
    if (v < INT32_MIN || v > INT32_MAX) fault(where, "the integer " + j.dump() + " does not fit 32 bits");
    return static_cast<int32_t>(v);
  }
  fault(where, "expected an integer, got " + describe(j));
}

float requireFloat(const Json& j, const Where& where) {
  if (!j.is_number()) fault(where, "expected a number, got " + describe(j));
  const double d = j.get<double>();
  // Doubles below 2^128 - 2^103 round to a finite float; above they would be infinity.
  const double limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  if (!std::isfinite(d) || std::fabs(d) >= limit)
    fault(where, "the number " + j.dump() + " is not finite as a 32-bit float");
  return static_cast<float>(d);
}

void requireVector(const Json& j, const Where& where, float out[3]) {
  if (!j.is_array() || j.size() != 3) fault(where, "expected [x, y, z], got " + describe(j));
  for (size_t i = 0; i < 3; ++i) out[i] = requireFloat(j[i], where.element(i));
}

// ---- parsing ----

namespace {

std::string lineColumn(std::string_view text, size_t byte) {
  // nlohmann counts the byte after the fault; report the 1-based line and column of that byte.
  if (byte > text.size()) byte = text.size();
  size_t line = 1, col = 1;
  for (size_t i = 0; i + 1 < byte; ++i) {
    if (text[i] == '\n') ++line, col = 1;
    else ++col;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(col);
}

// The byte offset of the bracket that opens nesting level limit + 1 in
// JSON text that is valid up to there, or npos.
size_t firstTooDeep(std::string_view text, size_t limit) {
  size_t depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return i;
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    }
  }
  return std::string_view::npos;
}

// Builds the document from the parser's events. nlohmann's own builder
// cannot be used for scenes: an ordered object looks for an equal key before
// every insertion (quadratic in the width), and growing its member list
// copies the values already in it, recursively (quadratic in the depth, and
// a stack overflow when they are deep). Here the members of an object are
// gathered in a list of their own, checked for duplicates with a hash set
// once there are many, and moved into the object when it closes.
class DomBuilder {
 public:
  explicit DomBuilder(size_t maxDepth) : maxDepth_(maxDepth) {}

  bool null() { return put(Json(nullptr)); }
  bool boolean(bool v) { return put(Json(v)); }
  bool number_integer(Json::number_integer_t v) { return put(Json(v)); }
  bool number_unsigned(Json::number_unsigned_t v) { return put(Json(v)); }
  bool number_float(Json::number_float_t v, const Json::string_t&) { return put(Json(v)); }
  bool string(Json::string_t& v) { return put(Json(std::move(v))); }
  bool binary(Json::binary_t&) { return false; }  // JSON text has none
  bool start_object(size_t) { return open(true); }
  bool start_array(size_t) { return open(false); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(Json::string_t& k) {
    Level& top = levels_.back();
    if (isDuplicate(top, k)) {
      duplicate_ = Fault{pathOfTop().member(k).str(), "duplicate key " + inQuotes(k) + " in one object"};
      return false;
    }
    top.key = std::move(k);
    return true;
  }

  bool parse_error(size_t byte, const std::string& token, const nlohmann::detail::exception& e) {
    errorByte_ = byte;
    errorToken_ = token;
    errorId_ = e.id;
    errorWhat_ = e.what();
    return false;
  }

  Json take() { return std::move(root_); }

  const std::optional<Fault>& duplicate() const { return duplicate_; }
  bool tooDeep() const { return tooDeep_; }
  size_t errorByte() const { return errorByte_; }
  const std::string& errorToken() const { return errorToken_; }
  int errorId() const { return errorId_; }
  const std::string& errorWhat() const { return errorWhat_; }

 private:
  static constexpr size_t kLinearKeys = 16;  // look for duplicates by scanning up to here

  struct Level {
    bool isObject = false;
    Json array;  // an array's elements so far
    std::vector<std::pair<std::string, Json>> members;  // an object's members so far
    std::string key;  // the key whose value comes next
    std::unique_ptr<std::unordered_set<std::string>> keys;  // members' keys, once there are many
  };
  // Levels move when the stack grows; a move must not copy finished values.
  static_assert(std::is_nothrow_move_constructible_v<Level>);

  bool open(bool isObject) {
    if (levels_.size() >= maxDepth_) {
      tooDeep_ = true;
      return false;
    }
    Level l;
    l.isObject = isObject;
    if (!isObject) l.array = Json::array();
    levels_.push_back(std::move(l));
    return true;
  }

  bool close() {
    Level l = std::move(levels_.back());
    levels_.pop_back();
    if (!l.isObject) return put(std::move(l.array));
    Json obj = Json::object();
    auto& list = static_cast<Json::object_t::Container&>(obj.get_ref<Json::object_t&>());
    list.reserve(l.members.size());  // no growth: nothing is copied
    for (auto& [k, v] : l.members) list.emplace_back(std::move(k), std::move(v));
    return put(std::move(obj));
  }

  bool put(Json v) {
    if (levels_.empty()) {
      root_ = std::move(v);
      return true;
    }
    Level& top = levels_.back();
    if (top.isObject) top.members.emplace_back(std::move(top.key), std::move(v));
    else top.array.get_ref<Json::array_t&>().push_back(std::move(v));
    return true;
  }

  static bool isDuplicate(Level& top, const std::string& k) {
    if (top.members.size() < kLinearKeys) {
      for (const auto& m : top.members)
        if (m.first == k) return true;
      return false;
    }
    if (!top.keys) {
      top.keys = std::make_unique<std::unordered_set<std::string>>();
      for (const auto& m : top.members) top.keys->insert(m.first);
    }
    return !top.keys->insert(k).second;
  }

  // The path of the innermost open object or array (built on a fault only).
  Where pathOfTop() {
    const PathNode* at = nullptr;
    for (size_t i = 0; i + 1 < levels_.size(); ++i) {
      const Level& l = levels_[i];
      at = arena_.keep(l.isObject ? Where(at).member(l.key) : Where(at).element(l.array.size()));
    }
    return Where(at);
  }

  size_t maxDepth_;
  std::vector<Level> levels_;
  Json root_;
  PathArena arena_;
  std::optional<Fault> duplicate_;
  bool tooDeep_ = false;
  size_t errorByte_ = 0;
  std::string errorToken_;
  int errorId_ = 0;
  std::string errorWhat_;
};

}  // namespace

Json parseStrict(std::string_view text) {
  DomBuilder dom(kMaxNesting);
  if (Json::sax_parse(text.begin(), text.end(), &dom, Json::input_format_t::json, true)) return dom.take();
  if (dom.duplicate()) throw *dom.duplicate();
  if (dom.tooDeep()) {
    const size_t at = firstTooDeep(text, kMaxNesting);
    fault(lineColumn(text, at == std::string_view::npos ? text.size() : at + 1),
          "objects and arrays nest more than " + std::to_string(kMaxNesting) +
              " levels deep here; a scene file may nest at most that deep");
  }
  if (dom.errorId() == 406) {
    // A number beyond the range of a double (1e999); the parser stands just after it.
    const std::string& token = dom.errorToken();
    const size_t start = dom.errorByte() >= token.size() ? dom.errorByte() - token.size() : 0;
    fault(lineColumn(text, start + 1), "the number " + token + " is out of range (not a finite number)");
  }
  // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..." -> the part after ": ".
  std::string what = dom.errorWhat();
  const size_t colon = what.find(": ");
  if (colon != std::string::npos) what = what.substr(colon + 2);
  // "...; last read: '<the token>'": a token may be a whole unterminated string of the file.
  const std::string lastRead = "; last read: '";
  if (const size_t at = what.find(lastRead); at != std::string::npos && what.size() - at - lastRead.size() > kLongText)
    what = what.substr(0, at + lastRead.size()) + shortened(std::string_view(what).substr(at + lastRead.size())) + "'";
  fault(lineColumn(text, dom.errorByte()), "not valid JSON: " + what);
}

}  // namespace kwhost::scene
