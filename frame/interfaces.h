// The binary contract between the zvmods library and its hosts.
//
// Everything that crosses the library boundary is declared here and nothing
// else: hosts (the test host, zvhost, the real application) include this file
// only. Interfaces are abstract classes whose virtual functions are the
// documented operations in slot order; slots nobody calls are still declared
// as placeholders so that the slot numbers match. Interfaces have no virtual
// destructor (COM layout). Text is UTF-16 on every target.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define MP_STDCALL __stdcall
#define MP_EXPORT extern "C" __declspec(dllexport)
#else
#define MP_STDCALL
#define MP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// UTF-16 code unit: wchar_t on Windows (2 bytes), char16_t elsewhere. A
// 4-byte wchar_t never crosses the boundary.
#if defined(_WIN32)
using MpChar = wchar_t;
#define MP_TEXT(s) L##s
#else
using MpChar = char16_t;
#define MP_TEXT(s) u##s
#endif
static_assert(sizeof(MpChar) == 2, "wide text must be UTF-16");

// Result codes.
enum : int32_t {
  MP_OK = 0,
  MP_FAIL = -1,
  MP_UNHANDLED = -2,
};

// 16 bytes, little-endian as stored; compared over all 16 bytes.
struct MpGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(MpGuid) == 16, "GUID layout");

inline bool mpGuidEqual(const MpGuid* a, const MpGuid& b) {
  return a != nullptr && std::memcmp(a, &b, sizeof(MpGuid)) == 0;
}

// {00000000-0000-C000-0000-000000000046}
constexpr MpGuid MP_IID_UNKNOWN = {0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {9A7904B7-7F7F-4D61-B558-C1A6695BB638}
constexpr MpGuid MP_IID_FACTORY = {0x9A7904B7, 0x7F7F, 0x4D61, {0xB5, 0x58, 0xC1, 0xA6, 0x69, 0x5B, 0xB6, 0x38}};
// {2B0DFC7E-A539-49CD-B72D-32FF9DF0D9E4}
constexpr MpGuid MP_IID_PLUGIN = {0x2B0DFC7E, 0xA539, 0x49CD, {0xB7, 0x2D, 0x32, 0xFF, 0x9D, 0xF0, 0xD9, 0xE4}};
// {4F1B532F-3C46-4927-A498-614867425BE7}
constexpr MpGuid MP_IID_AUDIO_HOST = {0x4F1B532F, 0x3C46, 0x4927, {0xA4, 0x98, 0x61, 0x48, 0x67, 0x42, 0x5B, 0xE7}};
// {174F9DDC-1850-40DB-BAF0-E0B41D079645}
constexpr MpGuid MP_IID_GUI_HOST = {0x174F9DDC, 0x1850, 0x40DB, {0xBA, 0xF0, 0xE0, 0xB4, 0x1D, 0x07, 0x96, 0x45}};
// {2A3F4D28-52C5-4A31-BF85-B79853265F65}
constexpr MpGuid MP_IID_GRAPHICS_HOST = {0x2A3F4D28, 0x52C5, 0x4A31, {0xBF, 0x85, 0xB7, 0x98, 0x53, 0x26, 0x5F, 0x65}};
// {CACB3203-4A57-4209-9E00-0C4B950457F6}
constexpr MpGuid MP_IID_GUI_PLUGIN = {0xCACB3203, 0x4A57, 0x4209, {0x9E, 0x00, 0x0C, 0x4B, 0x95, 0x04, 0x57, 0xF6}};
// {0157347B-3FD3-4CEE-947E-88F694349254}
constexpr MpGuid MP_IID_GRAPHICS_COMPOSITED = {
    0x0157347B, 0x3FD3, 0x4CEE, {0x94, 0x7E, 0x88, 0xF6, 0x94, 0x34, 0x92, 0x54}};

// Event record handed to processBlock: eight 32-bit fields on 32-bit targets.
struct MpEvent {
  int32_t time;   // sample offset within the block
  int32_t type;   // MpEventType
  int32_t pin;    // pin index (types 100..103)
  int32_t size;   // bytes of value or MIDI message
  int32_t data1;  // inline value (first word)
  int32_t data2;  // inline value (second word)
  char* extra;    // value that does not fit inline, else null
  MpEvent* next;  // null at the end of the list
};
static_assert(sizeof(void*) != 4 || sizeof(MpEvent) == 32, "event layout");

enum MpEventType : int32_t {
  MP_EVENT_PIN_VALUE = 100,
  MP_EVENT_STREAMING_START = 101,
  MP_EVENT_STREAMING_STOP = 102,
  MP_EVENT_MIDI = 103,
  MP_EVENT_GRAPH_START = 104,
};

// Pin datatype codes, the same on both sides.
enum MpDatatype : int32_t {
  MP_DT_ENUM = 0,
  MP_DT_TEXT = 1,
  MP_DT_MIDI = 2,
  MP_DT_BOOL = 4,
  MP_DT_AUDIO = 5,
  MP_DT_FLOAT = 6,
  MP_DT_INT = 8,
  MP_DT_BLOB = 10,
};

// Rectangle as the host places a module: four 32-bit values.
struct MpRect {
  int32_t v0;
  int32_t v1;
  int32_t v2;
  int32_t v3;
};
static_assert(sizeof(MpRect) == 16, "rectangle layout");

// Style record the graphics host fills; values[2] is the background colour
// (0x00BBGGRR), negative for none.
struct MpStyleRecord {
  int32_t values[16];
};

// Drawing surface. On Windows the drawing context is a GDI device context;
// elsewhere it points to this small canvas, supplied by the host.
// Colours are 0x00BBGGRR. As with GDI, a filled rectangle leaves out its
// right and bottom edges and a line leaves out its end point.
class IMpCanvas {
 public:
  virtual void MP_STDCALL fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) = 0;
  virtual void MP_STDCALL setPen(uint32_t colour, int32_t width) = 0;
  virtual void MP_STDCALL moveTo(int32_t x, int32_t y) = 0;
  virtual void MP_STDCALL lineTo(int32_t x, int32_t y) = 0;
};
using MpDrawingContext = void*;

