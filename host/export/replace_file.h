// Writing a file so that the user never loses the one already there: the new
// content goes to a temporary file beside it, which then replaces the target
// in one rename.
#ifndef KWHOST_EXPORT_REPLACE_FILE_H
#define KWHOST_EXPORT_REPLACE_FILE_H

#include <functional>
#include <ostream>
#include <string>

namespace kwhost {

// Calls write with a stream on a temporary file in path's folder; when write
// returns true and the stream is good, renames the temporary file over path.
// On any failure the temporary file is removed, path is left as it was and
// *error says what failed.
bool replaceFile(const std::string& path, const std::function<bool(std::ostream&, std::string*)>& write,
                 std::string* error);

}  // namespace kwhost

#endif
