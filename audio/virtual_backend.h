#pragma once
// Scripted devices for tests. Select it with
//   auto vb = std::make_shared<audio::VirtualBackend>();
//   AudioLibrary_UseBackend(vb);        // AudioLibrary_UseBackend(nullptr) restores PulseAudio
// Devices are numbered in the order they are added. Nothing moves by itself:
// the test plays the sound server's part, so results never depend on timing.
//
// Capture (a device with BASS_DEVICE_INPUT, 16, in its flags), once started:
//   vb->Push(n, frames);      // frames of the device's tones through the same ring path
//   vb->PushHole(n, frames);  // a hole reported by the server: arrives as silence
//   vb->WaitDelivered(n);     // returns once the library's capture thread has handed
//                             // everything pushed so far to the program's callback
// The library delivers a block when one period is queued, or after the data
// has waited one period; push whole periods for prompt delivery.
//
// Output, once started:
//   vb->Play(n, frames);      // the server plays frames: first lets the library's
//                             // output thread top up, then takes from the ring
//                             // (silence where it runs dry); returns the frames
//                             // of real data taken
//   vb->Played(n);            // every sample played so far, interleaved
//
// All calls come from the test's thread (one "server" thread per backend).
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/device_backend.h"

namespace audio {

class VirtualBackend final : public DeviceBackend {
 public:
  struct Tone {
    double frequency = 0.0;  // Hz
    double amplitude = 0.0;  // peak, 1.0 = full scale
  };
  struct Spec {
    std::string name;
    std::uint32_t flags = 1;  // BASS_DEVICE_* bits; 1 = enabled
    std::uint32_t rate = 48000;
    std::uint32_t channels = 2;
    std::vector<Tone> tones;  // per channel; channels without a tone are silent
    bool failInit = false;    // BASS_WASAPI_Init fails
    bool failStart = false;   // BASS_WASAPI_Start fails
  };

  VirtualBackend();
  ~VirtualBackend() override;

  std::uint32_t Add(Spec spec);
  // The device goes away: it loses BASS_DEVICE_ENABLED, new opens fail and an
  // open stream gets no more data.
  void Remove(std::uint32_t number);
  void SetFailures(std::uint32_t number, bool failInit, bool failStart);
  // The server is unreachable: no devices are listed (as with no sound server).
  void SetAvailable(bool available);

  std::size_t Push(std::uint32_t number, std::size_t frames);
  std::size_t PushHole(std::uint32_t number, std::size_t frames);
  std::size_t PushSamples(std::uint32_t number, const std::vector<float>& interleaved);
  bool WaitDelivered(std::uint32_t number, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  std::size_t Play(std::uint32_t number, std::size_t frames);
  std::vector<float> Played(std::uint32_t number) const;

  // Whether a stream of the device is open on the "server" right now.
  bool StreamOpen(std::uint32_t number) const;

  // DeviceBackend
  bool Available() override;
  std::vector<DeviceInfo> Devices(bool refresh) override;
  bool Probe(std::uint32_t number) override;
  std::unique_ptr<DeviceStream> OpenCapture(std::uint32_t number, const StreamParams& params,
                                            CaptureSink& sink) override;
  std::unique_ptr<DeviceStream> OpenOutput(std::uint32_t number, const StreamParams& params,
                                           OutputSource& source) override;
  bool SetVolume(std::uint32_t number, float level) override;
  std::optional<float> GetVolume(std::uint32_t number) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace audio