class IMpUnknown {
 public:
  virtual int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) = 0;
  virtual int32_t MP_STDCALL addRef() = 0;
  virtual int32_t MP_STDCALL release() = 0;
};

class IMpFactory : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL createInstance(const MpChar* uniqueId, int32_t subType, IMpUnknown* host,
                                            void** returnInterface) = 0;
  virtual int32_t MP_STDCALL getSdkInformation(int32_t* returnSdkVersion, int32_t maxChars,
                                               MpChar* returnCompilerInformation) = 0;
};

// Audio side of a module, called by the host on its audio thread.
class IMpPlugin : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL openModule() = 0;
  virtual int32_t MP_STDCALL attachPinBuffer(int32_t pin, float* buffer) = 0;
  virtual void MP_STDCALL processBlock(int32_t sampleFrames, const MpEvent* events) = 0;
  virtual int32_t MP_STDCALL messageFromGui(int32_t id, int32_t size, const void* data) = 0;
};

// GUI side of a module, called by the host on its GUI thread.
class IMpUserInterface : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL initializeGui() = 0;
  virtual int32_t MP_STDCALL pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) = 0;
  virtual int32_t MP_STDCALL pinNotifyFromHost(int32_t pin, int32_t voice) = 0;
  virtual int32_t MP_STDCALL messageFromAudio(int32_t id, int32_t size, const void* data) = 0;
  virtual int32_t MP_STDCALL reservedUi8() = 0;
  virtual int32_t MP_STDCALL reservedUi9(int32_t unused) = 0;
};

// Second face of drawing GUI modules.
class ISeGraphicsComposited : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL drawGraphics(MpDrawingContext context) = 0;
  virtual int32_t MP_STDCALL queryDesiredSize(int32_t availableWidth, int32_t availableHeight,
                                              int32_t* desiredSize) = 0;
  virtual int32_t MP_STDCALL placeRectangle(MpRect rectangle) = 0;
  virtual int32_t MP_STDCALL reservedGfx7() = 0;
  virtual int32_t MP_STDCALL reservedGfx8() = 0;
  virtual int32_t MP_STDCALL reservedGfx9(int32_t a, int32_t b, int32_t c) = 0;
  virtual int32_t MP_STDCALL reservedGfx10(int32_t a, int32_t b, int32_t c) = 0;
  virtual int32_t MP_STDCALL reservedGfx11(int32_t a, int32_t b, int32_t c) = 0;
};

