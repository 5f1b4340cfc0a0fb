// In-process host for module tests: answers the audio-side, GUI-side and
// graphics host interfaces and records everything a module sends.
//
// Named memory is handed out filled with NaN, so a module that reads table
// entries it never wrote fails its tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "frame/host_support.h"
#include "frame/interfaces.h"
#include "frame/mp_blob.h"
#include "frame/wide_text.h"

struct SentValue {
  int32_t position;
  int32_t pin;
  std::vector<uint8_t> bytes;

  float asFloat() const;
  int32_t asInt() const;
  bool asBool() const;
  MpString asText() const;
};

struct SentStreaming {
  int32_t position;
  int32_t pin;
  bool streaming;
};

struct SentGuiValue {
  int32_t pin;
  int32_t voice;
  std::vector<uint8_t> bytes;

  float asFloat() const;
  int32_t asInt() const;
  bool asBool() const;
  MpString asText() const;
};

class TestHost : public MpAudioHostBase, public MpGuiHostBase, public MpGraphicsHostBase {
 public:
  TestHost() = default;
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Settings.
  int32_t blockSize = 64;
  float sampleRate = 44100.0f;
  int32_t pinCount = 0;
  MpString folder = MP_TEXT("/patches/");  // prefix for resolveFilePath
  // When set, answers resolveFilePath instead (a host that misbehaves).
  std::function<int32_t(const MpChar* fileName, int32_t capacity, MpChar* fullPath)> resolver;
  bool offerAudio = true;
  bool offerGui = true;
  bool offerGraphics = true;
  int32_t backgroundColour = 0x000000;
  bool fillStyle = true;  // false: getStyle leaves the record as it is

  // What the module sent.
  std::vector<SentValue> values;
  std::vector<SentStreaming> streaming;
  std::vector<SentGuiValue> guiValues;
  int32_t sleepRequests = 0;
  int32_t redrawRequests = 0;
  MpString styleName;  // the last style asked for
  int32_t references = 0;

  void clearRecords();
  std::vector<SentValue> valuesOn(int32_t pin) const;
  std::vector<SentStreaming> streamingOn(int32_t pin) const;
  std::vector<SentGuiValue> guiValuesOn(int32_t pin) const;
  // The last value sent on a pin; fails the test if none was.
  SentValue lastValue(int32_t pin) const;

  // Named memory: the block for (name, rate), or null; how many opened it.
  float* namedMemory(const MpString& name, float rate) const;
  int32_t namedMemoryOpenCount(const MpString& name, float rate) const;
  size_t namedMemoryBlocks() const { return memory_.size(); }

  // Pointer for createInstance.
  IMpUnknown* unknown() { return static_cast<IMpAudioHost*>(this); }

  // IMpUnknown (all faces).
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override { return ++references; }
  int32_t MP_STDCALL release() override { return --references; }

  // Audio host.
  int32_t MP_STDCALL sendPinValue(int32_t blockPosition, int32_t pinIndex, int32_t size, const void* data) override;
  int32_t MP_STDCALL sendPinStreaming(int32_t blockPosition, int32_t pinIndex, bool isStreaming) override;
  int32_t MP_STDCALL requestSleep() override;
  int32_t MP_STDCALL queryBlockSize(int32_t* returnBlockSize) override;
  int32_t MP_STDCALL querySampleRate(float* returnSampleRate) override;
  int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** returnPointer, float rate, int32_t size,
                                     int32_t* returnNeedInitialise) override;
  int32_t MP_STDCALL resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) override;

  // GUI host.
  int32_t MP_STDCALL sendGuiPinValue(int32_t pinIndex, int32_t size, const void* data, int32_t voice) override;
  int32_t MP_STDCALL queryPinCount(int32_t* returnCount) override;

  // Graphics host.
  int32_t MP_STDCALL invalidateRect(const MpRect* rectangle) override;
  int32_t MP_STDCALL getStyle(const MpChar* styleName, MpStyleRecord* returnStyle, const MpRect* rectangle) override;

 private:
  struct Block {
    std::vector<float> data;
    int32_t opens = 0;
  };
  std::map<std::pair<MpString, float>, Block> memory_;
};
