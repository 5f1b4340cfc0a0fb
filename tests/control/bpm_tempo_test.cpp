#include <gtest/gtest.h>

#include <limits>

#include "modules/control/bpm_tempo.h"
#include "tests/support/module_harness.h"

namespace {

TEST(BpmTempo, TempoAndGateAsStaticSignalsFromTheirChange) {
  struct Case {
    float tempo;
    bool gate;
    float tempoSignal, gateSignal;
  };
  const Case cases[] = {{120.0f, true, 12.0f, 1.0f},
                        {-35.0f, false, -3.5f, 0.0f},
                        {std::numeric_limits<float>::quiet_NaN(), true, 0.0f, 1.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tempo);
    TestHost host;
    AudioModule module(host, MP_TEXT("ZV BPM Tempo"));
    float* tempo = module.audio(BpmTempo::TEMPO_SIGNAL);
    float* gate = module.audio(BpmTempo::GATE_SIGNAL);
    module.open();
    module.process(64, EventList().graphStart().value(0, BpmTempo::TEMPO, 60.0f));
    host.clearRecords();
    module.process(64, EventList().value(4, BpmTempo::TEMPO, c.tempo).value(9, BpmTempo::GATE, c.gate));
    EXPECT_EQ(tempo[3], 6.0f);
    EXPECT_FLOAT_EQ(tempo[4], c.tempoSignal);
    EXPECT_FLOAT_EQ(tempo[63], c.tempoSignal);
    EXPECT_EQ(gate[8], 0.0f);
    EXPECT_EQ(gate[63], c.gateSignal);
    // Each output declared static where its own input changed.
    ASSERT_EQ(host.streaming.size(), 2u);
    EXPECT_EQ(host.streaming[0].pin, BpmTempo::TEMPO_SIGNAL);
    EXPECT_EQ(host.streaming[0].position, 4);
    EXPECT_EQ(host.streaming[1].pin, BpmTempo::GATE_SIGNAL);
    EXPECT_EQ(host.streaming[1].position, 9);
    EXPECT_FALSE(host.streaming[0].streaming || host.streaming[1].streaming);
    module.process(64);
    module.process(64);
    EXPECT_GE(host.sleepRequests, 1);
  }
}

}  // namespace
