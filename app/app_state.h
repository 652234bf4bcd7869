#pragma once
// The program-wide state: every item exists once for the whole run.
// Window thread unless a member says otherwise.
#include <cstdint>
#include <string>

#include "recording/audio_library.h"
#include "recording/wave_image.h"

class TrayIcon;
class AudioPlayer;
class MainWindow;

struct AppState {
  TrayIcon* trayIcon = nullptr;        // constructed at start-up
  WaveHeaderRecord WaveHeader{};       // header of the current recording, all 0 at start
  AudioPlayer* audioPlayer = nullptr;  // constructed at start-up
  MainWindow* mainWindow = nullptr;

  std::string StorageFolder;           // ends with "/" once set
  int InputDevice = -1;
  bool DeviceListFilling = false;
  HSTREAM InputStream = 0;             // read by the capture callback
  HSTREAM RecordMixer = 0;             // not 0 exactly while a recording runs; read by the capture callback

  std::int32_t ElapsedHours = 0;
  std::int32_t ElapsedMinutes = 0;
  std::int32_t ElapsedSeconds = 0;

  RecordImage RecordBuffer;            // the in-memory image with RecordUsed and RecordStep
  std::string TempRecordingPath;
  TempRecordingFile TempRecording;     // the open mirror file, "0" when closed
  std::string TempRecordingCreatedPath;

  int OutputDevice = -1;
  HSTREAM OutputMixer = 0;             // read by the output callback
  HSTREAM PlaybackStream = 0;

  std::string BrowseStartFolder;
};

// The one instance.
AppState& State();

// The folder that holds the configuration file, TempRecording and the
// default storage folder, without a trailing "/". Set once at start-up (tests
// set a temporary folder).
const std::string& ProgramFolder();
void SetProgramFolder(const std::string& folder);
