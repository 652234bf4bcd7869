// Device operations of the facade: enumeration, the per-thread current device,
// capture and output devices with their threads, volume.
//
// Locking: `Registry::mutex` guards the table of initialised devices and is
// never held while waiting for a device thread; each device's `control` mutex
// serialises Start/Stop/Free from ordinary threads. Calls made from inside a
// device's own callback take neither (the thread that holds `control` may be
// waiting for that very callback to return); they only set the runner's flags.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "audio/capture_runner.h"
#include "audio/device_backend.h"
#include "audio/error.h"
#include "audio/output_runner.h"
#include "audio/pulse_backend.h"
#include "recording/audio_library.h"

namespace {

struct Device : std::enable_shared_from_this<Device> {
  std::uint32_t number = 0;
  bool input = false;
  audio::DeviceInfo info;
  std::shared_ptr<audio::DeviceBackend> backend;
  audio::StreamParams params;
  WASAPIPROC proc = nullptr;
  void* user = nullptr;
  std::mutex control;
  std::atomic<bool> freed{false};
  // Declared before the stream: the stream, which calls into the runner, goes first.
  std::unique_ptr<audio::CaptureRunner> capture;
  std::unique_ptr<audio::OutputRunner> output;
  std::unique_ptr<audio::DeviceStream> stream;

  std::uint32_t FrameBytes() const { return params.channels * static_cast<std::uint32_t>(sizeof(float)); }
  bool OnOwnThread() const { return input ? capture->OnOwnThread() : output->OnOwnThread(); }
};

struct Registry {
  std::mutex mutex;
  std::shared_ptr<audio::DeviceBackend> backend;
  std::map<std::uint32_t, std::shared_ptr<Device>> devices;
};

// Never destroyed: device threads may still be ending while the program exits.
Registry& Reg() {
  static Registry* r = new Registry;
  return *r;
}

thread_local std::int64_t tCurrent = -1;          // this thread's current device
thread_local Device* tCallbackDevice = nullptr;   // set on a device's own thread

std::shared_ptr<audio::DeviceBackend> Backend() {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  if (!r.backend) r.backend = std::make_shared<audio::PulseBackend>();
  return r.backend;
}

template <typename T>
T Fail(int code, T value) {
  audio::SetError(code);
  return value;
}

// The calling thread's current device, or null with the error code set.
std::shared_ptr<Device> Current() {
  if (tCallbackDevice && tCurrent == tCallbackDevice->number && !tCallbackDevice->freed)
    return tCallbackDevice->shared_from_this();
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  auto it = tCurrent >= 0 ? r.devices.find(static_cast<std::uint32_t>(tCurrent)) : r.devices.end();
  if (it == r.devices.end()) {
    audio::SetError(BASS_ERROR_INIT);
    return nullptr;
  }
  return it->second;
}

void Unregister(const Device& d) {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  auto it = r.devices.find(d.number);
  if (it != r.devices.end() && it->second.get() == &d) r.devices.erase(it);
}

// Ends the device thread and closes the stream; with `drain` a capture device
// first delivers what has arrived. Ordinary thread, control held.
void Halt(Device& d, bool drain = false) {
  if (d.input) {
    if (drain)
      d.capture->RequestDrainStop();
    else
      d.capture->RequestStop();
    d.capture->Join();
  } else {
    d.output->RequestQuit();
    d.output->Join();
  }
  d.stream.reset();
}

bool StartDevice(Device& d) {
  auto keep = d.shared_from_this();
  if (d.input) {
    if (d.capture->Active()) return true;
    Halt(d);
    // The ring must take data the moment the server sends it.
    d.capture->Start(
        [dev = &d](float* samples, std::size_t count) {
          tCallbackDevice = dev;
          tCurrent = dev->number;
          const auto bytes = static_cast<std::uint32_t>(count * sizeof(float));
          return dev->proc(samples, bytes, dev->user) != 0;
        },
        keep);
    d.stream = d.backend->OpenCapture(d.number, d.params, *d.capture);
    if (!d.stream) {
      d.capture->RequestStop();
      d.capture->Join();
      return false;
    }
    return true;
  }
  if (d.output->Playing()) return true;
  Halt(d);
  d.stream = d.backend->OpenOutput(d.number, d.params, *d.output);
  if (!d.stream) return false;
  d.output->Start(
      [dev = &d](float* samples, std::uint32_t bytes) {
        tCallbackDevice = dev;
        tCurrent = dev->number;
        return dev->proc(samples, bytes, dev->user);
      },
      d.stream.get(), keep);
  return true;
}

void FreeDevice(const std::shared_ptr<Device>& d) {
  d->freed = true;
  if (d->OnOwnThread()) {
    // Inside the callback: no callback after this one; the thread, which
    // holds the device, closes the stream when it ends.
    if (d->input)
      d->capture->RequestStop();
    else
      d->output->RequestQuit();
  } else {
    std::lock_guard lock(d->control);
    Halt(*d);
  }
  Unregister(*d);
}

}  // namespace

