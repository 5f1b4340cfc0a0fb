// Patch files: building instances and connections, voice cloning, and one
// clear error naming file, place and problem for every kind of bad patch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "host/patch.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

PatchText patchText(const std::string& json) {
  PatchText text;
  text.path = "/patches/test.json";
  text.folder = "/patches";
  text.json = json;
  return text;
}

std::string buildError(const std::string& json) {
  auto engine = makeEngine();
  try {
    buildPatch(patchText(json), *engine, TestPlugin::get().descriptions(), 0);
  } catch (const PatchError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PatchErrors, NameTheFileThePlaceAndTheProblem) {
  struct Case {
    const char* json;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"{\n  \"modules\": [\n    {\"name\": \"a\" \"id\": 1}\n  ]\n}", {"line 3", "JSON"}},
      {R"({"modules": [{"name": "a", "id": "Test Nothing"}]})",
       {"modules[0] (\"a\")", "unknown identifier \"Test Nothing\""}},
      {R"({"modules": [{"name": "a", "id": "Test Const", "values": {"Volume": 1}}]})",
       {"modules[0] (\"a\").values.\"Volume\"", "no audio pin \"Volume\""}},
      {R"({"modules": [{"name": "a", "id": "Test Const", "values": {"Level": "loud"}}]})",
       {"does not fit pin 0 (float)"}},
      {R"({"modules": [{"name": "a", "id": "Test Const", "values": {"Out": 1}}]})", {"is an output"}},
      {R"({"modules": [{"name": "s", "id": "Test Sender"}, {"name": "r", "id": "Test Recorder"}],
          "connections": [["s:Value", "r:Number"]]})",
       {"connections[0]", "type mismatch", "float", "int"}},
      {R"({"modules": [{"name": "s", "id": "Test Sender"}], "connections": [["s:Value", "q:0"]]})",
       {"connections[0]", "unknown module \"q\""}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["voice:gate", "s:Gate"]]})",
       {"voice inputs exist only in the voice section"}},
      {R"({"voice": {"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["voice:bend", "s:0"]]}})",
       {"voice.connections[0]", "unknown voice input \"bend\""}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}, {"name": "s", "id": "Test Sine"}]})", {"used twice"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "voice": {"modules": [{"name": "s", "id": "Test Sine"}]}})",
       {"voice.modules[0]", "used twice"}},
      {R"({"module": []})", {"\"module\"", "unknown key"}},
      {R"({"voices": 0})", {"\"voices\"", "whole number"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine", "side": "gui"}]})",
       {"cannot create \"Test Sine\" on the GUI side"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["s:Out", "output:centre"]]})",
       {"unknown output \"centre\""}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["s:Out"]]})",
       {"connections[0]", "expected"}},
      {R"([1, 2])", {"top level", "expected an object"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["midi:cc:128", "s:Gate"]]})",
       {"\"midi:in\" and \"midi:cc:N\" (N from 0 to 127)"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["midi:cc:+1", "s:Gate"]]})",
       {"\"midi:cc:N\""}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["s:Out", "midi:cc:1"]]})", {"is a source"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["host:speed", "s:Gate"]]})",
       {"unknown host input \"speed\" (tempo, position or playing)"}},
      {R"({"connections": [["host:tempo", "output:left"]]})", {"\"host:tempo\" goes to a module pin"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["s:Out", "voices:midi"]]})",
       {"not a MIDI output"}},
      {R"({"voice": {"modules": [{"name": "m", "id": "Test Midi"}], "connections": [["m:Out", "voices:midi"]]}})",
       {"voice.connections[0]", "fed from outside the voice section"}},
      {R"({"modules": [{"name": "s", "id": "Test Sine"}], "connections": [["s:Gate", "voices:gate"]]})",
       {"target \"voices:midi\""}},
      {R"({"modules": [{"name": "host", "id": "Test Sine"}]})", {"name \"host\" is reserved"}},
      {R"({"voices": 1e400})", {"JSON", "1e400"}},
  };
  for (const auto& c : cases) {
    std::string message = buildError(c.json);
    EXPECT_EQ(message.rfind("/patches/test.json: ", 0), 0u) << message;
    for (const auto& part : c.expected)
      EXPECT_NE(message.find(part), std::string::npos) << message << "\n  lacks: " << part;
  }
}

TEST(PatchErrors, DamagedPatchesBuildOrFailWithAPatchError) {
  const std::string original =
      R"({"voices": 2, "modules": [{"name": "rec", "id": "Test Recorder", "values": {"Tag": 3}}],
    "voice": {"modules": [{"name": "sine", "id": "Test Sine", "values": {"2": 0.5}}],
              "connections": [["voice:pitch", "sine:Pitch"], ["sine:Out", "rec:In"], ["sine:3", "output:left"]]},
    "connections": [["rec:Out", "output:right"]]})";
  ASSERT_EQ(buildError(original), "(no error)");
  std::mt19937 random(99);
  const std::string alphabet = "{}[]:,\"0123456789-.eE abcxyz";
  int refused = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string damaged = original;
    for (int h = 0; h < 2; ++h) damaged[random() % damaged.size()] = alphabet[random() % alphabet.size()];
    auto engine = makeEngine();
    try {
      buildPatch(patchText(damaged), *engine, TestPlugin::get().descriptions(), 0);
    } catch (const PatchError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 100);
}

