// Drives one audio-side module as a host would: buffers per audio pin,
// openModule, processBlock with an event list.
//
//   TestHost host;
//   AudioModule osc(host, MP_TEXT("Osc ZVQR"));   // through the factory
//   float* out = osc.audio(5);                       // attaches a buffer
//   osc.open();
//   osc.process(64, EventList().graphStart());
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "frame/interfaces.h"
#include "frame/wide_text.h"
#include "tests/support/event_list.h"
#include "tests/support/test_host.h"

class AudioModule {
 public:
  // Creates the module through the library's factory (side 0); the test
  // fails if that is refused.
  AudioModule(TestHost& host, const MpString& id);
  // Takes the host's reference on a module made by the test (count 0).
  AudioModule(TestHost& host, IMpPlugin* module);
  ~AudioModule();
  AudioModule(const AudioModule&) = delete;
  AudioModule& operator=(const AudioModule&) = delete;

  // The buffer of an audio pin, created (blockSize samples, zeroed) and
  // attached on first use.
  float* audio(int32_t pin);
  // Fills an input buffer with a constant.
  void fill(int32_t pin, float value);

  int32_t open();
  void process(int32_t sampleFrames, EventList& events);
  void process(int32_t sampleFrames, EventList&& events) { process(sampleFrames, events); }
  void process(int32_t sampleFrames) { plugin_->processBlock(sampleFrames, nullptr); }

  IMpPlugin* plugin() const { return plugin_; }
  TestHost& host() const { return host_; }

 private:
  TestHost& host_;
  IMpPlugin* plugin_ = nullptr;
  std::map<int32_t, std::vector<float>> buffers_;
};

class GuiModule {
 public:
  // Creates the GUI side through the factory (side 1).
  GuiModule(TestHost& host, const MpString& id);
  ~GuiModule();
  GuiModule(const GuiModule&) = delete;
  GuiModule& operator=(const GuiModule&) = delete;

  // Sets a pin from the host and notifies it.
  void set(int32_t pin, float v);
  void set(int32_t pin, int32_t v);
  void set(int32_t pin, bool v);
  void set(int32_t pin, const MpString& text);
  void setRaw(int32_t pin, const void* data, int32_t size);

  IMpUserInterface* ui() const { return ui_; }
  // The drawing face, or null.
  ISeGraphicsComposited* graphics();

 private:
  TestHost& host_;
  IMpUserInterface* ui_ = nullptr;
  ISeGraphicsComposited* graphics_ = nullptr;
};

// Creates through the library's factory; returns the result code.
int32_t createThroughFactory(const MpString& id, int32_t side, IMpUnknown* host, void** created);
