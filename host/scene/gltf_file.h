// A glTF 2.0 file opened for reading geometry: its JSON document and its
// buffers, whose bytes are read on demand (a 2,000,000-triangle ground is
// some 36 MB of binary data, read once, straight to where it goes).
//
// A .glb file is the binary container (header, JSON chunk, optional BIN
// chunk); anything else is read as .gltf JSON text. A buffer is the glb's
// BIN chunk (no "uri"), a file beside the glTF file (a relative "uri",
// percent-escapes decoded) or a base64 "data:" URI.
#ifndef KWHOST_SCENE_GLTF_FILE_H
#define KWHOST_SCENE_GLTF_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "scene/json_fault.h"

namespace kwhost::scene {

// One buffer's bytes: a stretch of a file, or bytes held in memory.
class GltfBuffer {
 public:
  uint64_t size() const { return size_; }
  // Copies bytes [at, at + n) to out; the caller keeps within size(). A
  // read failure is a fault "WHAT" with WHERE this buffer.
  void read(uint64_t at, size_t n, unsigned char* out) const;
  // Bytes [at, at + n) where they can be read: in the buffer's own memory
  // when it has it (no copy), else read into scratch (a batch of some
  // hundred kilobytes, converted while it is in the cache). Valid until the
  // next call with the same scratch.
  const unsigned char* bytes(uint64_t at, size_t n, std::vector<unsigned char>& scratch) const;

 private:
  friend class GltfFile;
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string where_;  // "buffers[2]"
  std::string path_;   // the file its bytes are in, when not in memory
  std::unique_ptr<std::FILE, Closer> file_;
  uint64_t fileOffset_ = 0;
  uint64_t size_ = 0;
  std::vector<unsigned char> bytes_;  // a data: URI's bytes
  mutable uint64_t position_ = UINT64_MAX;  // the file's read position, to skip needless seeks
};

class GltfFile {
 public:
  // Opens path and reads its JSON; every buffer the JSON lists is opened
  // and checked against the length it declares. Faults (WHERE inside the
  // file, such as "buffers[0].byteLength", or "file") on anything that
  // keeps it from being read.
  explicit GltfFile(const std::string& path);

  const Json& json() const { return json_; }
  const GltfBuffer& buffer(size_t i) const { return *buffers_.at(i); }
  size_t bufferCount() const { return buffers_.size(); }

 private:
  void openGlb(std::FILE* f, uint64_t fileSize);
  void openBuffers();
  std::string path_;
  std::string folder_;
  Json json_;
  std::unique_ptr<GltfBuffer> binChunk_;
  std::vector<std::unique_ptr<GltfBuffer>> buffers_;
};

// A non-negative whole number (glTF's counts, offsets, indices), at most 2^53.
uint64_t gltfCount(const Json& j, const Where& where);
// Member key of obj as gltfCount, or fallback when it is absent.
uint64_t gltfCount(const Json& obj, const Where& where, const char* key, uint64_t fallback);
// Element i of the top-level array name ("accessors", ...), with a fault
// naming the reference when it is missing.
const Json& gltfItem(const Json& root, const char* name, uint64_t i, const Where& referredFrom);

}  // namespace kwhost::scene

#endif
