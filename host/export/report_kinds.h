// The kinds of event the crowd report finds, each told once here: its name
// (the key of the tag's event array in the report's JSON), the word
// --fail-on takes, its label and colour where the events are marked (the
// poster, the viewer page's timeline), the phrase that counts it in the
// summary sentence, and what it means (--help). The report's JSON carries the
// table ("kinds"), so the page learns the kinds from the report.
//
// A new kind: its search in crowd_report.cpp (with its fields in TagReport),
// a row below, its tests.
#ifndef KWHOST_EXPORT_REPORT_KINDS_H
#define KWHOST_EXPORT_REPORT_KINDS_H

#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "export/crowd_report.h"

namespace kwhost {

struct ReportKind {
  const char* name;     // "closePairs": the key of the tag's event array
  const char* option;   // "close-pairs": the word --fail-on takes
  const char* label;    // "Closer than the minimum gap": a lane's title
  const char* colour;   // "#rrggbb" of its marks, on the poster and the page
  const char* one;      // the summary's phrase after a count of 1 ...
  const char* many;     // ... and after any other count
  const char* meaning;  // what is counted, for --help
  // The number the phrase counts, for one tag.
  size_t (*count)(const TagReport& tag);
  // The kind's clause of the summary sentence: the count, its phrase and
  // what else the summary says of it.
  std::string (*clause)(const TagReport& tag, const ReportKind& kind);
  // The tag's events of this kind, as the JSON lists them.
  nlohmann::json (*events)(const TagReport& tag, const RunRecord& run);
  // The kind's fields of the tag's "summary" object.
  void (*summary)(const TagReport& tag, nlohmann::json* out);
};

// Every kind, in the order of the page's lanes and of the summary sentence.
std::span<const ReportKind> reportKinds();
// The kind of that name (its event array's key), or null.
const ReportKind* reportKindByName(std::string_view name);
// The kind --fail-on names by word, or null.
const ReportKind* reportKindByOption(std::string_view option);

// "251 agent-frames inside obstacles": n and the kind's phrase for it.
std::string countPhrase(const ReportKind& kind, size_t n);

// The summary sentence of one tag, each kind's clause in table order:
// "251 agent-frames inside obstacles (3 agents, deepest 168), 11 pair-frames
// closer than 9 (closest 7.03), 22 stuck agents".
std::string summaryText(const TagReport& tag);

// The table as the report's JSON carries it: name, option, label, colour,
// one and many of every kind, in order.
nlohmann::json kindsJson();

}  // namespace kwhost

#endif
