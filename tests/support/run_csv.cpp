#include "run_csv.h"

namespace kwtest {

size_t CsvTable::column(std::string_view name) const {
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  return std::string::npos;
}

bool readCsv(std::string_view text, CsvTable* out, std::string* why) {
  out->header.clear();
  out->rows.clear();
  std::vector<std::string> record;
  std::string field;
  size_t line = 1, recordLine = 1;
  bool quoted = false, haveHeader = false;
  auto endRecord = [&]() -> bool {
    record.push_back(std::move(field));
    field.clear();
    if (!haveHeader) {
      out->header = std::move(record);
      haveHeader = true;
    } else if (record.size() != out->header.size()) {
      *why = "line " + std::to_string(recordLine) + ": " + std::to_string(record.size()) + " fields, the header has " +
             std::to_string(out->header.size());
      return false;
    } else {
      out->rows.push_back(std::move(record));
    }
    record.clear();
    recordLine = line;
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c, line += c == '\n' ? 1 : 0;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      ++line;
      if (!endRecord()) return false;
    } else if (c != '\r') {
      field += c;
    }
  }
  if (quoted) {
    *why = "line " + std::to_string(recordLine) + ": a quoted field is not closed";
    return false;
  }
  if (!field.empty() || !record.empty()) {
    ++line;
    if (!endRecord()) return false;
  }
  if (!haveHeader) {
    *why = "line 1: no header";
    return false;
  }
  return true;
}

bool findColumns(const CsvTable& table, const std::vector<std::string_view>& names, std::vector<size_t>* at,
                 std::string* why) {
  at->clear();
  for (std::string_view n : names) {
    const size_t i = table.column(n);
    if (i == std::string::npos) {
      *why = "the header has no column \"" + std::string(n) + "\"";
      return false;
    }
    at->push_back(i);
  }
  return true;
}

}  // namespace kwtest
