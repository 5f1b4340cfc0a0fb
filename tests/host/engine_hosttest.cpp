// Transport between modules: event offsets, feedback delay, streaming,
// sleep and wake-up, named memory, MIDI and the GUI side.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host_fixture.h"

namespace zvhost::testing {
namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(EngineTransport, ValuesArriveAtTheirOffsetWithinTheBlock) {
  auto engine = makeEngine();
  int sender = add(*engine, "Test Sender", "sender");
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->setConstant({sender, 0}, rawInt(5));
  engine->connect({sender, 1}, {recorder, 3});
  engine->prepare();
  for (int b = 0; b < 4; ++b) engine->processBlock(16);
  auto log = TestPlugin::get().log("rec block=");
  for (int b = 1; b <= 4; ++b)
    EXPECT_TRUE(contains(log, "rec block=" + std::to_string(b) + " t=5 type=100 pin=3 v=" + std::to_string(b)))
        << "block " << b;
  // The order follows the connection, not the order of creation.
  EXPECT_EQ(engine->order(), (std::vector<int>{sender, recorder}));
}

TEST(EngineTransport, FeedbackConnectionsDeliverOneBlockLateAtTheSameOffset) {
  auto engine = makeEngine();
  int recorder = add(*engine, "Test Recorder", "recorder");
  int sender = add(*engine, "Test Sender", "sender");
  engine->setConstant({sender, 0}, rawInt(9));
  engine->connect({sender, 1}, {recorder, 3});
  engine->connect({sender, 2}, {recorder, 1});
  engine->connect({recorder, 2}, {sender, 3});  // closes the loop
  engine->prepare();
  ASSERT_EQ(engine->order().front(), recorder);
  for (int b = 0; b < 3; ++b) engine->processBlock(16);
  auto log = TestPlugin::get().log("rec ");
  EXPECT_TRUE(contains(log, "rec block=2 t=9 type=100 pin=3 v=1"));
  EXPECT_TRUE(contains(log, "rec block=3 t=9 type=100 pin=3 v=2"));
  EXPECT_FALSE(contains(log, "rec block=1 t=9 type=100 pin=3 v=1"));
  // Audio across the loop is the source's previous block.
  EXPECT_TRUE(contains(log, "rec ran block=2 in0=1000 inLast=1015"));
  EXPECT_TRUE(contains(log, "rec ran block=3 in0=2000 inLast=2015"));
}

TEST(EngineTransport, AModuleFedByItsOwnOutputHearsItsPreviousBlock) {
  auto engine = makeEngine();
  int acc = add(*engine, "Test Accumulate", "acc");
  engine->connect({acc, 1}, {acc, 0});
  engine->connectOutput({acc, 1}, 0);
  for (int b = 1; b <= 3; ++b) {
    engine->processBlock(16);
    EXPECT_EQ(engine->output(0)[0], static_cast<float>(b)) << "block " << b;
    EXPECT_EQ(engine->output(0)[15], static_cast<float>(b)) << "block " << b;
  }
}

TEST(EngineTransport, MidiLoopRepeatsOncePerBlockWithoutHanging) {
  auto engine = makeEngine();
  int a = add(*engine, "Test Midi", "a");
  int b = add(*engine, "Test Midi", "b");
  engine->connectMidiInput({a, 0});
  engine->connect({a, 1}, {b, 0});
  engine->connect({b, 1}, {a, 0});
  engine->prepare();
  const uint8_t noteOn[3] = {0x91, 60, 100};
  engine->sendMidi(3, noteOn, 3);
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("midi"), (std::vector<std::string>{"midi t=3 145 60 100", "midi t=3 145 60 100"}));
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("midi").size(), 4u);
}

