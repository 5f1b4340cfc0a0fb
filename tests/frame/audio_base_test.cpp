#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "tests/support/module_harness.h"

namespace {

// Records what the base does with it.
class Probe : public MpBase {
 public:
  enum Pin { IN, LEVEL, OUT, CHOICE, MIDI_IN, SWITCH, NAME, DATA, LEVEL_OUT, MIDI_OUT };

  explicit Probe(IMpUnknown* host, bool* deleted = nullptr) : MpBase(host), deleted_(deleted) {
    registerPin(IN, in);
    registerPin(LEVEL, level, &Probe::onLevel);
    registerPin(OUT, out);
    registerPin(CHOICE, choice);
    registerPin(MIDI_IN, midiIn);
    registerPin(SWITCH, toggle);
    registerPin(NAME, name);
    registerPin(DATA, data);
    registerPin(LEVEL_OUT, levelOut);
    registerPin(MIDI_OUT, midiOut);
    setBlockFunction(&Probe::render);
  }
  ~Probe() override {
    if (deleted_ != nullptr) *deleted_ = true;
  }

  void pinsUpdated() override {
    std::string updated;
    if (level.isUpdated()) updated += " level";
    if (choice.isUpdated()) updated += " choice";
    if (in.isUpdated()) updated += " in";
    log.push_back("pinsUpdated" + updated);
    inputAtPosition = in.buffer() != nullptr ? in.getValue() : 0.0f;
  }
  void midiReceived(int32_t pin, const unsigned char* bytes, int32_t size) override {
    log.push_back("midi " + std::to_string(pin) + ":" + std::to_string(size) + ":" + std::to_string(bytes[0]));
  }
  void graphStarted() override {
    log.push_back("graphStarted");
    MpBase::graphStarted();
  }
  void silence(int32_t, int32_t) {}
  void onLevel(const MpEvent*) { log.push_back("level handler " + std::to_string(level.isUpdated())); }
  void render(int32_t offset, int32_t frames) {
    log.push_back("render " + std::to_string(offset) + "+" + std::to_string(frames));
    if (sendFromRender) levelOut.sendValue();
  }

  AudioInPin in;
  FloatInPin level;
  AudioOutPin out;
  IntInPin choice;
  MidiInPin midiIn;
  BoolInPin toggle;
  StringInPin name;
  BlobInPin data;
  FloatOutPin levelOut;
  MidiOutPin midiOut;
  std::vector<std::string> log;
  float inputAtPosition = 0.0f;
  bool sendFromRender = false;

 private:
  bool* deleted_;
};

struct AudioBaseTest : ::testing::Test {
  TestHost host;
  Probe* probe = new Probe(host.unknown());
  AudioModule module{host, probe};

  std::vector<std::string> run(int32_t frames, EventList& events) {
    probe->log.clear();
    module.process(frames, events);
    return probe->log;
  }
  std::vector<std::string> run(int32_t frames, EventList&& events) { return run(frames, events); }
};

using Log = std::vector<std::string>;

TEST_F(AudioBaseTest, BlockWithoutEventsRendersOnce) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  probe->log.clear();
  module.process(64);
  EXPECT_EQ(probe->log, Log({"render 0+64"}));
}

TEST_F(AudioBaseTest, EventsAtOneTimeFormOneGroup) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  auto log = run(64, EventList().value(10, Probe::LEVEL, 0.5f).value(10, Probe::CHOICE, 3).value(20, Probe::CHOICE, 4));
  EXPECT_EQ(log, Log({"render 0+10", "level handler 1", "pinsUpdated level choice", "render 10+10",
                      "pinsUpdated choice", "render 20+44"}));
  EXPECT_FALSE(probe->level.isUpdated()) << "cleared after the group";
  EXPECT_EQ(probe->choice.getValue(), 4);
}

TEST_F(AudioBaseTest, EventAtZeroRendersNothingBeforeIt) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  auto log = run(64, EventList().value(0, Probe::LEVEL, 1.0f));
  EXPECT_EQ(log, Log({"level handler 1", "pinsUpdated level", "render 0+64"}));
}

TEST_F(AudioBaseTest, EventsAtOrBeyondTheBlockEndAreNotDispatched) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  auto log = run(64, EventList().value(64, Probe::LEVEL, 1.0f).value(500, Probe::CHOICE, 2));
  EXPECT_EQ(log, Log({"render 0+64"}));
  EXPECT_EQ(probe->level.getValue(), 0.0f);
}

