// End-to-end renders: through the engine with the test plug-in, and through
// the zvhost program with the real library.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

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
#include <tuple>

#include "host/library_loader.h"
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

TEST(Render, SixteenBitSamplesAreRoundedToNearestAndClipped) {
  const struct {
    float x;
    int16_t expected;
  } cases[] = {
      {0.0f, 0},
      {-0.0f, 0},
      {1000.25f / 32768.0f, 1000},
      {1000.75f / 32768.0f, 1001},
      {-1000.25f / 32768.0f, -1000},
      {-1000.75f / 32768.0f, -1001},
      {0.5f / 32768.0f, 0},  // ties to even
      {1.5f / 32768.0f, 2},
      {-2.5f / 32768.0f, -2},
      {32766.5f / 32768.0f, 32766},
      {1.0f, 32767},
      {-1.0f, -32768},
      {1.5f, 32767},
      {-1.5f, -32768},
      {3e38f, 32767},
      {-3e38f, -32768},
  };
  // Every case at every place of an odd-length run, in either channel: the
  // eight-at-a-time part and the one-at-a-time rest must agree, and the
  // channels must alternate.
  for (size_t at = 0; at < 13; ++at) {
    for (const auto& c : cases) {
      std::vector<float> left(13, 0.25f);
      std::vector<float> right(13, -0.5f);
      const size_t other = (at + 5) % 13;
      left[at] = c.x;
      right[other] = c.x;
      std::vector<int16_t> out(26);
      interleavePcm16(left.data(), right.data(), out.data(), 13);
      EXPECT_EQ(out[2 * at], c.expected) << c.x << " at " << at;
      EXPECT_EQ(out[2 * other + 1], c.expected) << c.x << " at " << other << " on the right";
      EXPECT_EQ(out[2 * ((at + 1) % 13)], 8192);
      EXPECT_EQ(out[2 * ((other + 1) % 13) + 1], -16384);
    }
  }
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

// The value events a recorder logged on one pin: block, offset, value.
using Logged = std::tuple<int, int, double>;

std::vector<Logged> logged(int pin) {
  std::vector<Logged> out;
  const std::string tail = " type=100 pin=" + std::to_string(pin) + " v=";
  for (const auto& line : TestPlugin::get().log("rec block=")) {
    int block = 0, time = 0;
    if (line.find(tail) != std::string::npos && std::sscanf(line.c_str(), "rec block=%d t=%d", &block, &time) == 2)
      out.emplace_back(block, time, std::stod(line.substr(line.find(tail) + tail.size())));
  }
  return out;
}

std::vector<Logged> renderLogging(const char* json, const MidiSong* song, double seconds) {
  auto engine = makeEngine(64);
  BuiltPatch built =
      buildPatch(PatchText{"/patches/p.json", "/patches", json}, *engine, TestPlugin::get().descriptions(), 0);
  RenderOptions options;
  options.seconds = seconds;
  render(*engine, built, song, options, [](const float*, const float*, int32_t) {});
  return logged(3);
}

// What a patch sends to "voices:midi" plays the voices one block after it
// was sent, at the same offsets; the song then reaches them only that way.
TEST(Render, VoicesPlayWhatThePatchSendsThemOneBlockLate) {
  MidiSong song;
  for (auto [seconds, status, note] :
       {std::tuple{0.0101, 0x90, 60}, {0.1, 0x90, 64}, {0.2, 0x80, 60}, {0.3, 0x80, 64}}) {
    MidiMessage m;
    m.seconds = seconds;
    m.bytes[0] = static_cast<uint8_t>(status);
    m.bytes[1] = static_cast<uint8_t>(note);
    m.bytes[2] = 100;
    m.size = 3;
    song.messages.push_back(m);
  }
  // The sender keeps each voice awake, so that a recorder's blocks are the render's.
  const std::string voice = R"("voices": 2, "voice": {
    "modules": [{"name": "rec", "id": "Test Recorder"}, {"name": "awake", "id": "Test Sender"}],
    "connections": [["voice:gate", "rec:Value"], ["awake:Ramp", "rec:In"]]})";
  const std::string direct = "{" + voice + "}";
  const std::string through = "{" + voice + R"(, "modules": [{"name": "fwd", "id": "Test Midi"}],
    "connections": [["midi:in", "fwd:In"], ["fwd:Out", "voices:midi"]]})";
  auto gates = [](const std::string& json, const MidiSong* played, int late) {
    std::vector<Logged> out;
    for (auto [block, time, value] : renderLogging(json.c_str(), played, 0.5))
      if (block > 1) out.emplace_back(block - late, time, value);  // block 1 brings every input's first value
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto expected = gates(direct, &song, 0);
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(gates(through, &song, 1), expected);
  // Without a song the patch's own MIDI still plays them.
  EXPECT_TRUE(gates(through, nullptr, 0).empty());
}