TEST(EngineTransport, StaticSourceSleepsKeepsItsLevelAndWakesOnEvents) {
  auto engine = makeEngine();
  int level = engine->addHostSource("level", 0.25f);
  int source = add(*engine, "Test Const", "const");
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connect({source, 1}, {recorder, 1});
  engine->connectHostSource(level, {source, 0});
  engine->prepare();
  for (int b = 0; b < 6; ++b) engine->processBlock(16);
  EXPECT_TRUE(engine->isSleeping(source));
  EXPECT_TRUE(engine->isSleeping(recorder));
  int64_t calls = engine->processCalls(source);
  EXPECT_LE(calls, 3);
  auto first = TestPlugin::get().log("rec block=1");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), "rec block=1 t=0 type=102 pin=1");
  EXPECT_TRUE(contains(TestPlugin::get().log("rec ran"), "rec ran block=1 in0=0.25 inLast=0.25"));

  engine->processBlock(16);
  EXPECT_EQ(engine->processCalls(source), calls) << "a sleeping module was called";
  TestPlugin::get().clearLog();
  engine->setHostSource(level, 7, 0.5f);
  engine->processBlock(16);
  EXPECT_EQ(engine->processCalls(source), calls + 1);
  auto log = TestPlugin::get().log("rec ");
  ASSERT_GE(log.size(), 2u);
  EXPECT_NE(log.front().find(" t=7 type=102 pin=1"), std::string::npos) << log.front();
  EXPECT_NE(log.back().find("in0=0.25 inLast=0.5"), std::string::npos) << log.back();
}

TEST(EngineTransport, HostSourcesConvertToTheTargetTypeAndRepeatUnchangedValues) {
  auto engine = makeEngine();
  int trigger = engine->addHostSource("trigger", 0.0f);
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connectHostSource(trigger, {recorder, 4});
  engine->connectHostSource(trigger, {recorder, 3});
  engine->prepare();
  engine->processBlock(16);
  TestPlugin::get().clearLog();
  engine->setHostSource(trigger, 2, 1.0f);
  engine->setHostSource(trigger, 11, 1.0f);
  engine->processBlock(16);
  auto log = TestPlugin::get().log("rec block=2");
  EXPECT_TRUE(contains(log, "rec block=2 t=2 type=100 pin=4 v=1"));
  EXPECT_TRUE(contains(log, "rec block=2 t=11 type=100 pin=4 v=1"));
  EXPECT_TRUE(contains(log, "rec block=2 t=11 type=100 pin=3 v=1"));
}

TEST(EngineTransport, HostFedControlInputsStartAtTheHostsValue) {
  auto engine = makeEngine();
  int pitch = engine->addHostSource("pitch", 0.5f);
  int count = engine->addHostSource("count", 7.0f);
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connectHostSource(pitch, {recorder, 3});
  engine->connectHostSource(count, {recorder, 4});
  engine->processBlock(16);
  auto log = TestPlugin::get().log("rec block=1");
  EXPECT_TRUE(contains(log, "rec block=1 t=0 type=100 pin=3 v=0.5"));
  EXPECT_TRUE(contains(log, "rec block=1 t=0 type=100 pin=4 v=7"));
  EXPECT_FALSE(contains(log, "rec block=1 t=0 type=100 pin=3 v=0"));
}

TEST(EngineTransport, AudioInputsWithSeveralSourcesAreSummed) {
  auto engine = makeEngine();
  int a = add(*engine, "Test Const", "a");
  int b = add(*engine, "Test Const", "b");
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->setConstant({a, 0}, rawFloat(0.5f));
  engine->setConstant({b, 0}, rawFloat(-2.0f));
  engine->connect({a, 1}, {recorder, 1});
  engine->connect({b, 1}, {recorder, 1});
  engine->connectOutput({recorder, 2}, 0);
  engine->connectOutput({a, 1}, 1);
  engine->connectOutput({b, 1}, 1);
  engine->processBlock(16);
  EXPECT_FLOAT_EQ(engine->output(0)[15], -1.5f);
  EXPECT_FLOAT_EQ(engine->output(1)[0], -1.5f);
}

