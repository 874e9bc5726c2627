#include "replace_file.h"

#include <sstream>

#include "scene/atomic_file.h"

namespace kwhost {

// The content is made in memory first, so that a writer that gives up
// leaves no trace, then saved by the host's one atomic writer.
bool replaceFile(const std::string& path, const std::function<bool(std::ostream&, std::string*)>& write,
                 std::string* error) {
  std::ostringstream out;
  std::string why;
  if (!write(out, &why) || !out) {
    *error = path + ": " + (why.empty() ? "write failed" : why);
    return false;
  }
  auto saved = writeFileAtomically(path, out.str());
  if (!saved) *error = saved.error();
  return saved.ok();
}

}  // namespace kwhost
