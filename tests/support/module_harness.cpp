#include "tests/support/module_harness.h"

#include <gtest/gtest.h>

#include "frame/factory.h"

int32_t createThroughFactory(const MpString& id, int32_t side, IMpUnknown* host, void** created) {
  void* factory = nullptr;
  mpFactory().queryInterface(&MP_IID_FACTORY, &factory);
  return static_cast<IMpFactory*>(factory)->createInstance(id.c_str(), side, host, created);
}

AudioModule::AudioModule(TestHost& host, const MpString& id) : host_(host) {
  void* created = nullptr;
  int32_t result = createThroughFactory(id, MP_SIDE_AUDIO, host.unknown(), &created);
  if (result != MP_OK || created == nullptr) {
    ADD_FAILURE() << "cannot create " << toUtf8(id) << ": " << result;
    return;
  }
  plugin_ = static_cast<IMpPlugin*>(static_cast<IMpUnknown*>(created));
}

AudioModule::AudioModule(TestHost& host, IMpPlugin* module) : host_(host), plugin_(module) { plugin_->addRef(); }

AudioModule::~AudioModule() {
  if (plugin_ != nullptr) plugin_->release();
}

float* AudioModule::audio(int32_t pin) {
  auto found = buffers_.find(pin);
  if (found == buffers_.end()) {
    found = buffers_.emplace(pin, std::vector<float>(static_cast<size_t>(host_.blockSize), 0.0f)).first;
    EXPECT_EQ(plugin_->attachPinBuffer(pin, found->second.data()), MP_OK) << "audio pin " << pin;
  }
  return found->second.data();
}

void AudioModule::fill(int32_t pin, float value) {
  float* buffer = audio(pin);
  std::fill(buffer, buffer + host_.blockSize, value);
}

int32_t AudioModule::open() { return plugin_->openModule(); }

void AudioModule::process(int32_t sampleFrames, EventList& events) {
  plugin_->processBlock(sampleFrames, events.head());
}

GuiModule::GuiModule(TestHost& host, const MpString& id) : host_(host) {
  void* created = nullptr;
  int32_t result = createThroughFactory(id, MP_SIDE_GUI, host.unknown(), &created);
  if (result != MP_OK || created == nullptr) {
    ADD_FAILURE() << "cannot create GUI " << toUtf8(id) << ": " << result;
    return;
  }
  ui_ = static_cast<IMpUserInterface*>(static_cast<IMpUnknown*>(created));
}

GuiModule::~GuiModule() {
  if (graphics_ != nullptr) graphics_->release();
  if (ui_ != nullptr) ui_->release();
}

void GuiModule::setRaw(int32_t pin, const void* data, int32_t size) {
  ui_->pinValueFromHost(pin, 0, size, data);
  ui_->pinNotifyFromHost(pin, 0);
}
void GuiModule::set(int32_t pin, float v) { setRaw(pin, &v, 4); }
void GuiModule::set(int32_t pin, int32_t v) { setRaw(pin, &v, 4); }
void GuiModule::set(int32_t pin, bool v) { setRaw(pin, &v, 1); }
void GuiModule::set(int32_t pin, const MpString& text) {
  setRaw(pin, text.data(), static_cast<int32_t>(text.size() * 2));
}

ISeGraphicsComposited* GuiModule::graphics() {
  if (graphics_ == nullptr && ui_ != nullptr) {
    void* face = nullptr;
    if (ui_->queryInterface(&MP_IID_GRAPHICS_COMPOSITED, &face) == MP_OK) {
      graphics_ = static_cast<ISeGraphicsComposited*>(face);
    }
  }
  return graphics_;
}
