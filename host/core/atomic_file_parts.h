// The parts of the atomic save: what every system shares (atomic_file.cpp:
// the folder a file is written in, the temporary file's name, the checks
// before a save) and what each system's build gives it
// (atomic_file_posix.cpp, atomic_file_windows.cpp).
#ifndef KWHOST_CORE_ATOMIC_FILE_PARTS_H
#define KWHOST_CORE_ATOMIC_FILE_PARTS_H

#include <string>

#include "core/result.h"

namespace kwhost {

// Shared.

// The folder of path ("." for a bare file name).
std::string folderOf(const std::string& path);

// A fresh temporary file name in path's folder: ".NAME.tmp-PID-RANDOM", the
// process and a random number keeping concurrent saves apart.
std::string temporaryName(const std::string& path, long long pid);

// Per system.
// The file a save really replaces (a symbolic link followed), or why path
// cannot be saved over.
Result<std::string> saveTarget(const std::string& path);
// Whether a file can be made in dir, the existing folder of path (which is
// the save's target and no folder).
Result<void> folderWritable(const std::string& path, const std::string& dir);

}  // namespace kwhost

#endif
