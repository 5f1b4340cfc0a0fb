// The host's MIDI readers: a standard MIDI file parsed and played through
// the voice allocator, or any other bytes cut into messages by length bytes
// and fed to the allocator as a module's output would be.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/midi_file.h"
#include "host/voice_allocator.h"

namespace {

void check(const std::vector<zvhost::VoiceChange>& changes, int32_t voices) {
  for (const auto& c : changes)
    if (c.voice < -1 || c.voice >= voices || !std::isfinite(c.value) || !(c.seconds >= 0.0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  zvhost::VoiceSettings settings;
  settings.voices = 1 + static_cast<int32_t>(size % 5);
  settings.voiceControllers = {1, 7, zvhost::kPressure};
  settings.patchControllers = {1, 121, zvhost::kPressure};
  if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) {
    try {
      const zvhost::MidiSong song = zvhost::parseMidi(std::vector<uint8_t>(data, data + size));
      check(zvhost::allocateVoices(song, settings), settings.voices);
      for (double s : {0.0, song.lengthSeconds})
        if (!std::isfinite(zvhost::songBeats(song, s)) || !(zvhost::songTempo(song, s) > 0.0)) std::abort();
    } catch (const zvhost::MidiError&) {
    }
    return 0;
  }
  zvhost::VoiceAllocator allocator(settings);
  std::vector<zvhost::VoiceChange> changes;
  double seconds = 0.0;
  for (size_t at = 0; at < size;) {
    const size_t length = data[at] % 16;
    const size_t available = size - at - 1;
    const size_t taken = length < available ? length : available;
    allocator.receive(seconds, data + at + 1, taken);
    at += 1 + taken;
    seconds += 0.01;
    changes.clear();
    allocator.takeDue([&](double s) { return s < seconds; }, changes);
    check(changes, settings.voices);
  }
  return 0;
}
