#include "scene/gltf_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kwhost::scene {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr uint32_t kChunkJson = 0x4E4F534A;  // "JSON"
constexpr uint32_t kChunkBin = 0x004E4942;   // "BIN\0"
constexpr uint64_t kMaxCount = uint64_t(1) << 53;

bool seekTo(std::FILE* f, uint64_t at) {
#if defined(_WIN32)
  return _fseeki64(f, int64_t(at), SEEK_SET) == 0;
#else
  return fseeko(f, off_t(at), SEEK_SET) == 0;
#endif
}

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string systemError() { return std::strerror(errno); }

// Reads exactly n bytes at the file's position; false on a short read.
bool readExactly(std::FILE* f, void* out, size_t n) { return std::fread(out, 1, n, f) == n; }

std::FILE* openForReading(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  // The reader asks for large stretches; the stream's own buffer would only
  // copy them once more.
  if (f) std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

// The bytes of base64 text (padding optional); false on a character that is
// no base64 digit.
bool decodeBase64(std::string_view text, std::vector<unsigned char>* out) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  out->reserve(text.size() * 3 / 4);
  uint32_t bits = 0;
  int held = 0;
  for (unsigned char c : text) {
    const int v = base64Value(c);
    if (v < 0) return false;
    bits = (bits << 6) | uint32_t(v);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out->push_back(static_cast<unsigned char>(bits >> held));
    }
  }
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A URI reference's path with its %XX escapes decoded.
std::string decodePercent(const std::string& uri) {
  std::string out;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hexValue(uri[i + 1]) >= 0 && hexValue(uri[i + 2]) >= 0) {
      out += char(hexValue(uri[i + 1]) * 16 + hexValue(uri[i + 2]));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

}  // namespace

uint64_t gltfCount(const Json& j, const Where& where) {
  if (j.is_number_unsigned() && j.get<uint64_t>() <= kMaxCount) return j.get<uint64_t>();
  if (j.is_number_integer() && j.get<int64_t>() < 0)
    fault(where, "expected a count or index of 0 or more, got " + j.dump());
  fault(where, "expected a whole number of 0 or more, got " + describe(j));
}

uint64_t gltfCount(const Json& obj, const Where& where, const char* key, uint64_t fallback) {
  return obj.contains(key) ? gltfCount(obj[key], where.member(key)) : fallback;
}

const Json& gltfItem(const Json& root, const char* name, uint64_t i, const Where& referredFrom) {
  if (!root.contains(name) || !root[name].is_array() || i >= root[name].size())
    fault(referredFrom, "refers to " + std::string(name) + "[" + std::to_string(i) + "], but the file has " +
                            std::to_string(root.contains(name) && root[name].is_array() ? root[name].size() : 0) +
                            " " + name);
  return requireObject(root[name][i], Where().member(name).element(i));
}

const unsigned char* GltfBuffer::bytes(uint64_t at, size_t n, std::vector<unsigned char>& scratch) const {
  if (!file_) return bytes_.data() + at;
  scratch.resize(n);
  read(at, n, scratch.data());
  return scratch.data();
}

void GltfBuffer::read(uint64_t at, size_t n, unsigned char* out) const {
  if (n == 0) return;
  if (!file_) {
    std::memcpy(out, bytes_.data() + at, n);
    return;
  }
  const uint64_t from = fileOffset_ + at;
  if (from != position_ && !seekTo(file_.get(), from)) {
    position_ = UINT64_MAX;
    fault(where_, "cannot read " + path_ + ": " + systemError());
  }
  if (!readExactly(file_.get(), out, n)) {
    position_ = UINT64_MAX;
    fault(where_, "cannot read " + path_ + ": " +
                      (std::ferror(file_.get()) ? systemError() : "the file ended early (was it changed while read?)"));
  }
  position_ = from + n;
}

GltfFile::GltfFile(const std::string& path) : path_(path) {
  folder_ = fs::path(path).parent_path().string();
  std::error_code ec;
  if (fs::is_directory(path, ec)) fault("file", "is a folder, not a glTF file");
  std::unique_ptr<std::FILE, GltfBuffer::Closer> f(openForReading(path));
  if (!f) fault("file", "cannot open: " + systemError());
  const uint64_t fileSize = fs::file_size(path, ec);
  if (ec) fault("file", "cannot read its size: " + ec.message());
  unsigned char head[12] = {};
  const size_t got = std::fread(head, 1, sizeof head, f.get());
  if (got == sizeof head && le32(head) == kGlbMagic) {
    openGlb(f.release(), fileSize);
  } else {
    // Not the binary container: JSON text, or not glTF at all.
    size_t first = 0;
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) first = 3;  // a UTF-8 byte order mark
    while (first < got && (head[first] == ' ' || head[first] == '\t' || head[first] == '\n' || head[first] == '\r'))
      ++first;
    if (first >= got || head[first] != '{')
      fault("file", "not a glTF file: it starts neither with the glb header \"glTF\" nor with a JSON object");
    std::string text(fileSize, '\0');
    if (!seekTo(f.get(), 0) || !readExactly(f.get(), text.data(), text.size()))
      fault("file", "cannot read: " + systemError());
    try {
      json_ = parseStrict(text);
    } catch (const Fault& bad) {
      fault("file", "not glTF JSON: " + bad.where + ": " + bad.what);
    }
  }
  requireObject(json_, Where());
  if (!json_.contains("asset")) fault("asset", "missing: every glTF file names its version in \"asset\"");
  const Json& asset = requireObject(json_["asset"], Where().member("asset"));
  if (!asset.contains("version")) fault("asset.version", "missing");
  const std::string& version = requireString(asset["version"], Where().member("asset").member("version"));
  if (version.rfind("2.", 0) != 0) fault("asset.version", "glTF " + inQuotes(version) + "; only glTF 2.x is read");
  if (json_.contains("extensionsRequired")) {
    const Json& needed = requireArray(json_["extensionsRequired"], Where().member("extensionsRequired"));
    if (!needed.empty())
      fault("extensionsRequired", "the file needs " + needed.dump() + ", which this reader does not support");
  }
  openBuffers();
}

