// End-to-end renders: through the engine with the test plug-in, and through
// the zvhost program with the real library.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include "host/render.h"
#include "host/voice_allocator.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

const char* const kSinePatch = R"({
  "voices": 2,
  "voiceRelease": 0.1,
  "voice": {
    "modules": [{"name": "sine", "id": "Test Sine"}],
    "connections": [["voice:pitch", "sine:Pitch"], ["voice:gate", "sine:Gate"], ["voice:velocity", "sine:Velocity"],
                    ["sine:Out", "output:left"], ["sine:Out", "output:right"]]
  }
})";

MidiSong twoNotes() {
  MidiSong song;
  auto add = [&](double t, uint8_t status, uint8_t note, uint8_t velocity) {
    MidiMessage m;
    m.seconds = t;
    m.bytes[0] = status;
    m.bytes[1] = note;
    m.bytes[2] = velocity;
    m.size = 3;
    song.messages.push_back(m);
  };
  add(0.0, 0x90, 69, 127);
  add(0.5, 0x80, 69, 0);
  add(0.5, 0x90, 81, 64);
  add(1.0, 0x80, 81, 0);
  song.lengthSeconds = 1.0;
  return song;
}

struct Rendered {
  std::vector<float> left, right;
  RenderStats stats;
};

Rendered renderSine(int32_t blockSize) {
  auto engine = makeEngine(blockSize);
  PatchText text{"/patches/sine.json", "/patches", kSinePatch};
  BuiltPatch built = buildPatch(text, *engine, TestPlugin::get().descriptions(), 0);
  MidiSong song = twoNotes();
  RenderOptions options;
  options.tail = 0.25;
  Rendered out;
  out.stats = render(*engine, built, &song, options, [&](const float* l, const float* r, int32_t n) {
    out.left.insert(out.left.end(), l, l + n);
    out.right.insert(out.right.end(), r, r + n);
  });
  return out;
}

// Upward zero crossings in [from, to) seconds, as a frequency.
double frequency(const std::vector<float>& s, double from, double to) {
  auto a = static_cast<size_t>(from * 48000.0);
  auto b = static_cast<size_t>(to * 48000.0);
  int crossings = 0;
  for (size_t i = a + 1; i < b; ++i)
    if (s[i - 1] < 0.0f && s[i] >= 0.0f) ++crossings;
  return crossings / (to - from);
}

TEST(Render, SongPlaysAtItsPitchesForItsLengthPlusTail) {
  Rendered r = renderSine(64);
  EXPECT_EQ(r.left.size(), 60000u);  // 1.25 s at 48 kHz
  EXPECT_EQ(r.stats.frames, 60000);
  EXPECT_EQ(r.stats.nonFinite, 0);
  EXPECT_NEAR(r.stats.peak, 1.0f, 0.01f);
  EXPECT_NEAR(frequency(r.left, 0.05, 0.45), 440.0, 5.0);
  EXPECT_NEAR(frequency(r.left, 0.55, 0.95), 880.0, 5.0);
  float quietest = 0.0f;
  for (size_t i = 50000; i < 60000; ++i) quietest = std::max(quietest, std::fabs(r.left[i]));
  EXPECT_EQ(quietest, 0.0f) << "silent after the last note-off";
  float loud = 0.0f;
  for (size_t i = 26000; i < 47000; ++i) loud = std::max(loud, std::fabs(r.left[i]));
  EXPECT_NEAR(loud, 64.0f / 127.0f, 0.01f);
  EXPECT_EQ(r.left, r.right);
}

TEST(Render, DeterministicAndIndependentOfTheBlockLength) {
  Rendered a = renderSine(64);
  Rendered b = renderSine(64);
  EXPECT_EQ(a.left, b.left);
  // Events land on the same samples whatever the block length.
  Rendered c = renderSine(7);
  ASSERT_EQ(a.left.size(), c.left.size());
  double worst = 0.0;
  size_t firstBad = 0;
  for (size_t i = 0; i < a.left.size(); ++i) {
    double d = std::fabs(a.left[i] - c.left[i]);
    if (d > worst && worst < 1e-6) firstBad = i;
    worst = std::max(worst, d);
  }
  EXPECT_EQ(firstBad, 0u);
  EXPECT_LT(worst, 1e-6);
}