namespace audio {
void FreeAllDevices() {
  std::map<std::uint32_t, std::shared_ptr<Device>> all;
  {
    auto& r = Reg();
    std::lock_guard lock(r.mutex);
    all = r.devices;
  }
  for (auto& [n, d] : all) FreeDevice(d);
}
}  // namespace audio

void AudioLibrary_UseBackend(std::shared_ptr<audio::DeviceBackend> backend) {
  audio::FreeAllDevices();
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  r.backend = backend ? std::move(backend) : std::make_shared<audio::PulseBackend>();
}

BOOL32 BASS_WASAPI_GetDeviceInfo(std::uint32_t device, BASS_WASAPI_DEVICEINFO* info) {
  if (!info) return Fail(BASS_ERROR_ILLPARAM, 0);
  auto backend = Backend();
  // A fresh look at the server when a listing starts (or runs past what is known).
  static thread_local std::size_t known = 0;
  const auto list = backend->Devices(device == 0 || device >= known);
  known = list.size();
  if (device >= list.size()) return Fail(list.empty() && !backend->Available() ? BASS_ERROR_DRIVER : BASS_ERROR_DEVICE, 0);
  const auto& d = list[device];
  info->name = d.name;
  info->flags = d.flags;
  info->mixfreq = d.rate;
  info->mixchans = d.channels;
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_Init(int device, std::uint32_t freq, std::uint32_t chans, std::uint32_t, float buffer,
                        float period, WASAPIPROC proc, void* user) {
  if (!proc) return Fail(BASS_ERROR_ILLPARAM, 0);
  auto backend = Backend();
  if (!backend->Available()) return Fail(BASS_ERROR_DRIVER, 0);
  const auto list = backend->Devices(true);
  std::uint32_t number;
  if (device == -1) {
    auto it = std::find_if(list.begin(), list.end(), [](const audio::DeviceInfo& i) {
      return (i.flags & BASS_DEVICE_DEFAULT) && (i.flags & BASS_DEVICE_ENABLED) && !(i.flags & BASS_DEVICE_INPUT);
    });
    if (it == list.end()) return Fail(BASS_ERROR_DEVICE, 0);
    number = static_cast<std::uint32_t>(it - list.begin());
  } else if (device < 0 || static_cast<std::size_t>(device) >= list.size()) {
    return Fail(BASS_ERROR_DEVICE, 0);
  } else {
    number = static_cast<std::uint32_t>(device);
  }
  const audio::DeviceInfo& info = list[number];
  if (!(info.flags & BASS_DEVICE_ENABLED) || info.rate == 0 || info.channels == 0)
    return Fail(BASS_ERROR_DEVICE, 0);
  // Shared mode: only the device's own format.
  if ((freq != 0 && freq != info.rate) || (chans != 0 && chans != info.channels)) return Fail(BASS_ERROR_FORMAT, 0);
  {
    auto& r = Reg();
    std::lock_guard lock(r.mutex);
    if (r.devices.count(number)) return Fail(BASS_ERROR_ALREADY, 0);
  }
  if (!backend->Probe(number)) return Fail(BASS_ERROR_DRIVER, 0);

  if (!std::isfinite(period) || period <= 0.0f) period = 0.01f;
  if (!std::isfinite(buffer) || buffer < 2.0f * period) buffer = 2.0f * period;
  auto d = std::make_shared<Device>();
  d->number = number;
  d->input = (info.flags & BASS_DEVICE_INPUT) != 0;
  d->info = info;
  d->backend = backend;
  d->proc = proc;
  d->user = user;
  d->params.rate = info.rate;
  d->params.channels = info.channels;
  d->params.periodFrames = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(static_cast<double>(period) * info.rate)));
  const auto capacity = static_cast<std::size_t>(std::lround(static_cast<double>(buffer) * info.rate));
  const auto periodTime = std::chrono::microseconds(std::lround(period * 1e6));
  if (d->input)
    d->capture = std::make_unique<audio::CaptureRunner>(info.channels, capacity, d->params.periodFrames, periodTime);
  else
    d->output = std::make_unique<audio::OutputRunner>(info.channels, capacity, d->params.periodFrames, periodTime);
  {
    auto& r = Reg();
    std::lock_guard lock(r.mutex);
    if (!r.devices.emplace(number, d).second) return Fail(BASS_ERROR_ALREADY, 0);
  }
  tCurrent = number;
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_Free() {
  auto d = Current();
  if (!d) return 0;
  FreeDevice(d);
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_Start() {
  auto d = Current();
  if (!d) return 0;
  if (d->OnOwnThread()) {
    // From inside its own callback the device is running by definition.
    audio::SetError(BASS_OK);
    return 1;
  }
  std::lock_guard lock(d->control);
  if (d->freed) return Fail(BASS_ERROR_INIT, 0);
  if (!StartDevice(*d)) return Fail(BASS_ERROR_START, 0);
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_Stop(BOOL32 reset) {
  auto d = Current();
  if (!d) return 0;
  if (d->OnOwnThread()) {
    if (d->input) {
      d->capture->RequestStop();
      if (reset) d->capture->Discard();  // this thread is the ring's reader
    } else if (reset) {
      d->output->RequestQuit();
    } else {
      d->output->BeginDrain();
    }
    audio::SetError(BASS_OK);
    return 1;
  }
  std::lock_guard lock(d->control);
  if (d->freed) return Fail(BASS_ERROR_INIT, 0);
  if (d->input) {
    // Stop(0): what the server has handed over is delivered before Stop returns.
    Halt(*d, !reset);
    if (reset) d->capture->Discard();
  } else if (reset) {
    Halt(*d);
    d->output->Discard();
  } else {
    d->output->BeginDrain();  // the queue plays out; the thread ends after it
  }
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_IsStarted() {
  auto d = Current();
  if (!d) return 0;
  audio::SetError(BASS_OK);
  return d->input ? d->capture->Active() : d->output->Playing();
}

BOOL32 BASS_WASAPI_SetDevice(std::uint32_t device) {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  if (!r.devices.count(device)) {
    const bool known = r.backend && device < r.backend->Devices(false).size();
    return Fail(known ? BASS_ERROR_INIT : BASS_ERROR_DEVICE, 0);
  }
  tCurrent = device;
  audio::SetError(BASS_OK);
  return 1;
}

int BASS_WASAPI_GetDevice() {
  auto d = Current();
  if (!d) return -1;
  audio::SetError(BASS_OK);
  return static_cast<int>(d->number);
}

BOOL32 BASS_WASAPI_GetInfo(BASS_WASAPI_INFO* info) {
  if (!info) return Fail(BASS_ERROR_ILLPARAM, 0);
  auto d = Current();
  if (!d) return 0;
  info->freq = d->params.rate;
  info->chans = d->params.channels;
  const std::size_t frames = d->input ? d->capture->CapacityFrames() : d->output->CapacityFrames();
  info->buflen = static_cast<std::uint32_t>(frames * d->FrameBytes());
  audio::SetError(BASS_OK);
  return 1;
}

BOOL32 BASS_WASAPI_SetVolume(std::uint32_t curve, float volume) {
  if (curve != BASS_WASAPI_CURVE_WINDOWS || !(volume >= 0.0f && volume <= 1.0f))
    return Fail(BASS_ERROR_ILLPARAM, 0);
  auto d = Current();
  if (!d) return 0;
  if (!d->backend->SetVolume(d->number, volume)) return Fail(BASS_ERROR_DRIVER, 0);
  audio::SetError(BASS_OK);
  return 1;
}

float BASS_WASAPI_GetVolume(std::uint32_t curve) {
  if (curve != BASS_WASAPI_CURVE_WINDOWS) return Fail(BASS_ERROR_ILLPARAM, -1.0f);
  auto d = Current();
  if (!d) return -1.0f;
  const auto v = d->backend->GetVolume(d->number);
  if (!v) return Fail(BASS_ERROR_DRIVER, -1.0f);
  audio::SetError(BASS_OK);
  return *v;
}

std::int32_t BASS_WASAPI_GetData(void*, std::uint32_t length) {
  if (length != BASS_DATA_AVAILABLE) return Fail(BASS_ERROR_NOTAVAIL, -1);
  auto d = Current();
  if (!d) return -1;
  std::uint64_t frames;
  if (d->input) {
    frames = d->capture->QueuedFrames();
  } else if (d->OnOwnThread()) {
    // The stream stays open while its thread runs.
    frames = d->output->QueuedFrames() + (d->stream ? d->stream->PendingFrames() : 0);
  } else {
    std::lock_guard lock(d->control);
    frames = d->output->QueuedFrames() + (d->stream ? d->stream->PendingFrames() : 0);
  }
  audio::SetError(BASS_OK);
  return static_cast<std::int32_t>(std::min<std::uint64_t>(frames * d->FrameBytes(), INT32_MAX));
}
