// Transport between modules: event offsets, feedback delay, streaming,
// sleep and wake-up, named memory, MIDI and the GUI side.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

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

// The run order on random graphs, loops and all, against the rule done the
// slow way: the lowest-index instance whose feeders have all run, or, when
// a loop leaves none, the lowest-index one not yet run.
TEST(EngineTransport, RunOrderIsTheLowestReadyInstanceFirst) {
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    auto engine = makeEngine();
    const int n = 2 + round;
    std::vector<int> ids;
    for (int i = 0; i < n; ++i) ids.push_back(add(*engine, "Test Accumulate", "acc" + std::to_string(i)));
    std::vector<std::vector<int>> feeders(static_cast<size_t>(n));
    std::uniform_int_distribution<int> any(0, n - 1);
    for (int e = 0; e < n + n / 2; ++e) {
      const int from = any(random);
      const int to = any(random);
      engine->connect({ids[static_cast<size_t>(from)], 1}, {ids[static_cast<size_t>(to)], 0});
      if (from != to) feeders[static_cast<size_t>(to)].push_back(from);
    }
    engine->prepare();
    std::vector<bool> ran(static_cast<size_t>(n), false);
    std::vector<int> expected;
    while (static_cast<int>(expected.size()) < n) {
      int next = -1;
      for (int i = 0; i < n && next < 0; ++i) {
        const auto& f = feeders[static_cast<size_t>(i)];
        if (!ran[static_cast<size_t>(i)] &&
            std::all_of(f.begin(), f.end(), [&](int p) { return ran[static_cast<size_t>(p)]; }))
          next = i;
      }
      for (int i = 0; i < n && next < 0; ++i)
        if (!ran[static_cast<size_t>(i)]) next = i;
      ran[static_cast<size_t>(next)] = true;
      expected.push_back(ids[static_cast<size_t>(next)]);
    }
    EXPECT_EQ(engine->order(), expected) << "round " << round;
  }
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

// An audio output drives a control input with the levels it reports, at
// the report's sample, converted to the input's type; the input's module
// runs after the output's.
TEST(EngineTransport, AudioOutputsDriveControlInputsWithTheLevelsTheyReport) {
  auto engine = makeEngine();
  int level = engine->addHostSource("level", 0.25f);
  int recorder = add(*engine, "Test Recorder", "recorder");
  int source = add(*engine, "Test Const", "const");
  engine->connectHostSource(level, {source, 0});
  engine->connect({source, 1}, {recorder, 3});
  engine->connect({source, 1}, {recorder, 4});
  engine->prepare();
  EXPECT_EQ(engine->order(), (std::vector<int>{source, recorder}));
  engine->processBlock(16);
  engine->setHostSource(level, 7, 2.75f);
  engine->processBlock(16);
  auto log = TestPlugin::get().log("rec block=");
  EXPECT_TRUE(contains(log, "rec block=1 t=0 type=100 pin=3 v=0.25"));
  EXPECT_TRUE(contains(log, "rec block=2 t=7 type=100 pin=3 v=2.75")) << "float";
  EXPECT_TRUE(contains(log, "rec block=2 t=7 type=100 pin=4 v=2")) << "int, truncated";

  auto refused = makeEngine();
  int sender = add(*refused, "Test Sender", "sender");
  int files = add(*refused, "Test Files", "files");
  EXPECT_THROW(refused->connect({sender, 2}, {files, 0}), EngineError) << "text takes no level";
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

TEST(EngineTransport, EventsFromSeveralSourcesArriveInTimeOrderTiesInSendingOrder) {
  auto engine = makeEngine();
  int a = engine->addHostSource("a", 0.0f);
  int b = engine->addHostSource("b", 0.0f);
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connectHostSource(a, {recorder, 3});
  engine->connectHostSource(b, {recorder, 4});
  engine->processBlock(16);
  TestPlugin::get().clearLog();
  engine->setHostSource(a, 11, 1.0f);
  engine->setHostSource(b, 2, 5.0f);
  engine->setHostSource(b, 11, 6.0f);
  engine->setHostSource(a, 14, 2.0f);
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("rec block=2"),
            (std::vector<std::string>{"rec block=2 t=2 type=100 pin=4 v=5", "rec block=2 t=11 type=100 pin=3 v=1",
                                      "rec block=2 t=11 type=100 pin=4 v=6", "rec block=2 t=14 type=100 pin=3 v=2"}));
}

