// Standard MIDI files and the voice allocator.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

#include "host/midi_file.h"
#include "host/voice_allocator.h"

namespace zvhost {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          static_cast<uint8_t>(format >> 8),
          static_cast<uint8_t>(format),
          static_cast<uint8_t>(tracks >> 8),
          static_cast<uint8_t>(tracks),
          static_cast<uint8_t>(division >> 8),
          static_cast<uint8_t>(division)};
}

// Byte by byte: gcc 12 misreads range inserts into small vectors at -O2.
void append(Bytes& out, const Bytes& more) {
  for (uint8_t b : more) out.push_back(b);
}

Bytes track(const Bytes& body) {
  Bytes out = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
  uint32_t n = static_cast<uint32_t>(body.size());
  out[4] = static_cast<uint8_t>(n >> 24);
  out[5] = static_cast<uint8_t>(n >> 16);
  out[6] = static_cast<uint8_t>(n >> 8);
  out[7] = static_cast<uint8_t>(n);
  append(out, body);
  return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) append(out, p);
  return out;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

TEST(MidiFile, FormatZeroWithRunningStatusAndDefaultTempo) {
  // 96 ticks per quarter at 120 bpm: one tick = 1/192 s.
  Bytes body = {0x00, 0x90, 60, 100,  // note on
                0x60, 62,   90,       // running status: another note on, 96 ticks later
                0x60, 60,   0,        // running status note-off as velocity 0
                0x00, 0xC3, 5};       // program change: one data byte
  append(body, kEnd);
  MidiSong song = parseMidi(join({header(0, 1, 96), track(body)}));
  ASSERT_EQ(song.messages.size(), 4u);
  EXPECT_DOUBLE_EQ(song.messages[1].seconds, 0.5);
  EXPECT_EQ(song.messages[1].bytes[0], 0x90);
  EXPECT_EQ(song.messages[1].bytes[1], 62);
  EXPECT_EQ(song.messages[3].size, 2);
  EXPECT_EQ(song.messages[3].bytes[0], 0xC3);
  EXPECT_DOUBLE_EQ(song.lengthSeconds, 1.0);
}

TEST(MidiFile, FormatOneTempoChangesApplyToEveryTrack) {
  // Track 0: tempo 1 s per quarter from tick 0, 0.25 s per quarter from tick 100.
  Bytes tempoTrack = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x64, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};
  append(tempoTrack, kEnd);
  // Track 1: notes at ticks 50 and 200, on channels 1 and 16.
  Bytes notes = {0x32, 0x90, 60, 100, 0x81, 0x16, 0x9F, 64, 100};
  append(notes, kEnd);
  MidiSong song = parseMidi(join({header(1, 2, 100), track(tempoTrack), track(notes)}));
  ASSERT_EQ(song.messages.size(), 2u);
  EXPECT_DOUBLE_EQ(song.messages[0].seconds, 0.5);
  EXPECT_DOUBLE_EQ(song.messages[1].seconds, 1.0 + 0.25);
  EXPECT_EQ(song.messages[1].bytes[0], 0x9F);
}

TEST(MidiFile, MalformedFilesAreRefusedWithAPlace) {
  Bytes good = {0x00, 0x90, 60, 100};
  append(good, kEnd);
  Bytes okFile = join({header(0, 1, 96), track(good)});
  std::vector<std::pair<std::string, Bytes>> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"not MIDI", Bytes(20, 'x')});
  cases.push_back({"format 2", join({header(2, 1, 96), track(good)})});
  cases.push_back({"SMPTE", join({header(0, 1, 0xE728), track(good)})});
  cases.push_back({"missing track", header(0, 2, 96)});
  Bytes truncated = okFile;
  truncated.resize(truncated.size() - 3);
  cases.push_back({"truncated", truncated});
  cases.push_back({"data without status", join({header(0, 1, 96), track({0x00, 60, 100})})});
  cases.push_back({"endless number", join({header(0, 1, 96), track({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})})});
  cases.push_back({"meta longer than track", join({header(0, 1, 96), track({0x00, 0xFF, 0x01, 0x7F, 'a'})})});
  cases.push_back({"status inside a message", join({header(0, 1, 96), track({0x00, 0x90, 0x80, 0x40})})});
  cases.push_back({"zero tempo", join({header(0, 1, 96), track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0})})});
  for (const auto& [name, bytes] : cases) {
    EXPECT_THROW(parseMidi(bytes), MidiError) << name;
  }
  EXPECT_NO_THROW(parseMidi(okFile));
  try {
    parseMidi(truncated);
  } catch (const MidiError& e) {
    EXPECT_NE(std::string(e.what()).find("byte "), std::string::npos) << e.what();
  }
}

