#include "settings/config_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
// Bytes are kept as they are (UTF-8); names compare without regard to ASCII case.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // the template bodies, instantiated here only
#include <SimpleIni.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "app/app_state.h"

namespace {

std::string ResolvePath(const std::string& fileName) {
  return fileName.empty() ? ConfigFilePath() : fileName;
}

enum class LoadResult { Loaded, Missing, Unreadable };

// Reads the whole file into a case-insensitive (ASCII) INI model.
LoadResult Load(const std::string& path, CSimpleIniA& ini) {
  ini.SetUnicode(true);
  ini.SetMultiKey(false);
  ini.SetQuotes(true);  // values with outer blanks survive a round trip, as in profile files
  QFile file(QString::fromStdString(path));
  if (!file.exists()) return LoadResult::Missing;
  if (!file.open(QIODevice::ReadOnly)) return LoadResult::Unreadable;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return LoadResult::Unreadable;
  // Leading blanks mean nothing to the parser, but they hide a byte-order
  // mark behind them: it would be read as part of a name, and the next save,
  // putting that name first, would turn it into a section of its own.
  qsizetype start = 0;
  while (start < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[start]))) ++start;
  if (ini.LoadData(bytes.constData() + start, static_cast<size_t>(bytes.size() - start)) < 0)
    return LoadResult::Unreadable;
  return LoadResult::Loaded;
}

// The reader takes one pair of outer quotes off (that is how outer blanks
// are kept), but the writer adds them only around outer blanks. Every value
// that itself starts and ends with a quote gets a pair around it, so that
// the file reads back as it was read, the keys not written included.
bool ProtectOuterQuotes(CSimpleIniA& ini) {
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& section : sections) {
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section.pItem, keys);
    for (const auto& key : keys) {
      const char* value = ini.GetValue(section.pItem, key.pItem, "");
      const std::size_t n = std::strlen(value);
      if (n < 2 || value[0] != '"' || value[n - 1] != '"') continue;
      const std::string quoted = '"' + std::string(value, n) + '"';
      if (ini.SetValue(section.pItem, key.pItem, quoted.c_str()) < 0) return false;
    }
  }
  return true;
}

}  // namespace

std::string ConfigFilePath() { return ProgramFolder() + "/录音配置.ini"; }

std::string DefaultStorageFolder() { return ProgramFolder() + "/录音存储/"; }

std::string ReadSetting(const std::string& section, const std::string& key, const std::string& fileName) {
  CSimpleIniA ini;
  if (Load(ResolvePath(fileName), ini) != LoadResult::Loaded) return {};
  const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return value ? std::string(value) : std::string();
}

bool WriteSetting(const std::string& section, const std::string& key, const std::string& value,
                  const std::string& fileName) {
  // A line break would end the line early and the rest would read as keys of
  // its own (a folder name may hold one): such a value is not written.
  for (const std::string* text : {&section, &key, &value})
    if (text->find_first_of("\r\n") != std::string::npos) return false;
  const std::string path = ResolvePath(fileName);
  CSimpleIniA ini;
  if (Load(path, ini) == LoadResult::Unreadable) return false;
  if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) return false;
  if (!ProtectOuterQuotes(ini)) return false;
  std::string text;
  if (ini.Save(text) < 0) return false;
  QSaveFile out(QString::fromStdString(path));
  if (!out.open(QIODevice::WriteOnly)) return false;
  if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
    out.cancelWriting();
    return false;
  }
  return out.commit();
}

std::int32_t SettingToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<std::int32_t>(value);
}

void SelectComboIndex(QComboBox& combo, std::int32_t i) {
  const int count = combo.count();
  if (i < 0 || count == 0) {
    combo.setCurrentIndex(-1);
  } else {
    combo.setCurrentIndex(i < count ? i : count - 1);
  }
}

std::string NormaliseReadStorageFolder(const std::string& text) {
  if (text.empty() || text.back() == '/') return text;
  return text + "/";
}

void EnsureDefaultStorageFolder() {
  const QString folder = QString::fromStdString(ProgramFolder() + "/录音存储");
  if (!QFileInfo(folder).isDir()) QDir().mkdir(folder);
}