TEST(EngineTransport, NamedMemoryIsSharedZeroedAndInitialisedOnce) {
  auto engine = makeEngine();
  for (int size : {16, 8, 32}) {
    int m = add(*engine, "Test Memory", "memory");
    engine->setConstant({m, 0}, rawInt(size));
  }
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("mem"),
            (std::vector<std::string>{"mem init=1 null=0 zeroed=1 first=7", "mem init=0 null=0 zeroed=0 first=7",
                                      "mem init=0 null=1 zeroed=0 first=-"}));
  EXPECT_EQ(engine->namedMemoryBlocks(), 1u);
}

TEST(EngineTransport, GuiPinsCarryValuesBetweenBlocksAndTheTimerTicks) {
  auto engine = makeEngine();
  int sender = add(*engine, "Test Sender", "sender");
  int gui = add(*engine, "Test Gui Double", "double", true);
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connect({sender, 1}, {gui, 0});
  engine->connect({gui, 1}, {recorder, 3});
  engine->prepare();
  EXPECT_EQ(TestPlugin::get().log("gui pins"), (std::vector<std::string>{"gui pins=2"}));
  engine->processBlock(16);
  engine->processBlock(16);
  EXPECT_TRUE(contains(TestPlugin::get().log("gui in"), "gui in=1"));
  EXPECT_TRUE(contains(TestPlugin::get().log("rec block=2"), "rec block=2 t=0 type=100 pin=3 v=2"));
  // One second of blocks: the shared timer's 50 ms period gives 20 ticks.
  for (int b = 2; b < 3000; ++b) engine->processBlock(16);
  auto ticks = TestPlugin::get().log("gui ticks");
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.back(), "gui ticks=20");
}

TEST(EngineTransport, FileNamesResolveAgainstThePatchFolderWithinCapacity) {
  namespace fs = std::filesystem;
  fs::path folder = scratchFolder("zvhost_engine_files");
  auto engine = makeEngine(16, FileResolver(folder.string(), {}));
  int fits = add(*engine, "Test Files", "fits");
  int tight = add(*engine, "Test Files", "tight");
  engine->setConstant({fits, 0}, rawText("table.zvw"));
  engine->setConstant({tight, 0}, rawText("table.zvw"));
  engine->setConstant({tight, 1}, rawInt(8));
  engine->processBlock(16);
  auto log = TestPlugin::get().log("file");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "file result=0 intact=1 path=" + (folder / "table.zvw").string());
  EXPECT_EQ(log[1], "file result=-1 intact=1 path=");
}

TEST(EngineBuilding, RefusesMismatchedAndMisdirectedConnections) {
  auto engine = makeEngine();
  int sender = add(*engine, "Test Sender", "sender");
  int recorder = add(*engine, "Test Recorder", "recorder");
  auto message = [&](auto&& f) -> std::string {
    try {
      f();
    } catch (const EngineError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_NE(message([&] { engine->connect({sender, 1}, {recorder, 4}); }).find("type mismatch"), std::string::npos);
  EXPECT_NE(message([&] { engine->connect({sender, 2}, {recorder, 3}); }).find("type mismatch"), std::string::npos);
  EXPECT_NE(message([&] { engine->connect({recorder, 1}, {sender, 3}); }).find("is an input"), std::string::npos);
  EXPECT_NE(message([&] { engine->connect({sender, 1}, {recorder, 42}); }).find("no audio pin 42"), std::string::npos);
  EXPECT_NE(message([&] { engine->connectOutput({sender, 1}, 0); }).find("not an audio output"), std::string::npos);
  EXPECT_NE(message([&] { engine->connectMidiInput({recorder, 1}); }).find("not a MIDI input"), std::string::npos);
  EXPECT_NE(message([&] { engine->addModule(TestPlugin::get().module("Test Sine"), true, "sine"); }).find("cannot create"),
            std::string::npos);
}

}  // namespace
}  // namespace zvhost::testing
