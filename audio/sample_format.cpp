#include "audio/sample_format.h"

namespace audio {

void FloatToInt16(const float* in, std::int16_t* out, std::size_t samples) {
  for (std::size_t i = 0; i < samples; ++i) out[i] = FloatToInt16(in[i]);
}

void Int16ToFloat(const std::int16_t* in, float* out, std::size_t samples) {
  for (std::size_t i = 0; i < samples; ++i) out[i] = Int16ToFloat(in[i]);
}

}  // namespace audio
