#include "host/midi_routing.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zvhost {
namespace {

template <typename Map>
int sourceIn(const Map& sources, int32_t key) {
  auto found = sources.find(key);
  return found != sources.end() ? found->second : -1;
}

}  // namespace

MidiRouting::MidiRouting(Engine& engine, const BuiltPatch& patch, const MidiSong* song, int64_t totalFrames)
    : engine_(engine), patch_(patch), song_(song), rate_(engine.settings().sampleRate), total_(totalFrames) {
  const bool fed = song_ != nullptr || patch_.voicesMidi >= 0;
  if (fed && (patch_.voices > 0 || !patch_.patchControllers.empty())) {
    VoiceSettings settings;
    settings.voices = patch_.voices;
    settings.releaseSeconds = patch_.voiceRelease;
    if (!patch_.voiceControllers.empty())
      for (const auto& [number, source] : patch_.voiceControllers.front()) settings.voiceControllers.push_back(number);
    for (const auto& [number, source] : patch_.patchControllers) settings.patchControllers.push_back(number);
    allocator_ = std::make_unique<VoiceAllocator>(settings);
  }
  gates_.assign(static_cast<size_t>(std::max(patch_.voices, 0)), 0);
}

// Events of a damaged song may lie further away than any sample count;
// they are past the end of every render, so they saturate there.
int64_t MidiRouting::sampleOf(double seconds) const {
  double sample = seconds * rate_;
  return sample < static_cast<double>(total_) ? static_cast<int64_t>(std::llround(sample)) : total_;
}

void MidiRouting::beforeBlock(int64_t start, int32_t frames) {
  const int64_t end = start + frames;
  const bool songToVoices = patch_.voicesMidi < 0 && allocator_ != nullptr;
  const size_t count = song_ != nullptr ? song_->messages.size() : 0;
  for (; nextMessage_ < count && sampleOf(song_->messages[nextMessage_].seconds) < end; ++nextMessage_) {
    const MidiMessage& m = song_->messages[nextMessage_];
    engine_.sendMidi(static_cast<int32_t>(std::max<int64_t>(sampleOf(m.seconds) - start, 0)), m.data(), m.length());
    if (songToVoices) allocator_->receive(m.seconds, m.data(), static_cast<size_t>(m.length()));
  }
  transport(start, end);
  if (allocator_ == nullptr) return;
  due_.clear();
  allocator_->takeDue([&](double seconds) { return sampleOf(seconds) < end; }, due_);
  for (const VoiceChange& c : due_) apply(c, start);
}

void MidiRouting::afterBlock(int64_t start, int32_t frames) {
  if (patch_.voicesMidi < 0 || allocator_ == nullptr) return;
  engine_.takeMidi(patch_.voicesMidi, sunk_);
  // Several outputs may feed the sink, each in its own time order.
  sunkOrder_.resize(sunk_.size());
  std::iota(sunkOrder_.begin(), sunkOrder_.end(), size_t{0});
  std::stable_sort(sunkOrder_.begin(), sunkOrder_.end(),
                   [&](size_t a, size_t b) { return sunk_.time(a) < sunk_.time(b); });
  for (size_t i : sunkOrder_) {
    const double seconds = static_cast<double>(start + frames + sunk_.time(i)) / rate_;
    allocator_->receive(seconds, sunk_.data(i), static_cast<size_t>(sunk_.length(i)));
  }
}

void MidiRouting::transport(int64_t start, int64_t end) {
  if (song_ != nullptr && patch_.tempoSource >= 0) {
    const auto& tempos = song_->tempos;
    for (; nextTempo_ < tempos.size() && sampleOf(tempos[nextTempo_].seconds) < end; ++nextTempo_) {
      const TempoChange& c = tempos[nextTempo_];
      engine_.setHostSource(patch_.tempoSource, static_cast<int32_t>(std::max<int64_t>(sampleOf(c.seconds) - start, 0)),
                            static_cast<float>(60e6 / c.microsecondsPerQuarter));
    }
  }
  if (patch_.positionSource >= 0) {
    const double seconds = static_cast<double>(start) / rate_;
    const double beats = song_ != nullptr ? songBeats(*song_, seconds) : seconds * 2.0;
    engine_.setHostSource(patch_.positionSource, 0, static_cast<float>(beats));
  }
  if (song_ != nullptr && patch_.playingSource >= 0 && !stopped_ && sampleOf(song_->lengthSeconds) < end) {
    stopped_ = true;
    engine_.setHostSource(patch_.playingSource,
                          static_cast<int32_t>(std::max<int64_t>(sampleOf(song_->lengthSeconds) - start, 0)), 0.0f);
  }
}

void MidiRouting::apply(const VoiceChange& c, int64_t start) {
  int source = -1;
  if (c.voice < 0) {
    source = sourceIn(patch_.patchControllers, c.controller);
  } else if (static_cast<size_t>(c.voice) < patch_.voiceSources.size()) {
    const auto v = static_cast<size_t>(c.voice);
    source = c.input == VoiceInput::Controller ? sourceIn(patch_.voiceControllers[v], c.controller)
                                               : patch_.voiceSources[v][static_cast<size_t>(c.input)];
    if (c.input == VoiceInput::Gate) {
      const uint8_t up = c.value > 0.0f ? 1 : 0;
      held_ += up - gates_[v];
      gates_[v] = up;
      mostHeld_ = std::max(mostHeld_, held_);
    }
  }
  if (source >= 0)
    engine_.setHostSource(source, static_cast<int32_t>(std::max<int64_t>(sampleOf(c.seconds) - start, 0)), c.value);
}

}  // namespace zvhost
