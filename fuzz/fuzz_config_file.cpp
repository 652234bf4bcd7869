// The configuration reader on arbitrary file contents: the four keys are read
// and their numbers taken; then one value (arbitrary bytes from the input)
// and the close flag are written. A write either refuses, or reads back
// exactly and leaves the other keys as they were.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "fuzz_support.h"
#include "settings/config_file.h"

namespace {

const char* const kKeys[] = {kKeyStorageFolder, kKeyDefaultQuality, kKeyDefaultDevice, kKeyCloseCheck};

struct Values {
  std::string text[4];
  bool operator==(const Values&) const = default;
};

Values ReadAll() {
  Values v;
  for (int i = 0; i < 4; ++i) {
    v.text[i] = ReadSetting(kConfigSection, kKeys[i]);
    (void)SettingToInt(v.text[i]);
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetProgramFolder(fuzz::TempFolder());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteFile(ConfigFilePath(), data, size);
  Values before = ReadAll();

  // The settings tab writes whatever folder the user picked; any bytes but NUL.
  std::string folder;
  for (std::size_t i = 0; i < size && folder.size() < 48; ++i)
    if (data[i] != 0) folder.push_back(static_cast<char>(data[i]));
  if (WriteSetting(kConfigSection, kKeyStorageFolder, folder)) {
    Values after = ReadAll();
    FUZZ_CHECK(after.text[0] == folder);
    after.text[0] = before.text[0];
    FUZZ_CHECK(after == before);
    before.text[0] = folder;
  }

  FUZZ_CHECK(WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckNormal));
  Values after = ReadAll();
  FUZZ_CHECK(after.text[3] == kCloseCheckNormal);
  after.text[3] = before.text[3];
  FUZZ_CHECK(after == before);
  return 0;
}
