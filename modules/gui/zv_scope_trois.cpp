#include "modules/gui/zv_scope_trois.h"

#include <algorithm>
#include <cstring>

#include "frame/platform/painter.h"

using zv::gui::kCaptureBytes;

ZvScopeTrois::ZvScopeTrois(IMpUnknown* host) : MpBase(host) {
  registerPin(CAPTURE, capture_);
  registerPin(SIGNAL, signal_);
  registerPin(TIME, time_);
  registerPin(INFO, info_);
  // Size the values' storage now so that sending never allocates; both
  // start empty all the same (the storage stays when a value shrinks).
  capture_.setRawValue(kCaptureBytes, buffer_);
  capture_.setRawValue(0, nullptr);
  info_.setRawValue(8, buffer_);
  info_.setRawValue(0, nullptr);
}

int32_t MP_STDCALL ZvScopeTrois::openModule() {
  // The first capture starts at once, without waiting for a crossing.
  startCapture();
  capture_.sendValue();
  samplesPerMillisecond_ = hostSampleRate() * 0.001f;
  return MpBase::openModule();
}

void ZvScopeTrois::pinsUpdated() { startCapture(); }

void ZvScopeTrois::startCapture() {
  writePosition_ = 0;
  setBlockFunction(&ZvScopeTrois::capture);
  // Let the base render at least one sample even when nothing streams: the
  // capture then keeps the module awake until it is complete.
  setSleepCountdown(std::max(sleepCountdown(), 1));
}

void ZvScopeTrois::capture(int32_t bufferOffset, int32_t sampleFrames) {
  if (sampleFrames <= 0) return;
  length_ = zv::gui::captureLength(time_.buffer()[bufferOffset], samplesPerMillisecond_);
  // Time may have fallen below what is already captured: then it is complete.
  const int32_t n = std::clamp(length_ - writePosition_, 0, sampleFrames);
  zv::gui::packSamples(signal_.buffer() + bufferOffset, buffer_ + writePosition_, n);
  writePosition_ += n;
  if (writePosition_ < length_) {
    setSleepCountdown(std::max(sleepCountdown(), length_ - writePosition_));
    return;
  }
  send(bufferOffset);
  holdOff(bufferOffset + n, sampleFrames - n);
}

void ZvScopeTrois::send(int32_t blockPosition) {
  const float rate = hostSampleRate();
  samplesPerMillisecond_ = rate * 0.001f;
  capture_.setRawValue(kCaptureBytes, buffer_);
  const int32_t info[2] = {length_, zv::dsp::truncateTo(rate, 0)};
  info_.setRawValue(sizeof info, info);
  capture_.sendValue(blockPosition);
  info_.sendValue(blockPosition);
  // At least a fifteenth of a second between captures.
  holdOffCountdown_ = std::max(length_, zv::dsp::truncateTo(rate * 0.06666667f, 0));
  setBlockFunction(&ZvScopeTrois::holdOff);
}

void ZvScopeTrois::holdOff(int32_t /*bufferOffset*/, int32_t sampleFrames) {
  holdOffCountdown_ -= sampleFrames;
  if (holdOffCountdown_ < 0) setBlockFunction(&ZvScopeTrois::waitForNegative);
}

void ZvScopeTrois::waitForNegative(int32_t bufferOffset, int32_t sampleFrames) {
  const int32_t i = zv::gui::firstBelowZero(signal_.buffer() + bufferOffset, sampleFrames);
  if (i == sampleFrames) return;
  writePosition_ = 0;
  setBlockFunction(&ZvScopeTrois::waitForPositive);
  waitForPositive(bufferOffset + i, sampleFrames - i);
}

void ZvScopeTrois::waitForPositive(int32_t bufferOffset, int32_t sampleFrames) {
  const int32_t i = zv::gui::firstAboveZero(signal_.buffer() + bufferOffset, sampleFrames);
  if (i == sampleFrames) return;
  writePosition_ = 0;
  setBlockFunction(&ZvScopeTrois::capture);
  capture(bufferOffset + i, sampleFrames - i);
}

ZvScopeTroisGui::ZvScopeTroisGui(IMpUnknown* host) : SeGuiCompositedGfxBase(host) {
  capture_.initialize(this, CAPTURE, &ZvScopeTroisGui::onCapture);
  info_.initialize(this, INFO);
}

namespace {

// Distance between two edges, never negative, and small enough that one
// more pixel still fits an int32.
int32_t extent(int32_t from, int32_t to) {
  const int64_t d = int64_t{to} - from;
  return static_cast<int32_t>(std::clamp<int64_t>(d, 0, INT32_MAX - 1));
}

// The style record as we pass it: hosts may write more values than we read.
struct StyleBuffer {
  MpStyleRecord record;
  int32_t slack[48];
};

}  // namespace

int32_t MP_STDCALL ZvScopeTroisGui::drawGraphics(MpDrawingContext context) {
  // The rectangle is read as {left, top, right, bottom}.
  const MpRect area = rectangle();
  const int32_t width = extent(area.v0, area.v2);
  const int32_t height = extent(area.v1, area.v3);

  // A host that fills nothing leaves "no background".
  StyleBuffer style{};
  style.record.values[2] = -1;
  graphicsHost()->getStyle(MP_TEXT("tty"), &style.record, &area);
  const int32_t background = style.record.values[2];

  int32_t points = kCaptureBytes;
  const MpBlob& info = info_.getValue();
  if (info.size() == 8) {
    int32_t length = 0;
    std::memcpy(&length, info.data(), 4);
    if (length >= zv::gui::kShortestCapture && length <= kCaptureBytes) points = length;
  }
  const int32_t centre = height / 2;
  const float scale = static_cast<float>(centre) * 0.007874016f;

  MpPainter painter(context);
  if (background >= 0) painter.fillRectangle(0, 0, width + 1, height + 1, static_cast<uint32_t>(background));
  painter.usePen(kCentreColour, 1);
  painter.moveTo(0, centre);
  painter.lineTo(width, centre);

  const MpBlob& capture = capture_.getValue();
  if (capture.size() != kCaptureBytes) return MP_OK;
  const auto* samples = reinterpret_cast<const int8_t*>(capture.data());
  using zv::gui::sampleColumn;
  using zv::gui::sampleRow;
  painter.usePen(kCentreColour, 1);
  for (int32_t i = 0; i + 1 < points; ++i) {
    const int32_t x = sampleColumn(i, width, points);
    painter.moveTo(x, sampleRow(centre, samples[i], scale));
    painter.lineTo(x, centre);
  }
  painter.usePen(kTraceColour, 1);
  painter.moveTo(0, sampleRow(centre, samples[0], scale));
  for (int32_t i = 1; i < points; ++i)
    painter.lineTo(sampleColumn(i, width, points), sampleRow(centre, samples[i], scale));
  return MP_OK;
}
