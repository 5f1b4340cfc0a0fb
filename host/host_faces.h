// The host interfaces each module instance is given: thin faces that pass
// every call on to the engine with the instance's number.
#pragma once

#include <cstdint>

#include "frame/host_support.h"

namespace zvhost {

class Engine;

class AudioHostFace final : public MpAudioHostBase {
 public:
  AudioHostFace(Engine& engine, int instance) : engine_(engine), instance_(instance) {}
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override;
  // The engine owns the face; counts are kept only to be honest about them.
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL sendPinValue(int32_t position, int32_t pin, int32_t size, const void* data) override;
  int32_t MP_STDCALL sendPinStreaming(int32_t position, int32_t pin, bool streaming) override;
  int32_t MP_STDCALL requestSleep() override;
  int32_t MP_STDCALL queryBlockSize(int32_t* out) override;
  int32_t MP_STDCALL querySampleRate(float* out) override;
  int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** out, float rate, int32_t size,
                                     int32_t* needInitialise) override;
  int32_t MP_STDCALL resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) override;

 private:
  Engine& engine_;
  int instance_;
  int32_t references_ = 0;
};

// An offline render draws only when asked to (Engine::drawGui): redraw
// requests are accepted, and every style has the panel's background.
class GraphicsHostFace final : public MpGraphicsHostBase {
 public:
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override;
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL invalidateRect(const MpRect*) override { return MP_OK; }
  int32_t MP_STDCALL getStyle(const MpChar*, MpStyleRecord* style, const MpRect*) override;

 private:
  int32_t references_ = 0;
};

class GuiHostFace final : public MpGuiHostBase {
 public:
  GuiHostFace(Engine& engine, int instance) : engine_(engine), instance_(instance) {}
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override;
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL sendGuiPinValue(int32_t pin, int32_t size, const void* data, int32_t voice) override;
  int32_t MP_STDCALL resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) override;
  int32_t MP_STDCALL queryPinCount(int32_t* out) override;

 private:
  Engine& engine_;
  int instance_;
  int32_t references_ = 0;
  GraphicsHostFace graphics_;
};

}  // namespace zvhost
