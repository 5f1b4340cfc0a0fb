// What the song and the patch's own MIDI do in each block of a render:
// the song's messages reach "midi:in" at their samples; the voices play the
// song, or what the patch sends to "voices:midi" one block after it was
// sent, at the same offsets; the voice allocator's changes reach the voices'
// host inputs; the song's tempo map drives "host:tempo", "host:position" and
// "host:playing" (without a song: 120 BPM from 0, playing throughout).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/engine.h"
#include "host/midi_buffer.h"
#include "host/midi_file.h"
#include "host/patch.h"
#include "host/voice_allocator.h"

namespace zvhost {

class MidiRouting {
 public:
  // The song may be null; totalFrames is the render's length.
  MidiRouting(Engine& engine, const BuiltPatch& patch, const MidiSong* song, int64_t totalFrames);

  // Around the block of frames from sample start on.
  void beforeBlock(int64_t start, int32_t frames);
  void afterBlock(int64_t start, int32_t frames);

  // The most voices whose gate was up at once, so far.
  int32_t mostNotesHeld() const { return mostHeld_; }

 private:
  int64_t sampleOf(double seconds) const;
  void transport(int64_t start, int64_t end);
  void apply(const VoiceChange& change, int64_t start);

  Engine& engine_;
  const BuiltPatch& patch_;
  const MidiSong* song_;
  const float rate_;
  const int64_t total_;
  std::unique_ptr<VoiceAllocator> allocator_;
  size_t nextMessage_ = 0;
  size_t nextTempo_ = 0;
  bool stopped_ = false;
  std::vector<VoiceChange> due_;
  MidiBuffer sunk_;
  std::vector<size_t> sunkOrder_;
  std::vector<uint8_t> gates_;
  int32_t held_ = 0;
  int32_t mostHeld_ = 0;
};

}  // namespace zvhost
