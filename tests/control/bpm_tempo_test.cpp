#include <gtest/gtest.h>

#include <limits>

#include "modules/control/bpm_tempo.h"
#include "tests/support/module_harness.h"

namespace {

TEST(BpmTempo, TempoAndGateAsStaticSignals) {
  struct Case {
    float tempo;
    bool gate;
    float tempoSignal, gateSignal;
  };
  const Case cases[] = {
      {120.0f, true, 12.0f, 1.0f},
      {0.0f, false, 0.0f, 0.0f},
      {-35.0f, true, -3.5f, 1.0f},
      {std::numeric_limits<float>::quiet_NaN(), false, 0.0f, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tempo);
    TestHost host;
    host.blockSize = 16;
    AudioModule module(host, MP_TEXT("ZV BPM Tempo"));
    float* tempo = module.audio(BpmTempo::TEMPO_SIGNAL);
    float* gate = module.audio(BpmTempo::GATE_SIGNAL);
    module.open();
    module.process(16, EventList().graphStart());
    module.process(16, EventList().value(4, BpmTempo::TEMPO, c.tempo).value(4, BpmTempo::GATE, c.gate));
    for (int i = 4; i < 16; ++i) {
      ASSERT_FLOAT_EQ(tempo[i], c.tempoSignal) << i;
      ASSERT_EQ(gate[i], c.gateSignal) << i;
    }
    for (int32_t pin : {BpmTempo::TEMPO_SIGNAL, BpmTempo::GATE_SIGNAL}) {
      ASSERT_FALSE(host.streamingOn(pin).empty());
      EXPECT_FALSE(host.streamingOn(pin).back().streaming);
      EXPECT_EQ(host.streamingOn(pin).back().position, 4);
    }
    module.process(16);
    module.process(16);
    EXPECT_GE(host.sleepRequests, 1) << "nothing streams, so it sleeps";
  }
}

TEST(BpmTempo, OnlyTheChangedOutputIsAnnouncedAgain) {
  TestHost host;
  AudioModule module(host, MP_TEXT("ZV BPM Tempo"));
  module.audio(BpmTempo::TEMPO_SIGNAL);
  float* gate = module.audio(BpmTempo::GATE_SIGNAL);
  module.open();
  module.process(64, EventList().graphStart().value(0, BpmTempo::TEMPO, 90.0f).value(0, BpmTempo::GATE, false));
  host.clearRecords();
  module.process(64, EventList().value(10, BpmTempo::GATE, true));
  ASSERT_EQ(host.streaming.size(), 1u);
  EXPECT_EQ(host.streaming[0].pin, BpmTempo::GATE_SIGNAL);
  EXPECT_EQ(gate[9], 0.0f);
  EXPECT_EQ(gate[10], 1.0f);
}

}  // namespace
