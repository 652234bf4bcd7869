// Conversion quality and speed of the recording mixer (float capture at the
// device's rate → 16-bit stereo at the offered rate, no dither), side by side
// with sox doing the same conversion (`sox -D ... rate -h`).
//
// Quality: SNR of a -1 dBFS 997 Hz sine, from a least-squares sine fit of
// the output (the residual is everything that is not the sine: quantisation,
// conversion error, lost or doubled samples). Speed: seconds of audio
// converted per second of processor time on one core ("× real time").
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "recording/audio_library.h"

namespace {

constexpr double kFreq = 997.0;
const double kAmp = std::pow(10.0, -1.0 / 20.0);  // -1 dBFS, full scale 1.0 = 32768
constexpr double kQualitySeconds = 10.0;
constexpr double kSpeedSeconds = 60.0;

std::vector<float> Sine(std::uint32_t rate, double seconds) {
  const auto frames = static_cast<std::size_t>(rate * seconds);
  std::vector<float> x(2 * frames);
  for (std::size_t i = 0; i < frames; ++i)
    x[2 * i] = x[2 * i + 1] = static_cast<float>(kAmp * std::sin(2 * M_PI * kFreq * double(i) / rate));
  return x;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The capture path: 10 ms blocks pushed, the mixer drained in pulls of at
// most 50000 bytes after each block.
std::vector<std::int16_t> ConvertOurs(const std::vector<float>& in, std::uint32_t from, std::uint32_t to,
                                      double* cpuSeconds) {
  const HSTREAM push = BASS_StreamCreate(from, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
  const HSTREAM mixer = BASS_Mixer_StreamCreate(to, 2, BASS_STREAM_DECODE);
  BASS_Mixer_StreamAddChannel(mixer, push, 0);
  std::vector<std::int16_t> out;
  out.reserve(static_cast<std::size_t>(double(in.size()) * to / from) + 100000);
  std::vector<unsigned char> pull(50000);
  const std::size_t block = 2 * (from / 100);
  const double start = ThreadCpuSeconds();
  for (std::size_t at = 0; at < in.size(); at += block) {
    const std::size_t n = std::min(block, in.size() - at);
    BASS_StreamPutData(push, in.data() + at, static_cast<std::uint32_t>(n * sizeof(float)));
    int got;
    while ((got = BASS_ChannelGetData(mixer, pull.data(), 50000)) > 0) {
      const std::size_t old = out.size();
      out.resize(old + static_cast<std::size_t>(got) / 2);
      std::memcpy(out.data() + old, pull.data(), static_cast<std::size_t>(got));
    }
  }
  *cpuSeconds = ThreadCpuSeconds() - start;
  BASS_StreamFree(mixer);
  BASS_StreamFree(push);
  return out;
}

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

std::vector<std::int16_t> ConvertSox(const std::vector<float>& in, std::uint32_t from, std::uint32_t to,
                                     double* cpuSeconds, bool* ok) {
  const std::string dir = "/tmp/tavrin-conversion-bench-" + std::to_string(getpid());
  const std::string inPath = dir + "-in.f32", outPath = dir + "-out.s16";
  std::ofstream(inPath, std::ios::binary).write(reinterpret_cast<const char*>(in.data()), std::streamsize(in.size() * 4));
  const std::string cmd = "sox --single-threaded -D -t raw -e floating-point -b 32 -c 2 -r " + std::to_string(from) + " " +
                          inPath + " -t raw -e signed-integer -b 16 -c 2 " + outPath + " rate -h " + std::to_string(to) +
                          " 2>/dev/null";
  const double before = ChildCpuSeconds();
  *ok = std::system(cmd.c_str()) == 0;
  *cpuSeconds = ChildCpuSeconds() - before;
  std::ifstream f(outPath, std::ios::binary | std::ios::ate);
  const std::streamoff bytes = f ? static_cast<std::streamoff>(f.tellg()) : 0;
  std::vector<std::int16_t> out(static_cast<std::size_t>(std::max<std::streamoff>(bytes, 0)) / 2);
  f.seekg(0);
  f.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size() * 2));
  std::remove(inPath.c_str());
  std::remove(outPath.c_str());
  return out;
}

// SNR in dB of the left channel against the best-fitting 997 Hz sine, over
// the output without its first and last 0.5 s (filter start-up and tail).
double Snr(const std::vector<std::int16_t>& pcm, std::uint32_t rate) {
  const std::size_t frames = pcm.size() / 2;
  const std::size_t skip = rate / 2;
  if (frames < 3 * skip) return 0;
  const double w = 2 * M_PI * kFreq / rate;
  double m[3][3] = {}, r[3] = {};
  for (std::size_t n = skip; n < frames - skip; ++n) {
    const double b[3] = {std::sin(w * double(n)), std::cos(w * double(n)), 1.0};
    const double x = pcm[2 * n] / 32768.0;
    for (int i = 0; i < 3; ++i) {
      r[i] += b[i] * x;
      for (int j = 0; j < 3; ++j) m[i][j] += b[i] * b[j];
    }
  }
  for (int i = 0; i < 3; ++i)
    for (int k = i + 1; k < 3; ++k) {
      const double f = m[k][i] / m[i][i];
      for (int j = 0; j < 3; ++j) m[k][j] -= f * m[i][j];
      r[k] -= f * r[i];
    }
  double c[3];
  for (int i = 2; i >= 0; --i) {
    double s = r[i];
    for (int j = i + 1; j < 3; ++j) s -= m[i][j] * c[j];
    c[i] = s / m[i][i];
  }
  double noise = 0;
  for (std::size_t n = skip; n < frames - skip; ++n) {
    const double e = pcm[2 * n] / 32768.0 - (c[0] * std::sin(w * double(n)) + c[1] * std::cos(w * double(n)) + c[2]);
    noise += e * e;
  }
  noise /= double(frames - 2 * skip);
  const double signal = (c[0] * c[0] + c[1] * c[1]) / 2;
  return 10 * std::log10(signal / noise);
}

// Round to nearest, saturate: what equal rates must give bit for bit.
std::vector<std::int16_t> Quantise(const std::vector<float>& in) {
  std::vector<std::int16_t> q(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const double s = std::nearbyint(double(in[i]) * 32768.0);
    q[i] = static_cast<std::int16_t>(std::fmax(-32768.0, std::fmin(32767.0, s)));
  }
  return q;
}

}  // namespace

