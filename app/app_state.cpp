#include "app/app_state.h"

AppState& State() {
  static AppState state;
  return state;
}

namespace {
std::string& Folder() {
  static std::string folder;
  return folder;
}
}  // namespace

const std::string& ProgramFolder() { return Folder(); }

void SetProgramFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  Folder() = f;
}
