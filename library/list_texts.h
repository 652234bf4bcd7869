#pragma once
// Text formats of the recordings list's columns. Paths are UTF-8.
#include <cstdint>
#include <optional>
#include <string>

// "yyyy-MM-dd HH:mm:ss" in local time of the file's birth time (its last
// modification where the file system keeps no birth time); nullopt when the
// file cannot be opened for reading.
std::optional<std::string> CreationTimeText(const std::string& path);

// Size in KiB, rounded up; -1 when nothing exists at the path. Files of 2 GiB
// and more give their real size (up to INT32_MAX KiB).
std::int32_t FileSizeKB(const std::string& path);

// A KiB count as MiB with one decimal, e.g. "0 MB", "0.1 MB", "1.3 MB";
// -1 (a vanished file) gives "-0 MB".
std::string SizeText(std::int32_t kib);
