// Start-up and stop of the program, timed in process, for bench/compare.sh.
// Prints "RESULT name value" lines (seconds) for the script to read and
// asserts nothing.
//
//   program_bench make-wavs DIR COUNT      COUNT small 16-bit stereo WAV files in DIR
//   program_bench startup FOLDER [pulse|virtual]
//       FOLDER is the program folder (its "录音存储" holds the recordings).
//       Times the main window's creation and its window-created sequence,
//       which ends with the recordings list filled and measured; then fills
//       and measures the list once more to split the cost. pulse: the devices
//       of the sound server named by PULSE_SERVER; virtual: scripted devices.
//   program_bench stop FOLDER BYTES
//       Fills the recording image and its mirror file to BYTES (header
//       included) as the capture callback does, lets the mirror's flusher
//       catch up (a real recording of that size took most of an hour, so the
//       flusher was never behind by more than a second), syncs, then times
//       what the stop press does to the data: StopRecording (sizes, the
//       mirror's final sync and close, the playback stream on the image) and
//       WriteRecordingFile into the storage folder. Leaves the final file
//       FOLDER/store/bench.wav for the script's cp comparison.
#include <QApplication>
#include <QTreeWidget>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_lifecycle.h"
#include "audio/virtual_backend.h"
#include "library/recordings_list.h"
#include "playback/audio_player.h"
#include "recording/audio_library.h"
#include "recording/recording_session.h"
#include "recording/temp_recording.h"
#include "recording/wave_image.h"
#include "tray/tray_icon.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Result(const char* name, double value) { std::printf("RESULT %s %.6f\n", name, value); }