TEST(MidiFile, DamagedCopiesOfARealFileParseOrFailCleanly) {
  std::ifstream in(std::string(ZV_EXAMPLES) + "/demo.mid", std::ios::binary);
  Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(original.size(), 100u);
  MidiSong intact = parseMidi(original);
  EXPECT_GT(intact.messages.size(), 50u);
  std::mt19937 random(1234);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = original;
    int hits = 1 + static_cast<int>(random() % 4);
    for (int h = 0; h < hits; ++h) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    if (round % 7 == 0) damaged.resize(random() % damaged.size());
    try {
      MidiSong song = parseMidi(damaged);
      EXPECT_TRUE(std::is_sorted(song.messages.begin(), song.messages.end(),
                                 [](const MidiMessage& a, const MidiMessage& b) { return a.seconds < b.seconds; }));
    } catch (const MidiError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

MidiSong notesSong(std::initializer_list<std::tuple<double, int, int>> notes) {
  MidiSong song;
  for (auto [seconds, note, velocity] : notes) {
    MidiMessage m;
    m.seconds = seconds;
    m.bytes[0] = 0x90;
    m.bytes[1] = static_cast<uint8_t>(note);
    m.bytes[2] = static_cast<uint8_t>(velocity);
    m.size = 3;
    song.messages.push_back(m);
  }
  return song;
}

std::vector<VoiceChange> of(const std::vector<VoiceChange>& all, VoiceInput input) {
  std::vector<VoiceChange> out;
  for (const auto& c : all)
    if (c.input == input) out.push_back(c);
  return out;
}

TEST(VoiceAllocator, PitchFollowsOneVoltPerOctaveAroundA440) {
  EXPECT_FLOAT_EQ(notePitch(69), 0.5f);
  EXPECT_FLOAT_EQ(notePitch(81), 0.6f);
  EXPECT_FLOAT_EQ(notePitch(57), 0.4f);
}

TEST(VoiceAllocator, FreeVoicesFirstThenOldestNoteIsStolen) {
  VoiceSettings settings;
  settings.voices = 2;
  auto changes = allocateVoices(notesSong({{0.0, 60, 127}, {0.1, 64, 64}, {0.2, 67, 100}}), settings);
  auto pitches = of(changes, VoiceInput::Pitch);
  ASSERT_EQ(pitches.size(), 3u);
  EXPECT_EQ(pitches[0].voice, 0);
  EXPECT_EQ(pitches[1].voice, 1);
  EXPECT_EQ(pitches[2].voice, 0) << "the oldest note is taken";
  EXPECT_NEAR(pitches[2].seconds, 0.2 + settings.stealSeconds, 1e-12);
  auto velocities = of(changes, VoiceInput::Velocity);
  EXPECT_FLOAT_EQ(velocities[1].value, 64.0f / 127.0f);
  auto active = of(changes, VoiceInput::Active);
  bool stolen = std::any_of(active.begin(), active.end(),
                            [](const VoiceChange& c) { return c.voice == 0 && c.value == -1.0f && c.seconds == 0.2; });
  EXPECT_TRUE(stolen);
}

TEST(VoiceAllocator, ReleasedVoicesEndAfterTheReleaseTimeAndAreReusedBeforeStealing) {
  VoiceSettings settings;
  settings.voices = 2;
  settings.releaseSeconds = 1.0;
  // Note 60 ends at 0.5 s; 64 keeps sounding; 67 at 0.7 s takes the released voice.
  auto changes =
      allocateVoices(notesSong({{0.0, 60, 100}, {0.1, 64, 100}, {0.5, 60, 0}, {0.7, 67, 100}, {0.9, 67, 0}}), settings);
  auto pitches = of(changes, VoiceInput::Pitch);
  ASSERT_EQ(pitches.size(), 3u);
  EXPECT_EQ(pitches[2].voice, 0);
  auto active = of(changes, VoiceInput::Active);
  EXPECT_TRUE(std::none_of(active.begin(), active.end(), [](const VoiceChange& c) { return c.value < 0.0f; }));
  // Voice 0 ends 1 s after its second note's release; voice 1 never ends.
  ASSERT_FALSE(active.empty());
  EXPECT_EQ(active.back().voice, 0);
  EXPECT_FLOAT_EQ(active.back().value, 0.0f);
  EXPECT_DOUBLE_EQ(active.back().seconds, 1.9);
  auto gates = of(changes, VoiceInput::Gate);
  EXPECT_EQ(std::count_if(gates.begin(), gates.end(), [](const VoiceChange& c) { return c.value == 0.0f; }), 2);
  EXPECT_TRUE(std::is_sorted(changes.begin(), changes.end(),
                             [](const VoiceChange& a, const VoiceChange& b) { return a.seconds < b.seconds; }));
}

TEST(VoiceAllocator, SustainPedalHoldsReleasedNotesUntilItRises) {
  MidiSong song = notesSong({{0.0, 60, 100}, {0.2, 60, 0}, {0.3, 62, 100}, {0.4, 62, 0}});
  auto pedal = [](double t, int value) {
    MidiMessage m;
    m.seconds = t;
    m.bytes[0] = 0xB0;
    m.bytes[1] = 64;
    m.bytes[2] = static_cast<uint8_t>(value);
    m.size = 3;
    return m;
  };
  song.messages.insert(song.messages.begin() + 1, pedal(0.1, 127));
  song.messages.push_back(pedal(1.0, 0));
  VoiceSettings settings;
  settings.voices = 4;
  auto gates = of(allocateVoices(song, settings), VoiceInput::Gate);
  std::vector<std::pair<int, double>> ends;
  for (const auto& g : gates)
    if (g.value == 0.0f) ends.emplace_back(g.voice, g.seconds);
  EXPECT_EQ(ends, (std::vector<std::pair<int, double>>{{0, 1.0}, {1, 1.0}}));
}

}  // namespace
}  // namespace zvhost
