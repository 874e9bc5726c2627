#include "json_fault.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace kwhost::scene {

void fault(const std::string& where, std::string what) { throw Fault{where, std::move(what)}; }

std::string member(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string element(const std::string& path, size_t index) { return path + "[" + std::to_string(index) + "]"; }

std::string describe(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return j.get<bool>() ? "true" : "false";
    case Json::value_t::string: {
      std::string s = j.dump();
      if (s.size() > 40) s = s.substr(0, 37) + "...";
      return "the string " + s;
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

namespace {

std::string closestKey(std::string_view key, std::initializer_list<std::string_view> allowed) {
  std::string best;
  size_t bestD = 3;  // more than two edits away is no typo
  for (std::string_view k : allowed) {
    size_t d = editDistance(key, k);
    if (d < bestD) bestD = d, best = std::string(k);
  }
  return best;
}

}  // namespace

void onlyKeys(const Json& obj, const std::string& path, std::initializer_list<std::string_view> allowed) {
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    bool known = false;
    for (std::string_view k : allowed) known = known || it.key() == k;
    if (known) continue;
    std::string what = "unknown key \"" + it.key() + "\"";
    std::string guess = closestKey(it.key(), allowed);
    if (!guess.empty()) what += " (did you mean \"" + guess + "\"?)";
    fault(member(path, it.key()), what);
  }
}

const Json& requireObject(const Json& j, const std::string& path) {
  if (!j.is_object()) fault(path, "expected an object, got " + describe(j));
  return j;
}

const Json& requireArray(const Json& j, const std::string& path) {
  if (!j.is_array()) fault(path, "expected an array, got " + describe(j));
  return j;
}

const std::string& requireString(const Json& j, const std::string& path) {
  if (!j.is_string()) fault(path, "expected a string, got " + describe(j));
  return j.get_ref<const std::string&>();
}

bool requireBool(const Json& j, const std::string& path) {
  if (!j.is_boolean()) fault(path, "expected true or false, got " + describe(j));
  return j.get<bool>();
}

int32_t requireInt(const Json& j, const std::string& path) {
  if (j.is_number_unsigned()) {
    if (j.get<uint64_t>() > uint64_t(INT32_MAX)) fault(path, "the integer " + j.dump() + " does not fit 32 bits");
    return static_cast<int32_t>(j.get<uint64_t>());
  }
  if (j.is_number_integer()) {
    int64_t v = j.get<int64_t>();
    if (v < INT32_MIN || v > INT32_MAX) fault(path, "the integer " + j.dump() + " does not fit 32 bits");
    return static_cast<int32_t>(v);
  }
  fault(path, "expected an integer, got " + describe(j));
}

float requireFloat(const Json& j, const std::string& path) {
  if (!j.is_number()) fault(path, "expected a number, got " + describe(j));
  const double d = j.get<double>();
  // Doubles below 2^128 - 2^103 round to a finite float; above they would be infinity.
  const double limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  if (!std::isfinite(d) || std::fabs(d) >= limit)
    fault(path, "the number " + j.dump() + " is not finite as a 32-bit float");
  return static_cast<float>(d);
}

void requireVector(const Json& j, const std::string& path, float out[3]) {
  if (!j.is_array() || j.size() != 3) fault(path, "expected [x, y, z], got " + describe(j));
  for (size_t i = 0; i < 3; ++i) out[i] = requireFloat(j[i], element(path, i));
}

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

// The path of the value being parsed, kept by the parser callback.
struct PathStack {
  struct Level {
    bool isObject;
    std::string key;
    long index = -1;
    std::set<std::string> keys;
  };
  std::vector<Level> levels;

  void valueStarts() {
    if (!levels.empty() && !levels.back().isObject) ++levels.back().index;
  }
  std::string path(size_t depth) const {
    std::string p;
    for (size_t i = 0; i < depth && i < levels.size(); ++i) {
      const Level& l = levels[i];
      p = l.isObject ? member(p, l.key) : element(p, size_t(l.index));
    }
    return p;
  }
};

}  // namespace

Json parseStrict(std::string_view text) {
  PathStack st;
  Json::parser_callback_t cb = [&st](int, Json::parse_event_t ev, Json& parsed) {
    switch (ev) {
      case Json::parse_event_t::object_start:
        st.valueStarts();
        st.levels.push_back({true, {}, -1, {}});
        break;
      case Json::parse_event_t::array_start:
        st.valueStarts();
        st.levels.push_back({false, {}, -1, {}});
        break;
      case Json::parse_event_t::key: {
        auto& top = st.levels.back();
        std::string k = parsed.get<std::string>();
        if (!top.keys.insert(k).second)
          fault(member(st.path(st.levels.size() - 1), k), "duplicate key \"" + k + "\" in one object");
        top.key = std::move(k);
        break;
      }
      case Json::parse_event_t::value: st.valueStarts(); break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end: st.levels.pop_back(); break;
    }
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), cb);
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..." -> the part after ": ".
    size_t colon = what.find(": ");
    if (colon != std::string::npos) what = what.substr(colon + 2);
    fault(lineColumn(text, e.byte), "not valid JSON: " + what);
  } catch (const Json::out_of_range& e) {
    // A number beyond the range of a double (1e999): find it to say where.
    std::string what = e.what();
    std::string where = "file";
    size_t q1 = what.find('\''), q2 = what.rfind('\'');
    if (q1 != std::string::npos && q2 > q1) {
      std::string token = what.substr(q1 + 1, q2 - q1 - 1);
      size_t at = text.find(token);
      if (at != std::string_view::npos) where = lineColumn(text, at + 1);
      what = "the number " + token + " is out of range (not a finite number)";
    }
    fault(where, what);
  }
}

}  // namespace kwhost::scene
