#include "audio/mixer.h"

#include <algorithm>
#include <cstring>

#include "audio/channel_mapper.h"
#include "audio/resampler.h"

namespace audio {

// One source inside a mixer with its conversion state.
struct Mixer::Link {
  Link(std::shared_ptr<Channel> src, const StreamFormat& mixerFormat)
      : source(std::move(src)),
        outChans(mixerFormat.chans),
        // Convert at the smaller channel count: fold before the rate
        // conversion, widen after it.
        midChans(std::min(source->format().chans, mixerFormat.chans)),
        before(source->format().chans, midChans),
        after(midChans, mixerFormat.chans) {
    outRate = mixerFormat.rate;
    if (source->format().rate != mixerFormat.rate)
      resampler = std::make_unique<Resampler>(source->format().rate, mixerFormat.rate, midChans);
  }

  void Reset() {
    pending.clear();
    sourceEnded = false;
    done = false;
    if (resampler) resampler->Reset();
  }

  // Delivers up to `frames` frames at the mixer's rate and channel count.
  std::size_t Produce(float* out, std::size_t frames) {
    if (done || frames == 0) return 0;
    if (!resampler) return ProduceDirect(out, frames);
    const std::size_t inChans = source->format().chans;
    const double ratio = static_cast<double>(source->format().rate) / outRate;
    mid.resize(frames * midChans);
    std::size_t produced = 0;
    while (produced < frames) {
      if (pending.empty() && !sourceEnded) {
        std::size_t want = static_cast<std::size_t>(static_cast<double>(frames - produced) * ratio) + 1;
        want = std::min<std::size_t>(want, 1u << 16);
        raw.resize(want * inChans);
        const std::int64_t got = source->ReadFloat(raw.data(), want);
        if (got == kEnded) {
          sourceEnded = true;
        } else if (got > 0) {
          pending.resize(static_cast<std::size_t>(got) * midChans);
          before.Map(raw.data(), pending.data(), static_cast<std::size_t>(got));
        } else {
          break;  // nothing now
        }
      }
      std::size_t outDone = 0;
      if (!pending.empty()) {
        std::size_t used = 0;
        resampler->Process(pending.data(), pending.size() / midChans, &used, mid.data() + produced * midChans,
                           frames - produced, &outDone);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used * midChans));
        if (used == 0 && outDone == 0) break;  // the converter takes no more now
      } else if (sourceEnded) {
        outDone = resampler->Flush(mid.data() + produced * midChans, frames - produced);
        if (outDone == 0) {
          done = true;
          break;
        }
      }
      produced += outDone;
    }
    after.Map(mid.data(), out, produced);
    return produced;
  }

  std::size_t ProduceDirect(float* out, std::size_t frames) {
    if (before.identity() && after.identity()) {
      const std::int64_t got = source->ReadFloat(out, frames);
      if (got == kEnded) done = true;
      return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    raw.resize(frames * source->format().chans);
    const std::int64_t got = source->ReadFloat(raw.data(), frames);
    if (got == kEnded) done = true;
    if (got <= 0) return 0;
    const auto n = static_cast<std::size_t>(got);
    mid.resize(n * midChans);
    before.Map(raw.data(), mid.data(), n);
    after.Map(mid.data(), out, n);
    return n;
  }

  std::shared_ptr<Channel> source;
  std::uint32_t outChans;
  std::uint32_t midChans;
  ChannelMapper before;
  ChannelMapper after;
  std::unique_ptr<Resampler> resampler;
  double outRate = 0;
  std::vector<float> raw;      // source frames as read
  std::vector<float> pending;  // folded frames the converter has not taken yet
  std::vector<float> mid;      // converted frames before widening
  bool sourceEnded = false;
  bool done = false;  // nothing left: the source ended and the converter is empty
};

Mixer::Mixer(StreamFormat format, bool endWhenIdle) : Channel(format), endWhenIdle_(endWhenIdle) {}

Mixer::~Mixer() = default;

bool Mixer::Add(std::shared_ptr<Channel> source) {
  auto link = std::make_unique<Link>(std::move(source), format());
  if (link->resampler && !link->resampler->ok()) return false;
  std::lock_guard lock(mutex_);
  links_.push_back(std::move(link));
  return true;
}

void Mixer::Remove(const Channel* source) {
  std::unique_ptr<Link> removed;  // released outside the lock
  std::lock_guard lock(mutex_);
  auto it = std::find_if(links_.begin(), links_.end(), [&](const auto& l) { return l->source.get() == source; });
  if (it == links_.end()) return;
  removed = std::move(*it);
  links_.erase(it);
}

bool Mixer::Contains(const Channel* source) const {
  std::lock_guard lock(mutex_);
  return std::any_of(links_.begin(), links_.end(), [&](const auto& l) { return l->source.get() == source; });
}

Channel::Seek Mixer::SetSourcePosition(const Channel* source, std::uint64_t frame) {
  std::lock_guard lock(mutex_);
  for (auto& link : links_) {
    if (link->source.get() != source) continue;
    const Seek result = link->source->SetPosition(frame);
    if (result == Seek::kDone) link->Reset();
    return result;
  }
  return Seek::kNotSeekable;
}

Channel::Seek Mixer::SetPosition(std::uint64_t) {
  std::lock_guard lock(mutex_);
  ended_ = false;
  return Seek::kDone;
}

std::int64_t Mixer::MixLocked(std::size_t frames) {
  if (ended_) return kEnded;
  const std::size_t chans = format().chans;
  mix_.assign(frames * chans, 0.0f);
  std::size_t delivered = 0;
  bool anyLeft = false;
  if (links_.size() == 1) {
    // The usual case: no summing, so equal formats pass through bit for bit.
    delivered = links_[0]->Produce(mix_.data(), frames);
    anyLeft = !links_[0]->done;
  } else {
    scratch_.resize(frames * chans);
    for (auto& link : links_) {
      const std::size_t got = link->Produce(scratch_.data(), frames);
      for (std::size_t i = 0; i < got * chans; ++i) mix_[i] += scratch_[i];
      delivered = std::max(delivered, got);
      anyLeft = anyLeft || !link->done;
    }
  }
  if (delivered == 0 && endWhenIdle_ && !anyLeft) {
    ended_ = true;
    return kEnded;
  }
  return static_cast<std::int64_t>(delivered);
}

std::int64_t Mixer::ReadFloat(float* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  const std::int64_t n = MixLocked(frames);
  if (n > 0) std::memcpy(out, mix_.data(), static_cast<std::size_t>(n) * format().chans * sizeof(float));
  return n;
}

std::int64_t Mixer::ReadOutput(void* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  const std::int64_t n = MixLocked(frames);
  if (n <= 0) return n;
  const std::size_t samples = static_cast<std::size_t>(n) * format().chans;
  if (format().isFloat)
    std::memcpy(out, mix_.data(), samples * sizeof(float));
  else
    FloatToInt16(mix_.data(), static_cast<std::int16_t*>(out), samples);
  return n;
}

}  // namespace audio
