// Library set-up, handles, streams and mixers of the facade.
//
// Threads: every operation may be called from the window thread; the
// library's capture thread calls BASS_StreamPutData and BASS_ChannelGetData
// and its output thread BASS_ChannelGetData. Those reading paths take only
// the handle table's lock and the channel's own lock; everything that
// changes which source sits in which mixer also holds `structure`, taken
// before any channel lock.
#include "recording/audio_library.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "audio/error.h"
#include "audio/handle_table.h"
#include "audio/mixer.h"
#include "audio/push_stream.h"
#include "audio/sndfile_stream.h"

namespace {

constexpr std::uint32_t kMaxRate = 1'000'000;
constexpr std::uint32_t kMaxChans = 32;
// A push stream nobody reads (a capture running without a mixer) must not
// eat all memory; a consumer that keeps up never comes near this.
constexpr std::size_t kMaxQueuedBytes = std::size_t{128} << 20;
// Larger requests could not report their count in the 32-bit result.
constexpr std::uint32_t kMaxRequest = 0x0FFFFFFFu;

struct Library {
  std::mutex structure;
  bool deviceReady[2] = {false, false};  // device 0 (no sound) and 1 (default output)
  std::atomic<bool> initialised{false};
  std::uint32_t updateThreads = 1;
  audio::HandleTable table;
  // Which mixer each plugged-in source sits in. Guarded by `structure`.
  std::unordered_map<const audio::Channel*, std::shared_ptr<audio::Mixer>> owner;
};

Library& Lib() {
  static Library library;
  return library;
}

template <typename T>
T Fail(int code, T value) {
  audio::SetError(code);
  return value;
}

template <typename T>
T Ok(T value) {
  audio::SetError(BASS_OK);
  return value;
}

// The channel behind a handle, or nullptr with the error code set.
std::shared_ptr<audio::Channel> Find(std::uint32_t handle) {
  if (!Lib().initialised.load(std::memory_order_acquire)) return Fail(BASS_ERROR_INIT, nullptr);
  auto channel = Lib().table.Find(handle);
  if (!channel) audio::SetError(BASS_ERROR_HANDLE);
  return channel;
}

bool ValidFormat(std::uint32_t freq, std::uint32_t chans) {
  return freq > 0 && freq <= kMaxRate && chans > 0 && chans <= kMaxChans;
}

int SeekError(audio::Channel::Seek result) {
  switch (result) {
    case audio::Channel::Seek::kDone: return BASS_OK;
    case audio::Channel::Seek::kOutOfRange: return BASS_ERROR_POSITION;
    case audio::Channel::Seek::kNotSeekable: break;
  }
  return BASS_ERROR_NOTAVAIL;
}

HSTREAM Register(std::shared_ptr<audio::Channel> channel) {
  const HSTREAM handle = Lib().table.Insert(std::move(channel));
  return Ok(handle);
}

}  // namespace

BOOL32 BASS_SetConfig(std::uint32_t option, std::uint32_t value) {
  if (option != BASS_CONFIG_UPDATETHREADS) return Fail(BASS_ERROR_ILLPARAM, 0);
  // Decode-only streams have no update thread; the value is only kept.
  std::lock_guard lock(Lib().structure);
  Lib().updateThreads = value;
  return Ok(1);
}

BOOL32 BASS_Init(int device, std::uint32_t, std::uint32_t, void*, void*) {
  if (device == -1) device = 1;
  if (device != 0 && device != 1) return Fail(BASS_ERROR_DEVICE, 0);
  std::lock_guard lock(Lib().structure);
  bool& ready = Lib().deviceReady[device];
  if (ready) return Fail(BASS_ERROR_ALREADY, 0);
  ready = true;
  Lib().initialised.store(true, std::memory_order_release);
  return Ok(1);
}

BOOL32 BASS_Free() {
  std::vector<std::shared_ptr<audio::Channel>> released;
  {
    std::lock_guard lock(Lib().structure);
    if (!Lib().initialised.load()) return Fail(BASS_ERROR_INIT, 0);
    Lib().initialised.store(false, std::memory_order_release);
    Lib().deviceReady[0] = Lib().deviceReady[1] = false;
    Lib().owner.clear();
    released = Lib().table.RemoveAll();
  }
  released.clear();  // streams close outside the lock
  return Ok(1);
}

int BASS_ErrorGetCode() { return audio::LastError(); }

