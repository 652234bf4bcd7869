#include "library/list_texts.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

std::optional<std::string> CreationTimeText(const std::string& path) {
  // Only regular files are opened: opening a FIFO for reading would wait for
  // a writer that may never come.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) return std::nullopt;
  const QString name = QString::fromStdString(path);
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QDateTime when = file.fileTime(QFileDevice::FileBirthTime);
  if (!when.isValid()) when = file.fileTime(QFileDevice::FileModificationTime);
  file.close();
  if (!when.isValid()) return std::nullopt;
  return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

std::int32_t FileSizeKB(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p(path);
  if (!std::filesystem::exists(std::filesystem::symlink_status(p, ec))) return -1;
  std::uint64_t bytes = 0;
  if (std::filesystem::is_regular_file(p, ec)) {
    const auto size = std::filesystem::file_size(p, ec);
    if (!ec) bytes = size;
  }
  const std::uint64_t kib = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(kib < kMax ? kib : kMax);
}

std::string SizeText(std::int32_t kib) {
  const double x = static_cast<double>(kib) / 1024.0;
  // One decimal, halves away from zero; the small addend absorbs binary
  // representation error just below a half.
  const double t = std::fabs(x) * 10.0 + 1e-12;
  double r = std::floor(t);
  if (t - r >= 0.5) r += 1.0;
  const double y = std::copysign(r / 10.0, x);  // -0 for a small negative count
  char text[64];
  std::snprintf(text, sizeof text, "%.13g MB", y);
  return text;
}
