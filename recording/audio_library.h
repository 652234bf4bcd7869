#pragma once
// The audio library as the program sees it: devices, capture, output, push
// streams, converting mixers, memory and file streams. The operations keep the
// names, arguments, flags and results the program's routines are written
// against; the work is done by our own library in audio/.
//
// Conventions: handles are 32-bit, 0 means none or failure. Device numbers
// are signed, -1 asks for the default device. Every operation sets the error
// code that BASS_ErrorGetCode returns (BASS_OK on success). Nothing here ever
// shows UI or prints.
//
// Threads: device operations act on the calling thread's current device,
// set by BASS_WASAPI_SetDevice or the last successful BASS_WASAPI_Init on that
// thread. Inside a device callback the current device is the device that
// runs the callback.

#include <cstdint>
#include <memory>
#include <string>

using BOOL32 = int;            // 0 = false, non-zero = true
using HSTREAM = std::uint32_t; // stream or mixer handle, 0 = none
using HCHANNEL = std::uint32_t;
using QWORD64 = std::uint64_t;

// --- error codes -----------------------------------------------------------
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;        // out of memory
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file could not be opened
constexpr int BASS_ERROR_DRIVER = 3;     // no sound server / device failed
constexpr int BASS_ERROR_HANDLE = 5;     // bad, zero or freed handle
constexpr int BASS_ERROR_FORMAT = 6;     // unsupported sample format
constexpr int BASS_ERROR_POSITION = 7;   // invalid position
constexpr int BASS_ERROR_INIT = 8;       // BASS_Init / BASS_WASAPI_Init not done
constexpr int BASS_ERROR_START = 9;      // could not start
constexpr int BASS_ERROR_ALREADY = 14;   // already initialised / already added
constexpr int BASS_ERROR_NOTAUDIO = 17;  // not an audio file
constexpr int BASS_ERROR_ILLPARAM = 20;  // illegal parameter
constexpr int BASS_ERROR_DEVICE = 23;    // illegal device number
constexpr int BASS_ERROR_NOTAVAIL = 37;  // not available
constexpr int BASS_ERROR_ENDED = 45;     // the channel has ended
constexpr int BASS_ERROR_UNKNOWN = -1;

// --- configuration and device flags ----------------------------------------
constexpr std::uint32_t BASS_CONFIG_UPDATETHREADS = 24;
constexpr std::uint32_t BASS_DEVICE_3D = 4;

constexpr std::uint32_t BASS_DEVICE_ENABLED = 1;
constexpr std::uint32_t BASS_DEVICE_DEFAULT = 2;
constexpr std::uint32_t BASS_DEVICE_LOOPBACK = 8;
constexpr std::uint32_t BASS_DEVICE_INPUT = 16;

constexpr std::uint32_t BASS_WASAPI_CURVE_WINDOWS = 2;
constexpr std::uint32_t BASS_DATA_AVAILABLE = 0;

// --- stream flags ----------------------------------------------------------
constexpr std::uint32_t BASS_SAMPLE_FLOAT = 0x100;
constexpr std::uint32_t BASS_MIXER_POSEX = 0x2000;
constexpr std::uint32_t BASS_MIXER_END = 0x10000;
constexpr std::uint32_t BASS_STREAM_DECODE = 0x200000;
constexpr std::uint32_t BASS_UNICODE = 0x80000000u;
constexpr std::uint32_t BASS_POS_BYTE = 0;
constexpr std::uint32_t BASS_STREAMPROC_END = 0x80000000u;  // BASS_StreamPutData: this is the last data

// --- records ---------------------------------------------------------------
struct BASS_WASAPI_DEVICEINFO {
  std::string name;        // the device's description as the desktop shows it
  std::uint32_t flags = 0; // BASS_DEVICE_* bits
  std::uint32_t mixfreq = 0;
  std::uint32_t mixchans = 0;
};

struct BASS_WASAPI_INFO {
  std::uint32_t freq = 0;   // the device's own rate
  std::uint32_t chans = 0;  // the device's own channel count
  std::uint32_t buflen = 0; // ring capacity in bytes
};

// Device callback. Capture: receives `length` bytes of 32-bit float frames;
// returns non-zero to continue, 0 to stop the device. Output: fills up to
// `length` bytes; returns the byte count written, negative for "no data now".
using WASAPIPROC = std::int32_t (*)(void* buffer, std::uint32_t length, void* user);