HSTREAM BASS_StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags, STREAMPROC proc, void*) {
  if (!Lib().initialised.load(std::memory_order_acquire)) return Fail(BASS_ERROR_INIT, 0u);
  if (proc != STREAMPROC_PUSH) return Fail(BASS_ERROR_ILLPARAM, 0u);  // only push streams are offered
  if (!ValidFormat(freq, chans)) return Fail(BASS_ERROR_FORMAT, 0u);
  return Register(std::make_shared<audio::PushStream>(audio::StreamFormat{freq, chans, (flags & BASS_SAMPLE_FLOAT) != 0}));
}

// Thread: window or capture thread.
std::int32_t BASS_StreamPutData(HSTREAM handle, const void* buffer, std::uint32_t length) {
  const auto channel = Find(handle);
  if (!channel) return -1;
  auto* push = dynamic_cast<audio::PushStream*>(channel.get());
  if (!push) return Fail(BASS_ERROR_NOTAVAIL, -1);
  const bool last = (length & BASS_STREAMPROC_END) != 0;
  length &= ~BASS_STREAMPROC_END;
  if (length > kMaxRequest || (length > 0 && !buffer)) return Fail(BASS_ERROR_ILLPARAM, -1);
  if (push->QueuedBytes() + length > kMaxQueuedBytes) return Fail(BASS_ERROR_MEM, -1);
  const std::size_t queued = push->Put(buffer, length);
  if (last) push->End();
  return Ok(static_cast<std::int32_t>(queued));
}

HSTREAM BASS_StreamCreateFile(BOOL32 mem, const void* file, QWORD64 offset, QWORD64 length, std::uint32_t flags) {
  if (!Lib().initialised.load(std::memory_order_acquire)) return Fail(BASS_ERROR_INIT, 0u);
  if (!file) return Fail(mem ? BASS_ERROR_ILLPARAM : BASS_ERROR_FILEOPEN, 0u);
  const bool floatOutput = (flags & BASS_SAMPLE_FLOAT) != 0;
  using audio::SndfileStream;
  SndfileStream::OpenError error = SndfileStream::OpenError::kNone;
  std::unique_ptr<SndfileStream> stream;
  if (mem) {
    if (length == 0) return Fail(BASS_ERROR_ILLPARAM, 0u);
    stream = SndfileStream::OpenMemory(static_cast<const unsigned char*>(file) + offset, length, floatOutput, &error);
  } else {
    // BASS_UNICODE or not, names are UTF-8 here.
    stream = SndfileStream::OpenFile(static_cast<const char*>(file), offset, length, floatOutput, &error);
  }
  if (!stream) {
    switch (error) {
      case SndfileStream::OpenError::kFileOpen: return Fail(BASS_ERROR_FILEOPEN, 0u);
      case SndfileStream::OpenError::kFormat: return Fail(BASS_ERROR_FORMAT, 0u);
      default: return Fail(BASS_ERROR_NOTAUDIO, 0u);
    }
  }
  return Register(std::shared_ptr<audio::Channel>(std::move(stream)));
}

BOOL32 BASS_StreamFree(HSTREAM handle) {
  std::shared_ptr<audio::Channel> channel;
  {
    std::lock_guard lock(Lib().structure);
    if (!Lib().initialised.load()) return Fail(BASS_ERROR_INIT, 0);
    channel = Lib().table.Remove(handle);
    if (!channel) return Fail(BASS_ERROR_HANDLE, 0);
    auto& owner = Lib().owner;
    if (const auto it = owner.find(channel.get()); it != owner.end()) {
      it->second->Remove(channel.get());
      owner.erase(it);
    }
    if (dynamic_cast<audio::Mixer*>(channel.get())) {
      // Its sources stay valid and may join another mixer.
      for (auto it = owner.begin(); it != owner.end();)
        it = it->second.get() == channel.get() ? owner.erase(it) : std::next(it);
    }
  }
  channel.reset();  // the last user (maybe another thread) closes it
  return Ok(1);
}

HSTREAM BASS_Mixer_StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags) {
  if (!Lib().initialised.load(std::memory_order_acquire)) return Fail(BASS_ERROR_INIT, 0u);
  if (!ValidFormat(freq, chans)) return Fail(BASS_ERROR_FORMAT, 0u);
  // Always decode-only: the program pulls every mixer itself.
  return Register(std::make_shared<audio::Mixer>(audio::StreamFormat{freq, chans, (flags & BASS_SAMPLE_FLOAT) != 0},
                                                 (flags & BASS_MIXER_END) != 0));
}

