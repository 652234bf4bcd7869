#include "audio/error.h"

namespace audio {
namespace {
thread_local int lastError = 0;
}
void SetError(int code) { lastError = code; }
int LastError() { return lastError; }
}  // namespace audio
