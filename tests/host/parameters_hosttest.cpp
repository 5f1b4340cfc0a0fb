// The host's parameter store: the patch's parameters and presets, --set on
// them, the normalised position, NaN echoes, and zvhost params and
// --params-out with the real library.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/library_loader.h"
#include "host/patch.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

RawValue nanWithPayload(uint32_t payload) {
  const uint32_t bits = 0x7FC00000u | payload;
  RawValue raw(4);
  std::memcpy(raw.data(), &bits, 4);
  return raw;
}

struct Built {
  std::unique_ptr<Engine> engine;
  BuiltPatch patch;
};

Built build(const std::string& json, const std::vector<PinSetting>& settings = {}, const std::string& preset = {}) {
  Built b{makeEngine(), {}};
  b.patch =
      buildPatch({"/p/test.json", "/p", json}, *b.engine, TestPlugin::get().descriptions(), 0, 0, settings, preset);
  return b;
}

std::string buildError(const std::string& json, const std::vector<PinSetting>& settings = {},
                       const std::string& preset = {}) {
  try {
    build(json, settings, preset);
  } catch (const PatchError& e) {
    return e.what();
  }
  return "(no error)";
}

const std::string kLinkedPatch = R"({
  "modules": [{"name": "l", "id": "Test Linked", "side": "both", "values": {"gui:Value": 0.5}}],
  "parameters": {"gain": {"module": "l", "parameter": 0, "value": 1, "min": -10, "max": 10}},
  "presets": {"up": {"gain": 2}, "empty": {}}
})";

TEST(PatchParameters, ValueComesFromThePatchThenThePresetThenSet) {
  struct Case {
    std::vector<PinSetting> settings;
    std::string preset;
    float expected;
  };
  const Case cases[] = {
      {{}, "", 1.0f},  // the parameter's value wins over the module's values
      {{}, "empty", 1.0f},
      {{}, "up", 2.0f},
      {{{"gain=3"}}, "up", 3.0f},
      {{{"gain=+4.5"}}, "", 4.5f},
      {{{"gain=true"}}, "", 1.0f},
      // A pin bound to the parameter, set by name, comes last.
      {{{"gain=3"}, {"l:gui:Value=-2"}}, "up", -2.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset + (c.settings.empty() ? "" : " " + c.settings[0].text));
    Built b = build(kLinkedPatch, c.settings, c.preset);
    ASSERT_EQ(b.patch.parameters.size(), 1u);
    EXPECT_EQ(asFloat(b.engine->parameterValue(b.patch.parameters[0].parameter, "")), c.expected);
    // Both sides start from it.
    b.engine->processBlock(16);
    char expected[64];
    std::snprintf(expected, sizeof expected, "linked audio block=1 value=%g", c.expected);
    EXPECT_EQ(TestPlugin::get().log("linked audio"), std::vector<std::string>{expected});
  }
  EXPECT_EQ(build(kLinkedPatch).patch.presets, (std::vector<std::string>{"empty", "up"}));
}