BOOL32 BASS_Mixer_StreamAddChannel(HSTREAM mixerHandle, HCHANNEL source, std::uint32_t) {
  std::lock_guard lock(Lib().structure);
  const auto mixerChannel = Find(mixerHandle);
  if (!mixerChannel) return 0;
  auto mixer = std::dynamic_pointer_cast<audio::Mixer>(mixerChannel);
  if (!mixer) return Fail(BASS_ERROR_HANDLE, 0);
  const auto channel = Find(source);
  if (!channel) return 0;
  // Mixers inside mixers are not offered: it keeps the locking one level deep.
  if (dynamic_cast<audio::Mixer*>(channel.get())) return Fail(BASS_ERROR_ILLPARAM, 0);
  if (Lib().owner.count(channel.get()) != 0) return Fail(BASS_ERROR_ALREADY, 0);
  if (!mixer->Add(channel)) return Fail(BASS_ERROR_FORMAT, 0);
  Lib().owner.emplace(channel.get(), std::move(mixer));
  return Ok(1);
}

BOOL32 BASS_Mixer_ChannelSetPosition(HCHANNEL handle, QWORD64 pos, std::uint32_t mode) {
  std::lock_guard lock(Lib().structure);
  const auto channel = Find(handle);
  if (!channel) return 0;
  const auto it = Lib().owner.find(channel.get());
  if (it == Lib().owner.end()) return Fail(BASS_ERROR_HANDLE, 0);  // not in a mixer
  if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_NOTAVAIL, 0);
  const int error = SeekError(it->second->SetSourcePosition(channel.get(), pos / channel->format().BytesPerFrame()));
  return error == BASS_OK ? Ok(1) : Fail(error, 0);
}

// Thread: any (capture and output threads pull here).
std::int32_t BASS_ChannelGetData(HCHANNEL handle, void* buffer, std::uint32_t length) {
  const auto channel = Find(handle);
  if (!channel) return -1;
  if (length > kMaxRequest || (length > 0 && !buffer)) return Fail(BASS_ERROR_ILLPARAM, -1);
  const std::size_t frameBytes = channel->format().BytesPerFrame();
  const std::size_t frames = length / frameBytes;
  if (frames == 0) return Ok(0);
  const std::int64_t got = channel->ReadOutput(buffer, frames);
  if (got == audio::kEnded) return Fail(BASS_ERROR_ENDED, -1);
  return Ok(static_cast<std::int32_t>(static_cast<std::size_t>(got) * frameBytes));
}

BOOL32 BASS_ChannelSetPosition(HCHANNEL handle, QWORD64 pos, std::uint32_t mode) {
  std::lock_guard lock(Lib().structure);
  const auto channel = Find(handle);
  if (!channel) return 0;
  if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_NOTAVAIL, 0);
  const QWORD64 frame = pos / channel->format().BytesPerFrame();
  audio::Channel::Seek result;
  if (const auto it = Lib().owner.find(channel.get()); it != Lib().owner.end())
    result = it->second->SetSourcePosition(channel.get(), frame);  // also restarts its conversion
  else
    result = channel->SetPosition(frame);
  const int error = SeekError(result);
  return error == BASS_OK ? Ok(1) : Fail(error, 0);
}

QWORD64 BASS_ChannelGetLength(HCHANNEL handle, std::uint32_t mode) {
  constexpr QWORD64 kFailed = ~QWORD64{0};
  const auto channel = Find(handle);
  if (!channel) return kFailed;
  if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_NOTAVAIL, kFailed);
  const auto frames = channel->LengthFrames();
  if (!frames) return Fail(BASS_ERROR_NOTAVAIL, kFailed);  // push streams and mixers have no end
  return Ok(*frames * channel->format().BytesPerFrame());
}

double BASS_ChannelBytes2Seconds(HCHANNEL handle, QWORD64 pos) {
  const auto channel = Find(handle);
  if (!channel) return -1.0;
  const auto& f = channel->format();
  return Ok(static_cast<double>(pos) / static_cast<double>(f.BytesPerFrame()) / static_cast<double>(f.rate));
}

// Decode channels are never playing, so stopping one only confirms the handle.
BOOL32 BASS_ChannelStop(HCHANNEL handle) { return Find(handle) ? Ok(1) : 0; }
