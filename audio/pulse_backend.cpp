#include "audio/pulse_backend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

namespace audio {

namespace {

constexpr std::uint32_t kEnabled = 1;
constexpr std::uint32_t kDefault = 2;
constexpr std::uint32_t kLoopback = 8;
constexpr std::uint32_t kInput = 16;

// Holds the main loop's lock for a scope. Never taken on the main loop's own
// thread (its callbacks already run under it).
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* ml) : ml_(ml) { pa_threaded_mainloop_lock(ml_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(ml_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* ml_;
};

// What one enumeration found. Filled by the info callbacks on the main loop's
// thread while the asking thread waits (control path, not the audio path).
struct Found {
  bool source = false;
  std::string paName;
  std::string description;
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  pa_channel_map map{};
  bool monitor = false;
  bool portUnavailable = false;
};

struct Query {
  pa_threaded_mainloop* ml = nullptr;
  std::vector<Found> found;
  std::string defaultSource;
  std::string defaultSink;
  bool success = false;
  float volume = -1.0f;
};

void SignalLoop(pa_threaded_mainloop* ml) { pa_threaded_mainloop_signal(ml, 0); }

void OnContextState(pa_context*, void* ml) { SignalLoop(static_cast<pa_threaded_mainloop*>(ml)); }

void OnServerInfo(pa_context*, const pa_server_info* i, void* ud) {
  auto* q = static_cast<Query*>(ud);
  if (i) {
    q->defaultSource = i->default_source_name ? i->default_source_name : "";
    q->defaultSink = i->default_sink_name ? i->default_sink_name : "";
  }
  SignalLoop(q->ml);
}

template <typename Info>
void Collect(Query* q, const Info* i, bool source, bool monitor) {
  Found f;
  f.source = source;
  f.paName = i->name ? i->name : "";
  f.description = i->description ? i->description : f.paName;
  f.rate = i->sample_spec.rate;
  f.channels = i->sample_spec.channels;
  f.map = i->channel_map;
  f.monitor = monitor;
  f.portUnavailable = i->active_port && i->active_port->available == PA_PORT_AVAILABLE_NO;
  q->found.push_back(std::move(f));
}

void OnSourceInfo(pa_context*, const pa_source_info* i, int eol, void* ud) {
  auto* q = static_cast<Query*>(ud);
  if (eol == 0 && i) Collect(q, i, true, i->monitor_of_sink != PA_INVALID_INDEX);
  SignalLoop(q->ml);
}

void OnSinkInfo(pa_context*, const pa_sink_info* i, int eol, void* ud) {
  auto* q = static_cast<Query*>(ud);
  if (eol == 0 && i) Collect(q, i, false, false);
  SignalLoop(q->ml);
}

void OnSourceVolume(pa_context*, const pa_source_info* i, int eol, void* ud) {
  auto* q = static_cast<Query*>(ud);
  if (eol == 0 && i) q->volume = static_cast<float>(pa_cvolume_avg(&i->volume)) / PA_VOLUME_NORM;
  SignalLoop(q->ml);
}

void OnSinkVolume(pa_context*, const pa_sink_info* i, int eol, void* ud) {
  auto* q = static_cast<Query*>(ud);
  if (eol == 0 && i) q->volume = static_cast<float>(pa_cvolume_avg(&i->volume)) / PA_VOLUME_NORM;
  SignalLoop(q->ml);
}

void OnSuccess(pa_context*, int success, void* ud) {
  auto* q = static_cast<Query*>(ud);
  q->success = success != 0;
  SignalLoop(q->ml);
}

// Caller holds the loop lock.
bool WaitFor(pa_threaded_mainloop* ml, pa_operation* op) {
  if (!op) return false;
  while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(ml);
  const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
  pa_operation_unref(op);
  return done;
}

}  // namespace

struct PulseBackend::Core {
  struct Entry {
    Found device;
    bool present = false;
    std::uint32_t flags = 0;
  };

  std::string server;
  pa_threaded_mainloop* ml = nullptr;
  pa_context* ctx = nullptr;  // guarded by the loop lock
  std::mutex mutex;           // the device table and connection set-up
  std::vector<Entry> entries;

  ~Core() {
    if (!ml) return;
    {
      LoopLock lock(ml);
      if (ctx) {
        pa_context_set_state_callback(ctx, nullptr, nullptr);
        pa_context_disconnect(ctx);
        pa_context_unref(ctx);
        ctx = nullptr;
      }
    }
    pa_threaded_mainloop_stop(ml);
    pa_threaded_mainloop_free(ml);
  }

  // Caller holds `mutex`. Connects (again) when there is no ready context.
  bool Connect() {
    if (!ml) {
      ml = pa_threaded_mainloop_new();
      if (!ml) return false;
      if (pa_threaded_mainloop_start(ml) < 0) {
        pa_threaded_mainloop_free(ml);
        ml = nullptr;
        return false;
      }
    }
    LoopLock lock(ml);
    if (ctx && pa_context_get_state(ctx) == PA_CONTEXT_READY) return true;
    if (ctx) {
      pa_context_set_state_callback(ctx, nullptr, nullptr);
      pa_context_disconnect(ctx);
      pa_context_unref(ctx);
      ctx = nullptr;
    }
    ctx = pa_context_new(pa_threaded_mainloop_get_api(ml), "Tavrin");
    if (!ctx) return false;
    pa_context_set_state_callback(ctx, OnContextState, ml);
    // Never spawn a server: with none, the library simply has no devices.
    if (pa_context_connect(ctx, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
      for (;;) {
        const pa_context_state_t st = pa_context_get_state(ctx);
        if (st == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(st)) break;
        pa_threaded_mainloop_wait(ml);
      }
    }
    pa_context_set_state_callback(ctx, nullptr, nullptr);
    pa_context_disconnect(ctx);
    pa_context_unref(ctx);
    ctx = nullptr;
    return false;
  }

  // Caller holds `mutex`. Asks the server for its devices and merges them into
  // the table: known names keep their numbers, new ones are appended.
  void Refresh() {
    Query q;
    const bool ok = Connect() && [&] {
      q.ml = ml;
      LoopLock lock(ml);
      return WaitFor(ml, pa_context_get_server_info(ctx, OnServerInfo, &q)) &&
             WaitFor(ml, pa_context_get_source_info_list(ctx, OnSourceInfo, &q)) &&
             WaitFor(ml, pa_context_get_sink_info_list(ctx, OnSinkInfo, &q));
    }();
    for (auto& e : entries) e.present = false;
    if (ok) {
      for (auto& f : q.found) {
        auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
          return e.device.source == f.source && e.device.paName == f.paName;
        });
        if (it == entries.end()) it = entries.insert(entries.end(), Entry{});
        it->device = std::move(f);
        it->present = true;
      }
    }
    for (auto& e : entries) {
      const Found& d = e.device;
      std::uint32_t flags = 0;
      if (e.present && !d.portUnavailable) flags |= kEnabled;
      if (d.source) flags |= kInput;
      if (d.monitor) flags |= kLoopback;
      const std::string& def = d.source ? q.defaultSource : q.defaultSink;
      if (e.present && !d.monitor && !def.empty() && d.paName == def) flags |= kDefault;
      e.flags = flags;
    }
  }

  const Entry* Find(std::uint32_t number) const { return number < entries.size() ? &entries[number] : nullptr; }
};

namespace {

// One record or playback stream. The callbacks run on the main loop's thread
// and only move samples between the server and the ring side (sink/source).
class PulseStream final : public DeviceStream {
 public:
  PulseStream(std::shared_ptr<PulseBackend::Core> core, const StreamParams& params, CaptureSink* sink,
              OutputSource* source)
      : core_(std::move(core)),
        rate_(params.rate),
        channels_(params.channels),
        frameBytes_(params.channels * sizeof(float)),
        sink_(sink),
        source_(source) {}