Rendered renderSong(const MidiSong& song, double seconds) {
  auto engine = makeEngine(64);
  PatchText text{"/patches/sine.json", "/patches", kSinePatch};
  BuiltPatch built = buildPatch(text, *engine, TestPlugin::get().descriptions(), 0);
  RenderOptions options;
  options.seconds = seconds;
  Rendered out;
  out.stats = render(*engine, built, &song, options, [&](const float* l, const float* r, int32_t n) {
    out.left.insert(out.left.end(), l, l + n);
    out.right.insert(out.right.end(), r, r + n);
  });
  return out;
}

TEST(Render, NotesBeyondAnySampleCountStayOutOfTheRender) {
  MidiSong song = twoNotes();
  song.messages.resize(1);  // a note that never ends
  song.messages[0].seconds = 1e20;
  song.lengthSeconds = 1e20;
  Rendered r = renderSong(song, 0.1);
  EXPECT_EQ(r.left.size(), 4800u);
  EXPECT_EQ(r.stats.peak, 0.0f);
}

// Damaged copies of the shipped song are refused by the reader, or play
// through voice allocation and the engine without a fault.
TEST(Render, DamagedSongsAreRefusedOrRenderFinitely) {
  std::ifstream in(std::string(ZV_EXAMPLES) + "/demo.mid", std::ios::binary);
  std::vector<uint8_t> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(original.size(), 100u);
  std::mt19937 random(4321);
  int played = 0;
  for (int round = 0; round < 120; ++round) {
    std::vector<uint8_t> damaged = original;
    for (int h = 0; h < 3; ++h) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    MidiSong song;
    try {
      song = parseMidi(damaged);
    } catch (const MidiError&) {
      continue;
    }
    VoiceSettings settings;
    settings.voices = 2;
    for (const VoiceChange& c : allocateVoices(song, settings)) {
      ASSERT_TRUE(c.voice >= 0 && c.voice < 2) << "round " << round;
      ASSERT_TRUE(std::isfinite(c.value) && c.seconds >= 0.0) << "round " << round;
    }
    Rendered r = renderSong(song, 0.25);
    ASSERT_EQ(r.left.size(), 12000u) << "round " << round;
    EXPECT_EQ(r.stats.nonFinite, 0) << "round " << round;
    ++played;
  }
  EXPECT_GT(played, 10);
}

TEST(Render, NonFiniteSamplesAreWrittenAsSilenceAndCounted) {
  auto engine = makeEngine(16);
  int source = add(*engine, "Test Const", "nan");
  engine->setConstant({source, 0}, rawFloat(std::nanf("")));
  engine->connectOutput({source, 1}, 0);
  RenderOptions options;
  options.seconds = 100.0 / 48000.0;
  std::vector<float> left;
  RenderStats stats = render(*engine, BuiltPatch{}, nullptr, options,
                             [&](const float* l, const float*, int32_t n) { left.insert(left.end(), l, l + n); });
  EXPECT_EQ(stats.nonFinite, 100);
  EXPECT_EQ(left, std::vector<float>(100, 0.0f));
  EXPECT_EQ(stats.peak, 0.0f);
}

TEST(Render, LengthFollowsTheSongOrTheGivenSecondsWithinALimit) {
  MidiSong song;
  song.lengthSeconds = 1.5;
  RenderOptions options;
  options.tail = 0.5;
  EXPECT_EQ(renderLength(&song, options, 1000.0f), 2000);
  EXPECT_EQ(renderLength(nullptr, options, 1000.0f), 4000);
  options.seconds = 0.25;
  EXPECT_EQ(renderLength(&song, options, 1000.0f), 250);
  // A song whose last event lies days away is refused, not rendered.
  options.seconds = -1.0;
  song.lengthSeconds = 90000.0;
  EXPECT_THROW(renderLength(&song, options, 1000.0f), RenderError);
  // Lengths beyond any integer are reported as they are.
  for (double seconds : {1e300, std::numeric_limits<double>::infinity()}) {
    options.seconds = seconds;
    try {
      renderLength(&song, options, 1000.0f);
      ADD_FAILURE() << seconds << " s accepted";
    } catch (const RenderError& e) {
      std::string message = e.what();
      EXPECT_EQ(message.find("last -"), std::string::npos) << message;
      EXPECT_NE(message.find("limit of 3600 s"), std::string::npos) << message;
    }
  }
}

