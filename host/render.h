// Offline rendering: drives an engine block by block with the MIDI of a
// song (host/midi_routing.h) and hands each stereo block to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/engine.h"
#include "host/midi_file.h"
#include "host/patch.h"

namespace zvhost {

struct RenderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct RenderOptions {
  double seconds = -1.0;  // fixed length; negative: the song plus the tail
  double tail = 2.0;      // after the song's last event
  double lengthWithoutSong = 4.0;
  double longest = 3600.0;
};

struct RenderStats {
  int64_t frames = 0;
  double audioSeconds = 0.0;
  float peak = 0.0f;
  int64_t nonFinite = 0;      // samples replaced by 0
  int32_t mostNotesHeld = 0;  // the most voices whose gate was up at once
};

// Left and right samples of one block (finite), and the frames rendered so far.
using BlockSink = std::function<void(const float* left, const float* right, int32_t frames)>;
using ProgressSink = std::function<void(int64_t done, int64_t total)>;

int64_t renderLength(const MidiSong* song, const RenderOptions& options, float sampleRate);
RenderStats render(Engine& engine, const BuiltPatch& patch, const MidiSong* song, const RenderOptions& options,
                   const BlockSink& sink, const ProgressSink& progress = nullptr);

// Each sample × 32768 rounded to nearest and clipped to 16 bits, for finite
// samples; left and right alternate in out.
void interleavePcm16(const float* left, const float* right, int16_t* out, size_t frames);

// WAV through libsndfile; bits 32 writes float, 16 and 24 PCM (clipped).
class WavWriter {
 public:
  WavWriter(const std::string& path, int32_t sampleRate, int32_t channels, int32_t bits);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;
  // Buffered; written when enough has gathered and at close().
  void writeStereo(const float* left, const float* right, int32_t frames);
  void close();

 private:
  // A megabyte of 16-bit frames a write: the system then keeps the file in
  // large pages, and writing, replacing and closing it cost half as much as
  // in 64 KiB pieces.
  static constexpr size_t kBufferedFrames = 262144;
  void flush();

  void* file_ = nullptr;
  std::string path_;
  int32_t bits_;
  std::vector<float> interleaved_;  // 24 and 32 bits
  std::vector<int16_t> pcm_;        // 16 bits
  size_t used_ = 0;                 // samples held in the one in use
};

}  // namespace zvhost