TEST(EngineTransport, ManyEventsOutOfOrderArriveSortedAndStable) {
  auto engine = makeEngine();
  int recorder = add(*engine, "Test Recorder", "recorder");
  std::vector<int> sources;
  for (int i = 0; i < 40; ++i) {
    sources.push_back(engine->addHostSource(std::to_string(i), 0.0f));
    engine->connectHostSource(sources.back(), {recorder, 4});
  }
  engine->processBlock(16);
  TestPlugin::get().clearLog();
  std::vector<std::pair<int, int>> sent;  // (time, value) in sending order
  for (int i = 0; i < 40; ++i) {
    const int time = (i * 7) % 16;
    engine->setHostSource(sources[static_cast<size_t>(i)], time, static_cast<float>(i + 1));
    sent.emplace_back(time, i + 1);
  }
  engine->processBlock(16);
  std::stable_sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> expected;
  for (const auto& [time, value] : sent) {
    std::string line = "rec block=2 t=";
    line += std::to_string(time);
    line += " type=100 pin=4 v=";
    line += std::to_string(value);
    expected.push_back(line);
  }
  EXPECT_EQ(TestPlugin::get().log("rec block=2"), expected);
}

// Two static levels summed into an output and into a module's input, one
// of them falling to 0 (where the sum leaves it out) and coming back, at
// offsets inside blocks: every sample is the sum of the levels in force.
TEST(EngineTransport, SumsFollowSourcesThatFallSilentAndComeBack) {
  auto engine = makeEngine();
  int levelA = engine->addHostSource("a", 0.5f);
  int levelB = engine->addHostSource("b", 0.25f);
  int a = add(*engine, "Test Const", "a");
  int b = add(*engine, "Test Const", "b");
  int recorder = add(*engine, "Test Recorder", "recorder");
  engine->connectHostSource(levelA, {a, 0});
  engine->connectHostSource(levelB, {b, 0});
  for (int source : {a, b}) {
    engine->connect({source, 1}, {recorder, 1});
    engine->connectOutput({source, 1}, 0);
  }
  engine->connectOutput({recorder, 2}, 1);
  struct Step {
    int block;
    int32_t at;
    float a, b;
  };
  const Step steps[] = {
      {3, 5, 0.0f, 0.25f}, {8, 9, 0.125f, 0.25f}, {9, 0, 0.0f, 0.0f}, {15, 3, 0.0f, 2.0f}, {16, 12, 1.0f, 0.0f}};
  float valueA = 0.5f, valueB = 0.25f;
  size_t next = 0;
  for (int block = 1; block <= 20; ++block) {
    int32_t at = 16;
    float newA = valueA, newB = valueB;
    if (next < std::size(steps) && steps[next].block == block) {
      at = steps[next].at;
      newA = steps[next].a;
      newB = steps[next].b;
      if (newA != valueA) engine->setHostSource(levelA, at, newA);
      if (newB != valueB) engine->setHostSource(levelB, at, newB);
      ++next;
    }
    engine->processBlock(16);
    for (int32_t i = 0; i < 16; ++i) {
      const float expected = i < at ? valueA + valueB : newA + newB;
      ASSERT_EQ(engine->output(0)[i], expected) << "block " << block << " sample " << i;
      ASSERT_EQ(engine->output(1)[i], expected) << "summed input, block " << block << " sample " << i;
    }
    valueA = newA;
    valueB = newB;
  }
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

TEST(EngineTransport, GuiModulesLearnTheirPinCountAndTheTimerTicksInRenderedTime) {
  auto engine = makeEngine();
  int gui = add(*engine, "Test Gui Double", "double", true);
  engine->setConstant({gui, 0}, rawFloat(0.5f));
  engine->prepare();
  EXPECT_EQ(TestPlugin::get().log("gui pins"), (std::vector<std::string>{"gui pins=2"}));
  EXPECT_EQ(TestPlugin::get().log("gui in"), (std::vector<std::string>{"gui in=0.5"}));
  // One second of blocks: the shared timer's 50 ms period gives 20 ticks.
  for (int b = 0; b < 3000; ++b) engine->processBlock(16);
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

// A voice whose modules all sleep is passed over whole; a voice that
// sounds runs; the next event wakes the sleeping one.
TEST(EngineGroups, AVoiceThatSleepsIsPassedOverUntilItsNextEvent) {
  auto engine = makeEngine();
  int quiet = engine->addGroup("voice 1");
  int busy = engine->addGroup("voice 2");
  int level = engine->addHostSource("level", 0.25f);
  int source = add(*engine, "Test Const", "const", false, quiet);
  int recorder = add(*engine, "Test Recorder", "recorder", false, quiet);
  int sender = add(*engine, "Test Sender", "sender", false, busy);
  engine->connect({source, 1}, {recorder, 1});
  engine->connectHostSource(level, {source, 0});
  engine->connectOutput({source, 1}, 0);
  engine->connectOutput({sender, 2}, 1);
  for (int b = 0; b < 6; ++b) engine->processBlock(16);
  ASSERT_TRUE(engine->isSleeping(source));
  ASSERT_TRUE(engine->isSleeping(recorder));
  const int64_t sourceCalls = engine->processCalls(source);
  const int64_t recorderCalls = engine->processCalls(recorder);
  for (int b = 0; b < 4; ++b) {
    engine->processBlock(16);
    EXPECT_EQ(engine->groupsRun(), 1) << "only the sounding voice runs";
    EXPECT_EQ(engine->output(0)[15], 0.25f) << "a sleeping voice keeps its level";
    EXPECT_EQ(engine->output(1)[15], 1000.0f * (7 + b) + 15.0f);
  }
  EXPECT_EQ(engine->processCalls(source), sourceCalls);
  EXPECT_EQ(engine->processCalls(recorder), recorderCalls);
  engine->setHostSource(level, 4, 0.5f);
  engine->processBlock(16);
  EXPECT_EQ(engine->groupsRun(), 2);
  EXPECT_EQ(engine->processCalls(source), sourceCalls + 1);
  EXPECT_EQ(engine->output(0)[3], 0.25f);
  EXPECT_EQ(engine->output(0)[4], 0.5f);
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
  // A control value does not become audio (the other way round is a level).
  EXPECT_NE(message([&] { engine->connect({sender, 1}, {recorder, 1}); }).find("type mismatch"), std::string::npos);
  EXPECT_NE(message([&] { engine->connect({recorder, 1}, {sender, 3}); }).find("is an input"), std::string::npos);
  EXPECT_NE(message([&] { engine->connect({sender, 1}, {recorder, 42}); }).find("no audio pin 42"), std::string::npos);
  EXPECT_NE(message([&] { engine->connectOutput({sender, 1}, 0); }).find("not an audio output"), std::string::npos);
  EXPECT_NE(message([&] { engine->connectMidiInput({recorder, 1}); }).find("not a MIDI input"), std::string::npos);
  EXPECT_NE(
      message([&] { engine->addModule(TestPlugin::get().module("Test Sine"), true, "sine"); }).find("cannot create"),
      std::string::npos);
  // Pins live in arrays by index: a description reaching far beyond any
  // module's pins is refused, not allocated.
  DescriptionSet far;
  far.loadText(R"(<PluginList><Plugin id="Test Const"><Audio>
                    <Pin id="40000" name="Far" direction="in" datatype="float" /></Audio></Plugin></PluginList>)",
               "far.xml");
  ASSERT_NE(far.find("Test Const"), nullptr);
  EXPECT_NE(
      message([&] { engine->addModule(*far.find("Test Const"), false, "far"); }).find("beyond the last pin index"),
      std::string::npos);
}

}  // namespace
}  // namespace zvhost::testing
