// Bounded mutation run of the MIDI exercise; under the sanitizer build it
// also catches reads past a message.
#include <gtest/gtest.h>

#include <random>

#include "tests/control/midi_input_exercise.h"

namespace {

TEST(MidiInputs, ArbitraryMessagesAreReadWithinTheirBytesAndSentNoLonger) {
  for (const auto& m : midiexercise::midiModules()) {
    SCOPED_TRACE(toUtf8(m.id));
    for (uint32_t seed = 1; seed <= 8; ++seed) {
      std::mt19937 random(seed);
      std::vector<uint8_t> steps(6000);
      for (auto& b : steps) b = static_cast<uint8_t>(random());
      EXPECT_EQ(midiexercise::exercise(m, midiexercise::Reader(steps.data(), steps.size())), "") << seed;
    }
  }
}

// A module whose sends break the rule is caught: the exercise itself can fail.
TEST(MidiInputs, ExerciseReportsAModuleSendingTooMuch) {
  // On = 1 from the start; one 8-byte system message, passed on whole.
  midiexercise::MidiModule tooLong{MP_TEXT("zv midi on off"), 0, {1}, {3}, midiexercise::Sends::THREE_BYTES};
  const uint8_t steps[] = {200, 195 + 8, 0xF0, 1, 2, 3, 4, 5, 6, 0xF7};
  EXPECT_NE(midiexercise::exercise(tooLong, midiexercise::Reader(steps, sizeof steps)), "");
}

}  // namespace
