#include "host/render.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "host/midi_routing.h"

namespace zvhost {

int64_t renderLength(const MidiSong* song, const RenderOptions& options, float sampleRate) {
  double seconds = options.seconds >= 0.0 ? options.seconds
                   : song != nullptr      ? song->lengthSeconds + std::max(options.tail, 0.0)
                                          : options.lengthWithoutSong;
  if (!(seconds >= 0.0)) seconds = 0.0;
  if (seconds > options.longest) {
    // Printed as a double: the length may be beyond any integer, or infinite.
    char text[160];
    std::snprintf(text, sizeof text, "the render would last %.6g s, longer than the limit of %.6g s; give --seconds",
                  seconds, options.longest);
    throw RenderError(text);
  }
  return static_cast<int64_t>(std::llround(seconds * sampleRate));
}

RenderStats render(Engine& engine, const BuiltPatch& patch, const MidiSong* song, const RenderOptions& options,
                   const BlockSink& sink, const ProgressSink& progress) {
  const float rate = engine.settings().sampleRate;
  const int32_t blockSize = engine.settings().blockSize;
  const int64_t total = renderLength(song, options, rate);
  MidiRouting routing(engine, patch, song, total);

  RenderStats stats;
  std::vector<float> left(static_cast<size_t>(blockSize));
  std::vector<float> right(static_cast<size_t>(blockSize));
  engine.prepare();
  for (int64_t start = 0; start < total;) {
    const auto frames = static_cast<int32_t>(std::min<int64_t>(blockSize, total - start));
    const int64_t end = start + frames;
    routing.beforeBlock(start, frames);
    engine.processBlock(frames);
    routing.afterBlock(start, frames);
    const float* l = engine.output(0);
    const float* r = engine.settings().outputChannels > 1 ? engine.output(1) : l;
    for (int32_t i = 0; i < frames; ++i) {
      float a = l[i];
      float b = r[i];
      if (!std::isfinite(a)) {
        a = 0.0f;
        ++stats.nonFinite;
      }
      if (!std::isfinite(b)) {
        b = 0.0f;
        ++stats.nonFinite;
      }
      left[static_cast<size_t>(i)] = a;
      right[static_cast<size_t>(i)] = b;
      stats.peak = std::max({stats.peak, std::fabs(a), std::fabs(b)});
    }
    sink(left.data(), right.data(), frames);
    start = end;
    stats.frames = start;
    if (progress) progress(start, total);
  }
  stats.audioSeconds = static_cast<double>(stats.frames) / rate;
  stats.mostNotesHeld = routing.mostNotesHeld();
  return stats;
}

WavWriter::WavWriter(const std::string& path, int32_t sampleRate, int32_t channels, int32_t bits) : path_(path) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  int subtype = bits == 16 ? SF_FORMAT_PCM_16 : bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw RenderError(path + ": " + sf_strerror(nullptr));
  // The peak chunk carries a time stamp; without it two renders are
  // byte-identical.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  file_ = file;
  interleaved_.reserve(kBufferedFrames * 2 + 2 * 8192);
}

WavWriter::~WavWriter() {
  try {
    close();
  } catch (const RenderError&) {
    // Reported by an explicit close(); a destructor cannot.
  }
}

void WavWriter::writeStereo(const float* left, const float* right, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    interleaved_.push_back(left[i]);
    interleaved_.push_back(right[i]);
  }
  // Written in large pieces: a write per block would cost more than the
  // render of a quiet patch.
  if (interleaved_.size() >= kBufferedFrames * 2) flush();
}

void WavWriter::flush() {
  if (interleaved_.empty()) return;
  auto* file = static_cast<SNDFILE*>(file_);
  const auto frames = static_cast<sf_count_t>(interleaved_.size() / 2);
  const bool written = file != nullptr && sf_writef_float(file, interleaved_.data(), frames) == frames;
  interleaved_.clear();
  if (!written) throw RenderError(path_ + ": cannot write: " + sf_strerror(file));
}

void WavWriter::close() {
  if (file_ == nullptr) return;
  // What is still buffered is written; a failure is reported once and the
  // file closed all the same.
  std::string problem;
  try {
    flush();
  } catch (const RenderError& e) {
    problem = e.what();
  }
  sf_close(static_cast<SNDFILE*>(file_));
  file_ = nullptr;
  if (!problem.empty()) throw RenderError(problem);
}

}  // namespace zvhost