  ~PulseStream() override {
    LoopLock lock(core_->ml);
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }

  // Window thread, with the table locked.
  bool Connect(const Found& device, std::size_t periodFrames) {
    LoopLock lock(core_->ml);
    pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, rate_, static_cast<std::uint8_t>(channels_)};
    const pa_channel_map* map =
        pa_channel_map_valid(&device.map) && device.map.channels == channels_ ? &device.map : nullptr;
    stream_ = pa_stream_new(core_->ctx, sink_ ? "Tavrin capture" : "Tavrin playback", &spec, map);
    if (!stream_) return false;
    pa_stream_set_state_callback(stream_, OnState, core_->ml);
    const std::uint32_t periodBytes = static_cast<std::uint32_t>(periodFrames * frameBytes_);
    // Ask for small pieces: left to itself the server hands a record stream
    // its data in lumps of about two seconds.
    const std::uint32_t fiftyMs = static_cast<std::uint32_t>(rate_ / 20 * frameBytes_);
    const std::uint32_t piece = std::max<std::uint32_t>(
        std::min(periodBytes / 2, fiftyMs), static_cast<std::uint32_t>(frameBytes_));
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int rc;
    const auto common = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (sink_) {
      attr.fragsize = piece;
      pa_stream_set_read_callback(stream_, OnRead, this);
      rc = pa_stream_connect_record(stream_, device.paName.c_str(), &attr, common);
    } else {
      // The server holds at least 200 ms ahead: a client thread descheduled
      // for longer than the server's buffer lets the stream underrun, and the
      // silence is heard in the middle of the playback (50 ms was too little
      // on a loaded machine). The ring behind it keeps the rest of the buffer.
      const std::uint32_t fifthSecond = static_cast<std::uint32_t>(rate_ / 5 * frameBytes_);
      attr.tlength = std::max(2 * piece, fifthSecond);
      attr.minreq = piece / 2 / static_cast<std::uint32_t>(frameBytes_) * static_cast<std::uint32_t>(frameBytes_);
      if (attr.minreq == 0) attr.minreq = static_cast<std::uint32_t>(frameBytes_);
      pa_stream_set_write_callback(stream_, OnWrite, this);
      rc = pa_stream_connect_playback(
          stream_, device.paName.c_str(), &attr,
          static_cast<pa_stream_flags_t>(common | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE),
          nullptr, nullptr);
    }
    if (rc < 0) return false;
    for (;;) {
      const pa_stream_state_t st = pa_stream_get_state(stream_);
      if (st == PA_STREAM_READY) return true;
      if (!PA_STREAM_IS_GOOD(st)) return false;
      pa_threaded_mainloop_wait(core_->ml);
    }
  }