// The zvhost program with the real library.
TEST(HostProgram, RendersTheExampleToIdenticalWavFiles) {
  namespace fs = std::filesystem;
  fs::path folder = scratchFolder("zvhost_program");
  std::string patch = std::string(ZV_EXAMPLES) + "/mixm_voices.json";
  std::string midi = std::string(ZV_EXAMPLES) + "/demo.mid";
  for (const char* name : {"a.wav", "b.wav"}) {
    HostRun run = runHost("render " + patch + " --midi " + midi + " --tail 0.5 -o " + (folder / name).string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("realtime"), std::string::npos) << run.output;
  }
  EXPECT_EQ(readAll(folder / "a.wav"), readAll(folder / "b.wav"));

  SF_INFO info{};
  SNDFILE* file = sf_open((folder / "a.wav").string().c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, 48000);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
  std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
  sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  // The demo song lasts 14.1 s.
  EXPECT_NEAR(static_cast<double>(info.frames) / 48000.0, 14.1 + 0.5, 0.01);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float v) { return std::isfinite(v); }));
  EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.05f);

  HostRun pcm =
      runHost("render " + patch + " --seconds 0.5 --bits 16 --rate 44100 --quiet -o " + (folder / "c.wav").string());
  ASSERT_EQ(pcm.status, 0) << pcm.output;
  // Quiet: no summary. Without a song nothing sounds, and that is said.
  EXPECT_EQ(pcm.output, "zvhost: warning: the render is silent: every sample is 0\n");
  file = sf_open((folder / "c.wav").string().c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
  EXPECT_EQ(info.frames, 22050);
  sf_close(file);
}

// The shipped examples through the real library: the wavetable voice chain
// and the SoundFont voice chain play the demo song audibly, finitely and the
// same way twice. Their exact samples are pinned by the golden hashes.
TEST(HostProgram, RendersTheShippedExamples) {
  namespace fs = std::filesystem;
  fs::path folder = scratchFolder("zvhost_examples");
  std::string midi = std::string(ZV_EXAMPLES) + "/demo.mid";
  struct Example {
    const char* patch;
    const char* files;
  };
  const Example examples[] = {
      {"demo.json", ZV_WAVETABLES}, {"soundfont.json", ZV_SOUNDFONTS}, {"panel.json", ZV_WAVETABLES}};
  for (const auto& [patch, files] : examples) {
    SCOPED_TRACE(patch);
    std::string arguments = "render " + std::string(ZV_EXAMPLES) + "/" + patch + " --midi " + midi +
                            " --tail 1 --quiet --files " + files + " -o ";
    ASSERT_EQ(runHost(arguments + (folder / "a.wav").string()).status, 0);
    ASSERT_EQ(runHost(arguments + (folder / "b.wav").string()).status, 0);
    EXPECT_EQ(readAll(folder / "a.wav"), readAll(folder / "b.wav"));

    SF_INFO info{};
    SNDFILE* file = sf_open((folder / "a.wav").string().c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    EXPECT_NEAR(static_cast<double>(info.frames) / 48000.0, 14.1 + 1.0, 0.01);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float v) { return std::isfinite(v); }));
    // Sound in every second of the song, in both channels.
    for (int64_t second = 0; second < 14; ++second) {
      float left = 0.0f, right = 0.0f;
      for (int64_t i = second * 48000; i < (second + 1) * 48000; ++i) {
        left = std::max(left, std::abs(samples[static_cast<size_t>(2 * i)]));
        right = std::max(right, std::abs(samples[static_cast<size_t>(2 * i + 1)]));
      }
      EXPECT_GT(left, 0.01f) << "second " << second;
      EXPECT_GT(right, 0.01f) << "second " << second;
    }
  }
}

