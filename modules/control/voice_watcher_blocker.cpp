#include "modules/control/voice_watcher_blocker.h"

#include <algorithm>

VoiceWatcherBlocker::VoiceWatcherBlocker(IMpUnknown* host) : MpBase(host) {
  registerPin(INPUT, input_);
  registerPin(OUTPUT, output_);
}

int32_t MP_STDCALL VoiceWatcherBlocker::openModule() {
  // Copies from the start, before the host has said anything about the input.
  setBlockFunction(&VoiceWatcherBlocker::subProcess);
  return MpBase::openModule();
}

void VoiceWatcherBlocker::pinsUpdated() {
  output_.setStreaming(input_.isStreaming());
  setBlockFunction(&VoiceWatcherBlocker::subProcess);
}

// Mirrors the input from the start, so an unconnected blocker sleeps.
void VoiceWatcherBlocker::graphStarted() {
  MpBase::graphStarted();
  output_.setStreaming(input_.isStreaming());
}

void VoiceWatcherBlocker::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  std::copy_n(input_.buffer() + bufferOffset, sampleFrames, output_.buffer() + bufferOffset);
}
