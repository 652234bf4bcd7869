#pragma once
// The WAV header record, the in-memory recording image and the mirror file.
// (Placeholder types; the recording image lands with the recording work.)
#include <cstdint>

struct WaveHeaderRecord {
  char riffId[4]{};
  std::uint32_t riffSize = 0;
  char formType[4]{};
  char fmtId[4]{};
  std::uint32_t fmtSize = 0;
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t byteRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  char dataId[4]{};
  std::uint32_t dataSize = 0;
};

class RecordImage {};
class TempRecordingFile {};
