#pragma once
// Helpers shared by the fuzz targets: a private temporary folder per process
// and a check that stops the run (libFuzzer records the input as a crash).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

// A fresh folder under /tmp, removed when the process ends normally. The
// name is never destroyed, so the exit handler can still read it.
inline const std::string& TempFolder() {
  static const std::string* const folder = [] {
    auto* pattern = new std::string((std::filesystem::temp_directory_path() / "tavrin-fuzz.XXXXXX").string());
    if (!::mkdtemp(pattern->data())) std::abort();
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(TempFolder(), ec); });
    return pattern;
  }();
  return *folder;
}

// Replaces `path` with exactly these bytes.
inline void WriteFile(const std::string& path, const unsigned char* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

}  // namespace fuzz