TEST_F(AudioBaseTest, OutOfOrderTimesStayInsideTheBlock) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  MpEvent second{5, MP_EVENT_PIN_VALUE, Probe::CHOICE, 4, 7, 0, nullptr, nullptr};
  MpEvent first{30, MP_EVENT_PIN_VALUE, Probe::CHOICE, 4, 6, 0, nullptr, &second};
  probe->log.clear();
  probe->processBlock(64, &first);
  EXPECT_EQ(probe->log, Log({"render 0+30", "pinsUpdated choice", "pinsUpdated choice", "render 30+34"}));
  EXPECT_EQ(probe->choice.getValue(), 7);
}

TEST_F(AudioBaseTest, MidiAloneDoesNotUpdatePinsButStreamingDoes) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  auto log = run(64, EventList().midi(3, Probe::MIDI_IN, {0x90, 60, 100}).streaming(8, Probe::IN, false));
  EXPECT_EQ(log, Log({"render 0+3", "midi 4:3:144", "render 3+5", "pinsUpdated in"}));
}

TEST_F(AudioBaseTest, GraphStartAnnouncesOutputsWithoutUpdatingPins) {
  probe->levelOut = 0.25f;  // sent while not yet started: the test host records it
  host.clearRecords();
  run(64, EventList().graphStart(0));
  EXPECT_EQ(probe->log.front(), "graphStarted");
  for (const auto& line : probe->log) EXPECT_EQ(line.find("pinsUpdated"), std::string::npos);
  ASSERT_EQ(host.streaming.size(), 1u);
  EXPECT_EQ(host.streaming[0].pin, Probe::OUT);
  EXPECT_TRUE(host.streaming[0].streaming);
  EXPECT_FLOAT_EQ(host.lastValue(Probe::LEVEL_OUT).asFloat(), 0.25f);
  EXPECT_EQ(probe->streamingPinCount(), 1);
}

TEST_F(AudioBaseTest, GraphStartWithTheSilentRoutineChosenAnnouncesStaticOutputs) {
  probe->setSilentBlockFunction(&Probe::silence);
  run(8, EventList().graphStart(0));
  ASSERT_EQ(host.streamingOn(Probe::OUT).size(), 1u) << "a chosen routine other than the silent one keeps streaming";
  probe->setBlockFunction(&Probe::silence);
  host.clearRecords();
  run(8, EventList().graphStart(0));
  auto reports = host.streamingOn(Probe::OUT);
  ASSERT_EQ(reports.size(), 1u) << "one report, not streaming and then static at the same instant";
  EXPECT_FALSE(reports[0].streaming);
  EXPECT_EQ(reports[0].position, 0);
  EXPECT_EQ(probe->streamingPinCount(), 0);
}

