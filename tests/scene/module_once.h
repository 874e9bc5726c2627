// The module, loaded and started once per test process (its state is
// process wide, so it cannot be loaded twice), and small scene helpers.
#ifndef KW_TESTS_SCENE_MODULE_ONCE_H
#define KW_TESTS_SCENE_MODULE_ONCE_H

#include <initializer_list>
#include <string>
#include <string_view>

#include "scene/scene_file.h"

// The parts joined (appended: GCC 12 warns wrongly, -Wrestrict, on "text" + string).
std::string cat(std::initializer_list<std::string_view> parts);

// Loads the module named by KW_TEST_MODULE on the first call; fails the test otherwise.
void requireModule();
// A fresh empty folder under the test temp dir.
std::string tempFolder(const std::string& name);
void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);
// Loads scene text (module started); the error text when it fails, "" when it loads.
std::string loadError(const std::string& text, const std::string& baseDir = ".");
kwhost::scene::LoadedScene loadOk(const std::string& text, const std::string& baseDir = ".");

// The kestrelwood program run as a user runs it, in a shell, with its exit
// status and what it printed on each stream.
struct Ran {
  int status;
  std::string out, err;
};
std::string quote(const std::string& s);
// args as a shell would take them; the two streams are caught in files in dir.
Ran kestrelwood(const std::string& args, const std::string& dir);

#endif
