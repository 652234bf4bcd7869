#pragma once
// Devices of the PulseAudio sound server (also served by PipeWire desktops),
// through the client API with a threaded main loop.
//
// Every source and sink gets a number in the order first seen during the run;
// a device that goes away keeps its number (without BASS_DEVICE_ENABLED) and
// gets it back if it returns under the same name. With no server, no devices
// are listed and nothing can be opened; the library never starts a server.
#include <memory>
#include <string>

#include "audio/device_backend.h"

namespace audio {

class PulseBackend final : public DeviceBackend {
 public:
  // server: a server address such as "unix:/path"; empty = the usual one
  // (PULSE_SERVER, then the per-user default).
  explicit PulseBackend(std::string server = {});
  ~PulseBackend() override;

  bool Available() override;
  std::vector<DeviceInfo> Devices(bool refresh) override;
  bool Probe(std::uint32_t number) override;
  std::unique_ptr<DeviceStream> OpenCapture(std::uint32_t number, const StreamParams& params,
                                            CaptureSink& sink) override;
  std::unique_ptr<DeviceStream> OpenOutput(std::uint32_t number, const StreamParams& params,
                                           OutputSource& source) override;
  bool SetVolume(std::uint32_t number, float level) override;
  std::optional<float> GetVolume(std::uint32_t number) override;

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace audio
