// The panel side of the engine: GUI connections, linked sides through
// parameters, the GUI timer on the rendered clock, and the patch's "side"
// and --set.
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/canvas.h"
#include "host/library_loader.h"
#include "host/patch.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

// Two steppers in a ring, each giving out one more than it got.
std::pair<int, int> stepRing(Engine& engine) {
  int a = add(engine, "Test Gui Step", "a", true);
  int b = add(engine, "Test Gui Step", "b", true);
  engine.connect({a, 1}, {b, 0});
  engine.connect({b, 1}, {a, 0});
  return {a, b};
}

TEST(PanelLoop, SettlesWhenItsValuesStopChanging) {
  // Up to 10: the ring climbs to 10 and is quiet once a value comes back
  // unchanged.
  auto engine = makeEngine();
  auto [a, b] = stepRing(*engine);
  for (int m : {a, b}) engine->setConstant({m, 2}, rawFloat(10.0f));
  engine->prepare();
  EXPECT_EQ(asFloat(engine->guiValue({a, 1})), 10.0f);
  EXPECT_EQ(asFloat(engine->guiValue({b, 1})), 10.0f);
  // Connections carry values both ways: b's input is a's output.
  EXPECT_EQ(asFloat(engine->guiValue({b, 0})), 10.0f);
  const size_t runs = TestPlugin::get().log("step in=").size();
  EXPECT_LT(runs, 40u);
  EXPECT_TRUE(engine->warnings().empty());
  // Settled means settled: later blocks hand nothing more over.
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("step in=").size(), runs);
}

TEST(PanelLoop, ThatNeverSettlesIsCutWithAWarning) {
  auto engine = makeEngine();
  const int a = stepRing(*engine).first;
  engine->setConstant({a, 0}, rawFloat(0.0f));
  engine->prepare();
  const size_t runs = TestPlugin::get().log("step in=").size();
  EXPECT_GT(runs, 100u);
  EXPECT_LT(runs, 1000u);
  // One warning for each of the two chains the start set off.
  ASSERT_FALSE(engine->warnings().empty());
  EXPECT_NE(engine->warnings()[0].find("without settling"), std::string::npos) << engine->warnings()[0];
  // Started again and again, it is cut each time; the warnings do not pile up.
  for (int k = 1; k <= 5; ++k) engine->setGuiValue({a, 0}, rawFloat(-5.0f * k));
  EXPECT_GT(TestPlugin::get().log("step in=").size(), runs + 500);
  EXPECT_LE(engine->warnings().size(), 2u);
}

TEST(PanelLinkedSides, CarryValuesBothWaysAtBlockBoundaries) {
  auto engine = makeEngine();
  int audio = add(*engine, "Test Linked", "linked");
  int gui = add(*engine, "Test Linked", "linked GUI", true);
  int knob = add(*engine, "Test Gui Double", "knob", true);
  engine->linkSides(audio, gui);
  engine->connect({knob, 1}, {gui, 2});
  engine->setConstant({knob, 0}, rawFloat(1.5f));
  engine->prepare();
  // The knob's 3 went to the GUI side's Value and into the parameter; the
  // audio side has nothing yet.
  EXPECT_EQ(TestPlugin::get().log("linked audio"), std::vector<std::string>{});
  EXPECT_EQ(asFloat(engine->parameterValue(engine->findParameter(audio, 0), "")), 3.0f);
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("linked audio"), (std::vector<std::string>{"linked audio block=1 value=3"}));
  // The audio side's answers (its start value, then 3 + 1) are on the GUI
  // side at the end of that block, in the order sent.
  EXPECT_EQ(TestPlugin::get().log("linked gui echoed"),
            (std::vector<std::string>{"linked gui echoed=0", "linked gui echoed=4"}));

  TestPlugin::get().clearLog();
  engine->setGuiValue({knob, 0}, rawFloat(2.5f));
  EXPECT_EQ(TestPlugin::get().log("linked audio"), std::vector<std::string>{});
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("linked audio"), (std::vector<std::string>{"linked audio block=2 value=5"}));
  EXPECT_EQ(TestPlugin::get().log("linked gui echoed"), (std::vector<std::string>{"linked gui echoed=6"}));
  // The GUI side sent Value itself: the parameter does not hand it back.
  EXPECT_EQ(TestPlugin::get().log("linked gui value"), std::vector<std::string>{});
}

