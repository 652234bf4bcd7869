#pragma once
// The configuration file "录音配置.ini" beside the program: one section,
// "软件配置", read and written one value at a time. Window thread.
#include <QComboBox>
#include <cstdint>
#include <string>

inline constexpr const char* kConfigSection = "软件配置";
inline constexpr const char* kKeyStorageFolder = "存储位置";
inline constexpr const char* kKeyDefaultQuality = "默认品质";
inline constexpr const char* kKeyDefaultDevice = "默认设备";
inline constexpr const char* kKeyCloseCheck = "关闭检测";
inline constexpr const char* kCloseCheckRunning = "开启";
inline constexpr const char* kCloseCheckNormal = "正常关闭";

// ProgramFolder() + "/录音配置.ini".
std::string ConfigFilePath();
// ProgramFolder() + "/录音存储/".
std::string DefaultStorageFolder();

// A missing file, section or key, or an unreadable file, gives "".
// An empty fileName means the configuration file.
std::string ReadSetting(const std::string& section, const std::string& key, const std::string& fileName = "");

// Writes one value; the file is replaced atomically, so a crash during the
// write leaves either the old or the new file, never a damaged one. An empty
// value keeps the key with an empty value. Returns false when the file could
// not be written (or exists but cannot be read, so its other keys would be lost),
// and, leaving the file as it was, when a text holds a line break.
bool WriteSetting(const std::string& section, const std::string& key, const std::string& value,
                  const std::string& fileName = "");

// The integer reading of "默认品质" and "默认设备": leading blanks skipped, an
// optional sign, then decimal digits up to the first other character; no
// number gives 0. Values beyond 32 bits saturate.
std::int32_t SettingToInt(const std::string& text);

// Selects item i when 0 <= i < count, the last item when i >= count, and
// nothing when i < 0. Raises no item-selected event.
void SelectComboIndex(QComboBox& combo, std::int32_t i);

// The storage folder as read from "存储位置": used as read, except that a
// text without a trailing "/" gets one (recordings land inside the folder,
// not beside it). Empty stays empty.
std::string NormaliseReadStorageFolder(const std::string& text);

// Creates DefaultStorageFolder (one level) when it is not a folder.
void EnsureDefaultStorageFolder();
