// Modules that exist only to observe the host: they log what reaches them
// into a text the tests read through an extra export.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "frame/factory.h"
#include "frame/gui_base.h"
#include "frame/gui_timer.h"
#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/wide_text.h"

namespace {

std::string g_log;

void logLine(const std::string& line) { g_log += line + "\n"; }

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// A static level: output static, the module sleeps.
class TestConst : public MpBase {
 public:
  enum Pin { LEVEL, OUT };
  explicit TestConst(IMpUnknown* host) : MpBase(host) {
    registerPin(LEVEL, level_);
    registerPin(OUT, out_);
  }
  void pinsUpdated() override {
    setBlockFunction(&TestConst::fill);
    out_.setStreaming(false);
  }

 private:
  void fill(int32_t offset, int32_t frames) { std::fill_n(out_.buffer() + offset, frames, level_.getValue()); }
  FloatInPin level_;
  AudioOutPin out_;
};

// Logs every event it gets (block number, time, type, pin, value) and
// passes its audio input through.
class TestRecorder : public MpBase {
 public:
  enum Pin { TAG, IN, OUT, VALUE, NUMBER, VOICE_ACTIVE };
  explicit TestRecorder(IMpUnknown* host) : MpBase(host) {
    registerPin(TAG, tag_);
    registerPin(IN, in_);
    registerPin(OUT, out_);
    registerPin(VALUE, value_);
    registerPin(NUMBER, number_);
    registerPin(VOICE_ACTIVE, voiceActive_);
  }
  void MP_STDCALL processBlock(int32_t frames, const MpEvent* events) override {
    ++block_;
    for (const MpEvent* e = events; e != nullptr; e = e->next) {
      std::string line = "rec block=" + std::to_string(block_) + " t=" + std::to_string(e->time) +
                         " type=" + std::to_string(e->type) + " pin=" + std::to_string(e->pin);
      if (e->type == MP_EVENT_PIN_VALUE && e->size == 4) {
        float f;
        std::memcpy(&f, mpEventData(e), 4);
        int32_t i;
        std::memcpy(&i, mpEventData(e), 4);
        line += e->pin == NUMBER || e->pin == TAG ? " v=" + std::to_string(i) : " v=" + number(f);
      }
      logLine(line);
    }
    MpBase::processBlock(frames, events);
    logLine("rec ran block=" + std::to_string(block_) + " in0=" + number(in_.buffer()[0]) +
            " inLast=" + number(in_.buffer()[frames - 1]));
  }
  void pinsUpdated() override {
    setBlockFunction(&TestRecorder::copy);
    out_.setStreaming(in_.isStreaming());
  }

 private:
  void copy(int32_t offset, int32_t frames) { std::copy_n(in_.buffer() + offset, frames, out_.buffer() + offset); }
  int block_ = 0;
  IntInPin tag_;
  AudioInPin in_;
  AudioOutPin out_;
  FloatInPin value_;
  IntInPin number_;
  FloatInPin voiceActive_;
};

// Never sleeps; each block sends its block number at offset At and writes
// 1000 × block + sample index to its audio output.
class TestSender : public MpBase {
 public:
  enum Pin { AT, VALUE, RAMP, SINK };
  explicit TestSender(IMpUnknown* host) : MpBase(host) {
    registerPin(AT, at_);
    registerPin(VALUE, value_);
    registerPin(RAMP, ramp_);
    registerPin(SINK, sink_);
  }
  int32_t MP_STDCALL openModule() override {
    setBlockFunction(&TestSender::render);
    setSleepMode(false);
    return MpBase::openModule();
  }
  void MP_STDCALL processBlock(int32_t frames, const MpEvent* events) override {
    ++block_;
    MpBase::processBlock(frames, events);
    int32_t at = std::clamp(at_.getValue(), 0, frames - 1);
    value_.setValue(static_cast<float>(block_), at);
  }

