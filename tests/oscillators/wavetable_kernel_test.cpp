// The fast renders (inputs held over a stretch, crossfade loop split from
// the plain loop, state outputs filled ahead) against a slow render that
// reads every input and tests everything on every sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "modules/oscillators/wavetable_kernel.h"
#include "tests/oscillators/wavetable_patterns.h"

namespace {

using namespace zv::oscillators;

// Every step on every sample; the phase wrap tests both bounds.
template <class Mode, bool Restart>
void slowRender(Voice& v, const Sets& sets, const float* increments, const float (&levels)[3],
                const RestartSettings& restart, const RenderIo& io, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    v.setPitch(io.pitch[i], increments);
    v.setOffsetOne(io.offset[i]);
    v.template setOffsetTwo<Mode>(io.shape[i]);
    if (Restart && v.restartPending) {
      v.restartPending = false;
      if (restart.hard) {
        v.phase = 0.0f;
      } else {
        v.startRestart(0.0f, restart.step);
      }
    }
    const float wrap = advancePhase(v.phase, v.increment);
    Heads s = v.read<Mode>(sets, v.tables, v.phase);
    if (Restart) v.applyCrossfade<Mode>(sets, s);
    io.out[i] = Mode::combine(levels[Mode::kSlotA] * s.a, levels[Mode::kSlotB] * s.b, io.shape[i]);
    io.wrapOut[i] = wrap;
    io.incrementOut[i] = v.increment;
    io.fractionOut[i] = v.tables.fraction;
    io.offsetOut[i] = v.tables.offsetValue;
  }
}

constexpr int32_t kBlock = 96;

struct Buffers {
  std::vector<float> pitch, offset, shape, out, wrap, increment, fraction, tableOffset;
  Buffers()
      : pitch(kBlock),
        offset(kBlock),
        shape(kBlock),
        out(kBlock, NAN),
        wrap(kBlock, NAN),
        increment(kBlock, NAN),
        fraction(kBlock, NAN),
        tableOffset(kBlock, NAN) {}
  RenderIo io(int32_t at) {
    return {pitch.data() + at, offset.data() + at,    shape.data() + at,    out.data() + at,
            wrap.data() + at,  increment.data() + at, fraction.data() + at, tableOffset.data() + at};
  }
};

using zv::oscillators::test::sameRendering;

void expectSame(const std::vector<float>& fast, const std::vector<float>& slow, const char* what) {
  for (int32_t i = 0; i < kBlock; ++i)
    ASSERT_TRUE(sameRendering(fast[i], slow[i])) << what << " at " << i << ": " << fast[i] << " vs " << slow[i];
}

struct WavetableKernelTest : ::testing::Test {
  std::vector<float> tables[3];
  std::vector<float> increments;
  Sets sets;
  const float levels[3] = {1.0f, -0.75f, 2.5f};

  void SetUp() override {
    // Unrelated contents per set, so a head reading the wrong set shows.
    for (int32_t slot = 0; slot < 3; ++slot) {
      tables[slot].assign(kSetValues, 0.0f);
      for (int32_t i = kFirstTable; i < kSetValues; ++i)
        tables[slot][i] = static_cast<float>(std::sin(0.0031 * i * (slot + 1)) + 0.25 * std::cos(0.7 * i));
      sets.slot[slot] = tables[slot].data();
    }
  }
  void rate(float sampleRate) {
    increments.resize(kIncrementEntries + 1);
    for (int32_t i = 0; i <= kIncrementEntries; ++i) increments[i] = incrementEntry(i, sampleRate, 1.0f);
  }