TEST(PatchParameters, BadDeclarationsAndValuesAreRefusedWithTheirPlace) {
  auto patch = [](const std::string& parameters, const std::string& presets = "{}") {
    return R"({"modules": [{"name": "l", "id": "Test Linked", "side": "both"}, {"name": "r", "id": "Test Recorder"}],
               "parameters": )" +
           parameters + R"(, "presets": )" + presets + "}";
  };
  const std::string gain = R"({"gain": {"module": "l", "parameter": 0, "min": 0, "max": 10}})";
  // Errors of the patch itself, then of --set and --preset on a good one.
  const std::pair<std::string, const char*> patches[] = {
      {patch(R"({"gain": {"module": "x"}})"), "parameters.\"gain\": unknown module \"x\""},
      {patch(R"({"gain": {"module": "r"}})"), "module \"r\" (Test Recorder) has no parameters"},
      {patch(R"({"gain": {"module": "l"}})"), "has parameters 0, 1: give \"parameter\""},
      {patch(R"({"gain": {"module": "l", "parameter": 5}})"), "has no parameter 5 (it has 0, 1)"},
      {patch(R"({"a:b": {"module": "l"}})"), "no ':' or '='"},
      {patch(R"({"gain": {"module": "l", "parameter": 0, "min": 3, "max": 3}})"), "\"min\" must be below"},
      {patch(R"({"gain": {"module": "l", "parameter": 0, "menu": "a,b"}})"),
       "has no pin for its parameter's menu items"},
      {patch(R"({"gain": {"module": "l", "parameter": 0}, "again": {"module": "l", "parameter": 0}})"),
       "its parameter 0 is \"again\""},
      // Values that do not fit, wherever they come from, name the parameter.
      {patch(R"({"gain": {"module": "l", "parameter": 0, "value": "loud"}})"),
       "/p/test.json: parameters.\"gain\".\"value\": parameter \"gain\" (float): a string does not fit"},
      {patch(R"({"gain": {"module": "l", "parameter": 0, "value": 1e39}})"),
       "parameter \"gain\" (float): 1e+39 is beyond the range of a float"},
      {patch(gain, R"({"up": {"gain": 11}})"),
       "presets.\"up\".\"gain\": parameter \"gain\" (float): 11 is outside its range 0 to 10"},
      {patch(gain, R"({"up": {"loudness": 1}})"),
       "presets.\"up\".\"loudness\": the patch has no parameter \"loudness\" (it has: gain)"},
  };
  for (const auto& [json, expected] : patches) {
    const std::string error = buildError(json);
    EXPECT_NE(error.find(expected), std::string::npos) << json << "\n" << error;
  }
  const std::pair<const char*, const char*> settings[] = {
      {"gain=nan", "--set \"gain=nan\": parameter \"gain\" (float): nan is not a number"},
      {"gain=1e39", "--set \"gain=1e39\": parameter \"gain\" (float): 1e39 is beyond the range of a float"},
      {"gain=1e999", "1e999 is beyond the range of a float"},
      {"gain=-inf", "-inf is infinite"},
      {"gain=loud", "parameter \"gain\" (float): \"loud\" is not a number"},
      {"gain=", "\"\" is not a number"},
      {"gian=1", "--set \"gian=1\": the patch has no parameter \"gian\" (it has: gain)"},
  };
  for (const auto& [setting, expected] : settings) {
    const std::string error = buildError(patch(gain), {{setting}});
    EXPECT_NE(error.find(expected), std::string::npos) << setting << "\n" << error;
  }
  const std::string unknownPreset = buildError(patch(gain), {}, "down");
  EXPECT_NE(unknownPreset.find("--preset \"down\": the patch has no preset \"down\" (it has none)"), std::string::npos)
      << unknownPreset;
}

TEST(PatchParameters, OfAVoiceModuleIsOneForAllVoices) {
  Built b = build(R"({
    "voices": 3,
    "voice": {"modules": [{"name": "v", "id": "Test Linked", "side": "both"},
                          {"name": "k", "id": "Test Gui Double", "side": "gui"}],
              "connections": [["k:Out", "v:Knob"]]},
    "parameters": {"gain": {"module": "v", "parameter": 0, "value": 1}}
  })",
                  {{"gain=2"}});
  b.engine->processBlock(16);
  auto log = TestPlugin::get().log("linked audio");
  EXPECT_EQ(std::count(log.begin(), log.end(), "linked audio block=1 value=2"), 3) << ::testing::PrintToString(log);
  // A knob turned in one voice's panel reaches every voice.
  TestPlugin::get().clearLog();
  const int knob = b.engine->instanceCount() - 1;  // the last voice's
  ASSERT_EQ(b.engine->label(knob), "k (voice 3)");
  b.engine->setGuiValue({knob, 0}, rawFloat(3.0f));  // doubled to 6
  b.engine->processBlock(16);
  log = TestPlugin::get().log("linked audio");
  EXPECT_EQ(std::count(log.begin(), log.end(), "linked audio block=2 value=6"), 3) << ::testing::PrintToString(log);
  EXPECT_EQ(asFloat(b.engine->parameterValue(b.patch.parameters[0].parameter, "")), 6.0f);
}