 private:
  void render(int32_t offset, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) ramp_.buffer()[offset + i] = 1000.0f * block_ + static_cast<float>(offset + i);
  }
  int block_ = 0;
  IntInPin at_;
  FloatOutPin value_;
  AudioOutPin ramp_;
  AudioInPin sink_;  // only closes loops in tests
};

// A sine at the pitch input (1.0 = 10 V, 5 V = 440 Hz), sounding while the
// gate is above 0, scaled by velocity.
class TestSine : public MpBase {
 public:
  enum Pin { PITCH, GATE, VELOCITY, OUT };
  explicit TestSine(IMpUnknown* host) : MpBase(host) {
    registerPin(PITCH, pitch_);
    registerPin(GATE, gate_);
    registerPin(VELOCITY, velocity_);
    registerPin(OUT, out_);
  }
  int32_t MP_STDCALL openModule() override {
    rate_ = hostSampleRate();
    setBlockFunction(&TestSine::render);
    setSleepMode(false);
    return MpBase::openModule();
  }
  void pinsUpdated() override { level_ = gate_.getValue() > 0.0f ? velocity_.getValue() : 0.0f; }

 private:
  void render(int32_t offset, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
      double hz = 440.0 * std::pow(2.0, pitch_.buffer()[offset + i] * 10.0 - 5.0);
      phase_ += hz / rate_;
      phase_ -= std::floor(phase_);
      out_.buffer()[offset + i] = level_ * static_cast<float>(std::sin(6.283185307179586 * phase_));
    }
  }
  double phase_ = 0.0;
  double rate_ = 48000.0;
  float level_ = 0.0f;
  AudioInPin pitch_;
  FloatInPin gate_;
  FloatInPin velocity_;
  AudioOutPin out_;
};

// Opens a named block at open and logs whether it was new and zeroed.
class TestMemory : public MpBase {
 public:
  explicit TestMemory(IMpUnknown* host) : MpBase(host) { registerPin(0, size_); }
  void pinsUpdated() override {
    if (opened_ || size_.getValue() <= 0) return;
    opened_ = true;
    void* block = nullptr;
    int32_t needInit = 0;
    host()->openNamedMemory(MP_TEXT("TestTable"), &block, -1.0f, size_.getValue(), &needInit);
    auto* data = static_cast<float*>(block);
    bool zeroed = data != nullptr && std::all_of(data, data + size_.getValue(), [](float v) { return v == 0.0f; });
    if (data != nullptr && needInit != 0) std::fill_n(data, size_.getValue(), 7.0f);
    logLine("mem init=" + std::to_string(needInit) + " null=" + std::to_string(data == nullptr) +
            " zeroed=" + std::to_string(zeroed) + " first=" + (data != nullptr ? number(data[0]) : "-"));
  }

 private:
  bool opened_ = false;
  IntInPin size_;
};

// Resolves its file name with the given capacity and logs the answer.
class TestFiles : public MpBase {
 public:
  explicit TestFiles(IMpUnknown* host) : MpBase(host) {
    registerPin(0, name_);
    registerPin(1, capacity_);
  }
  void pinsUpdated() override {
    if (name_.getValue().empty()) return;
    MpChar out[300];
    std::fill(std::begin(out), std::end(out), MpChar('#'));
    int32_t capacity = std::clamp(capacity_.getValue(), 0, 260);
    int32_t result = host()->resolveFilePath(name_.getValue().c_str(), capacity, out);
    bool intact = std::all_of(out + capacity, std::end(out), [](MpChar c) { return c == MpChar('#'); });
    logLine("file result=" + std::to_string(result) + " intact=" + std::to_string(intact) +
            " path=" + (capacity > 0 ? toUtf8(out) : std::string()));
  }

 private:
  StringInPin name_;
  IntInPin capacity_;
};

