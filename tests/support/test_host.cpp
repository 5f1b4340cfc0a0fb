#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

template <class T>
T fromBytes(const std::vector<uint8_t>& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
  return value;
}

MpString textFromBytes(const std::vector<uint8_t>& bytes) {
  MpString text(bytes.size() / 2, 0);
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

std::vector<uint8_t> copyBytes(int32_t size, const void* data) {
  if (size <= 0 || data == nullptr) return {};
  auto p = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(p, p + size);
}

}  // namespace

float SentValue::asFloat() const { return fromBytes<float>(bytes); }
int32_t SentValue::asInt() const { return fromBytes<int32_t>(bytes); }
bool SentValue::asBool() const { return !bytes.empty() && bytes[0] != 0; }
MpString SentValue::asText() const { return textFromBytes(bytes); }
float SentGuiValue::asFloat() const { return fromBytes<float>(bytes); }
int32_t SentGuiValue::asInt() const { return fromBytes<int32_t>(bytes); }
bool SentGuiValue::asBool() const { return !bytes.empty() && bytes[0] != 0; }
MpString SentGuiValue::asText() const { return textFromBytes(bytes); }

void TestHost::clearRecords() {
  values.clear();
  streaming.clear();
  guiValues.clear();
  sleepRequests = 0;
  redrawRequests = 0;
}

std::vector<SentValue> TestHost::valuesOn(int32_t pin) const {
  std::vector<SentValue> found;
  for (const auto& v : values)
    if (v.pin == pin) found.push_back(v);
  return found;
}

std::vector<SentStreaming> TestHost::streamingOn(int32_t pin) const {
  std::vector<SentStreaming> found;
  for (const auto& s : streaming)
    if (s.pin == pin) found.push_back(s);
  return found;
}

std::vector<SentGuiValue> TestHost::guiValuesOn(int32_t pin) const {
  std::vector<SentGuiValue> found;
  for (const auto& v : guiValues)
    if (v.pin == pin) found.push_back(v);
  return found;
}

SentValue TestHost::lastValue(int32_t pin) const {
  auto sent = valuesOn(pin);
  if (sent.empty()) {
    ADD_FAILURE() << "no value was sent on pin " << pin;
    return SentValue{-1, pin, {}};
  }
  return sent.back();
}

float* TestHost::namedMemory(const MpString& name, float rate) const {
  auto found = memory_.find({name, rate});
  return found == memory_.end() ? nullptr : const_cast<float*>(found->second.data.data());
}

int32_t TestHost::namedMemoryOpenCount(const MpString& name, float rate) const {
  auto found = memory_.find({name, rate});
  return found == memory_.end() ? 0 : found->second.opens;
}

int32_t MP_STDCALL TestHost::queryInterface(const MpGuid* iid, void** returnInterface) {
  *returnInterface = nullptr;
  if (offerAudio && (mpGuidEqual(iid, MP_IID_AUDIO_HOST) || mpGuidEqual(iid, MP_IID_UNKNOWN))) {
    *returnInterface = static_cast<IMpAudioHost*>(this);
  } else if (offerGui && mpGuidEqual(iid, MP_IID_GUI_HOST)) {
    *returnInterface = static_cast<IMpGuiHost*>(this);
  } else if (offerGraphics && mpGuidEqual(iid, MP_IID_GRAPHICS_HOST)) {
    *returnInterface = static_cast<IMpGraphicsHost*>(this);
  }
  if (*returnInterface == nullptr) return MP_UNHANDLED;
  addRef();
  return MP_OK;
}

int32_t MP_STDCALL TestHost::sendPinValue(int32_t blockPosition, int32_t pinIndex, int32_t size, const void* data) {
  values.push_back({blockPosition, pinIndex, copyBytes(size, data)});
  return MP_OK;
}

int32_t MP_STDCALL TestHost::sendPinStreaming(int32_t blockPosition, int32_t pinIndex, bool isStreaming) {
  streaming.push_back({blockPosition, pinIndex, isStreaming});
  return MP_OK;
}

int32_t MP_STDCALL TestHost::requestSleep() {
  ++sleepRequests;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::queryBlockSize(int32_t* returnBlockSize) {
  *returnBlockSize = blockSize;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::querySampleRate(float* returnSampleRate) {
  *returnSampleRate = sampleRate;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::openNamedMemory(const MpChar* name, void** returnPointer, float rate, int32_t size,
                                             int32_t* returnNeedInitialise) {
  Block& block = memory_[{MpString(name), rate}];
  size_t wanted = size > 0 ? static_cast<size_t>(size) : 0;
  if (block.opens == 0) {
    block.data.assign(wanted, std::numeric_limits<float>::quiet_NaN());
  } else if (block.data.size() < wanted) {
    // Growing would move the block under its earlier users.
    ADD_FAILURE() << "named memory " << toUtf8(name) << " reopened with a larger size";
    *returnPointer = nullptr;
    *returnNeedInitialise = 0;
    return MP_FAIL;
  }
  *returnNeedInitialise = block.opens == 0 ? 1 : 0;
  ++block.opens;
  *returnPointer = block.data.data();
  return MP_OK;
}

int32_t MP_STDCALL TestHost::resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) {
  if (resolver) return resolver(fileName, capacity, returnFullPath);
  if (capacity <= 0) return MP_FAIL;
  MpString full = folder + MpString(fileName);
  size_t n = std::min(full.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(returnFullPath, full.data(), n * sizeof(MpChar));
  returnFullPath[n] = 0;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::sendGuiPinValue(int32_t pinIndex, int32_t size, const void* data, int32_t voice) {
  guiValues.push_back({pinIndex, voice, copyBytes(size, data)});
  return MP_OK;
}

int32_t MP_STDCALL TestHost::queryPinCount(int32_t* returnCount) {
  *returnCount = pinCount;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::invalidateRect(const MpRect*) {
  ++redrawRequests;
  return MP_OK;
}

int32_t MP_STDCALL TestHost::getStyle(const MpChar* name, MpStyleRecord* returnStyle, const MpRect*) {
  styleName = name;
  if (!fillStyle) return MP_OK;
  *returnStyle = MpStyleRecord{};
  returnStyle->values[2] = backgroundColour;
  return MP_OK;
}
