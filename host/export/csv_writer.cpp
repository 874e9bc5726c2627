#include "export/csv_writer.h"

#include <cerrno>
#include <charconv>
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

namespace {

// Appends ",%.9g" of v: std::to_chars with a precision is printf's %.*g to
// the byte, at a fraction of its cost (a run of 300 frames writes some
// 350,000 numbers), and the same on every platform.
void appendNumber(std::string& row, float v) {
  char buf[32];
  buf[0] = ',';
  const auto r = std::to_chars(buf + 1, buf + sizeof buf, double(v), std::chars_format::general, 9);
  row.append(buf, size_t(r.ptr - buf));
}

void appendInt(std::string& row, int32_t v) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  row.append(buf, size_t(r.ptr - buf));
}

}  // namespace

bool writeCsv(const RunRecord& run, std::FILE* out) {
  std::fprintf(out, "%s\n", kCsvHeader);
  std::vector<std::string> names;
  names.reserve(run.agents.size());
  for (const RecordedAgent& a : run.agents) names.push_back(csvField(a.name));
  std::string rows;
  for (const FrameRecord& f : run.frames) {
    rows.clear();
    for (size_t i = 0; i < run.agents.size() && i < f.agents.size(); ++i) {
      appendInt(rows, f.frame);
      rows += ',';
      appendInt(rows, run.agents[i].tag);
      rows += ',';
      appendInt(rows, run.agents[i].index);
      rows += ',';
      rows += names[i];
      for (float v : f.agents[i].global) appendNumber(rows, v);
      for (float v : f.agents[i].hpb) appendNumber(rows, v);
      rows += '\n';
    }
    if (std::fwrite(rows.data(), 1, rows.size(), out) != rows.size() || std::ferror(out)) return false;
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
