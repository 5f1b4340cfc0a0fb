#include "frame/pins.h"

void AudioInPin::preEvent(const MpEvent* e) {
  if (e->type != MP_EVENT_STREAMING_START && e->type != MP_EVENT_STREAMING_STOP) return;
  updated_ = true;
  bool streaming = e->type == MP_EVENT_STREAMING_START;
  if (streaming != streaming_) {
    streaming_ = streaming;
    module_->streamingChanged(streaming);
  }
}

void AudioOutPin::setStreaming(bool isStreaming, int32_t blockPosition) {
  int32_t position = module_->resolvePosition(blockPosition);
  if (isStreaming != streaming_) {
    streaming_ = isStreaming;
    module_->streamingChanged(isStreaming);
  }
  // One more whole block of the static value before the module may sleep.
  if (!streaming_) module_->setSleepCountdown(module_->hostBlockSize());
  module_->host()->sendPinStreaming(position, index_, isStreaming);
}