  // Renders a block in stretches (split at `cuts`) both ways from the same
  // voice; retrigger(k) may arm a restart before stretch k.
  template <class Mode, bool Restart, bool Static>
  void compare(Buffers& in, const std::vector<int32_t>& cuts, const RestartSettings& restart,
               bool (*retrigger)(int32_t)) {
    Buffers fast = in, slow = in;
    Voice vf, vs;
    vf.setPitch(0.0f, increments.data());
    vf.forceRecompute();
    vs = vf;
    int32_t at = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
      const int32_t end = k < cuts.size() ? cuts[k] : kBlock;
      if (retrigger(static_cast<int32_t>(k))) vf.restartPending = vs.restartPending = true;
      renderVoice<Mode, Restart, true, Static>(vf, sets, increments.data(), levels, restart, fast.io(at), end - at);
      slowRender<Mode, Restart>(vs, sets, increments.data(), levels, restart, slow.io(at), end - at);
      at = end;
    }
    expectSame(fast.out, slow.out, "output");
    expectSame(fast.wrap, slow.wrap, "wrap");
    expectSame(fast.increment, slow.increment, "increment");
    expectSame(fast.fraction, slow.fraction, "fraction");
    expectSame(fast.tableOffset, slow.tableOffset, "table offset");
    EXPECT_TRUE(sameRendering(vf.phase, vs.phase)) << vf.phase << " vs " << vs.phase;
    EXPECT_TRUE(sameRendering(vf.crossfade, vs.crossfade)) << vf.crossfade << " vs " << vs.crossfade;
  }

  template <bool Restart, bool Static>
  void allModes(Buffers& in, const std::vector<int32_t>& cuts, const RestartSettings& restart,
                bool (*retrigger)(int32_t)) {
    SCOPED_TRACE(::testing::Message() << "restart " << Restart << " static " << Static);
    compare<ModeSet1, Restart, Static>(in, cuts, restart, retrigger);
    compare<ModeBlend, Restart, Static>(in, cuts, restart, retrigger);
    compare<ModeSet2, Restart, Static>(in, cuts, restart, retrigger);
    compare<ModeSet3, Restart, Static>(in, cuts, restart, retrigger);
    compare<ModePulse, Restart, Static>(in, cuts, restart, retrigger);
  }
};

// The table choice by its defining arithmetic (trunc), over the whole pitch
// range and next to every table boundary.
TEST(TableChoiceExact, MatchesTruncatingArithmeticBitForBit) {
  const auto check = [](float volts) {
    const TableChoice t = chooseTables(volts);
    const float p = volts * 6.0f;
    const float whole = std::trunc(p);
    const float fraction = p - whole;
    int32_t index = volts < kTwoTableLimit ? static_cast<int32_t>(whole) : kTableCount - 1;
    if (volts < 0.0f) index = 0;
    index = std::min(index, kTableCount - 1);
    ASSERT_TRUE(sameRendering(t.fraction, fraction)) << volts;
    ASSERT_EQ(t.offset, kFirstTable + index * kTableLength) << volts;
  };
  check(0.0f);
  check(-0.0f);
  for (float v = -10.0f; v <= kMaxVolts; v += 0.00037f) check(v);
  for (int32_t k = -60; k <= 62; ++k) {
    const float edge = static_cast<float>(k) / 6.0f;
    float below = edge, above = edge;
    for (int32_t n = 0; n < 4; ++n) {
      below = std::nextafter(below, -20.0f);
      above = std::nextafter(above, 20.0f);
      if (below >= -10.0f) check(below);
      if (above <= kMaxVolts) check(above);
    }
  }
}

bool never(int32_t) { return false; }
bool firstAndThird(int32_t k) { return k == 0 || k == 2; }

