#include "export/drawing_writer.h"

#include <cerrno>
#include <cstring>

#include "core/atomic_file.h"

namespace kwhost {

namespace {

void numbers(std::FILE* out, int tag, const Rgb& c, const float* v, size_t n) {
  std::fprintf(out, "[%d,%d,%d,%d", tag, int(c[0]), int(c[1]), int(c[2]));
  for (size_t i = 0; i < n; ++i) std::fprintf(out, ",%.9g", double(v[i]));
  std::fputc(']', out);
}

}  // namespace

bool writeDrawing(const RunRecord& run, std::FILE* out) {
  std::fprintf(out, "{\"format\": \"%s\"}\n", kDrawingFormat);
  for (const FrameRecord& f : run.frames) {
    std::fprintf(out, "{\"frame\": %d, \"lines\": [", f.frame);
    for (size_t k = 0; k < f.lines.size(); ++k) {
      const DrawnLine& l = f.lines[k];
      const float ab[6] = {l.a[0], l.a[1], l.a[2], l.b[0], l.b[1], l.b[2]};
      if (k) std::fputc(',', out);
      numbers(out, l.tag, l.color, ab, 6);
    }
    std::fputs("], \"circles\": [", out);
    for (size_t k = 0; k < f.circles.size(); ++k) {
      const DrawnCircle& c = f.circles[k];
      if (k) std::fputc(',', out);
      numbers(out, c.tag, c.color, c.m.data(), 9);  // off, v1, v2
    }
    std::fputs("]}\n", out);
    if (std::ferror(out)) return false;
  }
  return !std::ferror(out);
}

Result<void> writeDrawingFile(const RunRecord& run, const std::string& path) {
  return writeFileAtomically(path, [&run](std::FILE* f, std::string* why) {
    if (writeDrawing(run, f)) return true;
    *why = std::string("write failed: ") + std::strerror(errno);
    return false;
  });
}

}  // namespace kwhost
