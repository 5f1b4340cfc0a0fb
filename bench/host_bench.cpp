// The reference host rendering the demo patch with 16 and 64 voices, all
// sounding: realtime factor (audio seconds per CPU second) and cost per
// voice-sample. The library is loaded at run time, as zvhost does. Until
// the demo's modules are in the library the MixM example stands in.
#include "bench/support/bench_support.h"

#include <cstdio>
#include <memory>
#include <string>

#include "host/descriptions.h"
#include "host/engine.h"
#include "host/library_loader.h"
#include "host/patch.h"
#include "host/render.h"

namespace {

using namespace zvhost;

constexpr double kSeconds = 2.0;

struct Setup {
  Setup() : library(ZV_LIBRARY) {
    factory = library.factory();
    descriptions.loadFolder(ZV_DESCRIPTIONS);
    patch = readPatchFile(std::string(ZV_EXAMPLES) + "/demo.json");
    try {
      EngineSettings settings;
      Engine probe(factory, settings, FileResolver(patch.folder, {ZV_WAVETABLES}));
      buildPatch(patch, probe, descriptions, 1);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "demo patch unavailable (%s); rendering the MixM example\n", e.what());
      patch = readPatchFile(std::string(ZV_EXAMPLES) + "/mixm_voices.json");
    }
  }
  LibraryLoader library;
  IMpFactory* factory = nullptr;
  DescriptionSet descriptions;
  PatchText patch;
};

Setup& setup() {
  static Setup s;
  return s;
}

// One note per voice, entering 10 ms apart over a two-octave spread and
// held through the render.
MidiSong chord(int voices) {
  MidiSong song;
  for (int v = 0; v < voices; ++v) {
    MidiMessage m;
    m.seconds = 0.01 * v;
    m.bytes[0] = 0x90;
    m.bytes[1] = static_cast<uint8_t>(48 + (v * 7) % 24);
    m.bytes[2] = 100;
    m.size = 3;
    song.messages.push_back(m);
  }
  song.lengthSeconds = kSeconds;
  return song;
}

void BM_RenderDemo(benchmark::State& state) {
  const auto voices = static_cast<int32_t>(state.range(0));
  Setup& s = setup();
  MidiSong song = chord(voices);
  RenderOptions options;
  options.seconds = kSeconds;
  int64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EngineSettings settings;
    auto engine = std::make_unique<Engine>(s.factory, settings, FileResolver(s.patch.folder, {ZV_WAVETABLES}));
    BuiltPatch built = buildPatch(s.patch, *engine, s.descriptions, voices);
    engine->prepare();
    state.ResumeTiming();
    RenderStats stats = render(*engine, built, &song, options, [](const float*, const float*, int32_t) {});
    frames = stats.frames;
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
  zvbench::countSamples(state, frames * voices);
  state.counters["realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RenderDemo)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

ZV_BENCH_MAIN({{"BM_RenderDemo/64", "BM_RenderDemo/16"}})