  // Output thread (or any thread but the main loop's).
  std::uint64_t PendingFrames() override {
    LoopLock lock(core_->ml);
    const std::uint64_t end = realEnd_.load();
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) return 0;  // nothing more will play
    pa_usec_t played = 0;
    if (pa_stream_get_time(stream_, &played) < 0) return end;  // no timing yet: nothing played
    const std::uint64_t playedFrames = played * rate_ / 1000000u;
    return end > playedFrames ? end - playedFrames : 0;
  }

 private:
  static void OnState(pa_stream*, void* ml) { SignalLoop(static_cast<pa_threaded_mainloop*>(ml)); }

  // Main loop thread: copy into the ring; a hole arrives as silence.
  static void OnRead(pa_stream* s, std::size_t, void* ud) {
    auto* self = static_cast<PulseStream*>(ud);
    for (;;) {
      const void* data = nullptr;
      std::size_t bytes = 0;
      if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
      self->sink_->Write(static_cast<const float*>(data), bytes / self->frameBytes_);
      pa_stream_drop(s);
    }
  }

  // Main loop thread: take from the ring, silence for what it lacks.
  static void OnWrite(pa_stream* s, std::size_t nbytes, void* ud) {
    auto* self = static_cast<PulseStream*>(ud);
    const std::size_t fb = self->frameBytes_;
    while (nbytes >= fb) {
      void* data = nullptr;
      std::size_t bytes = nbytes;
      if (pa_stream_begin_write(s, &data, &bytes) < 0 || !data) return;
      bytes = std::min(bytes, nbytes);
      bytes -= bytes % fb;
      if (bytes == 0) {
        pa_stream_cancel_write(s);
        return;
      }
      const std::size_t frames = bytes / fb;
      auto* f = static_cast<float*>(data);
      const std::size_t got = self->source_->Read(f, frames);
      std::memset(f + got * self->channels_, 0, (frames - got) * fb);
      if (got > 0) self->realEnd_.store(self->written_ + got);
      self->written_ += frames;
      if (pa_stream_write(s, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
      nbytes -= bytes;
    }
  }

  std::shared_ptr<PulseBackend::Core> core_;
  const std::uint32_t rate_;
  const std::uint32_t channels_;
  const std::size_t frameBytes_;
  CaptureSink* const sink_;
  OutputSource* const source_;
  pa_stream* stream_ = nullptr;
  std::uint64_t written_ = 0;                 // frames written; main loop thread only
  std::atomic<std::uint64_t> realEnd_{0};     // stream position just after the last real frame
};

}  // namespace

PulseBackend::PulseBackend(std::string server) : core_(std::make_shared<Core>()) {
  core_->server = std::move(server);
}

PulseBackend::~PulseBackend() = default;

bool PulseBackend::Available() {
  std::lock_guard lock(core_->mutex);
  return core_->Connect();
}

std::vector<DeviceInfo> PulseBackend::Devices(bool refresh) {
  std::lock_guard lock(core_->mutex);
  if (refresh || core_->entries.empty()) core_->Refresh();
  std::vector<DeviceInfo> out;
  out.reserve(core_->entries.size());
  for (const auto& e : core_->entries)
    out.push_back({e.device.description, e.flags, e.device.rate, e.device.channels});
  return out;
}

bool PulseBackend::Probe(std::uint32_t number) {
  std::lock_guard lock(core_->mutex);
  core_->Refresh();
  const auto* e = core_->Find(number);
  return e && e->present && (e->flags & kEnabled);
}

std::unique_ptr<DeviceStream> PulseBackend::OpenCapture(std::uint32_t number, const StreamParams& params,
                                                        CaptureSink& sink) {
  std::lock_guard lock(core_->mutex);
  if (!core_->Connect()) return nullptr;
  const auto* e = core_->Find(number);
  if (!e || !e->present || !e->device.source) return nullptr;
  auto s = std::make_unique<PulseStream>(core_, params, &sink, nullptr);
  if (!s->Connect(e->device, params.periodFrames)) return nullptr;
  return s;
}

std::unique_ptr<DeviceStream> PulseBackend::OpenOutput(std::uint32_t number, const StreamParams& params,
                                                       OutputSource& source) {
  std::lock_guard lock(core_->mutex);
  if (!core_->Connect()) return nullptr;
  const auto* e = core_->Find(number);
  if (!e || !e->present || e->device.source) return nullptr;
  auto s = std::make_unique<PulseStream>(core_, params, nullptr, &source);
  if (!s->Connect(e->device, params.periodFrames)) return nullptr;
  return s;
}

bool PulseBackend::SetVolume(std::uint32_t number, float level) {
  std::lock_guard lock(core_->mutex);
  const auto* e = core_->Find(number);
  if (!e || !e->present || !core_->Connect()) return false;
  pa_cvolume cv;
  const auto v = static_cast<pa_volume_t>(std::lround(std::clamp(level, 0.0f, 1.0f) * PA_VOLUME_NORM));
  pa_cvolume_set(&cv, static_cast<unsigned>(std::max<std::uint32_t>(e->device.channels, 1)), v);
  Query q;
  q.ml = core_->ml;
  LoopLock loop(core_->ml);
  const char* name = e->device.paName.c_str();
  pa_operation* op = e->device.source
                         ? pa_context_set_source_volume_by_name(core_->ctx, name, &cv, OnSuccess, &q)
                         : pa_context_set_sink_volume_by_name(core_->ctx, name, &cv, OnSuccess, &q);
  return WaitFor(core_->ml, op) && q.success;
}

std::optional<float> PulseBackend::GetVolume(std::uint32_t number) {
  std::lock_guard lock(core_->mutex);
  const auto* e = core_->Find(number);
  if (!e || !e->present || !core_->Connect()) return std::nullopt;
  Query q;
  q.ml = core_->ml;
  LoopLock loop(core_->ml);
  const char* name = e->device.paName.c_str();
  pa_operation* op = e->device.source
                         ? pa_context_get_source_info_by_name(core_->ctx, name, OnSourceVolume, &q)
                         : pa_context_get_sink_info_by_name(core_->ctx, name, OnSinkVolume, &q);
  if (!WaitFor(core_->ml, op) || q.volume < 0.0f) return std::nullopt;
  return q.volume;
}

}  // namespace audio
