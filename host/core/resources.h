// A module's res/ folder as the host loads it: the string table
// strings_us/c4d_strings.str, whose symbols res/c4d_symbols.h numbers:
//   c4d_symbols.h:  enum { IDS_KESTRELWOOD = 10072, _DUMMY_ELEMENT_ };
//   c4d_strings.str: STRINGTABLE { IDS_KESTRELWOOD "Kestrelwood"; }
#ifndef KWHOST_RESOURCES_H
#define KWHOST_RESOURCES_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "core/result.h"

namespace kwhost {
class Account;
}

struct KwResource {
  std::string folder;  // the res/ folder
  std::map<int32_t, std::string> strings;
  kwhost::Account* account = nullptr;  // charged with the handle while it lives
};

namespace kwhost {

using Resource = ::KwResource;

// Loads FOLDER/res; the error names the file, line and fault.
Result<Resource> loadResource(const std::string& moduleFolder);

// The enum of a C header: NAME = VALUE entries (a missing value counts on
// from the previous one, as in C). Used by the string table and descriptions.
Result<std::map<std::string, int32_t>> parseSymbolHeader(std::string_view text, const std::string& file);
// STRINGTABLE [NAME] { SYMBOL "text"; ... } as symbol -> text.
Result<std::map<std::string, std::string>> parseStringTable(std::string_view text, const std::string& file);

// Whether the file is a TIFF image (byte order mark and magic 42).
bool isTiffFile(const std::string& path);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string* out);

}  // namespace kwhost

#endif
