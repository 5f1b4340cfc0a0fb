#include "host/render.h"

#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/midi_routing.h"

namespace zvhost {

namespace {

constexpr uint32_t kInfinityBits = 0x7F800000u;

// Without the sign bit the patterns are non-negative ints, whose maximum
// SSE2 finds four at a time.
uint32_t largestMagnitudeBits(const float* x, int32_t count) {
  int32_t largest = 0;
  for (int32_t i = 0; i < count; ++i) {
    int32_t bits;
    std::memcpy(&bits, x + i, 4);
    bits &= 0x7FFFFFFF;
    largest = bits > largest ? bits : largest;
  }
  return static_cast<uint32_t>(largest);
}

}  // namespace

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
    const bool stereo = engine.settings().outputChannels > 1;
    const float* r = stereo ? engine.output(1) : l;
    // A quiet patch costs little more than a look at its samples; with both
    // channels known to be zeros there is nothing to look at. Otherwise the
    // look is one the compiler vectorises: magnitudes compared as their
    // bits, which order finite floats as their values and put infinities
    // and NaN above all. A block is copied only to clean it.
    const bool silent = engine.outputSilent(0) && (!stereo || engine.outputSilent(1));
    const uint32_t loudest = silent ? 0u : std::max(largestMagnitudeBits(l, frames), largestMagnitudeBits(r, frames));
    if (loudest < kInfinityBits) {
      stats.peak = std::max(stats.peak, std::bit_cast<float>(loudest));
      sink(l, r, frames);
    } else {
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
    }
    start = end;
    stats.frames = start;
    if (progress) progress(start, total);
  }
  stats.audioSeconds = static_cast<double>(stats.frames) / rate;
  stats.mostNotesHeld = routing.mostNotesHeld();
  return stats;
}

WavWriter::WavWriter(const std::string& path, int32_t sampleRate, int32_t channels, int32_t bits)
    : path_(path), bits_(bits) {
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
  // Room for a full buffer and one more block of the largest size.
  if (bits == 16) {
    pcm_.resize(kBufferedFrames * 2 + 2 * 8192);
  } else {
    interleaved_.resize(kBufferedFrames * 2 + 2 * 8192);
  }
}

WavWriter::~WavWriter() {
  try {
    close();
  } catch (const RenderError&) {
    // Reported by an explicit close(); a destructor cannot.
  }
}

// The loop in plain C++ is not vectorised (the float clamps would have to
// become min and max, which differ for NaN), so SSE2 does eight frames at a
// time: clamps, conversion in the default rounding (to nearest, ties to
// even), a saturating pack that finds nothing left to saturate, and the two
// channels' words interleaved.
void interleavePcm16(const float* left, const float* right, int16_t* out, size_t frames) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128 scale = _mm_set1_ps(32768.0f);
  const __m128 highest = _mm_set1_ps(32767.0f);
  const __m128 lowest = _mm_set1_ps(-32768.0f);
  auto four = [&](const float* p) {
    const __m128 y = _mm_max_ps(_mm_min_ps(_mm_mul_ps(_mm_loadu_ps(p), scale), highest), lowest);
    return _mm_cvtps_epi32(y);
  };
  for (; i + 8 <= frames; i += 8) {
    const __m128i l = _mm_packs_epi32(four(left + i), four(left + i + 4));
    const __m128i r = _mm_packs_epi32(four(right + i), four(right + i + 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi16(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 8), _mm_unpackhi_epi16(l, r));
  }
#endif
  auto one = [](float x) {
    float y = x * 32768.0f;
    y = y < 32767.0f ? y : 32767.0f;
    y = y > -32768.0f ? y : -32768.0f;
    return static_cast<int16_t>(std::lrint(y));
  };
  for (; i < frames; ++i) {
    out[2 * i] = one(left[i]);
    out[2 * i + 1] = one(right[i]);
  }
}

void WavWriter::writeStereo(const float* left, const float* right, int32_t frames) {
  if (frames <= 0) return;
  const auto count = static_cast<size_t>(frames);
  // The buffers keep their size; used_ says how much of one is filled.
  auto room = [&](auto& buffer) {
    if (used_ + 2 * count > buffer.size()) flush();
    if (2 * count > buffer.size()) buffer.resize(2 * count);
    return buffer.data() + used_;
  };
  // 16 bits are converted as they come: one pass, and four times faster
  // than the library's sample-by-sample way.
  if (bits_ == 16) {
    interleavePcm16(left, right, room(pcm_), count);
  } else {
    float* out = room(interleaved_);
    for (size_t i = 0; i < count; ++i) {
      out[2 * i] = left[i];
      out[2 * i + 1] = right[i];
    }
  }
  used_ += 2 * count;
  // Written in large pieces: a write per block would cost more than the
  // render of a quiet patch.
  if (used_ >= kBufferedFrames * 2) flush();
}

void WavWriter::flush() {
  if (used_ == 0) return;
  auto* file = static_cast<SNDFILE*>(file_);
  const auto frames = static_cast<sf_count_t>(used_ / 2);
  used_ = 0;
  bool written = false;
  if (file != nullptr && bits_ == 16) {
    written = sf_writef_short(file, pcm_.data(), frames) == frames;
  } else if (file != nullptr) {
    written = sf_writef_float(file, interleaved_.data(), frames) == frames;
  }
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
