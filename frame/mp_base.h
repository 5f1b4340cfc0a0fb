// Audio-side module base. Keeps the pins by index, cuts each block at its
// event times, routes events to pins, calls pinsUpdated once per event group
// and lets a module sleep when none of its pins streams.
//
// A module derives from MpBase, registers its pins in its constructor in
// index order, chooses a block function with setBlockFunction, and overrides
// openModule / pinsUpdated / midiReceived as it needs.
#pragma once

#include "frame/interfaces.h"
#include "frame/pin_index.h"

class MpPinBase;
class MpBase;

// Renders sampleFrames samples starting at bufferOffset.
using MpBlockFunction = void (MpBase::*)(int32_t bufferOffset, int32_t sampleFrames);
// Called with the event that reached a pin.
using MpPinHandler = void (MpBase::*)(const MpEvent* event);

// Where an event's value lives: extra data when present, else inline.
inline const void* mpEventData(const MpEvent* e) {
  return e->extra != nullptr ? static_cast<const void*>(e->extra) : static_cast<const void*>(&e->data1);
}
// The event's value size; inline data holds at most 8 bytes, never read past it.
inline int32_t mpEventSize(const MpEvent* e) {
  if (e->size < 0) return 0;
  return (e->extra == nullptr && e->size > 8) ? 8 : e->size;
}

class MpPluginBase : public IMpPlugin {
 public:
  using CreatedInterface = IMpPlugin;

  explicit MpPluginBase(IMpUnknown* host);
  MpPluginBase(const MpPluginBase&) = delete;
  MpPluginBase& operator=(const MpPluginBase&) = delete;

  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override;
  int32_t MP_STDCALL release() override;
  int32_t MP_STDCALL openModule() override { return MP_OK; }
  int32_t MP_STDCALL attachPinBuffer(int32_t pin, float* buffer) override;
  int32_t MP_STDCALL messageFromGui(int32_t, int32_t, const void*) override { return MP_OK; }
  virtual ~MpPluginBase();

  IMpAudioHost* host() const { return host_; }
  int32_t currentBlockPosition() const { return blockPosition_; }
  // Resolves -1 (and any negative position) to the current block position.
  int32_t resolvePosition(int32_t blockPosition) const { return blockPosition < 0 ? blockPosition_ : blockPosition; }
  MpPinBase* pin(int32_t index) const;
  const MpPinIndex<MpPinBase>& pins() const { return pins_; }
  int32_t streamingPinCount() const { return streamingPins_; }
  int32_t sleepMode() const { return sleepMode_; }
  void setSleepCountdown(int32_t samples) { sleepCountdown_ = samples; }
  int32_t sleepCountdown() const { return sleepCountdown_; }
  int32_t hostBlockSize() const;
  float hostSampleRate() const;

 protected:
  IMpAudioHost* host_ = nullptr;
  MpPinIndex<MpPinBase> pins_;
  int32_t blockPosition_ = 0;
  int32_t sleepCountdown_ = 0;
  int32_t streamingPins_ = 0;
  int32_t sleepMode_ = -1;  // -1 automatic, 1 may always sleep, 0 never sleeps
  bool betweenEvents_ = true;
  int32_t references_ = 0;
};

class MpBase : public MpPluginBase {
 public:
  explicit MpBase(IMpUnknown* host);

  void MP_STDCALL processBlock(int32_t sampleFrames, const MpEvent* events) override;

  virtual void midiReceived(int32_t /*pin*/, const unsigned char* /*data*/, int32_t /*size*/) {}
  virtual void pinsUpdated() {}
  virtual void streamingChanged(bool isStreaming);
  virtual void graphStarted();

  void registerPin(int32_t index, MpPinBase& pin, MpPinHandler handler = nullptr);
  template <class Module>
  void registerPin(int32_t index, MpPinBase& pin, void (Module::*handler)(const MpEvent*)) {
    registerPin(index, pin, static_cast<MpPinHandler>(handler));
  }

  void setBlockFunction(MpBlockFunction function);
  template <class Module>
  void setBlockFunction(void (Module::*function)(int32_t, int32_t)) {
    setBlockFunction(static_cast<MpBlockFunction>(function));
  }
  void setSleepMode(bool mayAlwaysSleep);
  // Names the module's silent routine: if it is still the chosen one when
  // the graph starts, the audio outputs are announced static instead of
  // streaming zeros.
  template <class Module>
  void setSilentBlockFunction(void (Module::*function)(int32_t, int32_t)) {
    silent_ = static_cast<MpBlockFunction>(function);
  }

  // Default handler of MIDI inputs.
  void deliverMidi(const MpEvent* e) {
    midiReceived(e->pin, static_cast<const unsigned char*>(mpEventData(e)), mpEventSize(e));
  }

  MpBlockFunction chosenBlockFunction() const { return chosen_; }
  bool isSleepChecking() const { return active_ == &MpBase::sleepCheck; }

 protected:
  // Default chosen function: renders nothing.
  void doNothing(int32_t, int32_t) {}

 private:
  void sleepCheck(int32_t bufferOffset, int32_t sampleFrames);
  void render(int32_t bufferOffset, int32_t sampleFrames) { (this->*active_)(bufferOffset, sampleFrames); }
  bool maySleep() const { return (sleepMode_ == -1 && streamingPins_ == 0) || sleepMode_ == 1; }
  const MpEvent* dispatchGroup(const MpEvent* first, int32_t time);

  MpBlockFunction active_;
  MpBlockFunction chosen_;
  MpBlockFunction silent_ = nullptr;
};
