// Every audio module opened and started without any input values has
// nothing to do: its outputs end static and it asks to sleep, instead of
// streaming zeros for ever.
#include <gtest/gtest.h>

#include <vector>

#include "frame/factory.h"
#include "tests/support/module_harness.h"

namespace {

TEST(IdleModules, GraphStartAloneEndsStaticAndAsleep) {
  for (const auto& [id, entry] : mpFactory().entries()) {
    if (entry.audioCreator == nullptr) continue;
    SCOPED_TRACE(toUtf8(id));
    TestHost host;
    host.blockSize = 16;
    AudioModule module(host, id);
    // Buffers for any pin index the module may have; others refuse them.
    std::vector<std::vector<float>> buffers(40, std::vector<float>(16, 0.0f));
    for (int32_t pin = 0; pin < 40; ++pin) module.plugin()->attachPinBuffer(pin, buffers[pin].data());
    module.open();
    module.process(16, EventList().graphStart());
    module.process(16);
    module.process(16);
    for (const auto& s : host.streaming) {
      bool last = true;
      for (const auto& t : host.streamingOn(s.pin)) last = t.streaming;
      EXPECT_FALSE(last) << "output " << s.pin << " still streaming";
    }
    EXPECT_GE(host.sleepRequests, 1);
  }
}

}  // namespace