// Services of the host to audio-side modules. Placeholders are never called
// by the library; a host answers them with -2.
class IMpAudioHost : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL sendPinValue(int32_t blockPosition, int32_t pinIndex, int32_t size, const void* data) = 0;
  virtual int32_t MP_STDCALL sendPinStreaming(int32_t blockPosition, int32_t pinIndex, bool isStreaming) = 0;
  virtual int32_t MP_STDCALL requestSleep() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost7() = 0;
  virtual int32_t MP_STDCALL queryBlockSize(int32_t* returnBlockSize) = 0;
  virtual int32_t MP_STDCALL querySampleRate(float* returnSampleRate) = 0;
  virtual int32_t MP_STDCALL reservedAudioHost10() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost11() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost12() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost13() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost14() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost15() = 0;
  virtual int32_t MP_STDCALL reservedAudioHost16() = 0;
  // size counts 32-bit values; sampleRate -1 marks a rate-independent block.
  virtual int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** returnPointer, float sampleRate, int32_t size,
                                             int32_t* returnNeedInitialise) = 0;
  virtual int32_t MP_STDCALL resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) = 0;
};

// Services of the host to GUI-side modules.
class IMpGuiHost : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL sendGuiPinValue(int32_t pinIndex, int32_t size, const void* data, int32_t voice) = 0;
  virtual int32_t MP_STDCALL reservedGuiHost5() = 0;
  virtual int32_t MP_STDCALL reservedGuiHost6() = 0;
  virtual int32_t MP_STDCALL reservedGuiHost7() = 0;
  virtual int32_t MP_STDCALL reservedGuiHost8() = 0;
  virtual int32_t MP_STDCALL reservedGuiHost9() = 0;
  virtual int32_t MP_STDCALL reservedGuiHost10() = 0;
  virtual int32_t MP_STDCALL resolveFilePath(const MpChar* fileName, int32_t capacity, MpChar* returnFullPath) = 0;
  virtual int32_t MP_STDCALL reservedGuiHost12() = 0;
  virtual int32_t MP_STDCALL queryPinCount(int32_t* returnCount) = 0;
};

// Composited-graphics services of the host to drawing GUI modules.
class IMpGraphicsHost : public IMpUnknown {
 public:
  virtual int32_t MP_STDCALL reservedGfxHost4() = 0;
  virtual int32_t MP_STDCALL reservedGfxHost5() = 0;
  virtual int32_t MP_STDCALL reservedGfxHost6() = 0;
  // A null rectangle asks for the whole module to be redrawn.
  virtual int32_t MP_STDCALL invalidateRect(const MpRect* rectangle) = 0;
  virtual int32_t MP_STDCALL reservedGfxHost8() = 0;
  virtual int32_t MP_STDCALL getStyle(const MpChar* styleName, MpStyleRecord* returnStyle, const MpRect* rectangle) = 0;
};

// The one entry point of the library.
using MpGetFactoryFunction = int32_t(MP_STDCALL*)(void** returnInterface);

// Outside Windows the host's GUI loop drives the library-wide GUI timer:
// each call is one timer period. Returns the period in milliseconds while the
// timer runs, 0 when no client is registered.
using MpGuiTimerTickFunction = int32_t(MP_STDCALL*)();
// The same period without ticking, so that a host's clock can start it
// when the first client arrives; 0 when no client is registered.
using MpGuiTimerPeriodFunction = int32_t(MP_STDCALL*)();

#define MP_GET_FACTORY_NAME "MP_GetFactory"
#define MP_GUI_TIMER_TICK_NAME "MP_GuiTimerTick"
#define MP_GUI_TIMER_PERIOD_NAME "MP_GuiTimerPeriod"
