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

// Variable-length numbers of the track format, for lengths.
Bytes varLength(uint32_t n) {
  Bytes out = {static_cast<uint8_t>(n & 0x7F)};
  while ((n >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (n & 0x7F)));
  return out;
}

TEST(MidiFile, KeepsWholeSystemExclusiveMessagesAndSkipsPackets) {
  const Bytes tuning = {0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 60, 60, 0x20, 0x00, 0xF7};
  Bytes body = {0x00, 0xF0};
  append(body, varLength(static_cast<uint32_t>(tuning.size())));
  append(body, tuning);
  // A message sent in two packets, the second an F7 event: neither is kept.
  append(body, {0x10, 0xF0, 0x02, 0x7E, 0x01, 0x10, 0xF7, 0x02, 0x02, 0xF7});
  // Running status does not survive a System Exclusive event.
  append(body, {0x20, 0x90, 64, 100, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x80, 64, 0});
  append(body, kEnd);
  MidiSong song = parseMidi(join({header(0, 1, 96), track(body)}));
  ASSERT_EQ(song.messages.size(), 4u);
  const MidiMessage& first = song.messages[0];
  ASSERT_EQ(first.length(), static_cast<int32_t>(tuning.size()) + 1);
  EXPECT_EQ(first.data()[0], 0xF0);
  EXPECT_TRUE(std::equal(tuning.begin(), tuning.end(), first.data() + 1));
  EXPECT_EQ(song.messages[1].data()[0], 0x90);
  EXPECT_EQ(song.messages[1].length(), 3);
  EXPECT_EQ(std::vector<uint8_t>(song.messages[2].data(), song.messages[2].data() + 2), (Bytes{0xF0, 0xF7}));
  EXPECT_EQ(song.messages[3].data()[0], 0x80);
  // A data byte straight after a System Exclusive event has no status.
  Bytes orphan = {0x00, 0x90, 60, 100, 0x00, 0xF0, 0x01, 0xF7, 0x00, 60, 0};
  append(orphan, kEnd);
  EXPECT_THROW(parseMidi(join({header(0, 1, 96), track(orphan)})), MidiError);
}

TEST(MidiFile, TempoMapGivesTheSongPositionInBeats) {
  // 100 ticks per quarter; 1 s per quarter from tick 0, 0.25 s from tick 200
  // (2 s in); a second change at the same tick as a third one keeps the last.
  Bytes tempos = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,        // 1 000 000 us at tick 0
                  0x81, 0x48, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500 000 at tick 200
                  0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};       // 250 000 at tick 200
  append(tempos, kEnd);
  MidiSong song = parseMidi(join({header(1, 1, 100), track(tempos)}));
  ASSERT_EQ(song.tempos.size(), 2u);
  struct Case {
    double seconds, beats, bpm;
  };
  for (const Case& c : {Case{0.0, 0.0, 60.0}, Case{1.5, 1.5, 60.0}, Case{2.0, 2.0, 240.0}, Case{2.5, 4.0, 240.0},
                        Case{10.0, 34.0, 240.0}}) {
    EXPECT_DOUBLE_EQ(songBeats(song, c.seconds), c.beats) << c.seconds;
    EXPECT_DOUBLE_EQ(songTempo(song, c.seconds), c.bpm) << c.seconds;
  }
  // Without tempo events: 120 BPM from the start.
  Bytes plain = {0x00, 0x90, 60, 100};
  append(plain, kEnd);
  MidiSong untimed = parseMidi(join({header(0, 1, 96), track(plain)}));
  EXPECT_DOUBLE_EQ(songTempo(untimed, 3.0), 120.0);
  EXPECT_DOUBLE_EQ(songBeats(untimed, 3.0), 6.0);
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