// Inputs constant within each stretch, changing between them: the held
// renders see each change at the stretch start, like the slow one.
TEST_F(WavetableKernelTest, HeldInputsRenderAsEverySampleRead) {
  const std::vector<int32_t> cuts = {1, 17, 40, 41, 77};
  const float pitches[] = {0.505f, 0.93f, -0.3f, 0.99f, std::nanf(""), 0.61f};
  const float offsets[] = {0.2f, 1.0f, -1.0f, 0.37f, 3.0f, -0.6f};
  const float shapes[] = {0.3f, -1.0f, 0.95f, -0.4f, 0.0f, 2.0f};
  for (float sampleRate : {44100.0f, 1000.0f}) {  // 1 kHz: increments of several cycles
    SCOPED_TRACE(sampleRate);
    rate(sampleRate);
    Buffers in;
    int32_t at = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
      const int32_t end = k < cuts.size() ? cuts[k] : kBlock;
      for (int32_t i = at; i < end; ++i) {
        in.pitch[i] = pitches[k];
        in.offset[i] = offsets[k];
        in.shape[i] = shapes[k];
      }
      at = end;
    }
    allModes<false, true>(in, cuts, RestartSettings{}, never);
    allModes<true, true>(in, cuts, RestartSettings{true, 1.0f}, firstAndThird);
    // A crossfade of 0.3 per sample ends inside a stretch; one of 0.01
    // runs on across several.
    allModes<true, true>(in, cuts, RestartSettings{false, 0.3f}, firstAndThird);
    allModes<true, true>(in, cuts, RestartSettings{false, 0.01f}, firstAndThird);
    // The same inputs marked streaming: pieces that hold one pitch, and
    // pieces with a change inside.
    allModes<false, false>(in, cuts, RestartSettings{}, never);
    allModes<false, false>(in, {}, RestartSettings{}, never);
    allModes<true, false>(in, cuts, RestartSettings{false, 0.01f}, firstAndThird);
  }
}

// Inputs changing on every sample, through the top of the table range,
// with pitches to ignore at the start of a stretch, at the start of a
// piece the pitch is worked out in, and inside one.
TEST_F(WavetableKernelTest, StreamingInputsRenderAsEverySampleRead) {
  rate(44100.0f);
  Buffers in;
  for (int32_t i = 0; i < kBlock; ++i) {
    in.pitch[i] = 0.95f + 0.1f * static_cast<float>(i) / kBlock;
    in.offset[i] = std::sin(0.2f * i);
    in.shape[i] = std::cos(0.13f * i) * 1.2f;
  }
  for (int32_t i : {5, 30, 31, 69, 70}) in.pitch[i] = i % 2 == 0 ? std::nanf("") : -2.0f;
  for (const std::vector<int32_t>& cuts : {std::vector<int32_t>{5, 50}, std::vector<int32_t>{5}}) {
    allModes<false, false>(in, cuts, RestartSettings{}, never);
    allModes<true, false>(in, cuts, RestartSettings{true, 1.0f}, firstAndThird);
    allModes<true, false>(in, cuts, RestartSettings{false, 0.02f}, firstAndThird);
  }
}

// A voice looks an input up again only when it changed (a NaN held on an
// input is no change), or after forceRecompute, whatever the next value is:
// the same pitch in another increment table gives another increment.
TEST(VoiceInputs, RecomputeOnChangeOrWhenForced) {
  std::vector<float> slow(kIncrementEntries + 1), fast(kIncrementEntries + 1);
  for (int32_t i = 0; i <= kIncrementEntries; ++i) {
    slow[i] = incrementEntry(i, 44100.0f, 1.0f);
    fast[i] = incrementEntry(i, 44100.0f, 2.0f);
  }
  const float nan = std::nanf("");
  Voice v;
  EXPECT_TRUE(v.setPitch(0.5f, slow.data()));
  EXPECT_FALSE(v.setPitch(0.5f, slow.data()));
  EXPECT_EQ(v.increment, slow[15000]);
  EXPECT_TRUE(v.setOffsetOne(nan));
  EXPECT_FALSE(v.setOffsetOne(nan));
  EXPECT_TRUE(v.setOffsetTwo<ModeBlend>(nan));
  EXPECT_FALSE(v.setOffsetTwo<ModeBlend>(nan));

  v.forceRecompute();
  EXPECT_FALSE(v.setPitch(nan, fast.data())) << "an ignored pitch leaves it due";
  EXPECT_TRUE(v.setPitch(0.5f, fast.data()));
  EXPECT_EQ(v.increment, fast[15000]);
  EXPECT_TRUE(v.setOffsetOne(nan));
  EXPECT_TRUE(v.setOffsetTwo<ModeBlend>(nan));
  EXPECT_FALSE(v.setOffsetTwo<ModeSet1>(0.3f)) << "one head: no second offset";
}

}  // namespace