TEST(ParameterStore, TwoNansAreOneValue) {
  auto engine = makeEngine();
  int audio = add(*engine, "Test Linked", "linked");
  int gui = add(*engine, "Test Linked", "linked GUI", true);
  engine->linkSides(audio, gui);
  const int p = engine->findParameter(audio, 0);
  engine->setParameter(p, "", nanWithPayload(1));
  engine->prepare();
  engine->processBlock(16);
  ASSERT_EQ(TestPlugin::get().log("linked audio").size(), 1u);
  TestPlugin::get().clearLog();
  // Another NaN is no change: neither side hears of it.
  engine->setParameter(p, "", nanWithPayload(2));
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("linked"), std::vector<std::string>{});
  EXPECT_EQ(*engine->parameterValue(p, ""), nanWithPayload(1));
  EXPECT_TRUE(std::isnan(asFloat(engine->guiValue({gui, 0}))));
}

// The real library's patch memories on the host's parameter store.
struct LibraryEngine {
  LibraryEngine() : library(ZV_LIBRARY) {
    descriptions.loadFolder(ZV_DESCRIPTIONS);
    engine = std::make_unique<Engine>(library.factory(), EngineSettings{}, FileResolver());
  }
  std::pair<int, int> memory(const std::string& id, const std::string& label) {
    const ModuleDescription* d = descriptions.find(id);
    if (d == nullptr) throw std::runtime_error("no description of " + id);
    int audio = engine->addModule(*d, false, label);
    int gui = engine->addModule(*d, true, label + " GUI");
    engine->linkSides(audio, gui);
    return {audio, gui};
  }
  LibraryLoader library;
  DescriptionSet descriptions;
  std::unique_ptr<Engine> engine;
};

TEST(ParameterStore, NormalisedPositionAndValueFollowEachOther) {
  LibraryEngine l;
  auto [audio, gui] = l.memory("SE PatchMemory Float", "memory");
  Engine& engine = *l.engine;
  const int p = engine.findParameter(audio, 0);
  engine.setParameterRange(p, -4.0, 6.0);
  engine.setParameter(p, "", rawFloat(1.0f));
  EXPECT_EQ(asFloat(engine.parameterValue(p, "Normalized")), 0.5f);
  engine.prepare();
  engine.processBlock(64);
  // GUI pin 8 is the position a panel's slider reads and writes.
  EXPECT_EQ(asFloat(engine.guiValue({gui, 8})), 0.5f);
  engine.setGuiValue({gui, 8}, rawFloat(0.9f));
  EXPECT_NEAR(asFloat(engine.parameterValue(p, "")), 5.0f, 1e-6f);
  EXPECT_NEAR(asFloat(engine.guiValue({gui, 7})), 5.0f, 1e-6f);
  // The position stays as the slider left it.
  EXPECT_EQ(asFloat(engine.parameterValue(p, "Normalized")), 0.9f);
  // A value beyond the range puts the position at its end.
  engine.setGuiValue({gui, 7}, rawFloat(-100.0f));
  EXPECT_EQ(asFloat(engine.guiValue({gui, 8})), 0.0f);
  EXPECT_TRUE(engine.warnings().empty());
}

TEST(ParameterStore, NanEchoThroughPatchMemoriesSettles) {
  LibraryEngine l;
  auto [audioA, guiA] = l.memory("SE PatchMemory Float", "a");
  auto [audioB, guiB] = l.memory("SE PatchMemory Float", "b");
  Engine& engine = *l.engine;
  // Two panels' values tied together: a's parameter reaches b's through
  // both GUI sides, and each copy is offered back to its sender.
  engine.connect({guiA, 7}, {guiB, 7});
  engine.setParameter(engine.findParameter(audioA, 0), "", nanWithPayload(3));
  engine.prepare();
  for (int b = 0; b < 4; ++b) engine.processBlock(64);
  engine.setGuiValue({guiB, 7}, nanWithPayload(4));
  engine.processBlock(64);
  EXPECT_TRUE(engine.warnings().empty()) << engine.warnings()[0];
  for (int audio : {audioA, audioB})
    EXPECT_TRUE(std::isnan(asFloat(engine.parameterValue(engine.findParameter(audio, 0), ""))));
  EXPECT_TRUE(std::isnan(asFloat(engine.guiValue({guiB, 0}))));
}

