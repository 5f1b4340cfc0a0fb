// Pins of audio-side modules: audio buffers, typed control values and MIDI.
// Pins are members of their module and registered with it by index; the base
// routes host events to them, and they send values, streaming states and MIDI
// back through the module's host.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/mp_blob.h"
#include "frame/raw_value.h"
#include "frame/wide_text.h"

enum MpPinDirection : int32_t { MP_PIN_IN = 0, MP_PIN_OUT = 1 };

class MpPinBase {
 public:
  MpPinBase() = default;
  MpPinBase(const MpPinBase&) = delete;
  MpPinBase& operator=(const MpPinBase&) = delete;
  virtual ~MpPinBase() = default;
  virtual void attachBuffer(float* /*buffer*/) {}
  virtual void preEvent(const MpEvent* /*event*/) {}
  virtual void event(const MpEvent* e) {
    if (handler_ != nullptr) (module_->*handler_)(e);
  }
  virtual void postEvent(const MpEvent* /*event*/) {}
  virtual int32_t datatype() const = 0;
  virtual int32_t direction() const = 0;
  virtual MpPinHandler defaultHandler() const { return nullptr; }
  virtual void sendFirstUpdate() {}

  void bind(MpBase* module, int32_t index, MpPinHandler handler) {
    module_ = module;
    index_ = index;
    handler_ = handler;
  }
  int32_t index() const { return index_; }
  MpBase* module() const { return module_; }

 protected:
  int32_t index_ = -1;
  MpBase* module_ = nullptr;
  MpPinHandler handler_ = nullptr;
};

class MpAudioPinBase : public MpPinBase {
 public:
  void attachBuffer(float* buffer) override { buffer_ = buffer; }
  int32_t datatype() const override { return MP_DT_AUDIO; }
  float* buffer() const { return buffer_; }
  bool isStreaming() const { return streaming_; }

 protected:
  float* buffer_ = nullptr;
  bool streaming_ = false;
};

class AudioInPin : public MpAudioPinBase {
 public:
  int32_t direction() const override { return MP_PIN_IN; }
  void preEvent(const MpEvent* e) override;
  void postEvent(const MpEvent*) override { updated_ = false; }
  // The sample at an offset, or at the current block position when negative.
  float getValue(int32_t offset = -1) const { return buffer_[module_->resolvePosition(offset)]; }
  bool isUpdated() const { return updated_; }

 private:
  bool updated_ = true;
};

class AudioOutPin : public MpAudioPinBase {
 public:
  int32_t direction() const override { return MP_PIN_OUT; }
  void sendFirstUpdate() override { setStreaming(true); }
  void setStreaming(bool isStreaming, int32_t blockPosition = -1);
};

// A typed control value; Datatype is the host's code for it.
template <class T, MpDatatype Datatype>
class MpControlPinBase : public MpPinBase {
 public:
  int32_t datatype() const override { return Datatype; }
  virtual void setRawValue(int32_t size, const void* data) { RawValue<T>::set(value_, size, data); }
  virtual int32_t rawSize() const { return RawValue<T>::size(value_); }
  virtual const void* rawPointer() const { return RawValue<T>::pointer(value_); }

  const T& getValue() const { return value_; }
  operator const T&() const { return value_; }
  bool isUpdated() const { return updated_; }

  void preEvent(const MpEvent* e) override {
    if (e->type != MP_EVENT_PIN_VALUE) return;
    setRawValue(mpEventSize(e), mpEventData(e));
    updated_ = true;
  }
  void postEvent(const MpEvent*) override { updated_ = false; }

 protected:
  T value_{};
  bool updated_ = false;
};

template <class T, MpPinDirection Direction, MpDatatype Datatype>
class MpControlPin : public MpControlPinBase<T, Datatype> {
 public:
  int32_t direction() const override { return Direction; }
  void sendFirstUpdate() override {
    if (Direction == MP_PIN_OUT) sendValue();
  }
  // Stores the value and sends it when it changed.
  void setValue(const T& value, int32_t blockPosition = -1) {
    if (mpSameValue(value, this->value_)) return;
    this->value_ = value;
    sendValue(blockPosition);
  }
  MpControlPin& operator=(const T& value) {
    setValue(value);
    return *this;
  }
  void sendValue(int32_t blockPosition = -1) {
    MpBase* m = this->module_;
    m->host()->sendPinValue(m->resolvePosition(blockPosition), this->index_, this->rawSize(), this->rawPointer());
  }
};

class MidiInPin : public MpPinBase {
 public:
  int32_t datatype() const override { return MP_DT_MIDI; }
  int32_t direction() const override { return MP_PIN_IN; }
  MpPinHandler defaultHandler() const override { return &MpBase::deliverMidi; }
};

class MidiOutPin : public MidiInPin {
 public:
  int32_t direction() const override { return MP_PIN_OUT; }
  MpPinHandler defaultHandler() const override { return nullptr; }
  void send(const unsigned char* data, int32_t size, int32_t blockPosition = -1) {
    module_->host()->sendPinValue(module_->resolvePosition(blockPosition), index_, size, data);
  }
};

// Control pins by value type.
using FloatInPin = MpControlPin<float, MP_PIN_IN, MP_DT_FLOAT>;
using FloatOutPin = MpControlPin<float, MP_PIN_OUT, MP_DT_FLOAT>;
using IntInPin = MpControlPin<int32_t, MP_PIN_IN, MP_DT_INT>;
using IntOutPin = MpControlPin<int32_t, MP_PIN_OUT, MP_DT_INT>;
using ListInPin = MpControlPin<int32_t, MP_PIN_IN, MP_DT_ENUM>;
using ListOutPin = MpControlPin<int32_t, MP_PIN_OUT, MP_DT_ENUM>;
using BoolInPin = MpControlPin<bool, MP_PIN_IN, MP_DT_BOOL>;
using BoolOutPin = MpControlPin<bool, MP_PIN_OUT, MP_DT_BOOL>;
using StringInPin = MpControlPin<MpString, MP_PIN_IN, MP_DT_TEXT>;
using StringOutPin = MpControlPin<MpString, MP_PIN_OUT, MP_DT_TEXT>;
using BlobInPin = MpControlPin<MpBlob, MP_PIN_IN, MP_DT_BLOB>;
using BlobOutPin = MpControlPin<MpBlob, MP_PIN_OUT, MP_DT_BLOB>;
