// The reference host's cost.
//
// BM_HostVoices: the host alone. A plug-in built in here answers with
// modules that do nothing but follow their gate (streaming while it is up,
// static and asleep when it falls), wired like the SoundFont voice of
// examples/soundfont.json (four modules a voice, host inputs, one-source
// and two-source audio inputs, two output channels). What a render costs is
// then the host's: per block, and per sounding voice and block. Arguments:
// voices in the patch, notes sounding.
//
// BM_RenderDemo: examples/demo.json through the real library with 16 and
// 64 voices, all sounding: realtime factor and cost per voice-sample. The
// library is loaded at run time, as zvhost does.
#include "bench/support/bench_support.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "frame/host_support.h"
#include "host/descriptions.h"
#include "host/engine.h"
#include "host/library_loader.h"
#include "host/patch.h"
#include "host/render.h"

namespace {

using namespace zvhost;

constexpr double kSeconds = 2.0;

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

// Pins: 0 gate (float), 1 and 2 audio inputs, 3 audio output.
class NullModule final : public IMpPlugin {
 public:
  explicit NullModule(IMpUnknown* host) {
    void* face = nullptr;
    if (host != nullptr && host->queryInterface(&MP_IID_AUDIO_HOST, &face) == MP_OK)
      host_ = static_cast<IMpAudioHost*>(static_cast<IMpUnknown*>(face));
  }
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override {
    *out = nullptr;
    if (!mpGuidEqual(iid, MP_IID_PLUGIN) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
    *out = static_cast<IMpPlugin*>(this);
    addRef();
    return MP_OK;
  }
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override {
    if (--references_ > 0) return references_;
    if (host_ != nullptr) host_->release();
    delete this;
    return 0;
  }
  int32_t MP_STDCALL openModule() override { return MP_OK; }
  int32_t MP_STDCALL attachPinBuffer(int32_t pin, float* buffer) override {
    if (pin == 3) out_ = buffer;
    return pin >= 1 && pin <= 3 ? MP_OK : MP_FAIL;
  }
  void MP_STDCALL processBlock(int32_t frames, const MpEvent* events) override {
    for (const MpEvent* e = events; e != nullptr; e = e->next) {
      if (e->type == MP_EVENT_GRAPH_START) {
        host_->sendPinStreaming(e->time, 3, false);
      } else if (e->type == MP_EVENT_PIN_VALUE && e->pin == 0 && e->size == 4) {
        float gate = 0.0f;
        std::memcpy(&gate, &e->data1, 4);
        if ((gate > 0.0f) != up_) {
          up_ = gate > 0.0f;
          host_->sendPinStreaming(e->time, 3, up_);
        }
      }
    }
    if (!up_) {
      std::fill_n(out_, frames, 0.0f);
      host_->requestSleep();
    }
  }
  int32_t MP_STDCALL messageFromGui(int32_t, int32_t, const void*) override { return MP_OK; }

 private:
  IMpAudioHost* host_ = nullptr;
  float* out_ = nullptr;
  bool up_ = false;
  int32_t references_ = 0;
};

class NullFactory final : public IMpFactory {
 public:
  int32_t MP_STDCALL queryInterface(const MpGuid*, void** out) override {
    *out = nullptr;
    return MP_UNHANDLED;
  }
  int32_t MP_STDCALL addRef() override { return 1; }
  int32_t MP_STDCALL release() override { return 1; }
  int32_t MP_STDCALL createInstance(const MpChar*, int32_t side, IMpUnknown* host, void** out) override {
    *out = nullptr;
    if (side != 0) return MP_UNHANDLED;
    auto* module = new NullModule(host);
    module->addRef();
    *out = static_cast<IMpUnknown*>(module);
    return MP_OK;
  }
  int32_t MP_STDCALL getSdkInformation(int32_t*, int32_t, MpChar*) override { return MP_UNHANDLED; }
};

const char* const kNullDescription = R"(<?xml version="1.0" encoding="utf-8" ?>
<PluginList>
  <Plugin id="Null Voice" name="Null Voice" category="Bench">
    <Audio>
      <Pin id="0" name="Gate" direction="in" datatype="float" />
      <Pin id="1" name="In" direction="in" datatype="float" rate="audio" />
      <Pin id="2" name="In 2" direction="in" datatype="float" rate="audio" />
      <Pin id="3" name="Out" direction="out" datatype="float" rate="audio" />
    </Audio>
  </Plugin>
</PluginList>)";

// "sampler" and "env" take host inputs; the two amplifiers read one of them
// in place each and both of them summed, and feed the output channels.
const char* const kNullPatch = R"({
  "voice": {
    "modules": [{"name": "sampler", "id": "Null Voice"}, {"name": "env", "id": "Null Voice"},
                {"name": "ampL", "id": "Null Voice"}, {"name": "ampR", "id": "Null Voice"}],
    "connections": [
      ["voice:gate", "sampler:Gate"], ["voice:gate", "env:Gate"], ["voice:gate", "ampL:Gate"], ["voice:gate", "ampR:Gate"],
      ["voice:pitch", "sampler:In"], ["voice:velocity", "sampler:In 2"], ["voice:active", "env:In"],
      ["sampler:Out", "ampL:In"], ["env:Out", "ampL:In 2"], ["sampler:Out", "ampR:In"], ["env:Out", "ampR:In 2"],
      ["ampL:Out", "output:left"], ["ampR:Out", "output:right"]
    ]
  }
})";

