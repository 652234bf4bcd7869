#include "util/program_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

// Made with scripts/make-scrambled-text and the key below.
const std::string& KeyText() {
  static const std::string text = "Tvr";
  return text;
}

const std::string& StoredCaptionText() {
  static const std::string text = "44716662797E30F5AD85F98FA3F68CAA30213E2040D9EA5B3";
  return text;
}

const std::string& StoredStatusText() {
  static const std::string text =
      "44716662797E30F5AD85F98FA3F68CAA30F2908430F59F9CF597ABF6BDB4F5B494F69983F5AC90F5A8BEF59AB940D9EA5B3";
  return text;
}

const std::string& StoredAddressText() {
  static const std::string text = "78757C603F797E7475683E78647D7C40D9EA5B3";
  return text;
}

std::string AddressUrl(const std::string& address) {
  if (address.empty()) return {};
  const QString text = QString::fromStdString(address);
  const QUrl given(text, QUrl::StrictMode);
  if (given.isValid() && given.scheme().size() > 1) return address;  // one letter would be a drive
  const QString base = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  QString full = QDir::cleanPath(base + QLatin1Char('/') + text);
  // An installed program keeps its pages in the shared data folder.
  const QString installed = QDir::cleanPath(base + QStringLiteral("/../share/tavrin/") + text);
  if (!QFileInfo::exists(full) && QFileInfo::exists(installed)) full = installed;
  return QUrl::fromLocalFile(full).toString(QUrl::FullyEncoded).toStdString();
}