TEST(PanelLinkedSides, StartFromTheParameterValueGivenLastOnEitherSide) {
  struct Case {
    bool guiLast;
    float expected;
  };
  for (const Case& c : {Case{false, 7.0f}, Case{true, 9.0f}}) {
    auto engine = makeEngine();
    int audio = add(*engine, "Test Linked", "linked");
    int gui = add(*engine, "Test Linked", "linked GUI", true);
    // Given before the link: the later of the two holds for both sides.
    if (c.guiLast) {
      engine->setConstant({audio, 0}, rawFloat(7.0f));
      engine->setConstant({gui, 0}, rawFloat(9.0f));
    } else {
      engine->setConstant({gui, 0}, rawFloat(9.0f));
      engine->setConstant({audio, 0}, rawFloat(7.0f));
    }
    engine->linkSides(audio, gui);
    engine->processBlock(16);
    const std::string shown = c.guiLast ? "9" : "7";
    EXPECT_EQ(TestPlugin::get().log("linked gui value"), (std::vector<std::string>{"linked gui value=" + shown}));
    EXPECT_EQ(TestPlugin::get().log("linked audio"), (std::vector<std::string>{"linked audio block=1 value=" + shown}));
    EXPECT_EQ(asFloat(engine->parameterValue(engine->findParameter(gui, 0), "")), c.expected);
  }
}

TEST(PanelLinkedSides, OnlyTheTwoSidesOfOneModuleLink) {
  auto engine = makeEngine();
  int audio = add(*engine, "Test Linked", "linked");
  int gui = add(*engine, "Test Linked", "linked GUI", true);
  int other = add(*engine, "Test Gui Step", "step", true);
  int recorder = add(*engine, "Test Recorder", "recorder");
  EXPECT_THROW(engine->linkSides(audio, other), EngineError);
  EXPECT_THROW(engine->linkSides(gui, audio), EngineError);
  engine->linkSides(audio, gui);
  EXPECT_THROW(engine->linkSides(audio, gui), EngineError);
  // Across sides only parameters carry values, never connections.
  EXPECT_THROW(engine->connect({audio, 1}, {other, 0}), EngineError);
  EXPECT_THROW(engine->connect({other, 1}, {recorder, 3}), EngineError);
}

TEST(PanelTimer, TicksOneOfItsPeriodsAfterItStartsOnTheRenderedClock) {
  // 48 samples a block: 1 ms at 48 kHz.
  auto engine = makeEngine(48);
  int timer = add(*engine, "Test Gui Timer", "timer", true);
  engine->prepare();
  for (int b = 0; b < 10; ++b) engine->processBlock(48);
  engine->setGuiValue({timer, 0}, rawFloat(1.0f));  // starts the 20 ms timer after block 10
  int tickedAfter = 0;
  for (int b = 11; b <= 60 && tickedAfter == 0; ++b) {
    engine->processBlock(48);
    if (!TestPlugin::get().log("timer tick").empty()) tickedAfter = b;
  }
  EXPECT_EQ(tickedAfter, 30);
  // It left the timer: no tick without a new start.
  for (int b = 0; b < 100; ++b) engine->processBlock(48);
  EXPECT_EQ(TestPlugin::get().log("timer tick").size(), 1u);
}