// zvhost with the real library.
std::string presetsRender(const std::filesystem::path& folder, const std::string& name, const std::string& options) {
  const std::string wav = (folder / name).string();
  HostRun run = runHost("render " + std::string(ZV_EXAMPLES) + "/presets.json --midi " + ZV_EXAMPLES +
                        "/demo.mid --files " + ZV_WAVETABLES + " --seconds 3 --quiet -o " + wav + options);
  EXPECT_EQ(run.status, 0) << run.output;
  return wav;
}

TEST(HostParameters, PresetsChangeTheRenderAndSetBeatsThem) {
  const auto folder = scratchFolder("zvhost_presets");
  const double plain = brightness(presetsRender(folder, "plain.wav", ""));
  const double bright = brightness(presetsRender(folder, "bright.wav", " --preset bright"));
  const double dark = brightness(presetsRender(folder, "dark.wav", " --preset dark"));
  EXPECT_GT(bright, plain * 1.1);
  EXPECT_LT(dark, plain / 1.1);
  // --set gives every parameter the preset's value: the same render.
  const std::string same =
      presetsRender(folder, "same.wav", " --set cutoff=4.6 --set resonance=1.5 --set 'delay level=3'");
  EXPECT_EQ(readAll(folder / "dark.wav"), readAll(same));
  const std::string over = presetsRender(folder, "over.wav", " --preset dark --set cutoff=7.2 --set resonance=3");
  EXPECT_NE(readAll(folder / "dark.wav"), readAll(over));
  EXPECT_GT(brightness(over), dark * 1.1);

  HostRun refused = runHost("render " + std::string(ZV_EXAMPLES) + "/presets.json --seconds 1 --quiet -o " +
                            (folder / "never.wav").string() + " --preset dark --set resonance=nan");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("parameter \"resonance\" (float): nan is not a number"), std::string::npos)
      << refused.output;
  EXPECT_FALSE(std::filesystem::exists(folder / "never.wav"));
}

TEST(HostParameters, ParamsListsAndParamsOutReadsBackWhatThePatchWrote) {
  HostRun list = runHost("params " + std::string(ZV_EXAMPLES) + "/presets.json --preset dark --set cutoff=5");
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_EQ(list.output,
            "NAME         TYPE   RANGE    VALUE  MENU\n"
            "cutoff       float  0 to 10  5      -\n"
            "delay level  float  0 to 10  3      -\n"
            "resonance    float  0 to 10  1.5    -\n"
            "presets: bright, dark\n");

  const auto folder = scratchFolder("zvhost_params_out");
  std::ofstream(folder / "out.json") << R"({
    "modules": [
      {"name": "seven", "id": "SE IntToFloat", "values": {"Int Val": 7}},
      {"name": "written", "id": "SE PatchMemory Float Out", "side": "both"},
      {"name": "text", "id": "SE PatchMemory Text Out", "values": {"Value In": "h\u00e9"}},
      {"name": "kept", "id": "SE PatchMemory Float"}
    ],
    "connections": [["seven:Float Val", "written:Value In"]],
    "parameters": {
      "written": {"module": "written", "value": 1, "menu": "a,b"},
      "text": {"module": "text"},
      "kept": {"module": "kept", "value": 0.1}
    }
  })";
  const std::string patch = (folder / "out.json").string();
  HostRun before = runHost("params " + patch);
  ASSERT_EQ(before.status, 0) << before.output;
  EXPECT_NE(before.output.find("written  float   0 to 10  1      \"a,b\"  (written by the patch)"), std::string::npos)
      << before.output;
  HostRun run = runHost("render " + patch + " --seconds 0.1 --quiet -o " + (folder / "o.wav").string() +
                        " --params-out " + (folder / "values.json").string());
  ASSERT_EQ(run.status, 0) << run.output;
  const auto values = nlohmann::json::parse(readAll(folder / "values.json"));
  EXPECT_EQ(values, nlohmann::json::parse(R"({"written": 7, "text": "h\u00e9", "kept": 0.1})")) << values.dump();
  // 0.1 as a float, written in the fewest digits that read back as it.
  EXPECT_NE(readAll(folder / "values.json").find("\"kept\": 0.1,"), std::string::npos);
}

}  // namespace
}  // namespace zvhost::testing