void GltfFile::openGlb(std::FILE* raw, uint64_t fileSize) {
  std::unique_ptr<std::FILE, GltfBuffer::Closer> f(raw);
  unsigned char head[20] = {};
  if (!seekTo(f.get(), 0) || !readExactly(f.get(), head, fileSize >= 20 ? 20 : 12))
    fault("file", "cannot read: " + systemError());
  if (le32(head + 4) != 2) fault("file", "glb container version " + std::to_string(le32(head + 4)) + "; only 2 is read");
  const uint64_t length = le32(head + 8);
  if (length > fileSize)
    fault("file", "the glb header gives a length of " + std::to_string(length) + " bytes, but the file has " +
                      std::to_string(fileSize) + " (cut short?)");
  if (length < 20) fault("file", "the glb file holds no JSON chunk");
  const uint64_t jsonLength = le32(head + 12);
  if (le32(head + 16) != kChunkJson) fault("file", "the glb file's first chunk is not its JSON");
  if (20 + jsonLength > length)
    fault("file", "the glb JSON chunk of " + std::to_string(jsonLength) + " bytes runs past the file's end");
  std::string text(jsonLength, '\0');
  if (!readExactly(f.get(), text.data(), text.size())) fault("file", "cannot read: " + systemError());
  try {
    json_ = parseStrict(text);
  } catch (const Fault& bad) {
    fault("file", "the glb JSON chunk is not valid JSON: " + bad.where + ": " + bad.what);
  }
  // The chunk after the JSON, when it is the binary one: buffer 0's bytes.
  const uint64_t next = 20 + jsonLength;
  if (next + 8 <= length) {
    unsigned char chunk[8];
    if (!seekTo(f.get(), next) || !readExactly(f.get(), chunk, 8)) fault("file", "cannot read: " + systemError());
    const uint64_t binLength = le32(chunk);
    if (le32(chunk + 4) == kChunkBin) {
      if (next + 8 + binLength > length)
        fault("file", "the glb binary chunk of " + std::to_string(binLength) + " bytes runs past the file's end (cut short?)");
      binChunk_ = std::make_unique<GltfBuffer>();
      binChunk_->path_ = path_;
      binChunk_->file_ = std::move(f);
      binChunk_->fileOffset_ = next + 8;
      binChunk_->size_ = binLength;
    }
  }
}

void GltfFile::openBuffers() {
  if (!json_.contains("buffers")) return;
  const Where top = Where().member("buffers");
  const Json& list = requireArray(json_["buffers"], top);
  for (size_t i = 0; i < list.size(); ++i) {
    const Where w = top.element(i);
    const Json& b = requireObject(list[i], w);
    if (!b.contains("byteLength")) fault(w.member("byteLength"), "missing");
    const uint64_t declared = gltfCount(b["byteLength"], w.member("byteLength"));
    std::unique_ptr<GltfBuffer> buf;
    if (!b.contains("uri")) {
      if (i != 0 || !binChunk_)
        fault(w, "has no \"uri\", and only buffer 0 of a .glb file may (it is the file's binary chunk)");
      buf = std::move(binChunk_);
    } else {
      const std::string& uri = requireString(b["uri"], w.member("uri"));
      buf = std::make_unique<GltfBuffer>();
      if (uri.rfind("data:", 0) == 0) {
        const size_t comma = uri.find(',');
        if (comma == std::string::npos || uri.substr(0, comma).find(";base64") == std::string::npos ||
            !decodeBase64(std::string_view(uri).substr(comma + 1), &buf->bytes_))
          fault(w.member("uri"), "a data: URI that is not base64 data");
        buf->size_ = buf->bytes_.size();
      } else {
        if (uri.find(':') != std::string::npos && uri.find(':') < uri.find('/'))
          fault(w.member("uri"), inQuotes(uri) + " is not a file beside the glTF file; only relative paths and data: URIs are read");
        fs::path p = fs::path(folder_) / decodePercent(uri);
        buf->path_ = p.lexically_normal().string();
        buf->file_.reset(openForReading(buf->path_));
        if (!buf->file_) fault(w.member("uri"), "cannot open " + buf->path_ + ": " + systemError());
        std::error_code ec;
        buf->size_ = fs::file_size(buf->path_, ec);
        if (ec) fault(w.member("uri"), "cannot read the size of " + buf->path_ + ": " + ec.message());
      }
    }
    if (buf->size_ < declared)
      fault(w.member("byteLength"), "the buffer is said to hold " + std::to_string(declared) + " bytes, but " +
                                        std::to_string(buf->size_) + " are there");
    buf->size_ = declared;  // what the accessors may use
    buf->where_ = w.str();
    buffers_.push_back(std::move(buf));
  }
}

}  // namespace kwhost::scene