// Small recordings: 1000 frames of 44.1 kHz stereo 16-bit (about 4 KB each),
// a quiet 997 Hz tone.
int MakeWavs(const std::string& dir, int count) {
  std::filesystem::create_directories(dir);
  constexpr std::uint32_t kFrames = 1000, kRate = 44100;
  WaveHeaderRecord h;
  FillWaveHeader(h, kRate);
  h.dataSize = kFrames * 4;
  h.riffSize = h.dataSize + 36;
  const WaveHeaderBytes head = SerializeWaveHeader(h);
  std::vector<std::int16_t> samples(2 * kFrames);
  for (std::uint32_t i = 0; i < kFrames; ++i)
    samples[2 * i] = samples[2 * i + 1] =
        static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 997.0 * double(i) / kRate)));
  for (int n = 0; n < count; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "/2024-5-%d-%d-%d-%d.wav", 1 + n / 86400, n / 3600 % 24, n / 60 % 60, n % 60);
    std::ofstream out(dir + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), head.size());
    out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
    if (!out) {
      std::fprintf(stderr, "cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}

int Startup(int argc, char** argv, const std::string& folder, bool pulse) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SetProgramFolder(folder);
  std::shared_ptr<audio::VirtualBackend> vb;
  if (!pulse) {
    vb = std::make_shared<audio::VirtualBackend>();
    vb->Add({"Bench mic", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT | BASS_DEVICE_INPUT, 48000, 2, {{997, 0.5}}});
    vb->Add({"Bench speaker", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT, 48000, 2, {}});
    AudioLibrary_UseBackend(vb);
  }
  AppState& s = State();
  CreateProgramObjects();

  const double w0 = Now(), c0 = ProcessCpu();
  auto window = std::make_unique<MainWindow>();
  s.mainWindow = window.get();
  window->SetStartupRunning(true);
  window->show();
  WindowCreated(*window);
  window->SetStartupRunning(false);
  const double w1 = Now(), c1 = ProcessCpu();
  const int rows = RowCount(window->RecordingsList());

  // The list alone, once more: filling (names, times, sizes) and measuring (lengths).
  window->RecordingsList().clear();
  const double f0 = Now();
  FillRecordingsList();
  const double f1 = Now();
  MeasureRecordingsList();
  const double f2 = Now();

  Result("startup_rows", rows);
  Result("startup_wall", w1 - w0);
  Result("startup_cpu", c1 - c0);
  Result("list_fill_wall", f1 - f0);
  Result("list_measure_wall", f2 - f1);

  WindowDestroying(*window);
  s.mainWindow = nullptr;
  window.reset();
  CleanUp();
  AudioLibrary_UseBackend(nullptr);
  return rows > 0 ? 0 : 1;
}

int Stop(const std::string& folder, long long bytes) {
  if (bytes < kWaveHeaderBytes || bytes > kMaxImageBytes) {
    std::fprintf(stderr, "size out of range\n");
    return 2;
  }
  SetProgramFolder(folder);
  AppState& s = State();
  s.RecordBuffer.RecordStep = 200000;
  s.InputDevice = -1;  // no device: the stop's device call does nothing
  BASS_Init(0, 44100, 0, nullptr, nullptr);
  s.StorageFolder = folder + "/store/";
  std::filesystem::create_directories(s.StorageFolder);

  constexpr std::uint32_t kRate = 96000;
  if (!PrepareRecordImage(kRate)) {
    std::fprintf(stderr, "no memory for the image\n");
    return 1;
  }
  CreateTempRecording();
  AppendTempRecording(s.RecordBuffer.Bytes(), static_cast<std::size_t>(s.RecordBuffer.RecordUsed()));

  // 0.1 s blocks of a 997 Hz tone, as the capture callback appends them.
  std::vector<std::int16_t> block(2 * kRate / 10);
  for (std::size_t i = 0; i < block.size() / 2; ++i)
    block[2 * i] = block[2 * i + 1] =
        static_cast<std::int16_t>(std::lround(16000 * std::sin(2 * M_PI * 997.0 * double(i) / kRate)));
  const double fill0 = Now();
  for (;;) {
    const long long left = bytes - s.RecordBuffer.RecordUsed();
    if (left <= 0) break;
    const std::size_t n = std::min<std::size_t>(block.size() * 2, static_cast<std::size_t>(left));
    if (!s.RecordBuffer.Append(block.data(), n)) {
      std::fprintf(stderr, "image refused a block at %d bytes\n", s.RecordBuffer.RecordUsed());
      return 1;
    }
    AppendTempRecording(block.data(), n);
  }
  const double fill1 = Now();

  // Until the flusher has nothing left: no new sync for two of its looks.
  std::uint64_t seen = s.TempRecording.SyncCount();
  for (int quiet = 0; quiet < 3;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::uint64_t now = s.TempRecording.SyncCount();
    quiet = now == seen ? quiet + 1 : 0;
    seen = now;
  }
  ::sync();

  const std::string path = s.StorageFolder + "bench.wav";
  const double w0 = Now(), c0 = ProcessCpu();
  StopRecording();
  const double w1 = Now();
  const bool ok = WriteRecordingFile(path);
  const double w2 = Now(), c2 = ProcessCpu();
  ::sync();
  const double w3 = Now();

  if (!ok || std::filesystem::file_size(path) != static_cast<std::uintmax_t>(bytes)) {
    std::fprintf(stderr, "the final file is wrong\n");
    return 1;
  }
  Result("fill_wall", fill1 - fill0);
  Result("stop_recording_wall", w1 - w0);
  Result("write_file_wall", w2 - w1);
  Result("stop_wall", w2 - w0);
  Result("stop_cpu", c2 - c0);
  Result("stop_then_sync_wall", w3 - w0);
  BASS_StreamFree(s.PlaybackStream);
  s.PlaybackStream = 0;
  s.RecordBuffer.Free();
  BASS_Free();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make-wavs" && argc == 4) return MakeWavs(argv[2], std::atoi(argv[3]));
  if (mode == "startup" && (argc == 3 || argc == 4))
    return Startup(argc, argv, argv[2], argc == 3 || std::strcmp(argv[3], "pulse") == 0);
  if (mode == "stop" && argc == 4) return Stop(argv[2], std::atoll(argv[3]));
  std::fprintf(stderr,
               "usage: %s make-wavs DIR COUNT | startup FOLDER [pulse|virtual] | stop FOLDER BYTES\n", argv[0]);
  return 2;
}
