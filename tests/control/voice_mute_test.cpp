#include "modules/control/voice_mute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "frame/pins.h"
#include "tests/support/module_harness.h"

extern const char zvBuiltinDescription_voice_mute[];

namespace {

constexpr int32_t kBlock = 64;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const MpString kFast = MP_TEXT("VoiceMute:FadeCurveFast");
const MpString kSlow = MP_TEXT("VoiceMute:FadeCurveSlow");

// The fade written as a cosine, in double precision: same curve, other road.
double rise(int32_t i, int32_t length) { return 0.5 - 0.5 * std::cos(std::numbers::pi * i / length); }

struct Change {
  int32_t at;  // absolute sample
  int32_t pin;
  float value;  // Input1: streaming state; legacyMode: as bool
};

struct Rendered {
  std::vector<float> out;
  std::vector<std::pair<int32_t, bool>> streaming;  // absolute position, state
};

Rendered render(
    float rate, int32_t samples, const std::vector<Change>& changes,
    const std::function<float(int32_t)>& input = [](int32_t) { return 1.0f; }) {
  TestHost host;
  host.blockSize = kBlock;
  host.sampleRate = rate;
  AudioModule mute(host, MP_TEXT("SE Voice Mute"));
  float* in = mute.audio(VoiceMute::INPUT1);
  const float* out = mute.audio(VoiceMute::OUTPUT);
  mute.open();
  Rendered r;
  for (int32_t start = 0; start < samples; start += kBlock) {
    for (int32_t i = 0; i < kBlock; ++i) in[i] = input(start + i);
    EventList events;
    if (start == 0) events.graphStart();
    for (const Change& c : changes) {
      if (c.at < start || c.at >= start + kBlock) continue;
      if (c.pin == VoiceMute::INPUT1) events.streaming(c.at - start, c.pin, c.value != 0.0f);
      if (c.pin == VoiceMute::VOICE_ACTIVE) events.value(c.at - start, c.pin, c.value);
      if (c.pin == VoiceMute::LEGACY_MODE) events.value(c.at - start, c.pin, c.value != 0.0f);
    }
    host.clearRecords();
    mute.process(kBlock, events);
    r.out.insert(r.out.end(), out, out + kBlock);
    for (const SentStreaming& s : host.streamingOn(VoiceMute::OUTPUT)) {
      r.streaming.emplace_back(start + s.position, s.streaming);
    }
  }
  return r;
}

TEST(VoiceMuteCurve, RisesFromExactlyZeroToExactlyOneAsACosine) {
  for (int32_t length : {1, 2, 220, 882}) {
    EXPECT_EQ(zv::control::raisedSine(0, length), 0.0f);
    EXPECT_EQ(zv::control::raisedSine(length, length), 1.0f);
    for (int32_t i = 0; i <= length; ++i) ASSERT_NEAR(zv::control::raisedSine(i, length), rise(i, length), 2e-7) << i;
  }
}

// Stolen voices (Voice/Active below 0) fade in 5 ms, released ones (0) in
// 20 ms, down to a last sample of 0; the output goes static right after.
// Rates the host should never report still give a fade of some length, and
// a NaN voice state is taken as a release rather than cutting the voice off.
TEST(VoiceMute, FadeLengthsFollowTheSampleRate) {
  struct Case {
    float rate, state;
    int32_t length;
  };
  const Case cases[] = {{44100, -1, 220}, {44100, 0, 882}, {48000, -0.5f, 240}, {96000, 0, 1920},
                        {0, -1, 1},       {-44100, 0, 1},  {1e12f, -1, 16384},  {44100, kNaN, 882}};
  for (const Case& c : cases) {
    const int32_t end = 100;
    const Rendered r =
        render(c.rate, end + c.length + 2 * kBlock,
               {{0, VoiceMute::INPUT1, 1}, {3, VoiceMute::VOICE_ACTIVE, 1}, {end, VoiceMute::VOICE_ACTIVE, c.state}});
    for (int32_t j = 0; j < c.length; ++j) {
      ASSERT_NEAR(r.out[static_cast<size_t>(end + j)], rise(c.length - 1 - j, c.length), 2e-6) << c.rate << " " << j;
    }
    for (size_t t = static_cast<size_t>(end + c.length - 1); t < r.out.size(); ++t) ASSERT_EQ(r.out[t], 0.0f) << t;
    EXPECT_EQ(r.streaming.back(), std::make_pair(end + c.length, false)) << c.rate << " " << c.state;
  }
}

TEST(VoiceMute, OnsetsPassAtOnceOrAfterThreeSilentSamplesInLegacyMode) {
  auto ramp = [](int32_t t) { return 0.5f + 0.001f * static_cast<float>(t); };
  const Rendered back = render(44100, 2 * kBlock,
                               {{0, VoiceMute::INPUT1, 1},
                                {1, VoiceMute::VOICE_ACTIVE, 1},
                                {70, VoiceMute::VOICE_ACTIVE, 0},
                                {90, VoiceMute::VOICE_ACTIVE, 1}},
                               ramp);
  EXPECT_LT(back.out[89], ramp(89)) << "fading";
  for (int32_t t = 90; t < 2 * kBlock; ++t) ASSERT_EQ(back.out[static_cast<size_t>(t)], ramp(t)) << "back at once";

  for (bool inputStreams : {true, false}) {
    const Rendered r = render(44100, kBlock,
                              {{0, VoiceMute::INPUT1, inputStreams ? 1.0f : 0.0f},
                               {0, VoiceMute::LEGACY_MODE, 1},
                               {10, VoiceMute::VOICE_ACTIVE, 1}});
    EXPECT_EQ(std::vector<float>(r.out.begin() + 9, r.out.begin() + 15), (std::vector<float>{1, 0, 0, 0, 1, 1}));
    EXPECT_EQ(r.streaming.back(), std::make_pair(inputStreams ? 10 : 13, inputStreams)) << "follows the input";
  }
}

// A voice stolen at the top of a sine: cut straight off it steps by the
// whole amplitude; faded, no step is much larger than the sine's own.
TEST(VoiceMute, StolenVoiceFadesWithoutAClick) {
  auto sine = [](int32_t t) { return static_cast<float>(std::sin(2.0 * std::numbers::pi * (t + 25) / 100.0)); };
  auto largestStep = [](const std::vector<float>& v) {
    float step = 0.0f;
    for (size_t t = 1; t < v.size(); ++t) step = std::max(step, std::fabs(v[t] - v[t - 1]));
    return step;
  };
  const int32_t steal = 300;  // a crest
  std::vector<float> cut;
  for (int32_t t = 0; t < 10 * kBlock; ++t) cut.push_back(t < steal ? sine(t) : 0.0f);
  const Rendered muted =
      render(44100, 10 * kBlock,
             {{0, VoiceMute::INPUT1, 1}, {0, VoiceMute::VOICE_ACTIVE, 1}, {steal, VoiceMute::VOICE_ACTIVE, -1}}, sine);
  EXPECT_GT(largestStep(cut), 0.99f);
  EXPECT_LT(largestStep(muted.out), largestStep(cut) / 10.0f);
  EXPECT_LT(largestStep(muted.out), 1.2f * 2.0f * std::sin(std::numbers::pi_v<float> / 100.0f));
}

// Records the sizes asked for, which for these curves count bytes.
struct SizeHost : TestHost {
  std::vector<std::pair<MpString, int32_t>> asked;
  int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** returnPointer, float rate, int32_t size,
                                     int32_t* returnNeedInitialise) override {
    asked.emplace_back(name, size);
    return TestHost::openNamedMemory(name, returnPointer, rate, size, returnNeedInitialise);
  }
};