void BM_HostVoices(benchmark::State& state) {
  const auto voices = static_cast<int32_t>(state.range(0));
  const auto sounding = static_cast<int>(state.range(1));
  static NullFactory factory;
  DescriptionSet descriptions;
  descriptions.loadText(kNullDescription, "bench");
  PatchText patch{"null.json", ".", kNullPatch};
  MidiSong song = chord(sounding);
  song.lengthSeconds = kSeconds;
  RenderOptions options;
  options.seconds = kSeconds;
  int64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EngineSettings settings;
    auto engine = std::make_unique<Engine>(&factory, settings, FileResolver());
    BuiltPatch built = buildPatch(patch, *engine, descriptions, voices);
    engine->prepare();
    state.ResumeTiming();
    RenderStats stats = render(*engine, built, &song, options, [](const float*, const float*, int32_t) {});
    frames = stats.frames;
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
  const double blocks = static_cast<double>(frames) / EngineSettings{}.blockSize;
  zvbench::countSamples(state, frames);
  state.counters["ns/block"] =
      benchmark::Counter(blocks * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  if (sounding > 0)
    state.counters["ns/voice-block"] = benchmark::Counter(
        blocks * sounding * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HostVoices)
    ->Args({160, 64})
    ->Args({160, 16})
    ->Args({160, 0})
    ->Args({16, 16})
    ->Unit(benchmark::kMillisecond);

struct DemoSetup {
  DemoSetup() : library(ZV_LIBRARY) {
    factory = library.factory();
    descriptions.loadFolder(ZV_DESCRIPTIONS);
    patch = readPatchFile(std::string(ZV_EXAMPLES) + "/demo.json");
  }
  LibraryLoader library;
  IMpFactory* factory = nullptr;
  DescriptionSet descriptions;
  PatchText patch;
};

DemoSetup& demoSetup() {
  static DemoSetup s;
  return s;
}

void BM_RenderDemo(benchmark::State& state) {
  const auto voices = static_cast<int32_t>(state.range(0));
  DemoSetup& s = demoSetup();
  if (s.factory == nullptr) {
    state.SkipWithError("the library does not load");
    return;
  }
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

// The host's cost with no note against 64 sounding: what idle voices cost.
ZV_BENCH_MAIN({{"BM_HostVoices/160/0", "BM_HostVoices/160/64"},
               {"BM_HostVoices/160/16", "BM_HostVoices/160/64"},
               {"BM_RenderDemo/64", "BM_RenderDemo/16"}})
