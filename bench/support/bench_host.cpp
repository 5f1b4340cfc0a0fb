#include "bench/support/bench_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/factory.h"

float* BenchHost::namedMemory(const MpString& name, float rate) {
  auto found = memory_.find({name, rate});
  return found == memory_.end() ? nullptr : found->second.data();
}

int32_t MP_STDCALL BenchHost::queryInterface(const MpGuid* iid, void** returnInterface) {
  if (returnInterface == nullptr) return MP_FAIL;
  if (mpGuidEqual(iid, MP_IID_UNKNOWN) || mpGuidEqual(iid, MP_IID_AUDIO_HOST)) {
    *returnInterface = static_cast<IMpAudioHost*>(this);
    return MP_OK;
  }
  *returnInterface = nullptr;
  return MP_UNHANDLED;
}

int32_t MP_STDCALL BenchHost::queryBlockSize(int32_t* returnBlockSize) {
  *returnBlockSize = blockSize;
  return MP_OK;
}

int32_t MP_STDCALL BenchHost::querySampleRate(float* returnSampleRate) {
  *returnSampleRate = sampleRate;
  return MP_OK;
}

int32_t MP_STDCALL BenchHost::openNamedMemory(const MpChar* name, void** returnPointer, float rate, int32_t size,
                                              int32_t* returnNeedInitialise) {
  auto [found, created] = memory_.try_emplace({MpString(name), rate});
  if (created) found->second.assign(size > 0 ? static_cast<size_t>(size) : 0, 0.0f);
  *returnNeedInitialise = created ? 1 : 0;
  *returnPointer = found->second.data();
  return MP_OK;
}

int32_t MP_STDCALL BenchHost::resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) {
  if (capacity <= 0) return MP_FAIL;
  const MpString name(fileName);
  const size_t n = std::min(name.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(returnFullPath, name.data(), n * sizeof(MpChar));
  returnFullPath[n] = 0;
  return MP_OK;
}

BenchModule::BenchModule(BenchHost& host, const MpString& id) : host_(host) {
  void* factory = nullptr;
  mpFactory().queryInterface(&MP_IID_FACTORY, &factory);
  void* created = nullptr;
  const int32_t result =
      static_cast<IMpFactory*>(factory)->createInstance(id.c_str(), MP_SIDE_AUDIO, host.unknown(), &created);
  if (result != MP_OK || created == nullptr) {
    std::fprintf(stderr, "cannot create %s: %d\n", toUtf8(id).c_str(), result);
    std::exit(1);
  }
  plugin_ = static_cast<IMpPlugin*>(static_cast<IMpUnknown*>(created));
}

BenchModule::~BenchModule() { plugin_->release(); }

float* BenchModule::audio(int32_t pin) {
  auto found = buffers_.find(pin);
  if (found == buffers_.end()) {
    found = buffers_.emplace(pin, std::vector<float>(static_cast<size_t>(host_.blockSize), 0.0f)).first;
    plugin_->attachPinBuffer(pin, found->second.data());
  }
  return found->second.data();
}

void BenchModule::fill(int32_t pin, float value) {
  float* buffer = audio(pin);
  std::fill(buffer, buffer + host_.blockSize, value);
}
