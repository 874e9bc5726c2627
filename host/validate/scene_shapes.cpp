// Scene texts of great depth or width grown from a few bytes, so that the
// scene fuzzer reaches shapes its byte mutations never would: a chain of
// 4,000 nested objects is a 3-byte header and a fragment, not 100 KB of
// brackets for the mutator to stumble upon.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

#include "validate/fuzz_inputs.h"
#include "validate/scene_text.h"

namespace kwhost::validate {

namespace {

enum Shape : uint8_t {
  kChain = 0xF8,      // N nested objects, the fragment in the innermost
  kChainEach = 0xF9,  // N nested objects, the fragment in every one
  kSiblings = 0xFA,   // N top-level objects, the fragment in every one
  kTags = 0xFB,       // one object with N tags, the fragment in every tag
  kDeepValue = 0xFC,  // a parameter value N arrays deep, the fragment as further parameters
  kDeepCrowd = 0xFD,  // a crowd under N nested objects, the fragment as its tag's parameters
  kParams = 0xFE,     // one tag with N parameters, then the fragment
  kComb = 0xFF,       // N nested objects, each with a leaf sibling holding the fragment
};

constexpr size_t kMaxCount = 0xFFF;  // on a 512 KB stack deep enough to overflow any recursion; quick to fuzz
constexpr size_t kMaxRepeatedBytes = size_t(4) << 20;

// Appends every part (plain appends: GCC 12 warns falsely on "..." + string).
void add(std::string& s, std::initializer_list<std::string_view> parts) {
  for (std::string_view p : parts) s.append(p.data(), p.size());
}

}  // namespace

bool expandSceneRecipe(const uint8_t* data, size_t size, std::string* text) {
  if (size < 3 || data[0] < kChain) return false;
  const auto shape = static_cast<Shape>(data[0]);
  size_t n = (size_t(data[1]) | size_t(data[2]) << 8) & kMaxCount;
  const std::string_view raw(reinterpret_cast<const char*>(data + 3), size - 3);
  std::string frag;  // the fragment as a further member: ", <raw>"
  if (!raw.empty()) add(frag, {", ", raw});
  // Shapes that repeat the fragment stay within a few megabytes of text.
  if (shape == kChainEach || shape == kSiblings || shape == kTags || shape == kComb)
    n = std::min(n, kMaxRepeatedBytes / (frag.size() + 40));

  std::string s;  // the list of objects
  auto named = [&s](std::string_view prefix, size_t i) {
    add(s, {R"({"name": ")", prefix, std::to_string(i), "\""});
  };
  switch (shape) {
    case kChain:
    case kChainEach:
    case kDeepCrowd:
    case kComb: {
      for (size_t i = 0; i < n; ++i) {
        named("o", i);
        if (shape == kChainEach) s += frag;
        s += R"(, "children": [)";
        if (shape == kComb) {
          named("leaf", i);
          add(s, {frag, "}, "});
        }
      }
      if (shape == kDeepCrowd) {
        s += smallCrowdText(frag);
      } else {
        add(s, {R"({"name": "bottom")", shape == kChain ? std::string_view(frag) : std::string_view(), "}"});
      }
      for (size_t i = 0; i < n; ++i) s += "]}";
      break;
    }
    case kSiblings:
      for (size_t i = 0; i < n; ++i) {
        if (i) s += ", ";
        named("o", i);
        add(s, {frag, "}"});
      }
      break;
    case kTags:
      s += R"({"name": "Holder", "tags": [)";
      for (size_t i = 0; i < n; ++i) add(s, {i ? ", " : "", R"({"type": "Kestrelwood")", frag, "}"});
      s += "]}";
      break;
    case kDeepValue:
      s += R"({"name": "Holder", "tags": [{"type": "Kestrelwood", "params": {"5000": )";
      s.append(n, '[');
      s.append(n, ']');
      add(s, {frag, "}}]}"});
      break;
    case kParams:
      s += R"({"name": "Holder", "tags": [{"type": "Kestrelwood", "params": {)";
      for (size_t i = 0; i < n; ++i)
        add(s, {i ? ", \"" : "\"", std::to_string(5000 + i), R"(": {"long": )", std::to_string(i), "}"});
      add(s, {n ? std::string_view(frag) : raw, "}}]}"});
      break;
  }
  *text = sceneFileText(s, 2);
  return true;
}

}  // namespace kwhost::validate
