#include "export/csv_writer.h"

#include <cerrno>
#include <cstring>

#include "core/atomic_file.h"

namespace kwhost {

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

bool writeCsv(const RunRecord& run, std::FILE* out) {
  std::fprintf(out, "%s\n", kCsvHeader);
  std::vector<std::string> names;
  names.reserve(run.agents.size());
  for (const RecordedAgent& a : run.agents) names.push_back(csvField(a.name));
  for (const FrameRecord& f : run.frames) {
    for (size_t i = 0; i < run.agents.size() && i < f.agents.size(); ++i) {
      const Mat12& m = f.agents[i].global;
      const Vec3& r = f.agents[i].hpb;
      std::fprintf(out, "%d,%d,%d,%s", f.frame, run.agents[i].tag, run.agents[i].index, names[i].c_str());
      for (float v : m) std::fprintf(out, ",%.9g", double(v));
      for (float v : r) std::fprintf(out, ",%.9g", double(v));
      std::fputc('\n', out);
    }
    if (std::ferror(out)) return false;
  }
  return !std::ferror(out);
}

Result<void> writeCsvFile(const RunRecord& run, const std::string& path) {
  return writeFileAtomically(path, [&run](std::FILE* f, std::string* why) {
    if (writeCsv(run, f)) return true;
    *why = std::string("write failed: ") + std::strerror(errno);
    return false;
  });
}

}  // namespace kwhost
