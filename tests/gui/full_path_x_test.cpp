#include <gtest/gtest.h>

#include <algorithm>

#include "modules/gui/full_path_x.h"
#include "tests/support/module_harness.h"

namespace {

MpString text(const char* ascii) { return widenAscii(ascii); }

// Hosts that answer resolveFilePath badly; each must give an empty path.
struct BadResolver {
  const char* what;
  std::function<int32_t(const MpChar*, int32_t, MpChar*)> answer;
};

std::vector<BadResolver> badResolvers() {
  return {
      {"fills every character, no terminator",
       [](const MpChar*, int32_t capacity, MpChar* out) {
         std::fill(out, out + capacity, MpChar('x'));
         return MP_OK;
       }},
      {"259 characters: perhaps cut short",
       [](const MpChar*, int32_t capacity, MpChar* out) {
         std::fill(out, out + capacity - 1, MpChar('x'));
         out[capacity - 1] = 0;
         return MP_OK;
       }},
      {"writes nothing", [](const MpChar*, int32_t, MpChar*) { return MP_OK; }},
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

TEST(FullPathX, AnUntrustworthyAnswerGivesAnEmptyPath) {
  for (const auto& bad : badResolvers()) {
    SCOPED_TRACE(bad.what);
    TestHost host;
    AudioModule memory(host, MP_TEXT("ZV Full Path Memory-x16"));
    memory.open();
    memory.process(16, EventList().value(0, FullPathX::FILE_NAME, text("a.wav")));
    host.resolver = bad.answer;
    memory.process(16, EventList().value(0, FullPathX::FILE_NAME, text("b.wav")));
    EXPECT_EQ(host.lastValue(FullPathX::FULL_PATH).asText(), MpString());
  }
}

TEST(FullPathXGui, FileNameInChangesNameOutAndPathOnceEach) {
  TestHost host;
  GuiModule memory(host, MP_TEXT("ZV Full Path Memory-x16"));
  memory.ui()->initializeGui();
  host.clearRecords();
  memory.set(FullPathXGui::FILE_NAME_IN, text("pad.sf2"));
  ASSERT_EQ(host.guiValues.size(), 3u);
  EXPECT_EQ(host.guiValues[0].pin, FullPathXGui::FILE_NAME);
  EXPECT_EQ(host.guiValues[1].pin, FullPathXGui::FILE_NAME_OUT);
  EXPECT_EQ(host.guiValues[2].pin, FullPathXGui::FULL_PATH);
  EXPECT_EQ(host.guiValues[2].asText(), text("/patches/pad.sf2"));

  host.clearRecords();
  memory.set(FullPathXGui::TEXT_A, text("left"));
  memory.set(FullPathXGui::TEXT_B, text("right"));
  ASSERT_EQ(host.guiValues.size(), 2u);
  EXPECT_EQ(host.guiValues[0].pin, FullPathXGui::TEXT_B);
  EXPECT_EQ(host.guiValues[1].pin, FullPathXGui::TEXT_A);
  EXPECT_EQ(host.guiValues[1].asText(), text("right"));
}

}  // namespace
