// Writing a file so that a crash or a failure never leaves half of it: the
// content goes to a temporary file in the same folder, which is flushed to
// disk and then renamed over the target in one step.
#ifndef KWHOST_SCENE_ATOMIC_FILE_H
#define KWHOST_SCENE_ATOMIC_FILE_H

#include <cstdio>
#include <functional>
#include <string>

#include "core/result.h"

namespace kwhost {

// write fills the stream and returns false (with *why) to abandon the file.
// On any failure the temporary file is removed, the file at path is left as
// it was, and the error says what failed and that the old file is unchanged.
Result<void> writeFileAtomically(const std::string& path, const std::function<bool(std::FILE*, std::string* why)>& write);
Result<void> writeFileAtomically(const std::string& path, const std::string& content);

// Checks, before long work, that path can be written later: its folder
// exists and is writable, and path is no folder.
Result<void> checkWritable(const std::string& path);

// The same for an output the user asked for: missing folders on the way to
// path are created first (as `mkdir -p` would), then path is checked.
Result<void> prepareOutput(const std::string& path);

}  // namespace kwhost

#endif