// Logs MIDI and forwards it.
class TestMidi : public MpBase {
 public:
  explicit TestMidi(IMpUnknown* host) : MpBase(host) {
    registerPin(0, in_);
    registerPin(1, out_);
  }
  void midiReceived(int32_t, const unsigned char* data, int32_t size) override {
    std::string line = "midi t=";
    line += std::to_string(currentBlockPosition());
    for (int32_t i = 0; i < size; ++i) {
      line += ' ';
      line += std::to_string(data[i]);
    }
    logLine(line);
    out_.send(data, size);
  }

 private:
  MidiInPin in_;
  MidiOutPin out_;
};

// Writes 1 everywhere, then adds its input: fed by its own output it counts
// blocks, unless the input changes under it while it writes.
class TestAccumulate : public MpBase {
 public:
  explicit TestAccumulate(IMpUnknown* host) : MpBase(host) {
    registerPin(0, in_);
    registerPin(1, out_);
  }
  int32_t MP_STDCALL openModule() override {
    setBlockFunction(&TestAccumulate::render);
    setSleepMode(false);
    return MpBase::openModule();
  }

 private:
  void render(int32_t offset, int32_t frames) {
    std::fill_n(out_.buffer() + offset, frames, 1.0f);
    for (int32_t i = offset; i < offset + frames; ++i) out_.buffer()[i] += in_.buffer()[i];
  }
  AudioInPin in_;
  AudioOutPin out_;
};

// Fails to open as a module does whose allocation fails.
class TestGreedy : public MpBase {
 public:
  explicit TestGreedy(IMpUnknown* host) : MpBase(host) { registerPin(0, out_); }
  int32_t MP_STDCALL openModule() override { throw std::bad_alloc(); }

 private:
  AudioOutPin out_;
};

// GUI side: doubles pin 0 into pin 1 and counts timer ticks.
class TestGuiDouble : public MpGuiBase, public TimerClient {
 public:
  explicit TestGuiDouble(IMpUnknown* host) : MpGuiBase(host) {
    in_.initialize(this, 0, &TestGuiDouble::onIn);
    out_.initialize(this, 1);
  }
  int32_t MP_STDCALL initializeGui() override {
    int32_t count = 0;
    guiHost()->queryPinCount(&count);
    logLine("gui pins=" + std::to_string(count));
    startTimer();
    return MP_OK;
  }
  bool onTimer() override {
    ++ticks_;
    if (ticks_ % 10 == 0) logLine("gui ticks=" + std::to_string(ticks_));
    return true;
  }

 private:
  void onIn() {
    logLine("gui in=" + number(in_.getValue()));
    out_ = in_.getValue() * 2.0f;
  }
  int ticks_ = 0;
  GuiFloatPin in_;
  GuiFloatPin out_;
};

// Both sides bound to two parameters: the GUI side's Knob is copied to
// Value (parameter 0), which the audio side receives on Value; the audio
// side sends Value + 1 on Echo (parameter 1), which the GUI side logs.
class TestLinked : public MpBase {
 public:
  enum Pin { VALUE, ECHO };
  explicit TestLinked(IMpUnknown* host) : MpBase(host) {
    registerPin(VALUE, value_);
    registerPin(ECHO, echo_);
  }
  void MP_STDCALL processBlock(int32_t frames, const MpEvent* events) override {
    ++block_;
    MpBase::processBlock(frames, events);
  }
  void pinsUpdated() override {
    if (!value_.isUpdated()) return;
    logLine("linked audio block=" + std::to_string(block_) + " value=" + number(value_.getValue()));
    echo_.setValue(value_.getValue() + 1.0f);
  }

 private:
  int block_ = 0;
  FloatInPin value_;
  FloatOutPin echo_;
};

class TestLinkedGui : public MpGuiBase {
 public:
  enum Pin { VALUE, ECHOED, KNOB };
  explicit TestLinkedGui(IMpUnknown* host) : MpGuiBase(host) {
    value_.initialize(this, VALUE, &TestLinkedGui::onValue);
    echoed_.initialize(this, ECHOED, &TestLinkedGui::onEchoed);
    knob_.initialize(this, KNOB, &TestLinkedGui::onKnob);
  }

