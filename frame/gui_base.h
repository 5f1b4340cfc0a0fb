// GUI-side module base: links a module to the host's GUI interface and keeps
// its GUI pins by index. SeGuiCompositedGfxBase adds the drawing face.
#pragma once

#include "frame/interfaces.h"
#include "frame/mp_blob.h"
#include "frame/pin_index.h"
#include "frame/raw_value.h"
#include "frame/wide_text.h"

class MpGuiBase;
class MpGuiPinBase;

using MpGuiPinHandler = void (MpGuiBase::*)();

class MpGuiBase : public IMpUserInterface {
 public:
  using CreatedInterface = IMpUserInterface;

  explicit MpGuiBase(IMpUnknown* host);
  MpGuiBase(const MpGuiBase&) = delete;
  MpGuiBase& operator=(const MpGuiBase&) = delete;
  virtual ~MpGuiBase();

  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override;
  int32_t MP_STDCALL initializeGui() override { return MP_OK; }
  int32_t MP_STDCALL pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) override;
  int32_t MP_STDCALL pinNotifyFromHost(int32_t pin, int32_t voice) override;
  int32_t MP_STDCALL messageFromAudio(int32_t, int32_t, const void*) override { return MP_OK; }
  int32_t MP_STDCALL reservedUi8() override { return MP_OK; }
  int32_t MP_STDCALL reservedUi9(int32_t) override { return MP_OK; }

  IMpGuiHost* guiHost() const { return guiHost_; }
  void registerGuiPin(int32_t index, MpGuiPinBase* pin) { pins_.add(index, pin); }
  MpGuiPinBase* guiPin(int32_t index) const;

 protected:
  IMpGuiHost* guiHost_ = nullptr;
  int32_t references_ = 0;
  MpPinIndex<MpGuiPinBase> pins_;
};

class MpGuiPinBase {
 public:
  MpGuiPinBase() = default;
  MpGuiPinBase(const MpGuiPinBase&) = delete;
  MpGuiPinBase& operator=(const MpGuiPinBase&) = delete;
  virtual ~MpGuiPinBase() = default;
  virtual bool setRawValue(int32_t voice, int32_t size, const void* data) = 0;
  virtual void notify(int32_t voice) = 0;
  virtual int32_t datatype() const = 0;
  virtual void initialize(MpGuiBase* module, int32_t index, MpGuiPinHandler handler) = 0;
  virtual void reserved6(int32_t, int32_t, int32_t) {}
  virtual int32_t rawSize() const = 0;
  virtual const void* rawPointer() const = 0;
  virtual int32_t reserved9() { return 0; }
};

class MpGuiPinSimpleBase : public MpGuiPinBase {
 public:
  void notify(int32_t /*voice*/) override {
    if (handler_ != nullptr) (module_->*handler_)();
  }
  void initialize(MpGuiBase* module, int32_t index, MpGuiPinHandler handler) override {
    module_ = module;
    index_ = index;
    handler_ = handler;
    module->registerGuiPin(index, this);
  }
  template <class Module>
  void initialize(Module* module, int32_t index, void (Module::*handler)() = nullptr) {
    initialize(static_cast<MpGuiBase*>(module), index, static_cast<MpGuiPinHandler>(handler));
  }
  int32_t index() const { return index_; }

 protected:
  int32_t index_ = -1;
  MpGuiBase* module_ = nullptr;
  MpGuiPinHandler handler_ = nullptr;
};

template <class T>
class MpGuiPin : public MpGuiPinSimpleBase {
 public:
  bool setRawValue(int32_t /*voice*/, int32_t size, const void* data) override {
    T previous = value_;
    RawValue<T>::set(value_, size, data);
    return !mpSameValue(previous, value_);
  }
  int32_t datatype() const override;
  int32_t rawSize() const override { return RawValue<T>::size(value_); }
  const void* rawPointer() const override { return RawValue<T>::pointer(value_); }

  const T& getValue() const { return value_; }
  operator const T&() const { return value_; }
  // Stores the value and sends it to the host when it changed.
  void setValue(const T& value) {
    if (mpSameValue(value, value_)) return;
    value_ = value;
    sendValue();
  }
  MpGuiPin& operator=(const T& value) {
    setValue(value);
    return *this;
  }
  void sendValue() { module_->guiHost()->sendGuiPinValue(index_, rawSize(), rawPointer(), 0); }

 private:
  T value_{};
};

template <>
inline int32_t MpGuiPin<int32_t>::datatype() const {
  return MP_DT_INT;
}
template <>
inline int32_t MpGuiPin<bool>::datatype() const {
  return MP_DT_BOOL;
}
template <>
inline int32_t MpGuiPin<float>::datatype() const {
  return MP_DT_FLOAT;
}
template <>
inline int32_t MpGuiPin<MpString>::datatype() const {
  return MP_DT_TEXT;
}
template <>
inline int32_t MpGuiPin<MpBlob>::datatype() const {
  return MP_DT_BLOB;
}

using GuiIntPin = MpGuiPin<int32_t>;
using GuiBoolPin = MpGuiPin<bool>;
using GuiFloatPin = MpGuiPin<float>;
using GuiStringPin = MpGuiPin<MpString>;
using GuiBlobPin = MpGuiPin<MpBlob>;

// GUI modules that draw: a second interface face for the host's compositor.
class SeGuiCompositedGfxBase : public MpGuiBase, public ISeGraphicsComposited {
 public:
  explicit SeGuiCompositedGfxBase(IMpUnknown* host);
  ~SeGuiCompositedGfxBase() override;

  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override { return MpGuiBase::addRef(); }
  int32_t MP_STDCALL release() override { return MpGuiBase::release(); }

  int32_t MP_STDCALL drawGraphics(MpDrawingContext) override { return MP_OK; }
  int32_t MP_STDCALL queryDesiredSize(int32_t availableWidth, int32_t availableHeight, int32_t* desiredSize) override;
  int32_t MP_STDCALL placeRectangle(MpRect rectangle) override {
    rectangle_ = rectangle;
    return MP_OK;
  }
  int32_t MP_STDCALL reservedGfx7() override { return MP_OK; }
  int32_t MP_STDCALL reservedGfx8() override { return MP_OK; }
  int32_t MP_STDCALL reservedGfx9(int32_t, int32_t, int32_t) override { return MP_OK; }
  int32_t MP_STDCALL reservedGfx10(int32_t, int32_t, int32_t) override { return MP_OK; }
  int32_t MP_STDCALL reservedGfx11(int32_t, int32_t, int32_t) override { return MP_OK; }

  IMpGraphicsHost* graphicsHost() const { return graphicsHost_; }
  const MpRect& rectangle() const { return rectangle_; }
  // Asks the host to redraw the whole module.
  void invalidate() { graphicsHost_->invalidateRect(nullptr); }

 protected:
  IMpGraphicsHost* graphicsHost_ = nullptr;
  MpRect rectangle_{0, 0, 0, 0};
};