TEST_F(AudioBaseTest, ModuleWithNothingStreamingSleepsWithoutRendering) {
  auto log = run(64, EventList().value(5, Probe::LEVEL, 1.0f));
  // The stretch before the event is rendered; the one that ends the block is not.
  // An audio input counts as updated until its first streaming event.
  EXPECT_EQ(log, Log({"render 0+5", "level handler 1", "pinsUpdated level in"}));
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(AudioBaseTest, SleepModeZeroNeverSleeps) {
  probe->setSleepMode(false);
  module.process(64, EventList().value(0, Probe::LEVEL, 1.0f));
  probe->log.clear();
  module.process(64);
  EXPECT_EQ(probe->log, Log({"render 0+64"}));
  EXPECT_EQ(host.sleepRequests, 0);
}

TEST_F(AudioBaseTest, MayAlwaysSleepSleepsDespiteStreamingInputs) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  probe->setSleepMode(true);
  auto log = run(64, EventList());
  EXPECT_EQ(log, Log({}));
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(AudioBaseTest, LastOutputStoppingRendersExactlyOneMoreBlock) {
  host.blockSize = 16;
  module.process(16, EventList().graphStart(0));
  probe->out.setStreaming(false, 4);
  ASSERT_EQ(probe->streamingPinCount(), 0);
  probe->log.clear();
  module.process(16);  // one more whole block, then the request
  EXPECT_EQ(probe->log, Log({"render 0+16"}));
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(AudioBaseTest, NewBlockFunctionWhileSleepCheckingStaysBehindTheCheck) {
  module.process(64, EventList().value(0, Probe::LEVEL, 1.0f));  // asleep
  EXPECT_TRUE(probe->isSleepChecking());
  probe->setBlockFunction(&Probe::render);
  EXPECT_TRUE(probe->isSleepChecking());
  module.process(64, EventList().streaming(0, Probe::IN, true));
  EXPECT_FALSE(probe->isSleepChecking());
}

TEST_F(AudioBaseTest, OnlyPinsOfThisPositionAreUpdated) {
  module.process(64, EventList().streaming(0, Probe::IN, true));
  auto log = run(64, EventList().value(2, Probe::LEVEL, 1.0f).value(9, Probe::CHOICE, 1));
  EXPECT_EQ(log[4], "pinsUpdated choice");
}

TEST_F(AudioBaseTest, AudioInputReadsAtTheGroupPosition) {
  float* in = module.audio(Probe::IN);
  for (int i = 0; i < 64; ++i) in[i] = static_cast<float>(i);
  module.process(64, EventList().streaming(17, Probe::IN, true));
  EXPECT_EQ(probe->inputAtPosition, 17.0f);
}

TEST_F(AudioBaseTest, SendsFromABlockFunctionCarryThisBlocksPosition) {
  module.process(64, EventList().streaming(0, Probe::IN, true).value(40, Probe::LEVEL, 1.0f));
  probe->sendFromRender = true;
  host.clearRecords();
  module.process(64);
  ASSERT_FALSE(host.values.empty());
  EXPECT_EQ(host.values.back().position, 0);
}

TEST_F(AudioBaseTest, UnregisteredPinsAreIgnored) {
  EXPECT_EQ(module.plugin()->attachPinBuffer(99, nullptr), MP_FAIL);
  auto log = run(64, EventList().value(0, 99, 1.0f).streaming(0, 77, true));
  EXPECT_EQ(log, Log({"pinsUpdated in"}));
}

TEST_F(AudioBaseTest, AnswersOnlyThePluginInterfaces) {
  void* out = nullptr;
  EXPECT_EQ(probe->queryInterface(&MP_IID_PLUGIN, &out), MP_OK);
  EXPECT_EQ(out, static_cast<IMpPlugin*>(probe));
  probe->release();
  EXPECT_EQ(probe->queryInterface(&MP_IID_GUI_PLUGIN, &out), MP_UNHANDLED);
  EXPECT_EQ(out, nullptr);
}

TEST(AudioBaseLifetime, LastReleaseDeletesAndReleasesTheHost) {
  TestHost host;
  bool deleted = false;
  auto* probe = new Probe(host.unknown(), &deleted);
  probe->addRef();
  probe->addRef();
  EXPECT_EQ(probe->release(), 1);
  EXPECT_FALSE(deleted);
  EXPECT_EQ(probe->release(), 0);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(host.references, 0);
}

// Pins.

TEST_F(AudioBaseTest, OutputControlPinSendsOnlyChanges) {
  host.clearRecords();
  probe->levelOut = 0.5f;
  probe->levelOut = 0.5f;
  probe->levelOut = 0.75f;
  ASSERT_EQ(host.valuesOn(Probe::LEVEL_OUT).size(), 2u);
  EXPECT_EQ(host.valuesOn(Probe::LEVEL_OUT)[1].asFloat(), 0.75f);
}

TEST_F(AudioBaseTest, OutputStreamingIsReportedEveryTimeButCountedOnce) {
  module.process(64, EventList().graphStart(0));
  host.clearRecords();
  probe->out.setStreaming(false);
  probe->out.setStreaming(false);
  EXPECT_EQ(host.streamingOn(Probe::OUT).size(), 2u);
  EXPECT_EQ(probe->streamingPinCount(), 0);
}

TEST_F(AudioBaseTest, RawValuesFollowTheirTypes) {
  module.process(1, EventList().raw(0, Probe::SWITCH, {2, 0, 0, 0}));
  EXPECT_TRUE(probe->toggle.getValue()) << "4-byte value 2";
  module.process(1, EventList().raw(0, Probe::SWITCH, {0}));
  EXPECT_FALSE(probe->toggle.getValue());
  module.process(1, EventList().raw(0, Probe::SWITCH, {0, 1, 0}));
  EXPECT_FALSE(probe->toggle.getValue()) << "other sizes take the first byte";

  module.process(1, EventList().raw(0, Probe::NAME, {'a', 0, 'b', 0, 'c'}));
  EXPECT_EQ(probe->name.getValue(), MpString(MP_TEXT("ab"))) << "odd last byte dropped";
  EXPECT_EQ(probe->name.rawSize(), 4);

  module.process(1, EventList().value(0, Probe::DATA, MpBlob(3, "xyz")));
  EXPECT_EQ(probe->data.getValue(), MpBlob(3, "xyz"));
  module.process(1, EventList().raw(0, Probe::DATA, {}));
  EXPECT_EQ(probe->data.rawSize(), 0);
  EXPECT_EQ(probe->data.getValue().data(), nullptr);
}

TEST_F(AudioBaseTest, ShortOrNegativeRawValuesReadOnlyWhatWasGiven) {
  // Two bytes of a float: the missing ones read as zero, nothing past them.
  auto* two = new uint8_t[2]{0x80, 0x3F};
  MpEvent e{0, MP_EVENT_PIN_VALUE, Probe::LEVEL, 2, 0, 0, reinterpret_cast<char*>(two), nullptr};
  probe->processBlock(1, &e);
  const uint8_t widened[4] = {0x80, 0x3F, 0, 0};
  EXPECT_EQ(std::memcmp(probe->level.rawPointer(), widened, 4), 0);
  delete[] two;

  MpEvent negative{0, MP_EVENT_PIN_VALUE, Probe::NAME, -6, 0, 0, nullptr, nullptr};
  probe->processBlock(1, &negative);
  EXPECT_TRUE(probe->name.getValue().empty());

  // Inline data holds 8 bytes; a larger size without extra data is cut there.
  MpEvent oversized{0, MP_EVENT_PIN_VALUE, Probe::DATA, 1000, 0x01020304, 0x05060708, nullptr, nullptr};
  probe->processBlock(1, &oversized);
  EXPECT_EQ(probe->data.rawSize(), 8);
}

TEST_F(AudioBaseTest, MidiOutputSendsAtTheCurrentPosition) {
  module.process(64, EventList().streaming(12, Probe::IN, true));
  host.clearRecords();
  const unsigned char note[3] = {0x90, 64, 1};
  probe->midiOut.send(note, 3);
  probe->midiOut.send(note, 3, 30);
  ASSERT_EQ(host.valuesOn(Probe::MIDI_OUT).size(), 2u);
  EXPECT_EQ(host.values[0].position, 12);
  EXPECT_EQ(host.values[1].position, 30);
  EXPECT_EQ(host.values[0].bytes, std::vector<uint8_t>({0x90, 64, 1}));
}

TEST_F(AudioBaseTest, PinsReportTheirTypesAndDirections) {
  EXPECT_EQ(probe->in.datatype(), MP_DT_AUDIO);
  EXPECT_EQ(probe->level.datatype(), MP_DT_FLOAT);
  EXPECT_EQ(probe->choice.datatype(), MP_DT_INT);
  EXPECT_EQ(probe->toggle.datatype(), MP_DT_BOOL);
  EXPECT_EQ(probe->name.datatype(), MP_DT_TEXT);
  EXPECT_EQ(probe->data.datatype(), MP_DT_BLOB);
  EXPECT_EQ(probe->midiIn.datatype(), MP_DT_MIDI);
  EXPECT_EQ(ListInPin().datatype(), MP_DT_ENUM);
  EXPECT_EQ(probe->out.direction(), MP_PIN_OUT);
  EXPECT_EQ(probe->midiOut.direction(), MP_PIN_OUT);
  EXPECT_EQ(probe->midiIn.direction(), MP_PIN_IN);
  EXPECT_EQ(probe->midiOut.defaultHandler(), nullptr);
}

}  // namespace

// Pins registered out of order are still found by index, in order when
// walked; an index taken twice keeps its first pin.
TEST(PinIndex, FindsByIndexWhateverTheOrderOfRegistration) {
  int pins[8] = {};
  const std::pair<int32_t, int> added[] = {{0, 0}, {1, 1}, {5, 2}, {3, 3}, {9, 4}, {5, 5}, {2, 6}, {0, 7}, {4, 5}};
  MpPinIndex<int> index;
  for (const auto& [at, slot] : added) index.add(at, &pins[slot]);
  std::vector<int32_t> walked;
  for (const auto& [at, pin] : index) walked.push_back(at);
  EXPECT_EQ(walked, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 9}));
  EXPECT_EQ(index.find(0), &pins[0]);
  EXPECT_EQ(index.find(5), &pins[2]);
  EXPECT_EQ(index.find(4), &pins[5]);
  EXPECT_EQ(index.find(9), &pins[4]);
  for (int32_t missing : {-1, 6, 8, 10}) EXPECT_EQ(index.find(missing), nullptr) << missing;
}
