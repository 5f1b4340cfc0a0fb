#include "modules/control/voice_watcher_blocker.h"

#include <gtest/gtest.h>

#include "tests/support/module_harness.h"

namespace {

TEST(VoiceWatcherBlocker, CopiesTheInputAndMirrorsItsStreamingState) {
  TestHost host;
  host.blockSize = 8;
  AudioModule blocker(host, MP_TEXT("SE VoiceWatcherBlocker"));
  float* in = blocker.audio(VoiceWatcherBlocker::INPUT);
  const float* out = blocker.audio(VoiceWatcherBlocker::OUTPUT);
  for (int i = 0; i < 8; ++i) in[i] = 0.125f * static_cast<float>(i) - 0.3f;
  blocker.open();

  blocker.process(8, EventList().graphStart());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], in[i]) << "copies before the host says anything";

  struct Step {
    int32_t at;
    bool streaming;
  };
  for (const Step& s : {Step{2, true}, Step{5, false}, Step{0, true}}) {
    host.clearRecords();
    in[s.at] = 7.0f;
    blocker.process(8, EventList().streaming(s.at, VoiceWatcherBlocker::INPUT, s.streaming));
    ASSERT_EQ(host.streamingOn(VoiceWatcherBlocker::OUTPUT).size(), 1u);
    EXPECT_EQ(host.streamingOn(VoiceWatcherBlocker::OUTPUT)[0].position, s.at);
    EXPECT_EQ(host.streamingOn(VoiceWatcherBlocker::OUTPUT)[0].streaming, s.streaming);
    EXPECT_EQ(out[s.at], 7.0f);
  }
}

}  // namespace
