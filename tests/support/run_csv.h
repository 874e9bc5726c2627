// The agents' CSV a run writes (host/export/csv_writer.h) read as its
// readers must read it: columns found by name in the header, so that a
// column added at the end, or anywhere, changes nothing for them. Fields may
// be quoted (a name holding a comma, a quote or a line break). No test
// framework, no host: the cross-build comparison links it alone.
#ifndef KW_TESTS_SUPPORT_RUN_CSV_H
#define KW_TESTS_SUPPORT_RUN_CSV_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kwtest {

struct CsvTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;  // each as long as the header

  // The position of the column named name, or npos.
  size_t column(std::string_view name) const;
};

// Reads text into *out; false, with *why ("line L: WHAT"), when it has no
// header, a row has more or fewer fields than the header, or a quote is
// left open.
bool readCsv(std::string_view text, CsvTable* out, std::string* why);

// The columns named, in the order given; false, with *why naming the first
// missing one, when the header lacks any.
bool findColumns(const CsvTable& table, const std::vector<std::string_view>& names, std::vector<size_t>* at,
                 std::string* why);

}  // namespace kwtest

#endif