// host:tempo changes at its sample, host:position is the song position at
// each block's start, host:playing falls where the song ends.
TEST(Render, TransportFollowsTheSongsTempoMap) {
  const char* json = R"({"modules": [{"name": "rec", "id": "Test Recorder"}],
    "connections": [["host:tempo", "rec:Value"], ["host:position", "rec:VoiceActive"], ["host:playing", "rec:Number"]]})";
  MidiSong song;
  song.tempos = {TempoChange{}, TempoChange{0.51, 1.02, 250000}};  // 120 BPM, then 240 from 0.51 s
  song.lengthSeconds = 0.75;
  auto find = [](const std::vector<Logged>& all, int block) {
    for (auto [b, time, value] : all)
      if (b == block) return value;
    return std::nan("");
  };
  std::vector<Logged> tempo = renderLogging(json, &song, 1.0);
  const std::vector<Logged> position = logged(5);
  const std::vector<Logged> playing = logged(4);
  // 0.51 s is sample 24480, 32 samples into the 383rd block of 64.
  EXPECT_EQ(tempo.back(), Logged(383, 32, 240.0));
  EXPECT_EQ(find(tempo, 1), 120.0);
  struct Case {
    int block;
    double beats;
  };
  for (const Case& c : {Case{1, 0.0}, Case{101, 6400 / 24000.0}, Case{383, 24448 / 24000.0},
                        Case{384, 1.02 + (24512 / 48000.0 - 0.51) * 4}}) {
    EXPECT_NEAR(find(position, c.block), c.beats, 1e-5) << c.block;
  }
  // 0.75 s is sample 36000, 32 samples into block 563.
  ASSERT_FALSE(playing.empty());
  EXPECT_EQ(playing.back(), Logged(563, 32, 0.0));

  // Without a song: 120 BPM from 0, playing throughout.
  tempo = renderLogging(json, nullptr, 0.5);
  EXPECT_NEAR(find(logged(5), 101), 6400 / 24000.0, 1e-6);
  EXPECT_EQ(std::get<2>(logged(4).back()), 1.0);
  EXPECT_EQ(std::get<2>(tempo.back()), 120.0);
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

  // The song in 16 bits: the float file's samples rounded, over more frames
  // than the writer gathers before it writes.
  pcm = runHost("render " + patch + " --midi " + midi + " --seconds 6 --bits 16 --quiet -o " +
                (folder / "d.wav").string());
  ASSERT_EQ(pcm.status, 0) << pcm.output;
  file = sf_open((folder / "d.wav").string().c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(info.frames, 288000);
  std::vector<short> words(576000);
  sf_readf_short(file, words.data(), info.frames);
  sf_close(file);
  int64_t heard = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const double expected = std::clamp(std::nearbyint(static_cast<double>(samples[i]) * 32768.0), -32768.0, 32767.0);
    ASSERT_EQ(words[i], expected) << "sample " << i;
    heard += words[i] != 0;
  }
  EXPECT_GT(heard, 10000);
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

// Left and right channels of a float WAV file that zvhost wrote.
std::pair<std::vector<float>, std::vector<float>> readStereo(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
  sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  std::vector<float> left, right;
  for (size_t i = 0; i < samples.size(); i += 2) {
    left.push_back(samples[i]);
    right.push_back(samples[i + 1]);
  }
  return {left, right};
}

// Left and right of a patch rendered by zvhost from a song, with the
// wavetables at hand; empty when the render failed.
std::pair<std::vector<float>, std::vector<float>> renderedStereo(const std::string& patch, const std::string& midi,
                                                                 const std::filesystem::path& wav,
                                                                 const std::string& options = "") {
  HostRun run = runHost("render " + patch + " --midi " + midi + options + " --quiet --files " + ZV_WAVETABLES + " -o " +
                        wav.string());
  EXPECT_EQ(run.status, 0) << run.output;
  return run.status == 0 ? readStereo(wav) : std::pair<std::vector<float>, std::vector<float>>{};
}