 private:
  void onValue() { logLine("linked gui value=" + number(value_.getValue())); }
  void onEchoed() { logLine("linked gui echoed=" + number(echoed_.getValue())); }
  void onKnob() { value_ = knob_.getValue(); }
  GuiFloatPin value_;
  GuiFloatPin echoed_;
  GuiFloatPin knob_;
};

// GUI side: Out = min(In + 1, Limit); every handler run is logged.
class TestGuiStep : public MpGuiBase {
 public:
  enum Pin { IN, OUT, LIMIT };
  explicit TestGuiStep(IMpUnknown* host) : MpGuiBase(host) {
    in_.initialize(this, IN, &TestGuiStep::onIn);
    out_.initialize(this, OUT);
    limit_.initialize(this, LIMIT, &TestGuiStep::onIn);
  }

 private:
  void onIn() {
    logLine("step in=" + number(in_.getValue()));
    out_ = std::min(in_.getValue() + 1.0f, limit_.getValue());
  }
  GuiFloatPin in_;
  GuiFloatPin out_;
  GuiFloatPin limit_;
};

// GUI side: a change of In starts the shared timer at 20 ms; the tick after
// it is logged and ends the timer, as the float limiter's does.
class TestGuiTimer : public MpGuiBase, public TimerClient {
 public:
  explicit TestGuiTimer(IMpUnknown* host) : MpGuiBase(host) {
    in_.initialize(this, 0, &TestGuiTimer::onIn);
    setTimerInterval(20);
  }
  ~TestGuiTimer() override { setTimerInterval(50); }
  bool onTimer() override {
    logLine("timer tick");
    return false;
  }

 private:
  void onIn() { startTimer(); }
  GuiFloatPin in_;
};

[[maybe_unused]] const int32_t r1 = registerDspCreator(MP_TEXT("Test Const"), createModule<TestConst>);
[[maybe_unused]] const int32_t r2 = registerDspCreator(MP_TEXT("Test Recorder"), createModule<TestRecorder>);
[[maybe_unused]] const int32_t r3 = registerDspCreator(MP_TEXT("Test Sender"), createModule<TestSender>);
[[maybe_unused]] const int32_t r4 = registerDspCreator(MP_TEXT("Test Sine"), createModule<TestSine>);
[[maybe_unused]] const int32_t r5 = registerDspCreator(MP_TEXT("Test Memory"), createModule<TestMemory>);
[[maybe_unused]] const int32_t r6 = registerDspCreator(MP_TEXT("Test Files"), createModule<TestFiles>);
[[maybe_unused]] const int32_t r7 = registerDspCreator(MP_TEXT("Test Midi"), createModule<TestMidi>);
[[maybe_unused]] const int32_t r9 = registerDspCreator(MP_TEXT("Test Accumulate"), createModule<TestAccumulate>);
[[maybe_unused]] const int32_t r8 = registerGuiCreator(MP_TEXT("Test Gui Double"), createModule<TestGuiDouble>);
[[maybe_unused]] const int32_t r10 = registerDspCreator(MP_TEXT("Test Linked"), createModule<TestLinked>);
[[maybe_unused]] const int32_t r11 = registerGuiCreator(MP_TEXT("Test Linked"), createModule<TestLinkedGui>);
[[maybe_unused]] const int32_t r12 = registerGuiCreator(MP_TEXT("Test Gui Step"), createModule<TestGuiStep>);
[[maybe_unused]] const int32_t r13 = registerGuiCreator(MP_TEXT("Test Gui Timer"), createModule<TestGuiTimer>);
[[maybe_unused]] const int32_t r14 = registerDspCreator(MP_TEXT("Test Greedy"), createModule<TestGreedy>);

}  // namespace

MP_EXPORT const char* ZvTestLog() { return g_log.c_str(); }
MP_EXPORT void ZvTestClearLog() { g_log.clear(); }