// The patch's "side" and --set.
std::string patchError(const std::string& json, const std::vector<PinSetting>& settings = {}) {
  auto engine = makeEngine();
  try {
    buildPatch({"/p/test.json", "/p", json}, *engine, TestPlugin::get().descriptions(), 0, 0, settings);
  } catch (const PatchError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PanelPatch, PinsOfBothSidesAreFoundOrAskedToBeNamed) {
  struct Case {
    std::string json;
    std::vector<PinSetting> settings;
    const char* expected;
  };
  const std::string linked = R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"},
                                       {"name": "k", "id": "Test Gui Double", "side": "gui"},
                                       {"name": "r", "id": "Test Recorder"}],
                          "connections": [)";
  const std::vector<Case> cases = {
      // Knob is on the GUI side only; Echo on the audio side only.
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both", "values": {"Knob": 1, "Echo": 2}}]})",
       {},
       "is an output"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both", "values": {"Value": 1}}]})",
       {},
       "on both sides; write audio:Value or gui:Value"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both", "values": {"gui:Value": 1, "audio:0": 2}}]})",
       {},
       "(no error)"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both", "values": {"gui:Echo": 1}}]})",
       {},
       "has no GUI pin \"Echo\""},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "sideways"}]})", {}, "\"both\""},
      // The other end decides the side of a pin that both sides have.
      {linked + R"(["k:Out", "l:Value"], ["l:Echo", "r:Value"]]})", {}, "(no error)"},
      {linked + R"(["l:Value", "l:Value"]]})", {}, "on both sides"},
      {linked + R"(["k:Out", "r:Value"]]})", {}, "GUI pins connect to GUI pins only"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})", {{"l:Value=3"}}, "on both sides"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})", {{"l:gui:Knob=3"}}, "(no error)"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})",
       {{"l:Knob=loud"}},
       "--set \"l:Knob=loud\": a string does not fit pin 2 (float)"},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})",
       {{"q:Knob=1"}},
       "--set \"q:Knob=1\": the patch has no module \"q\""},
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})", {{"l:Knob"}}, "MODULE:PIN=VALUE"},
      // Without a ':' before the '=' it names a parameter.
      {R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}]})",
       {{"l=1"}},
       "--set \"l=1\": the patch has no parameter \"l\""},
  };
  for (const Case& c : cases) {
    const std::string error = patchError(c.json, c.settings);
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.json << "\n" << error;
  }
}

TEST(PanelPatch, SetWinsOverThePatchInEveryVoice) {
  const std::string json = R"({
    "voices": 2,
    "modules": [{"name": "g", "id": "Test Recorder", "values": {"Value": 1, "Number": 4}},
                {"name": "t", "id": "Test Files", "values": {"Name": "patch.zvw"}}],
    "voice": {"modules": [{"name": "v", "id": "Test Recorder", "values": {"Value": 1}}]}
  })";
  auto engine = makeEngine();
  buildPatch({"/p/test.json", "/p", json}, *engine, TestPlugin::get().descriptions(), 0, 0,
             {{"g:Value=2.5"}, {"v:3=-4"}, {"t:Name=a b=c.zvw"}, {"g:Number=7"}});
  engine->processBlock(16);
  auto log = TestPlugin::get().log("rec block=1 t=0 type=100 pin=");
  EXPECT_EQ(std::count(log.begin(), log.end(), "rec block=1 t=0 type=100 pin=3 v=2.5"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "rec block=1 t=0 type=100 pin=3 v=-4"), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), "rec block=1 t=0 type=100 pin=4 v=7"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "rec block=1 t=0 type=100 pin=3 v=1"), 0);
  // Text is taken whole, '=' and spaces included.
  auto files = TestPlugin::get().log("file ");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].find("path=a b=c.zvw"), std::string::npos) << files[0];
}

TEST(PanelLinkedSides, EveryShippedModuleWithTwoSidesLinks) {
  LibraryLoader library(ZV_LIBRARY);
  ASSERT_NE(library.factory(), nullptr) << library.error();
  DescriptionSet descriptions;
  descriptions.loadFolder(ZV_DESCRIPTIONS);
  EngineSettings settings;
  Engine engine(library.factory(), settings, FileResolver());
  int linked = 0;
  for (const auto& [id, d] : descriptions.all()) {
    if (d.audioPins.empty() || d.guiPins.empty()) continue;
    SCOPED_TRACE(id);
    int audio = engine.addModule(d, false, id);
    int gui = engine.addModule(d, true, id + " GUI");
    ASSERT_NO_THROW(engine.linkSides(audio, gui));
    ++linked;
    // Each parameter a pin of either side names is one, shared by both.
    for (bool side : {false, true}) {
      for (const PinDescription& pin : d.pins(side)) {
        if (pin.parameterId < 0) continue;
        EXPECT_EQ(engine.findParameter(side ? gui : audio, pin.parameterId),
                  engine.findParameter(side ? audio : gui, pin.parameterId));
      }
    }
  }
  EXPECT_GE(linked, 10);  // the scope, the path memory, the sample loader and the patch memories
  EXPECT_NO_THROW(engine.prepare());
}