// Each message costs memory while a file is read: a song holds a bounded
// number, however few bytes each takes (running status packs one in two).
TEST(MidiFile, SongsBeyondTheEventLimitAreRefused) {
  auto song = [](int notes) {
    Bytes body = {0x00, 0xC0, 0x00};
    for (int i = 1; i < notes; ++i) append(body, {0x00, 0x05});
    append(body, kEnd);
    return join({header(0, 1, 96), track(body)});
  };
  EXPECT_EQ(parseMidi(song(8), 8).messages.size(), 8u);
  EXPECT_THROW(parseMidi(song(9), 8), MidiError);
  // Tempo changes count as well.
  Bytes tempos;
  for (int i = 0; i < 9; ++i) append(tempos, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
  append(tempos, kEnd);
  EXPECT_THROW(parseMidi(join({header(0, 1, 96), track(tempos)}), 8), MidiError);
  // Meta events are not kept, yet a late one still ends the song.
  Bytes late = {0x00, 0x90, 60, 100, 0x83, 0x00, 0xFF, 0x01, 0x01, 'x'};
  append(late, kEnd);
  const MidiSong lengthened = parseMidi(join({header(0, 1, 96), track(late)}), 1);
  EXPECT_EQ(lengthened.messages.size(), 1u);
  EXPECT_DOUBLE_EQ(lengthened.lengthSeconds, 2.0);  // 384 ticks at 96 a quarter, 120 BPM
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
  // The stolen note's gate falls at the steal and rises with the new note,
  // so an envelope starts that note from silence.
  std::vector<std::pair<double, float>> gate;
  for (const VoiceChange& c : of(changes, VoiceInput::Gate))
    if (c.voice == 0) gate.emplace_back(c.seconds, c.value);
  const std::vector<std::pair<double, float>> expected = {
      {0.0, 1.0f}, {0.2, 0.0f}, {0.2 + settings.stealSeconds, 1.0f}};
  EXPECT_EQ(gate, expected);
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

// A song of messages given as bytes (System Exclusive ones whole).
MidiSong songOf(std::initializer_list<std::pair<double, Bytes>> messages) {
  MidiSong song;
  for (const auto& [seconds, bytes] : messages) {
    MidiMessage m;
    m.seconds = seconds;
    if (bytes[0] == 0xF0) {
      m.sysex = bytes;
    } else {
      m.size = static_cast<uint8_t>(bytes.size());
      for (size_t i = 0; i < bytes.size(); ++i) m.bytes[i] = bytes[i];
    }
    song.messages.push_back(m);
  }
  return song;
}

// Pitch value of a note moved by some semitones: 5 V = 440 Hz, 1 V per octave.
float pitchOf(double semitones) { return static_cast<float>(0.5 + (semitones - 69.0) / 120.0); }

// The last value a voice input was given (NaN if none).
float lastValue(const std::vector<VoiceChange>& changes, int voice, VoiceInput input, int32_t controller = -1) {
  float value = std::nanf("");
  for (const auto& c : changes)
    if (c.voice == voice && c.input == input && c.controller == controller) value = c.value;
  return value;
}

TEST(VoiceAllocator, PitchBendMovesTheNotesOfItsChannelByTheRangeFromRpnZero) {
  const Bytes note = {0x90, 60, 100};
  const Bytes rpnZero[] = {{0xB0, 101, 0}, {0xB0, 100, 0}};
  struct Case {
    const char* name;
    std::vector<Bytes> before;  // before the bend
    Bytes bend;
    double semitones;  // expected shift
  };
  const std::vector<Case> cases = {
      {"half up, default range", {}, {0xE0, 0x00, 0x60}, 1.0},
      {"full down, default range", {}, {0xE0, 0x00, 0x00}, -2.0},
      {"range 12", {rpnZero[0], rpnZero[1], {0xB0, 6, 12}}, {0xE0, 0x00, 0x00}, -12.0},
      {"range 1 and 50 cents", {rpnZero[0], rpnZero[1], {0xB0, 6, 1}, {0xB0, 38, 50}}, {0xE0, 0x00, 0x00}, -1.5},
      {"data entry after a non-registered parameter",
       {{0xB0, 99, 0}, {0xB0, 98, 0}, {0xB0, 6, 12}},
       {0xE0, 0x00, 0x00},
       -2.0},
      {"another channel's bend", {}, {0xE1, 0x00, 0x00}, 0.0},
      {"a bend with a status byte for data", {}, {0xE0, 0x00, 0x80}, 0.0},
  };
  for (const auto& c : cases) {
    MidiSong song = songOf({{0.0, note}});
    for (const Bytes& b : c.before) song.messages.push_back(songOf({{0.1, b}}).messages[0]);
    song.messages.push_back(songOf({{0.2, c.bend}}).messages[0]);
    VoiceSettings settings;
    settings.voices = 2;
    auto changes = allocateVoices(song, settings);
    EXPECT_NEAR(lastValue(changes, 0, VoiceInput::Pitch), pitchOf(60 + c.semitones), 1e-6) << c.name;
    // Notes that start later start bent.
    song.messages.push_back(songOf({{0.3, {0x90, 62, 100}}}).messages[0]);
    changes = allocateVoices(song, settings);
    EXPECT_NEAR(lastValue(changes, 1, VoiceInput::Pitch), pitchOf(62 + c.semitones), 1e-6) << c.name;
  }
}

TEST(VoiceAllocator, ControllerInputsFollowTheVoicesChannelOrTheWholeSong) {
  VoiceSettings settings;
  settings.voices = 2;
  settings.voiceControllers = {1, kPressure};
  settings.patchControllers = {7, kPressure};
  MidiSong song = songOf({
      {0.0, {0xB1, 1, 127}},  // modulation on channel 2 before its note
      {0.1, {0x90, 60, 100}},
      {0.1, {0x91, 64, 100}},
      {0.2, {0xD0, 64}},      // channel pressure, channel 1
      {0.3, {0xA1, 64, 32}},  // key pressure of channel 2's note
      {0.3, {0xA1, 65, 99}},  // of a key nobody holds
      {0.4, {0xB5, 7, 50}},   // volume on a channel without notes
  });
  auto changes = allocateVoices(song, settings);
  EXPECT_TRUE(std::isnan(lastValue(changes, 0, VoiceInput::Controller, 1))) << "voice 1 plays channel 1";
  EXPECT_FLOAT_EQ(lastValue(changes, 1, VoiceInput::Controller, 1), 1.0f);
  EXPECT_FLOAT_EQ(lastValue(changes, 0, VoiceInput::Controller, kPressure), 64.0f / 127.0f);
  EXPECT_FLOAT_EQ(lastValue(changes, 1, VoiceInput::Controller, kPressure), 32.0f / 127.0f);
  // Patch-wide: the last message on any channel.
  EXPECT_FLOAT_EQ(lastValue(changes, -1, VoiceInput::Controller, 7), 50.0f / 127.0f);
  EXPECT_FLOAT_EQ(lastValue(changes, -1, VoiceInput::Controller, kPressure), 99.0f / 127.0f);
  // Until told otherwise volume holds its power-on value.
  EXPECT_FLOAT_EQ(controllerInitial(7), 100.0f / 127.0f);

  // Resetting channel 2's controllers clears its modulation and bend and
  // lifts its pedal; volume stays.
  for (auto [t, bytes] : {std::pair<double, Bytes>{0.5, {0xB1, 64, 127}},
                          {0.6, {0x81, 64, 0}},
                          {0.6, {0xE1, 0x00, 0x60}},
                          {0.7, {0xB1, 121, 0}}})
    song.messages.push_back(songOf({{t, bytes}}).messages[0]);
  changes = allocateVoices(song, settings);
  EXPECT_EQ(lastValue(changes, 1, VoiceInput::Controller, 1), 0.0f);
  EXPECT_FLOAT_EQ(lastValue(changes, 1, VoiceInput::Pitch), pitchOf(64));
  EXPECT_EQ(lastValue(changes, 1, VoiceInput::Gate), 0.0f);
  EXPECT_FLOAT_EQ(lastValue(changes, -1, VoiceInput::Controller, 7), 50.0f / 127.0f);
}

// Tuning messages, key 60 to 60.25 semitones (xx yy zz = 60, 0x20, 0).
TEST(VoiceAllocator, TuningMessagesOfProgramZeroTuneTheirKeys) {
  const Bytes single = {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, 60, 60, 0x20, 0x00, 0xF7};
  Bytes bulk = {0xF0, 0x7E, 0x00, 0x08, 0x01, 0x00};
  bulk.resize(22, ' ');  // the tuning's name
  for (int k = 0; k < 128; ++k) append(bulk, k == 60 ? Bytes{60, 0x20, 0x00} : Bytes{0x7F, 0x7F, 0x7F});
  append(bulk, {0x00, 0xF7});  // checksum
  struct Case {
    const char* name;
    Bytes message;
    bool retunesTheSoundingNote;
    bool tunesTheNextNote;
  };
  auto changed = [](Bytes m, size_t at, uint8_t value) {
    m[at] = value;
    return m;
  };
  const std::vector<Case> cases = {
      {"real-time single note", single, true, true},
      {"single note with bank", {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01, 60, 60, 0x20, 0x00, 0xF7}, true, true},
      {"non-real-time single note with bank",
       {0xF0, 0x7E, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01, 60, 60, 0x20, 0x00, 0xF7},
       false,
       true},
      {"bulk dump", bulk, false, true},
      {"another program", changed(single, 5, 1), false, false},
      {"a status byte in the entry", changed(single, 9, 0xA0), false, false},
      {"cut short", Bytes(single.begin(), single.begin() + 9), false, false},
  };
  for (const auto& c : cases) {
    VoiceSettings settings;
    settings.voices = 2;
    auto changes = allocateVoices(songOf({{0.0, {0x90, 60, 100}}, {0.1, c.message}, {0.2, {0x91, 60, 100}}}), settings);
    std::vector<float> first;
    for (const auto& ch : changes)
      if (ch.voice == 0 && ch.input == VoiceInput::Pitch) first.push_back(ch.value);
    EXPECT_EQ(first.size(), c.retunesTheSoundingNote ? 2u : 1u) << c.name;
    EXPECT_NEAR(first.back(), pitchOf(c.retunesTheSoundingNote ? 60.25 : 60.0), 1e-6) << c.name;
    EXPECT_NEAR(lastValue(changes, 1, VoiceInput::Pitch), pitchOf(c.tunesTheNextNote ? 60.25 : 60.0), 1e-6) << c.name;
  }
}

// Voice changes taken block by block, as a render takes them, are those of
// the whole song at once: released voices end at the same times however the
// blocks fall.
TEST(VoiceAllocator, BlockByBlockGivesWhatTheWholeSongGives) {
  std::ifstream in(std::string(ZV_EXAMPLES) + "/demo.mid", std::ios::binary);
  MidiSong song = parseMidi(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  VoiceSettings settings;
  settings.voices = 3;  // steals and reuses
  settings.releaseSeconds = 0.3;
  const auto whole = allocateVoices(song, settings);
  ASSERT_GT(whole.size(), 100u);
  for (int64_t block : {1, 64, 4801}) {
    VoiceAllocator allocator(settings);
    std::vector<VoiceChange> taken;
    size_t next = 0;
    for (int64_t end = block; taken.size() < whole.size() && end < 48000 * 20; end += block) {
      auto due = [end](double seconds) { return std::llround(seconds * 48000.0) < end; };
      for (; next < song.messages.size() && due(song.messages[next].seconds); ++next)
        allocator.receive(song.messages[next].seconds, song.messages[next].data(),
                          static_cast<size_t>(song.messages[next].length()));
      allocator.takeDue(due, taken);
    }
    ASSERT_EQ(taken.size(), whole.size()) << block;
    for (size_t i = 0; i < whole.size(); ++i) {
      EXPECT_TRUE(taken[i].seconds == whole[i].seconds && taken[i].voice == whole[i].voice &&
                  taken[i].input == whole[i].input && taken[i].value == whole[i].value)
          << "block " << block << ", change " << i;
    }
  }
}

}  // namespace
}  // namespace zvhost