// The metronome sounds on the right only, the song in both channels alike:
// right minus left is the metronome alone, silent between its ticks. Each
// tick starts within a block of a beat of the demo song, whose tempo is 100
// BPM for 16 beats and 120 BPM after, and ticks stop with the song (14.1 s).
TEST(HostProgram, ClockExampleTicksOnTheSongsBeats) {
  const auto folder = scratchFolder("zvhost_clock");
  auto [left, right] = renderedStereo(std::string(ZV_EXAMPLES) + "/clock.json", std::string(ZV_EXAMPLES) + "/demo.mid",
                                      folder / "clock.wav");
  ASSERT_EQ(left.size(), static_cast<size_t>(16.1 * 48000));
  std::vector<double> onsets;
  int64_t quiet = 48000;
  for (size_t i = 0; i < left.size(); ++i) {
    const float tick = std::fabs(right[i] - left[i]);
    if (tick > 1e-4f && quiet >= 2400) onsets.push_back(static_cast<double>(i));
    quiet = tick == 0.0f ? quiet + 1 : 0;
  }
  std::vector<double> beats;
  for (int k = 0; k <= 25; ++k) beats.push_back(48000.0 * (k < 16 ? k * 0.6 : 9.6 + (k - 16) * 0.5));
  const double block = 64.0;
  for (double beat : beats) {
    EXPECT_TRUE(std::any_of(onsets.begin(), onsets.end(), [&](double o) { return std::fabs(o - beat) <= block; }))
        << "no tick at " << beat / 48000.0 << " s";
  }
  for (double onset : onsets) {
    EXPECT_TRUE(std::any_of(beats.begin(), beats.end(), [&](double b) { return std::fabs(onset - b) <= block; }))
        << "a tick off the beat at " << onset / 48000.0 << " s";
  }
  EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.05f) << "the song sounds too";
}

// The most notes held at once when the demo song plays through a patch of
// the real library, over its first seconds.
int32_t mostNotesHeld(const std::string& example) {
  LibraryLoader library(ZV_LIBRARY);
  DescriptionSet descriptions;
  descriptions.loadFolder(ZV_DESCRIPTIONS);
  const PatchText patch = readPatchFile(std::string(ZV_EXAMPLES) + "/" + example);
  const MidiSong song = readMidiFile(std::string(ZV_EXAMPLES) + "/demo.mid");
  Engine engine(library.factory(), EngineSettings{}, FileResolver(patch.folder, {ZV_WAVETABLES}));
  const BuiltPatch built = buildPatch(patch, engine, descriptions, 0);
  float peak = 0.0f;
  RenderOptions options;
  options.seconds = 4.0;  // the chords and the melody meet from the start
  const RenderStats stats = render(engine, built, &song, options, [&](const float* l, const float*, int32_t n) {
    for (int32_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(l[i]));
  });
  EXPECT_GT(peak, 0.05f) << example;
  return stats.mostNotesHeld;
}

TEST(HostProgram, AllocatorExampleNeverHoldsMoreThanThreeNotes) {
  EXPECT_EQ(mostNotesHeld("allocator.json"), 3);
  // The song itself holds more.
  EXPECT_GT(mostNotesHeld("demo.json"), 3);
}

// Power of the Hann-windowed samples [from, to) at a frequency (Goertzel).
double powerAt(const std::vector<float>& s, size_t from, size_t to, double hz) {
  const double w = 2.0 * M_PI * hz / 48000.0;
  const double c = 2.0 * std::cos(w);
  double s1 = 0.0, s2 = 0.0;
  const double n = static_cast<double>(to - from);
  for (size_t i = from; i < to; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i - from) / (n - 1.0));
    const double s0 = s[i] * hann + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// Channel 2 of the unison song is 20 cents sharp; through "SE Unison Fix"
