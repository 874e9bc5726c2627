// Texts and file names behind the table's opaque handles. A text is exact
// UTF-8 bytes: nothing is trimmed or re-encoded, an embedded 0x01 (the
// console-output prefix) or NUL byte is kept.
#ifndef KWHOST_HOST_STRINGS_H
#define KWHOST_HOST_STRINGS_H

#include <string>
#include <string_view>

#include "c4d_hosttable.h"

namespace kwhost {
class Account;
}

struct KwString {
  std::string bytes;
  kwhost::Account* account = nullptr;  // charged with the handle while it lives
};

// A path as UTF-8 bytes, '/' separated ('\\' too on Windows).
struct KwFilename {
  std::string path;
  kwhost::Account* account = nullptr;
};

namespace kwhost {

// New handles charged to the current account (the caller frees them through
// the table).
KwString* newString(std::string_view bytes);
void freeString(KwString* s);
KwFilename* newFilename(std::string_view path);
void freeFilename(KwFilename* f);

// The bytes of a handle; empty for null.
inline std::string_view view(const KwString* s) { return s ? std::string_view(s->bytes) : std::string_view(); }

// Joins a folder and one component with the platform's separator.
std::string joinPath(std::string_view folder, std::string_view part);

}  // namespace kwhost

#endif