int main() {
  if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) {
    std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
    return 1;
  }
  std::printf("Conversion of a -1 dBFS 997 Hz stereo sine, float at the device rate -> 16-bit stereo, no dither\n");
  std::printf("SNR over %.0f s (target >= 97.0 dB); speed over %.0f s of audio, one core, x real time\n\n",
              kQualitySeconds, kSpeedSeconds);
  std::printf("%-7s %-7s | %9s %9s | %-31s | %10s %10s\n", "device", "offered", "SNR ours", "SNR sox", "equal-rate check",
              "ours x RT", "sox x RT");
  std::printf("-----------------------------------------------------------------------------------------------------\n");
  bool allMet = true;
  for (std::uint32_t device : {44100u, 48000u}) {
    for (std::uint32_t offered : {96000u, 48000u, 44100u, 32000u, 22050u}) {
      const auto in = Sine(device, kQualitySeconds);
      double cpu = 0, soxCpu = 0;
      bool soxOk = false;
      const auto ours = ConvertOurs(in, device, offered, &cpu);
      const auto sox = ConvertSox(in, device, offered, &soxCpu, &soxOk);
      const double snrOurs = Snr(ours, offered);
      const double snrSox = soxOk ? Snr(sox, offered) : NAN;
      std::string check = "-";
      if (device == offered) {
        const bool exact = ours == Quantise(in);
        std::size_t differ = 0;
        int most = 0;
        for (std::size_t i = 0; i < std::min(ours.size(), sox.size()); ++i) {
          differ += ours[i] != sox[i];
          most = std::max(most, std::abs(int(ours[i]) - int(sox[i])));
        }
        check = std::string(exact ? "bit-exact" : "NOT exact") + "; sox: " + std::to_string(differ) + " off by <=" +
                std::to_string(most);
        allMet = allMet && exact;
      }
      allMet = allMet && snrOurs >= 97.0;

      const auto longIn = Sine(device, kSpeedSeconds);
      ConvertOurs(longIn, device, offered, &cpu);
      ConvertSox(longIn, device, offered, &soxCpu, &soxOk);
      std::printf("%-7u %-7u | %9.2f %9.2f | %-31s | %10.0f %10.0f\n", device, offered, snrOurs, snrSox, check.c_str(),
                  kSpeedSeconds / cpu, soxOk ? kSpeedSeconds / soxCpu : NAN);
      std::fflush(stdout);
    }
  }
  std::printf("\n%s\n", allMet ? "All targets met." : "Some target NOT met.");
  BASS_Free();
  return allMet ? 0 : 2;
}
