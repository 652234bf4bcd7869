// The recording's capture pipeline at 96 kHz for a long recording: captured
// float blocks → InputStream → RecordMixer (16-bit stereo) → image + mirror
// file, as InputCallback does it. Prints the real-time factor and the peak
// memory against the image size; asserts nothing.
//
//   capture_pipeline_bench [device|direct] [seconds=3600] [device rate=96000]
//
// device: a scripted capture device of the virtual backend, delivered by the
//         library's capture thread (this thread plays the sound server).
// direct: InputCallback called on this thread, so its processor time is the
//         pipeline's cost on one core.
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "audio/device_backend.h"
#include "audio/virtual_backend.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "recording/recording_session.h"
#include "recording/wave_image.h"

namespace {

constexpr std::uint32_t kRecordRate = 96000;

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Resident set high-water mark of the process, in bytes.
long long PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  return -1;
}

long long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "device";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  const auto deviceRate = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 96000);
  if ((mode != "device" && mode != "direct") || seconds <= 0 || deviceRate == 0) {
    std::fprintf(stderr, "usage: %s [device|direct] [seconds] [device rate]\n", argv[0]);
    return 2;
  }

  QTemporaryDir folder;
  SetProgramFolder(folder.path().toStdString());
  AppState& s = State();
  s.RecordBuffer.RecordStep = 200000;
  BASS_Init(0, 44100, 0, nullptr, nullptr);

  auto vb = std::make_shared<audio::VirtualBackend>();
  AudioLibrary_UseBackend(vb);
  audio::VirtualBackend::Spec mic;
  mic.name = "Bench mic";
  mic.flags = BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_DEFAULT;
  mic.rate = deviceRate;
  mic.channels = 2;
  mic.tones = {{997, 0.5}, {440, 0.5}};
  const std::uint32_t device = vb->Add(mic);

  const std::size_t period = deviceRate / 10;  // the capture device's 0.1 s period
  const auto periods = static_cast<long long>(std::llround(seconds * 10));
  const long long baseline = ResidentBytes();

  double wall = 0, processCpu = 0, threadCpu = 0;
  if (mode == "device") {
    s.InputDevice = static_cast<int>(device);
    OpenInputDevice();
    if (!StartRecording(static_cast<int>(kRecordRate))) {
      std::fprintf(stderr, "recording did not start\n");
      return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    for (long long i = 0; i < periods; ++i) {
      vb->Push(device, period);
      if (!vb->WaitDelivered(device)) {
        std::fprintf(stderr, "delivery stalled at period %lld\n", i);
        return 1;
      }
    }
    StopRecording();
    processCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  } else {
    s.InputStream = BASS_StreamCreate(deviceRate, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
    s.InputDevice = -1;
    // The device start fails without a device; build the running state by hand.
    PrepareRecordImage(kRecordRate);
    s.RecordMixer = BASS_Mixer_StreamCreate(kRecordRate, 2, BASS_STREAM_DECODE);
    BASS_Mixer_StreamAddChannel(s.RecordMixer, s.InputStream, 0);
    CreateTempRecording();
    AppendTempRecording(s.RecordBuffer.Bytes(), 44);
    std::vector<float> block(period * 2);
    for (std::size_t i = 0; i < period; ++i) {
      block[2 * i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 997.0 * double(i) / deviceRate));
      block[2 * i + 1] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440.0 * double(i) / deviceRate));
    }
    const auto bytes = static_cast<std::uint32_t>(block.size() * sizeof(float));
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (long long i = 0; i < periods; ++i)
      if (InputCallback(block.data(), bytes, nullptr) != 1) {
        std::fprintf(stderr, "capture refused at period %lld\n", i);
        return 1;
      }
    threadCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    StopRecording();
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }

  const double image = s.RecordBuffer.RecordUsed();
  const double expected = 44.0 + seconds * kRecordRate * 4;
  const long long peak = PeakResidentBytes();
  std::printf("capture pipeline, %s mode: %.0f s of %u Hz stereo float -> %u Hz 16-bit stereo\n", mode.c_str(), seconds,
              deviceRate, kRecordRate);
  std::printf("  image            %.0f bytes (%.1f MB; %.0f expected from the captured length)\n", image, image / 1e6,
              expected);
  std::printf("  wall time        %.2f s   real-time factor %.0fx (wall)\n", wall, seconds / wall);
  if (mode == "device")
    std::printf("  process CPU      %.2f s   (includes the virtual server's tone generation)\n", processCpu);
  else
    std::printf("  pipeline CPU     %.2f s   real-time factor %.0fx (one core)\n", threadCpu, seconds / threadCpu);
  std::printf("  image capacity   %.1f MB\n", double(s.RecordBuffer.Capacity()) / 1e6);
  std::printf("  peak resident    %.1f MB (baseline %.1f MB); (peak - baseline) / image = %.3f\n", double(peak) / 1e6,
              double(baseline) / 1e6, (double(peak) - double(baseline)) / image);
  std::printf("  peak / image     %.3f\n", double(peak) / image);

  audio::FreeAllDevices();
  AudioLibrary_UseBackend(nullptr);
  return 0;
}
