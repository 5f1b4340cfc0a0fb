// A bare in-process host for the benchmarks: block size, sample rate and
// named memory, nothing recorded. Modules are created through the library's
// factory and driven with the tests' EventList.
//
//   BenchHost host;
//   BenchModule osc(host, MP_TEXT("Osc ZVQR"));
//   osc.fill(OscZvqr::PITCH, 0.5f);
//   osc.open();
//   osc.process(64, EventList().graphStart());
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "frame/host_support.h"
#include "frame/interfaces.h"
#include "frame/wide_text.h"
#include "tests/support/event_list.h"

class BenchHost : public MpAudioHostBase {
 public:
  BenchHost() = default;
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  int32_t blockSize = 64;
  float sampleRate = 44100.0f;

  // The block for (name, rate), or null when nobody opened it yet.
  float* namedMemory(const MpString& name, float rate);
  IMpUnknown* unknown() { return this; }

  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override { return 1; }
  int32_t MP_STDCALL release() override { return 1; }
  int32_t MP_STDCALL sendPinValue(int32_t, int32_t, int32_t, const void*) override { return MP_OK; }
  int32_t MP_STDCALL sendPinStreaming(int32_t, int32_t, bool) override { return MP_OK; }
  int32_t MP_STDCALL requestSleep() override { return MP_OK; }
  int32_t MP_STDCALL queryBlockSize(int32_t* returnBlockSize) override;
  int32_t MP_STDCALL querySampleRate(float* returnSampleRate) override;
  int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** returnPointer, float rate, int32_t size,
                                     int32_t* returnNeedInitialise) override;
  int32_t MP_STDCALL resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) override;

 private:
  std::map<std::pair<MpString, float>, std::vector<float>> memory_;
};

class BenchModule {
 public:
  // Creates the audio side through the factory; exits the program when
  // the library refuses, since nothing could be measured.
  BenchModule(BenchHost& host, const MpString& id);
  ~BenchModule();
  BenchModule(const BenchModule&) = delete;
  BenchModule& operator=(const BenchModule&) = delete;

  // The buffer of an audio pin (blockSize samples, zeroed), attached on first use.
  float* audio(int32_t pin);
  void fill(int32_t pin, float value);

  int32_t open() { return plugin_->openModule(); }
  void process(int32_t sampleFrames, EventList& events) { plugin_->processBlock(sampleFrames, events.head()); }
  void process(int32_t sampleFrames, EventList&& events) { process(sampleFrames, events); }
  void process(int32_t sampleFrames) { plugin_->processBlock(sampleFrames, nullptr); }

 private:
  BenchHost& host_;
  IMpPlugin* plugin_ = nullptr;
  std::map<int32_t, std::vector<float>> buffers_;
};