// zvhost with the real library: the scope drawn to PNG, --set on the panel
// example.
struct Png {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
  bool has(uint32_t colour) const {
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
      if ((rgb[i] | rgb[i + 1] << 8 | rgb[i + 2] << 16) == static_cast<int>(colour)) return true;
    return false;
  }
};

Png readPng(const std::string& path) {
  Png png;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return png;
  image.format = PNG_FORMAT_RGB;
  png.rgb.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) == 0) return {};
  png.width = image.width;
  png.height = image.height;
  return png;
}

TEST(HostPanel, ScopeIsDrawnToAPngOfTheRequestedSizeWithItsTrace) {
  const auto folder = scratchFolder("zvhost_scope");
  const std::string render = "render " + std::string(ZV_EXAMPLES) + "/demo.json --midi " + ZV_EXAMPLES +
                             "/demo.mid --files " + ZV_WAVETABLES + " --seconds 1 --quiet -o " +
                             (folder / "a.wav").string();
  for (const char* name : {"a.png", "b.png"}) {
    HostRun run = runHost(render + " --scope-size 320x120 --scope scope=" + (folder / name).string());
    ASSERT_EQ(run.status, 0) << run.output;
  }
  EXPECT_EQ(readAll(folder / "a.png"), readAll(folder / "b.png"));
  const Png png = readPng((folder / "a.png").string());
  EXPECT_EQ(png.width, 320u);
  EXPECT_EQ(png.height, 120u);
  // The scope's trace and centre line on the panel's background.
  EXPECT_TRUE(png.has(0xD2C8BA));
  EXPECT_TRUE(png.has(0x8D877A));
  EXPECT_TRUE(png.has(kPanelBackground));

  // Frames at 0.25, 0.5 and 0.75 s and the end: one row of four.
  HostRun sheet =
      runHost(render + " --scope-size 100x50 --scope-every 0.25 --scope scope=" + (folder / "sheet.png").string());
  ASSERT_EQ(sheet.status, 0) << sheet.output;
  const Png tiles = readPng((folder / "sheet.png").string());
  EXPECT_EQ(tiles.width, 4u * 100 + 3 * 4);
  EXPECT_EQ(tiles.height, 50u);

  struct Refused {
    std::string arguments;
    int status;
    const char* message;
  };
  const Refused refused[] = {
      {" --scope echo=x.png", 2, "\"echo\" has no GUI side that draws (give it \"side\": \"both\")"},
      {" --scope osc=x.png", 2, "none named \"osc\""},
      {" --scope scope", 2, "expected MODULE=OUT.png"},
      {" --scope-size 10x300 --scope scope=x.png", 2, "--scope-size"},
      {" --scope scope=" + (folder / "no" / "x.png").string(), 1, "x.png"},
  };
  for (const Refused& r : refused) {
    HostRun run = runHost(render + r.arguments);
    EXPECT_EQ(run.status, r.status) << r.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(r.message), std::string::npos) << run.output;
  }
}

TEST(HostPanel, SetDrivesThePanelExampleThroughItsGuiChain) {
  const auto folder = scratchFolder("zvhost_panel");
  auto renderWith = [&](const std::string& name, const std::string& settings) {
    const std::string wav = (folder / name).string();
    HostRun run = runHost("render " + std::string(ZV_EXAMPLES) + "/panel.json --midi " + ZV_EXAMPLES +
                          "/demo.mid --files " + ZV_WAVETABLES + " --seconds 3 --quiet -o " + wav + settings);
    EXPECT_EQ(run.status, 0) << run.output;
    return wav;
  };
  const std::string plain = renderWith("plain.wav", "");
  // The depth typed as another text for the same number changes nothing.
  const std::string sameDepth = renderWith("same.wav", " --set 'depth:Text Val= 6.0e0'");
  EXPECT_EQ(readAll(plain), readAll(sameDepth));
  // 0 dB opens the filter further (7.2 V); a depth of 2 closes it (3.8 V).
  const double base = brightness(plain);
  const double open = brightness(renderWith("open.wav", " --set level:Db=0"));
  const double closed = brightness(renderWith("closed.wav", " --set 'depth:Text Val=2'"));
  EXPECT_GT(open, base * 1.1);
  EXPECT_LT(closed, base / 1.1);
  EXPECT_GT(base, 0.0);
}

}  // namespace
}  // namespace zvhost::testing
