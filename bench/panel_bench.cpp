// What zvhost's scope picture costs against the render it shows.
//
// BM_RenderDemoSong: the baseline, examples/demo.json playing the whole demo
// song (about 16 s with its tail) through the real library, as zvhost renders
// it; the patch's scope captures all along.
// BM_ScopePng: at the end of that render, the scope's GUI side draws its
// last capture on an 800 x 300 canvas and the canvas is written as PNG.
// BM_ScopeSheet: the same for a contact sheet of a frame every 2 s (nine
// frames, 3212 x 908), drawn and written.
#include "bench/support/bench_support.h"

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "host/canvas.h"
#include "host/descriptions.h"
#include "host/engine.h"
#include "host/library_loader.h"
#include "host/midi_file.h"
#include "host/patch.h"
#include "host/png_writer.h"
#include "host/render.h"
#include "host/scope_sheet.h"

namespace {

using namespace zvhost;

struct Setup {
  Setup() : library(ZV_LIBRARY) {
    factory = library.factory();
    tick = reinterpret_cast<MpGuiTimerTickFunction>(library.symbol(MP_GUI_TIMER_TICK_NAME));
    period = reinterpret_cast<MpGuiTimerPeriodFunction>(library.symbol(MP_GUI_TIMER_PERIOD_NAME));
    descriptions.loadFolder(ZV_DESCRIPTIONS);
    patch = readPatchFile(std::string(ZV_EXAMPLES) + "/demo.json");
    song = readMidiFile(std::string(ZV_EXAMPLES) + "/demo.mid");
    png = (std::filesystem::temp_directory_path() / ("zv_panel_bench_" + std::to_string(::getpid()) + ".png")).string();
  }
  ~Setup() { std::remove(png.c_str()); }

  // A fresh engine that has rendered the whole song.
  std::unique_ptr<Engine> rendered(BuiltPatch& built) {
    auto engine =
        std::make_unique<Engine>(factory, EngineSettings{}, FileResolver(patch.folder, {ZV_WAVETABLES}), tick, period);
    built = buildPatch(patch, *engine, descriptions, 0);
    render(*engine, built, &song, RenderOptions{}, [](const float*, const float*, int32_t) {});
    return engine;
  }

  LibraryLoader library;
  IMpFactory* factory = nullptr;
  MpGuiTimerTickFunction tick = nullptr;
  MpGuiTimerPeriodFunction period = nullptr;
  DescriptionSet descriptions;
  PatchText patch;
  MidiSong song;
  std::string png;
};

// The shared setup, or null (the benchmark marked as failed) when the
// library does not load.
Setup* loaded(benchmark::State& state) {
  static Setup s;
  if (s.factory != nullptr) return &s;
  state.SkipWithError("the library does not load");
  return nullptr;
}

void BM_RenderDemoSong(benchmark::State& state) {
  Setup* loadedSetup = loaded(state);
  if (loadedSetup == nullptr) return;
  Setup& s = *loadedSetup;
  for (auto _ : state) {
    BuiltPatch built;
    benchmark::DoNotOptimize(s.rendered(built));
  }
}
BENCHMARK(BM_RenderDemoSong)->Unit(benchmark::kMillisecond);

void BM_ScopePng(benchmark::State& state) {
  Setup* loadedSetup = loaded(state);
  if (loadedSetup == nullptr) return;
  Setup& s = *loadedSetup;
  BuiltPatch built;
  auto engine = s.rendered(built);
  const int scope = built.modules.at("scope").gui;
  for (auto _ : state) {
    Canvas canvas(800, 300);
    engine->drawGui(scope, canvas, 800, 300);
    writePng(s.png, canvas.width(), canvas.height(), canvas.rgb());
  }
}
BENCHMARK(BM_ScopePng)->Unit(benchmark::kMillisecond);

void BM_ScopeSheet(benchmark::State& state) {
  Setup* loadedSetup = loaded(state);
  if (loadedSetup == nullptr) return;
  Setup& s = *loadedSetup;
  BuiltPatch built;
  auto engine = s.rendered(built);
  const int scope = built.modules.at("scope").gui;
  const int64_t total = renderLength(&s.song, RenderOptions{}, 48000.0f);
  for (auto _ : state) {
    ScopeSheet sheet(800, 300, 2.0, total, 48000.0f);
    sheet.finish(*engine, scope);
    writePng(s.png, sheet.image().width(), sheet.image().height(), sheet.image().rgb());
  }
}
BENCHMARK(BM_ScopeSheet)->Unit(benchmark::kMillisecond);

}  // namespace

ZV_BENCH_MAIN({{"BM_ScopePng", "BM_RenderDemoSong"}, {"BM_ScopeSheet", "BM_RenderDemoSong"}})
