#pragma once
// The desktop's shell: open a file or address with its associated program,
// show a file selected in the file manager. Tests replace both with a
// recorder so no program is started. Window thread.
#include <functional>
#include <string>

// Opens a local path or a URL with the desktop's associated program.
bool ShellOpen(const std::string& pathOrUrl);
// The file manager's "show item" over D-Bus; when no file manager answers,
// the folder that holds the file is opened instead.
bool ShellShowItem(const std::string& path);

struct ShellHooks {
  std::function<bool(const std::string&)> open;
  std::function<bool(const std::string&)> showItem;
};
// Set both to intercept the shell (tests); reset to {} to restore it.
ShellHooks& TestShellHooks();
