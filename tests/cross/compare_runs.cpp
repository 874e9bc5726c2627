// Compares two runs of one scene written by `kestrelwood ... --csv` on two
// builds (Linux and a Windows build under wine): the rows must name the same
// agents in the same order, and the numbers may differ only by rounding.
// Columns are taken by name from each file's header (run_csv.h).
//   compare_runs A.csv B.csv [--frames 1,10,100] [--tolerance UNITS]
// Prints, for each frame asked for and for the whole run, the largest
// distance between an agent's positions, the largest difference of a matrix
// axis component and of an angle. Exit 0 when every position differs by at
// most the tolerance (default 0.5 scene units), 1 otherwise, 2 on bad input.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "run_csv.h"

namespace {

struct Row {
  long frame = 0;
  std::string key;  // tag, index and name
  double v[15] = {};  // x y z, v1 v2 v3, h p b
};

// The columns compared, by name: a column the writer adds (at the end or
// anywhere) is passed over.
const std::vector<std::string_view> kKey = {"frame", "tag", "index", "name"};
const std::vector<std::string_view> kValues = {"x",   "y",   "z",   "v1x", "v1y", "v1z", "v2x", "v2y",
                                               "v2z", "v3x", "v3y", "v3z", "h",   "p",   "b"};

bool readRuns(const char* path, std::vector<Row>* rows) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "error: %s: cannot open\n", path);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  kwtest::CsvTable table;
  std::vector<size_t> key, values;
  std::string why;
  if (!kwtest::readCsv(text.str(), &table, &why) || !kwtest::findColumns(table, kKey, &key, &why) ||
      !kwtest::findColumns(table, kValues, &values, &why)) {
    std::fprintf(stderr, "error: %s: %s\n", path, why.c_str());
    return false;
  }
  for (const std::vector<std::string>& cells : table.rows) {
    Row r;
    r.frame = std::strtol(cells[key[0]].c_str(), nullptr, 10);
    r.key = cells[key[1]] + "," + cells[key[2]] + "," + cells[key[3]];
    for (size_t i = 0; i < values.size(); ++i) r.v[i] = std::strtod(cells[values[i]].c_str(), nullptr);
    rows->push_back(r);
  }
  return true;
}

struct Worst {
  double position = 0, axis = 0, angle = 0;
  void take(const Row& a, const Row& b) {
    const double dx = a.v[0] - b.v[0], dy = a.v[1] - b.v[1], dz = a.v[2] - b.v[2];
    position = std::fmax(position, std::sqrt(dx * dx + dy * dy + dz * dz));
    for (int i = 3; i < 12; ++i) axis = std::fmax(axis, std::fabs(a.v[i] - b.v[i]));
    for (int i = 12; i < 15; ++i) {
      double d = std::fabs(a.v[i] - b.v[i]);
      d = std::fmin(d, std::fabs(d - 2.0 * M_PI));  // the same angle once round
      angle = std::fmax(angle, d);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: compare_runs A.csv B.csv [--frames 1,10,100] [--tolerance UNITS]\n");
    return 2;
  }
  std::vector<long> frames = {1, 10, 100};
  double tolerance = 0.5;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--frames") {
      frames.clear();
      std::stringstream ss(argv[i + 1]);
      for (std::string f; std::getline(ss, f, ',');) frames.push_back(std::strtol(f.c_str(), nullptr, 10));
    } else if (opt == "--tolerance") {
      tolerance = std::strtod(argv[i + 1], nullptr);
    } else {
      std::fprintf(stderr, "error: unknown option %s\n", opt.c_str());
      return 2;
    }
  }
  std::vector<Row> a, b;
  if (!readRuns(argv[1], &a) || !readRuns(argv[2], &b)) return 2;
  if (a.size() != b.size()) {
    std::fprintf(stderr, "error: %zu rows in %s, %zu in %s\n", a.size(), argv[1], b.size(), argv[2]);
    return 1;
  }
  std::map<long, Worst> byFrame;
  Worst all;
  size_t identical = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].frame != b[i].frame || a[i].key != b[i].key) {
      std::fprintf(stderr, "error: row %zu: frame %ld %s against frame %ld %s\n", i + 2, a[i].frame, a[i].key.c_str(),
                   b[i].frame, b[i].key.c_str());
      return 1;
    }
    byFrame[a[i].frame].take(a[i], b[i]);
    all.take(a[i], b[i]);
    bool same = true;
    for (int k = 0; k < 15; ++k) same = same && a[i].v[k] == b[i].v[k];
    identical += same ? 1 : 0;
  }
  std::printf("%-8s %16s %16s %16s\n", "frame", "position", "axis component", "angle (rad)");
  for (long f : frames) {
    auto it = byFrame.find(f);
    if (it == byFrame.end()) {
      std::printf("%-8ld %16s\n", f, "(not in the run)");
      continue;
    }
    std::printf("%-8ld %16.9g %16.9g %16.9g\n", f, it->second.position, it->second.axis, it->second.angle);
  }
  std::printf("%-8s %16.9g %16.9g %16.9g\n", "any", all.position, all.axis, all.angle);
  std::printf("%zu of %zu agent rows are bit-identical\n", identical, a.size());
  if (!(all.position <= tolerance)) {
    std::fprintf(stderr, "FAIL: positions differ by %g, more than the tolerance %g\n", all.position, tolerance);
    return 1;
  }
  return 0;
}