// Stream procedure; only the push form is offered.
using STREAMPROC = std::uint32_t (*)(HSTREAM, void*, std::uint32_t, void*);
inline const STREAMPROC STREAMPROC_PUSH = reinterpret_cast<STREAMPROC>(static_cast<std::intptr_t>(-1));

// --- library ---------------------------------------------------------------
BOOL32 BASS_SetConfig(std::uint32_t option, std::uint32_t value);
BOOL32 BASS_Init(int device, std::uint32_t freq, std::uint32_t flags, void* window, void* clsid);
BOOL32 BASS_Free();
int BASS_ErrorGetCode();

// --- devices ---------------------------------------------------------------
BOOL32 BASS_WASAPI_GetDeviceInfo(std::uint32_t device, BASS_WASAPI_DEVICEINFO* info);
BOOL32 BASS_WASAPI_Init(int device, std::uint32_t freq, std::uint32_t chans, std::uint32_t flags,
                        float buffer, float period, WASAPIPROC proc, void* user);
BOOL32 BASS_WASAPI_Free();
BOOL32 BASS_WASAPI_Start();
// Capture: reset 1 drops what has arrived and not yet been delivered; 0
// delivers it to the callback before Stop returns (from inside the callback
// it stays queued for the next start). Output: 1 drops the queue, 0 lets it
// play out.
BOOL32 BASS_WASAPI_Stop(BOOL32 reset);
BOOL32 BASS_WASAPI_IsStarted();
BOOL32 BASS_WASAPI_SetDevice(std::uint32_t device);
int BASS_WASAPI_GetDevice();  // -1 on failure
BOOL32 BASS_WASAPI_GetInfo(BASS_WASAPI_INFO* info);
BOOL32 BASS_WASAPI_SetVolume(std::uint32_t curve, float volume);
float BASS_WASAPI_GetVolume(std::uint32_t curve);  // -1 on failure
std::int32_t BASS_WASAPI_GetData(void* buffer, std::uint32_t length);  // -1 on failure

// --- streams ---------------------------------------------------------------
HSTREAM BASS_StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags, STREAMPROC proc,
                          void* user);
// length may carry BASS_STREAMPROC_END: once what is queued has been read,
// the stream reports its end (a converter behind it gives out its tail).
// Data put after that starts it again. Returns the bytes queued.
std::int32_t BASS_StreamPutData(HSTREAM handle, const void* buffer, std::uint32_t length);
// mem != 0: `file` points to `length` bytes the caller owns and keeps alive
// until the stream is freed. mem == 0: `file` is a UTF-8 path (also with
// BASS_UNICODE); offset/length 0 means the whole file.
HSTREAM BASS_StreamCreateFile(BOOL32 mem, const void* file, QWORD64 offset, QWORD64 length,
                              std::uint32_t flags);
BOOL32 BASS_StreamFree(HSTREAM handle);

HSTREAM BASS_Mixer_StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags);
BOOL32 BASS_Mixer_StreamAddChannel(HSTREAM mixer, HCHANNEL channel, std::uint32_t flags);
BOOL32 BASS_Mixer_ChannelSetPosition(HCHANNEL handle, QWORD64 pos, std::uint32_t mode);

std::int32_t BASS_ChannelGetData(HCHANNEL handle, void* buffer, std::uint32_t length);  // -1 error/ended
BOOL32 BASS_ChannelSetPosition(HCHANNEL handle, QWORD64 pos, std::uint32_t mode);
QWORD64 BASS_ChannelGetLength(HCHANNEL handle, std::uint32_t mode);  // all bits set on failure
double BASS_ChannelBytes2Seconds(HCHANNEL handle, QWORD64 pos);     // negative on failure
BOOL32 BASS_ChannelStop(HCHANNEL handle);

// --- backend selection (tests only) -----------------------------------------
namespace audio {
class DeviceBackend;
}
// Replaces the device backend (PulseAudio by default). Call only while no
// device is initialised. Passing nullptr restores the PulseAudio backend.
void AudioLibrary_UseBackend(std::shared_ptr<audio::DeviceBackend> backend);