TEST(PatchErrors, MissingPatchFileOrAFolderInstead) {
  try {
    readPatchFile("/nonexistent/patch.json");
    FAIL() << "no error";
  } catch (const PatchError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/patch.json: cannot open"), std::string::npos);
  }
  std::string folder = std::filesystem::temp_directory_path().string();
  try {
    readPatchFile(folder);
    FAIL() << "a folder was read as a patch";
  } catch (const PatchError& e) {
    EXPECT_EQ(std::string(e.what()), folder + ": a folder, not a patch file");
  }
}

TEST(PatchBuilding, VoiceSectionIsClonedPerVoiceAndPinsResolveByNameOrIndex) {
  const char* json = R"({
    "voices": 3,
    "modules": [{"name": "rec", "id": "Test Recorder"}],
    "voice": {
      "modules": [{"name": "sine", "id": "Test Sine", "values": {"2": 0.5}}],
      "connections": [["voice:pitch", "sine:Pitch"], ["voice:gate", "sine:1"], ["sine:Out", "rec:In"],
                      {"from": "sine:Out", "to": "output:left"}]
    },
    "connections": [["rec:Out", "output:right"]]
  })";
  auto engine = makeEngine();
  BuiltPatch built = buildPatch(patchText(json), *engine, TestPlugin::get().descriptions(), 0);
  EXPECT_EQ(built.voices, 3);
  EXPECT_EQ(engine->instanceCount(), 4);
  EXPECT_EQ(engine->label(3), "sine (voice 3)");
  ASSERT_EQ(built.voiceSources.size(), 3u);
  EXPECT_TRUE(engine->hasSource({3, 1}));
  EXPECT_FALSE(engine->hasSource({3, 2}));

  auto overridden = makeEngine();
  EXPECT_EQ(buildPatch(patchText(json), *overridden, TestPlugin::get().descriptions(), 5).voices, 5);
  EXPECT_EQ(overridden->instanceCount(), 6);
  // The voices' order puts every sine before the recorder they feed.
  overridden->prepare();
  EXPECT_EQ(overridden->order().back(), 0);
}

// MIDI and transport sources are made once where they are used: a voice's
// controller inputs per voice (voice:modwheel is controller 1 there),
// patch-wide ones once.
TEST(PatchBuilding, MidiAndTransportSourcesAreMadeWhereTheyAreUsed) {
  const char* json = R"({
    "voices": 2,
    "modules": [{"name": "global", "id": "Test Recorder"}, {"name": "m", "id": "Test Midi"}],
    "voice": {
      "modules": [{"name": "rec", "id": "Test Recorder"}],
      "connections": [["voice:modwheel", "rec:Value"], ["midi:cc:1", "rec:Number"], ["voice:pressure", "rec:Tag"],
                      ["host:position", "rec:VoiceActive"]]
    },
    "connections": [["midi:cc:7", "global:Value"], ["host:tempo", "global:Number"], ["midi:in", "m:In"],
                    ["m:Out", "voices:midi"]]
  })";
  auto engine = makeEngine();
  BuiltPatch built = buildPatch(patchText(json), *engine, TestPlugin::get().descriptions(), 0);
  ASSERT_EQ(built.voiceControllers.size(), 2u);
  for (const auto& sources : built.voiceControllers)
    EXPECT_EQ(sources, (std::map<int32_t, int>{{1, sources.at(1)}, {kPressure, sources.at(kPressure)}}));
  EXPECT_NE(built.voiceControllers[0].at(1), built.voiceControllers[1].at(1));
  EXPECT_EQ(built.patchControllers.count(7), 1u);
  EXPECT_TRUE(built.tempoSource >= 0 && built.positionSource >= 0 && built.playingSource == -1);
  EXPECT_GE(built.voicesMidi, 0);
}

TEST(PatchBuilding, VoiceActiveInputsFollowTheVoiceUnlessThePatchFeedsThem) {
  const char* json = R"({
    "voices": 2,
    "voice": {
      "modules": [{"name": "follows", "id": "Test Recorder"},
                  {"name": "fixed", "id": "Test Recorder", "values": {"VoiceActive": 1}},
                  {"name": "wired", "id": "Test Recorder"}],
      "connections": [["voice:gate", "wired:VoiceActive"]]
    },
    "modules": [{"name": "global", "id": "Test Recorder"}]
  })";
  auto engine = makeEngine();
  BuiltPatch built = buildPatch(patchText(json), *engine, TestPlugin::get().descriptions(), 0);
  ASSERT_EQ(engine->instanceCount(), 7);
  EXPECT_FALSE(engine->hasSource({0, 5})) << "outside the voices there is no voice";
  EXPECT_TRUE(engine->hasSource({1, 5}));
  EXPECT_FALSE(engine->hasSource({2, 5}));
  EXPECT_TRUE(engine->hasSource({3, 5}));
  // The second voice repeats the first: its values and its connections.
  EXPECT_TRUE(engine->hasSource({4, 5}));
  EXPECT_FALSE(engine->hasSource({5, 5}));
  EXPECT_TRUE(engine->hasSource({6, 5}));
  engine->processBlock(16);
  const auto first = TestPlugin::get().log("rec block=1 t=0 type=100 pin=5 v=1");
  EXPECT_EQ(std::count(first.begin(), first.end(), "rec block=1 t=0 type=100 pin=5 v=1"), 2);
  // The automatic link carries the second voice's state to its module only.
  engine->setHostSource(built.voiceSources[1][static_cast<size_t>(VoiceInput::Active)], 3, -1.0f);
  engine->processBlock(16);
  EXPECT_EQ(TestPlugin::get().log("rec block=2 t=3"),
            (std::vector<std::string>{"rec block=2 t=3 type=100 pin=5 v=-1"}));
}

}  // namespace
}  // namespace zvhost::testing
