// Loads the built library the way a host does and drives one module through
// the binary interface only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/host_support.h"
#include "frame/interfaces.h"
#include "host/library_loader.h"

namespace {

std::string programPath;

// The smallest host a module accepts: the audio-side host interface.
class MinimalHost : public MpAudioHostBase {
 public:
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override {
    *out = nullptr;
    if (!mpGuidEqual(iid, MP_IID_AUDIO_HOST) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
    *out = static_cast<IMpAudioHost*>(this);
    addRef();
    return MP_OK;
  }
  int32_t MP_STDCALL addRef() override { return ++references; }
  int32_t MP_STDCALL release() override { return --references; }
  int32_t MP_STDCALL sendPinValue(int32_t, int32_t, int32_t, const void*) override { return MP_OK; }
  int32_t MP_STDCALL sendPinStreaming(int32_t, int32_t pin, bool isStreaming) override {
    streaming.emplace_back(pin, isStreaming);
    return MP_OK;
  }
  int32_t MP_STDCALL requestSleep() override { return MP_OK; }
  int32_t MP_STDCALL queryBlockSize(int32_t* size) override {
    *size = 8;
    return MP_OK;
  }
  int32_t MP_STDCALL querySampleRate(float* rate) override {
    *rate = 44100.0f;
    return MP_OK;
  }
  int32_t MP_STDCALL openNamedMemory(const MpChar*, void** out, float, int32_t, int32_t*) override {
    *out = nullptr;
    return MP_FAIL;
  }
  int32_t MP_STDCALL resolveFilePath(const MpChar*, int32_t, MpChar*) override { return MP_FAIL; }

  int32_t references = 0;
  std::vector<std::pair<int32_t, bool>> streaming;
};

struct LoadedLibrary : ::testing::Test {
  LibraryLoader library{LibraryLoader::besideProgram(programPath)};
  IMpFactory* factory = nullptr;
  void SetUp() override {
    ASSERT_TRUE(library.loaded()) << library.error();
    factory = library.factory();
    ASSERT_NE(factory, nullptr);
  }
};

TEST_F(LoadedLibrary, AnswersSdkInformation) {
  int32_t version = 0;
  MpChar text[32] = {};
  EXPECT_EQ(factory->getSdkInformation(&version, 32, text), MP_OK);
  EXPECT_EQ(version, 30400);
  EXPECT_EQ(text[0], 'M');
  void* created = nullptr;
  EXPECT_EQ(factory->createInstance(MP_TEXT("no such module"), 0, nullptr, &created), MP_UNHANDLED);
}

TEST_F(LoadedLibrary, CreatesAndRunsAModule) {
  MinimalHost host;
  void* created = nullptr;
  ASSERT_EQ(factory->createInstance(MP_TEXT("ZV MixM"), 0, &host, &created), MP_OK);
  auto* mixer = static_cast<IMpPlugin*>(static_cast<IMpUnknown*>(created));
  float signal[8], blend[8], modulator[8], out[8];
  for (int i = 0; i < 8; ++i) {
    signal[i] = 0.5f;
    blend[i] = 0.5f;
    modulator[i] = static_cast<float>(i);
    out[i] = -1.0f;
  }
  EXPECT_EQ(mixer->attachPinBuffer(0, signal), MP_OK);
  EXPECT_EQ(mixer->attachPinBuffer(1, blend), MP_OK);
  EXPECT_EQ(mixer->attachPinBuffer(2, modulator), MP_OK);
  EXPECT_EQ(mixer->attachPinBuffer(3, out), MP_OK);
  EXPECT_EQ(mixer->attachPinBuffer(9, out), MP_FAIL);
  EXPECT_EQ(mixer->openModule(), MP_OK);

  MpEvent streamingStart{0, MP_EVENT_STREAMING_START, 2, 0, 0, 0, nullptr, nullptr};
  MpEvent on{0, MP_EVENT_PIN_VALUE, 4, 4, 1, 0, nullptr, &streamingStart};
  MpEvent start{0, MP_EVENT_GRAPH_START, 0, 0, 0, 0, nullptr, &on};
  mixer->processBlock(8, &start);
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(out[i], 0.5f * static_cast<float>(i)) << i;
  ASSERT_FALSE(host.streaming.empty());
  EXPECT_TRUE(host.streaming.back().second);

  EXPECT_EQ(mixer->release(), 0);
  EXPECT_EQ(host.references, 0);
}

#if !defined(_WIN32)
TEST_F(LoadedLibrary, ExportsTheGuiTimerTickAndPeriod) {
  auto tick = reinterpret_cast<MpGuiTimerTickFunction>(library.symbol(MP_GUI_TIMER_TICK_NAME));
  auto period = reinterpret_cast<MpGuiTimerPeriodFunction>(library.symbol(MP_GUI_TIMER_PERIOD_NAME));
  ASSERT_NE(tick, nullptr);
  ASSERT_NE(period, nullptr);
  EXPECT_EQ(tick(), 0) << "no client registered";
  EXPECT_EQ(period(), 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  programPath = argv[0];
  return RUN_ALL_TESTS();
}
