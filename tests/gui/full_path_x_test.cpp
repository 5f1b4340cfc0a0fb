#include <gtest/gtest.h>

#include <algorithm>

#include "modules/gui/full_path_x.h"
#include "tests/support/module_harness.h"

namespace {

MpString text(const char* ascii) { return widenAscii(ascii); }

// How hosts may answer resolveFilePath, and the path the module makes of
// it: a complete path within the buffer, whatever the result code says.
struct Answer {
  const char* what;
  std::function<int32_t(const MpChar*, int32_t, MpChar*)> answer;
  const char* path;
};

std::vector<Answer> answers() {
  return {
      {"fills every character, no terminator",
       [](const MpChar*, int32_t capacity, MpChar* out) {
         std::fill(out, out + capacity, MpChar('x'));
         return MP_OK;
       },
       ""},
      {"259 characters: perhaps cut short",
       [](const MpChar*, int32_t capacity, MpChar* out) {
         std::fill(out, out + capacity - 1, MpChar('x'));
         out[capacity - 1] = 0;
         return MP_OK;
       },
       ""},
      {"writes nothing", [](const MpChar*, int32_t, MpChar*) { return MP_OK; }, ""},
      {"a path and a result code of its own",
       [](const MpChar*, int32_t, MpChar* out) {
         const MpString path = text("/elsewhere/b.wav");
         std::copy(path.begin(), path.end(), out);
         return 1;
       },
       "/elsewhere/b.wav"},
  };
}

TEST(FullPathX, SendsTheResolvedPathOfANewName) {
  TestHost host;
  AudioModule memory(host, MP_TEXT("ZV Full Path Memory-x16"));
  memory.open();
  memory.process(16, EventList().value(0, FullPathX::FILE_NAME, text("kick.wav")));
  EXPECT_EQ(host.lastValue(FullPathX::FULL_PATH).asText(), text("/patches/kick.wav"));
  host.clearRecords();
  memory.process(16, EventList().value(3, FullPathX::FILE_NAME, text("kick.wav")));
  EXPECT_TRUE(host.valuesOn(FullPathX::FULL_PATH).empty()) << "an unchanged name sends nothing";
}

TEST(FullPathX, TakesOnlyACompletePathFromTheHost) {
  for (const auto& a : answers()) {
    SCOPED_TRACE(a.what);
    TestHost host;
    AudioModule memory(host, MP_TEXT("ZV Full Path Memory-x16"));
    memory.open();
    memory.process(16, EventList().value(0, FullPathX::FILE_NAME, text("a.wav")));
    host.resolver = a.answer;
    memory.process(16, EventList().value(0, FullPathX::FILE_NAME, text("b.wav")));
    EXPECT_EQ(host.lastValue(FullPathX::FULL_PATH).asText(), text(a.path));
  }
}

// Each pin the host sets, and what the module sends in turn, once each.
TEST(FullPathXGui, NamesPathsAndMirroredTexts) {
  using P = FullPathXGui::Pin;
  struct Step {
    int32_t pin;
    const char* value;
    std::vector<int32_t> sentPins;
    const char* last;  // the last value sent
  } steps[] = {
      {P::FILE_NAME_IN, "pad.sf2", {P::FILE_NAME, P::FILE_NAME_OUT, P::FULL_PATH}, "/patches/pad.sf2"},
      {P::FILE_NAME, "lead.sf2", {P::FILE_NAME_OUT, P::FILE_NAME_IN, P::FULL_PATH}, "/patches/lead.sf2"},
      {P::TEXT_A, "left", {P::TEXT_B}, "left"},
      {P::TEXT_B, "right", {P::TEXT_A}, "right"},
  };
  TestHost host;
  GuiModule memory(host, MP_TEXT("ZV Full Path Memory-x16"));
  memory.ui()->initializeGui();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.value);
    host.clearRecords();
    memory.set(s.pin, text(s.value));
    std::vector<int32_t> sentPins;
    for (const auto& v : host.guiValues) sentPins.push_back(v.pin);
    EXPECT_EQ(sentPins, s.sentPins);
    if (!host.guiValues.empty()) {
      EXPECT_EQ(host.guiValues.back().asText(), text(s.last));
    }
  }
}

}  // namespace
