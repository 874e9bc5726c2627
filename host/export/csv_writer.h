// The agents' states as CSV: a header, then one row per agent per evaluated
// frame (frames in order, tags in evaluation order, agents in child order):
//   frame,tag,index,name,x,y,z,v1x,v1y,v1z,v2x,v2y,v2z,v3x,v3y,v3z,h,p,b
// x, y, z and the axes are the agent's global matrix, h, p, b its rotation;
// every number as %.9g, which gives back the same 32-bit float.
//
// Its readers take columns by name from the header, so a column added at
// the end changes nothing for them; a change of a column's name or meaning
// is made in each of them:
//   blender/kestrelwood/keys.py       the Blender add-on's keys
//   tests/viewer/run_expectations.mjs the viewer tests' expectations
//   tests/cross/compare_runs.cpp      Linux against Windows builds
//   tests/support/run_csv.h           the C++ tests' reader (report, St Helens
//                                     and output tests, compare_runs)
// --help prints kCsvHeader (host/cli/main.cpp).
#ifndef KWHOST_EXPORT_CSV_WRITER_H
#define KWHOST_EXPORT_CSV_WRITER_H

#include <cstdio>
#include <string>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

inline constexpr const char* kCsvHeader = "frame,tag,index,name,x,y,z,v1x,v1y,v1z,v2x,v2y,v2z,v3x,v3y,v3z,h,p,b";

// A name as a CSV field: quoted (quotes doubled) when it holds a comma, a
// quote or a line break.
std::string csvField(const std::string& text);
bool writeCsv(const RunRecord& run, std::FILE* out);
// Through a temporary file renamed over path.
Result<void> writeCsvFile(const RunRecord& run, const std::string& path);

}  // namespace kwhost

#endif