TEST(VoiceMute, AsksForEachCurveInBytesFourPerEntry) {
  struct Case {
    float rate;
    int32_t fastBytes, slowBytes;
  };
  // 221 and 883 entries at 44.1 kHz, 241 and 961 at 48 kHz.
  for (const Case& c : {Case{44100, 884, 3532}, Case{48000, 964, 3844}}) {
    SizeHost host;
    host.sampleRate = c.rate;
    AudioModule mute(host, MP_TEXT("SE Voice Mute"));
    mute.open();
    EXPECT_EQ(host.asked, (std::vector<std::pair<MpString, int32_t>>{{kFast, c.fastBytes}, {kSlow, c.slowBytes}}))
        << c.rate;
  }
}

// Curves are shared per rate; each is filled, whole, when its own block is
// new, whatever became of the other (the host hands memory out as NaN).
TEST(VoiceMute, EachSharedCurveIsFilledWholeWhenItsOwnBlockIsNew) {
  for (const MpString* earlier : {&kFast, &kSlow}) {
    TestHost host;
    void* block = nullptr;
    int32_t isNew = 0;
    host.openNamedMemory(earlier->c_str(), &block, 44100.0f, 3532, &isNew);
    std::fill_n(static_cast<float*>(block), 221, 0.25f);
    AudioModule a(host, MP_TEXT("SE Voice Mute")), b(host, MP_TEXT("SE Voice Mute"));
    a.open();
    b.open();
    const MpString& made = earlier == &kFast ? kSlow : kFast;
    const int32_t length = earlier == &kFast ? 882 : 220;
    EXPECT_EQ(host.namedMemoryOpenCount(made, 44100.0f), 2);
    for (int32_t i = 0; i <= length; ++i) ASSERT_NEAR(host.namedMemory(made, 44100.0f)[i], rise(i, length), 2e-7) << i;
    EXPECT_EQ(host.namedMemory(*earlier, 44100.0f)[4], 0.25f) << "a block made earlier is left alone";
  }
}

