#include "frame/mp_base.h"

#include <algorithm>

#include "frame/pins.h"

MpPluginBase::MpPluginBase(IMpUnknown* host) {
  void* answer = nullptr;
  if (host != nullptr && host->queryInterface(&MP_IID_AUDIO_HOST, &answer) == MP_OK) {
    host_ = static_cast<IMpAudioHost*>(answer);
  }
  // Refuse a host that cannot serve the module rather than fail later.
  if (host_ == nullptr) throw "host Interfaces not supported";
}

MpPluginBase::~MpPluginBase() {
  pins_.clear();
  if (host_ != nullptr) host_->release();
}

int32_t MP_STDCALL MpPluginBase::queryInterface(const MpGuid* iid, void** returnInterface) {
  if (returnInterface == nullptr) return MP_FAIL;
  if (mpGuidEqual(iid, MP_IID_UNKNOWN) || mpGuidEqual(iid, MP_IID_PLUGIN)) {
    *returnInterface = static_cast<IMpPlugin*>(this);
    addRef();
    return MP_OK;
  }
  *returnInterface = nullptr;
  return MP_UNHANDLED;
}

int32_t MP_STDCALL MpPluginBase::addRef() { return ++references_; }

int32_t MP_STDCALL MpPluginBase::release() {
  if (--references_ <= 0) {
    delete this;
    return 0;
  }
  return references_;
}

int32_t MP_STDCALL MpPluginBase::attachPinBuffer(int32_t index, float* buffer) {
  MpPinBase* target = pin(index);
  if (target == nullptr) return MP_FAIL;
  try {
    target->attachBuffer(buffer);
  } catch (...) {
    return MP_FAIL;
  }
  return MP_OK;
}

MpPinBase* MpPluginBase::pin(int32_t index) const { return pins_.find(index); }

int32_t MpPluginBase::hostBlockSize() const {
  int32_t size = 0;
  host_->queryBlockSize(&size);
  return size;
}

float MpPluginBase::hostSampleRate() const {
  float rate = 0.0f;
  host_->querySampleRate(&rate);
  return rate;
}

MpBase::MpBase(IMpUnknown* host) : MpPluginBase(host), active_(&MpBase::sleepCheck), chosen_(&MpBase::doNothing) {}

void MpBase::registerPin(int32_t index, MpPinBase& pin, MpPinHandler handler) {
  if (handler == nullptr && pin.direction() == MP_PIN_IN) handler = pin.defaultHandler();
  pin.bind(this, index, handler);
  pins_.add(index, &pin);
}

void MpBase::setBlockFunction(MpBlockFunction function) {
  if (active_ == chosen_) active_ = function;
  chosen_ = function;
}

void MpBase::setSleepMode(bool mayAlwaysSleep) {
  if (mayAlwaysSleep) {
    sleepMode_ = 1;
    active_ = &MpBase::sleepCheck;
  } else {
    sleepMode_ = 0;
  }
}

void MpBase::streamingChanged(bool isStreaming) {
  streamingPins_ += isStreaming ? 1 : -1;
  active_ = (streamingPins_ != 0 && sleepMode_ != 1) ? chosen_ : &MpBase::sleepCheck;
}

void MpBase::graphStarted() {
  // On the silent routine the audio outputs' first state is static: one
  // report each, not streaming and then static at the same instant.
  const bool silent = silent_ != nullptr && chosen_ == silent_;
  for (auto& [index, pin] : pins_) {
    if (pin->direction() != MP_PIN_OUT) continue;
    if (silent && pin->datatype() == MP_DT_AUDIO) {
      static_cast<AudioOutPin*>(pin)->setStreaming(false);
    } else {
      pin->sendFirstUpdate();
    }
  }
}

void MpBase::sleepCheck(int32_t bufferOffset, int32_t sampleFrames) {
  for (;;) {
    if (!maySleep()) {
      active_ = chosen_;
      if (sampleFrames > 0) (this->*chosen_)(bufferOffset, sampleFrames);
      return;
    }
    if (sleepCountdown_ <= 0) {
      if (betweenEvents_) {
        host_->requestSleep();
        return;
      }
      // The stretch before a pending event is always rendered.
      sleepCountdown_ = sampleFrames;
    }
    if (sampleFrames <= 0) return;
    int32_t n = std::min(sleepCountdown_, sampleFrames);
    sleepCountdown_ -= n;
    (this->*chosen_)(bufferOffset, n);
    bufferOffset += n;
    sampleFrames -= n;
  }
}

void MP_STDCALL MpBase::processBlock(int32_t sampleFrames, const MpEvent* events) {
  // A send at -1 from a block function must never carry the previous block's time.
  blockPosition_ = 0;
  if (sampleFrames < 0) sampleFrames = 0;
  int32_t position = 0;
  const MpEvent* next = events;
  while (next != nullptr) {
    // Times outside the block (or out of order) are clamped into it.
    int32_t time = std::clamp(next->time, position, sampleFrames);
    if (time >= sampleFrames) break;
    if (time > position) {
      betweenEvents_ = false;
      render(position, time - position);
      betweenEvents_ = true;
      position = time;
    }
    blockPosition_ = time;
    next = dispatchGroup(next, next->time);
  }
  if (sampleFrames > position) render(position, sampleFrames - position);
}

const MpEvent* MpBase::dispatchGroup(const MpEvent* first, int32_t time) {
  auto end = first;
  while (end != nullptr && end->time == time) end = end->next;
  auto isPinEvent = [](const MpEvent* e) { return e->type >= MP_EVENT_PIN_VALUE && e->type <= MP_EVENT_MIDI; };

  bool valuesChanged = false;
  for (auto e = first; e != end; e = e->next) {
    if (!isPinEvent(e)) continue;
    if (e->type != MP_EVENT_MIDI) valuesChanged = true;
    if (MpPinBase* p = pin(e->pin)) p->preEvent(e);
  }
  for (auto e = first; e != end; e = e->next) {
    if (isPinEvent(e)) {
      if (MpPinBase* p = pin(e->pin)) p->event(e);
    } else if (e->type == MP_EVENT_GRAPH_START) {
      graphStarted();
    }
  }
  if (valuesChanged) pinsUpdated();
  for (auto e = first; e != end; e = e->next) {
    if (!isPinEvent(e)) continue;
    if (MpPinBase* p = pin(e->pin)) p->postEvent(e);
  }
  return end;
}
