#pragma once
// The seam between the library's device operations and a sound system.
// Two implementations: PulseBackend (the real one, default) and VirtualBackend
// (scripted devices for tests). The library owns the rings and the threads that
// call the program; a backend only lists devices and moves samples between the
// server and the CaptureSink/OutputSource it is given.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace audio {

struct DeviceInfo {
  std::string name;          // as the desktop shows it
  std::uint32_t flags = 0;   // BASS_DEVICE_* bits
  std::uint32_t rate = 0;    // the device's own format
  std::uint32_t channels = 0;
};

struct StreamParams {
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  std::size_t periodFrames = 0;  // how often the library's thread wants data moved
};

// Receives captured 32-bit float frames (interleaved).
class CaptureSink {
 public:
  virtual ~CaptureSink() = default;
  // Server thread: never blocks or allocates. samples == nullptr means a hole,
  // written as silence. Returns the frames accepted (the rest was dropped).
  virtual std::size_t Write(const float* samples, std::size_t frames) noexcept = 0;
  // True when nothing written so far still waits for the program: everything
  // has been delivered (or the device stopped) and no callback is running.
  // Lets the virtual backend wait for delivery without timing assumptions.
  virtual bool Settled() const noexcept = 0;
};

// Supplies 32-bit float frames (interleaved) to be played.
class OutputSource {
 public:
  virtual ~OutputSource() = default;
  // Server thread: never blocks or allocates. Returns the frames copied; the
  // caller plays silence for the rest.
  virtual std::size_t Read(float* samples, std::size_t frames) noexcept = 0;
  // Not the server thread: gives the library's output thread the chance to
  // queue at least `frames` frames, returning once it has or once the program
  // has nothing more to give now. Used by the virtual backend.
  virtual void AwaitTopUp(std::size_t frames) = 0;
};

// One open, running stream. Destroying it closes it: once the destructor has
// returned, its sink or source is never called again.
class DeviceStream {
 public:
  virtual ~DeviceStream() = default;
  // Output: frames of real data handed to the server and not played yet.
  // Any thread except the server's.
  virtual std::uint64_t PendingFrames() = 0;
};

class DeviceBackend {
 public:
  virtual ~DeviceBackend() = default;
  // False when there is no sound server to talk to.
  virtual bool Available() = 0;
  // Every device ever seen, indexed by its number. refresh asks the server again.
  virtual std::vector<DeviceInfo> Devices(bool refresh) = 0;
  // Checked by Init: the device exists, is enabled and may be opened.
  virtual bool Probe(std::uint32_t number) = 0;
  virtual std::unique_ptr<DeviceStream> OpenCapture(std::uint32_t number, const StreamParams& params,
                                                    CaptureSink& sink) = 0;
  virtual std::unique_ptr<DeviceStream> OpenOutput(std::uint32_t number, const StreamParams& params,
                                                   OutputSource& source) = 0;
  // The device's own volume on the server, 0.0-1.0 linear.
  virtual bool SetVolume(std::uint32_t number, float level) = 0;
  virtual std::optional<float> GetVolume(std::uint32_t number) = 0;
};

// Releases every initialised device (implemented by the library's device
// operations; for library shutdown).
void FreeAllDevices();

}  // namespace audio