// What a new user meets: the bundled wavetables and SoundFont are found
// without being named; a file a module names that exists nowhere is
// reported with the module, the name and every folder tried.
TEST(HostProgram, FindsTheBundledFilesAndReportsMissingOnes) {
  namespace fs = std::filesystem;
  fs::path folder = scratchFolder("zvhost_warnings");
  const std::string midi = std::string(ZV_EXAMPLES) + "/demo.mid";
  for (const char* patch : {"demo.json", "soundfont.json"}) {
    HostRun run = runHost("render " + std::string(ZV_EXAMPLES) + "/" + patch + " --midi " + midi +
                          " --seconds 2 --quiet -o " + (folder / "found.wav").string());
    EXPECT_EQ(run.status, 0) << patch;
    EXPECT_EQ(run.output, "") << patch;
  }

  std::ofstream(folder / "missing.json") << R"({
    "voices": 3,
    "modules": [{"name": "tables", "id": "INIT Osc ZVQR", "values": {"Reference File": "nowhere.zvw"}}],
    "voice": {"modules": [{"name": "sampler", "id": "SampleLoader3Gui", "values": {"Filename": "gone.sf2"}}]}
  })";
  HostRun run = runHost("render " + (folder / "missing.json").string() + " --seconds 0.1 --quiet --files " +
                        (folder / "extra").string() + " -o " + (folder / "missing.wav").string());
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string tried =
      "which is not in any of these folders: " + folder.string() + ", " + (folder / "extra").string() + ", ";
  EXPECT_NE(run.output.find("zvhost: warning: \"tables\" (INIT Osc ZVQR) names the file \"nowhere.zvw\", " + tried),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("wavetables"), std::string::npos) << "the bundled folders are tried too: " << run.output;
  // Three voices ask for the same file: one warning.
  const auto first = run.output.find("names the file \"gone.sf2\"");
  ASSERT_NE(first, std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"sampler (voice 1)\" (SampleLoader3Gui)"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("names the file \"gone.sf2\"", first + 1), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("the render is silent: every sample is 0 (see the warnings above)"), std::string::npos)
      << run.output;
}

TEST(HostProgram, ErrorsGoToStandardErrorWithConventionalExitCodes) {
  namespace fs = std::filesystem;
  fs::path folder = scratchFolder("zvhost_program");
  std::ofstream(folder / "bad.json") << R"({"modules": [{"name": "m", "id": "ZV MixM", "values": {"On": "yes"}}]})";
  HostRun bad = runHost("render " + (folder / "bad.json").string() + " -o " + (folder / "bad.wav").string());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("bad.json: modules[0] (\"m\").values.\"On\""), std::string::npos) << bad.output;
  EXPECT_FALSE(fs::exists(folder / "bad.wav"));

  std::ofstream(folder / "bad.mid") << "MThd garbage";
  HostRun midi =
      runHost("render " + std::string(ZV_EXAMPLES) + "/mixm_voices.json --midi " + (folder / "bad.mid").string());
  EXPECT_EQ(midi.status, 1);
  EXPECT_NE(midi.output.find("bad.mid: "), std::string::npos) << midi.output;

  EXPECT_EQ(runHost("render").status, 2);
  EXPECT_EQ(runHost("render x.json --block 0").status, 2);
  EXPECT_EQ(runHost("frobnicate").status, 2);
  HostRun help = runHost("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("zvhost render PATCH"), std::string::npos);
  HostRun describe = runHost("describe 'ZV MixM'");
  EXPECT_EQ(describe.status, 0);
  EXPECT_NE(describe.output.find("Modulator"), std::string::npos) << describe.output;
  EXPECT_EQ(runHost("describe 'No Such Module'").status, 1);
}

TEST(HostProgram, ListsTheLibrarysModulesWithTheirSides) {
  HostRun list = runHost("list");
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find("ZV MixM                          audio"), std::string::npos) << list.output;
  HostRun plugin = runHost(std::string("list --library ") + ZV_TEST_PLUGIN + " --descriptions " + ZV_TEST_DESCRIPTIONS);
  ASSERT_EQ(plugin.status, 0) << plugin.output;
  EXPECT_NE(plugin.output.find("Test Gui Double                        gui"), std::string::npos) << plugin.output;
  EXPECT_EQ(plugin.output.find("ZV MixM"), std::string::npos) << "not in the test plug-in";
}

}  // namespace
}  // namespace zvhost::testing