using Attributes = std::map<std::string, std::string>;

Attributes attributesOf(const std::string& element) {
  static const std::regex attribute("(\\w+)\\s*=\\s*\"([^\"]*)\"");
  Attributes found;
  for (std::sregex_iterator a(element.begin(), element.end(), attribute), end; a != end; ++a) found[(*a)[1]] = (*a)[2];
  return found;
}

// The text the library carries, against the pins the class registers.
TEST(VoiceMuteDescription, DescribesTheAudioPinsTheModuleRegisters) {
  const std::string xml = zvBuiltinDescription_voice_mute;
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>", 0), 0u);
  std::smatch plugin;
  ASSERT_TRUE(std::regex_search(xml, plugin, std::regex("<Plugin\\s[^>]*>")));
  EXPECT_EQ(attributesOf(plugin[0]),
            (Attributes{{"id", "SE Voice Mute"}, {"name", "Voice Mute"}, {"category", "Debug"}}));
  EXPECT_NE(xml.find("<Audio>"), std::string::npos);
  EXPECT_EQ(xml.find("<GUI>"), std::string::npos);

  const std::vector<Attributes> expected = {
      {{"id", "0"}, {"name", "Input1"}, {"direction", "in"}, {"datatype", "float"}, {"rate", "audio"}},
      {{"id", "1"},
       {"name", "VoiceActive"},
       {"direction", "in"},
       {"datatype", "float"},
       {"hostConnect", "Voice/Active"},
       {"isPolyphonic", "true"}},
      {{"id", "2"}, {"name", "Output"}, {"direction", "out"}, {"datatype", "float"}, {"rate", "audio"}},
      {{"id", "3"}, {"name", "legacyMode"}, {"direction", "in"}, {"datatype", "bool"}},
  };
  std::vector<Attributes> pins;
  const std::regex pinElement("<Pin\\s[^>]*>");
  for (std::sregex_iterator p(xml.begin(), xml.end(), pinElement), end; p != end; ++p) {
    pins.push_back(attributesOf((*p)[0]));
  }
  EXPECT_EQ(pins, expected);

  TestHost host;
  AudioModule mute(host, MP_TEXT("SE Voice Mute"));
  const auto& registered = static_cast<MpBase*>(static_cast<MpPluginBase*>(mute.plugin()))->pins();
  ASSERT_EQ(registered.size(), pins.size());
  for (const Attributes& pin : pins) {
    const int32_t index = std::stoi(pin.at("id"));
    const int32_t datatype =
        pin.count("rate") != 0 ? MP_DT_AUDIO : (pin.at("datatype") == "bool" ? MP_DT_BOOL : MP_DT_FLOAT);
    const MpPinBase* found = registered.find(index);
    ASSERT_NE(found, nullptr) << index;
    EXPECT_EQ(found->datatype(), datatype) << index;
    EXPECT_EQ(found->direction(), pin.at("direction") == "in" ? MP_PIN_IN : MP_PIN_OUT) << index;
  }
}

}  // namespace