// each long melody note sounds at its own pitch and 20 cents above it, as
// two peaks of like strength and nothing else near.
TEST(HostProgram, UnisonExampleSoundsEachNoteTwiceTwentyCentsApart) {
  const auto folder = scratchFolder("zvhost_unison");
  const auto left =
      renderedStereo(std::string(ZV_EXAMPLES) + "/unison.json", ZV_UNISON_MIDI, folder / "unison.wav").first;
  ASSERT_GE(left.size(), static_cast<size_t>(12 * 48000));
  struct Note {
    int key;
    double from, to;  // seconds where it sounds alone
  };
  // Melody notes 11 (F5, beats 11 to 12 at 100 BPM) and 19 (G5, beat 19 at 120 BPM).
  for (const Note& note : {Note{77, 6.7, 7.2}, Note{79, 11.2, 11.6}}) {
    SCOPED_TRACE(note.key);
    const double low = 440.0 * std::pow(2.0, (note.key - 69) / 12.0);
    const double high = low * std::pow(2.0, 20.0 / 1200.0);
    std::vector<std::pair<double, double>> spectrum;  // Hz, power
    for (double hz = low - 20.0; hz < high + 20.0; hz += 0.25)
      spectrum.emplace_back(
          hz, powerAt(left, static_cast<size_t>(note.from * 48000), static_cast<size_t>(note.to * 48000), hz));
    std::vector<std::pair<double, double>> peaks;  // power, Hz
    for (size_t i = 1; i + 1 < spectrum.size(); ++i)
      if (spectrum[i].second > spectrum[i - 1].second && spectrum[i].second > spectrum[i + 1].second)
        peaks.emplace_back(spectrum[i].second, spectrum[i].first);
    std::sort(peaks.rbegin(), peaks.rend());
    ASSERT_GE(peaks.size(), 3u);
    const double first = std::min(peaks[0].second, peaks[1].second);
    const double second = std::max(peaks[0].second, peaks[1].second);
    EXPECT_NEAR(first, low, 0.75);
    EXPECT_NEAR(second, high, 0.75);
    EXPECT_LT(std::max(peaks[0].first, peaks[1].first) / std::min(peaks[0].first, peaks[1].first), 2.0);
    EXPECT_LT(peaks[2].first, 0.05 * peaks[1].first);
  }
}

// With one voice every new note steals the sounding one. The example's
// voice mute fades a stolen note out before the next starts; without it the
// note is cut, which the largest step from one sample to the next shows.
TEST(HostProgram, UnisonExampleStealsWithoutAClickThroughItsVoiceMute) {
  const auto folder = scratchFolder("zvhost_unison_steal");
  nlohmann::json patch = nlohmann::json::parse(readAll(std::filesystem::path(ZV_EXAMPLES) / "unison.json"));
  auto& voice = patch["voice"];
  auto& modules = voice["modules"];
  const size_t before = modules.size();
  modules.erase(std::remove_if(modules.begin(), modules.end(), [](const auto& m) { return m["name"] == "mute"; }),
                modules.end());
  ASSERT_EQ(modules.size() + 1, before) << "the example has a voice mute";
  nlohmann::json connections = nlohmann::json::array();
  for (const auto& c : voice["connections"]) {
    if (c[1].get<std::string>().rfind("mute:", 0) == 0) continue;
    connections.push_back(c[0] == "mute:Output" ? nlohmann::json{"amp:Output", c[1]} : c);
  }
  voice["connections"] = connections;
  std::ofstream(folder / "unmuted.json") << patch.dump();

  auto largestStep = [&](const std::string& patchFile, const std::string& name) {
    const auto left = renderedStereo(patchFile, ZV_UNISON_MIDI, folder / name, " --voices 1").first;
    float step = 0.0f;
    for (size_t i = 1; i < left.size(); ++i) step = std::max(step, std::fabs(left[i] - left[i - 1]));
    return step;
  };
  const float muted = largestStep(std::string(ZV_EXAMPLES) + "/unison.json", "muted.wav");
  const float cut = largestStep((folder / "unmuted.json").string(), "cut.wav");
  EXPECT_GT(muted, 0.0f);
  EXPECT_LT(muted, cut / 3.0f) << "muted " << muted << ", cut " << cut;
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
  EXPECT_NE(list.output.find("ZV-MOD CS                        audio      MIDI in/out\n"), std::string::npos)
      << list.output;
  EXPECT_NE(list.output.find("ZvPrgChange                      audio gui  MIDI in\n"), std::string::npos)
      << list.output;
  HostRun describe = runHost("describe 'SE Unison Fix'");
  EXPECT_NE(describe.output.find("  1  out  MIDI    MIDI Out\n"), std::string::npos) << describe.output;
  HostRun plugin = runHost(std::string("list --library ") + ZV_TEST_PLUGIN + " --descriptions " + ZV_TEST_DESCRIPTIONS);
  ASSERT_EQ(plugin.status, 0) << plugin.output;
  EXPECT_NE(plugin.output.find("Test Gui Double                        gui"), std::string::npos) << plugin.output;
  EXPECT_EQ(plugin.output.find("ZV MixM"), std::string::npos) << "not in the test plug-in";
}

}  // namespace
}  // namespace zvhost::testing
