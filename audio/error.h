#pragma once
// The library's error code: one per thread, as each caller reads the code of
// its own last call.
namespace audio {
void SetError(int code);
int LastError();
}  // namespace audio
