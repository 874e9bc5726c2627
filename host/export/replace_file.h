// Writing a file so that the user never loses the one already there: the new
// content goes to a temporary file beside it, which then replaces the target
// in one rename.
#ifndef KWHOST_EXPORT_REPLACE_FILE_H
#define KWHOST_EXPORT_REPLACE_FILE_H

#include <functional>
#include <ostream>
#include <string>

namespace kwhost {

// Calls write with a stream; when write returns true and the stream is good,
// saves what it wrote with writeFileAtomically (a temporary file renamed over
// path). On any failure path is left as it was and *error says what failed,
// naming path, never the temporary file.
bool replaceFile(const std::string& path, const std::function<bool(std::ostream&, std::string*)>& write,
                 std::string* error);

}  // namespace kwhost

#endif
