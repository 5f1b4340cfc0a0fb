#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "frame/factory.h"
#include "frame/gui_base.h"
#include "frame/pins.h"
#include "modules/patchmemory/patch_memory.h"
#include "tests/support/module_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <class T>
Bytes bytesOf(const T& value) {
  Bytes bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}
Bytes textBytes(const MpString& text) {
  Bytes bytes(text.size() * 2);
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

struct AudioCase {
  const char* id;
  const char* sameClassAs;
  int32_t inType, outType;
  Bytes zero, value;
};

const AudioCase kAudioCases[] = {
    {"SE PatchMemory Float", "SE PatchMemory Float", MP_DT_FLOAT, MP_DT_FLOAT, bytesOf(0.0f), bytesOf(0.25f)},
    {"SE PatchMemory Float Out", "SE PatchMemory Float", MP_DT_FLOAT, MP_DT_FLOAT, bytesOf(0.0f), bytesOf(-3.5f)},
    // A NaN repeated is no change either.
    {"SE PatchMemory Float Out B2", "SE PatchMemory Float", MP_DT_FLOAT, MP_DT_FLOAT, bytesOf(0.0f),
     bytesOf(std::numeric_limits<float>::quiet_NaN())},
    {"SE PatchMemory Int", "SE PatchMemory Int", MP_DT_INT, MP_DT_INT, bytesOf(0), bytesOf(-7)},
    {"SE PatchMemory Int Out", "SE PatchMemory Int", MP_DT_INT, MP_DT_INT, bytesOf(0), bytesOf(65536)},
    {"SE PatchMemory Bool", "SE PatchMemory Bool", MP_DT_BOOL, MP_DT_BOOL, {0}, {1}},
    {"SE PatchMemory Bool Out", "SE PatchMemory Bool", MP_DT_BOOL, MP_DT_BOOL, {0}, {1}},
    {"SE PatchMemory Text2", "SE PatchMemory Text2", MP_DT_TEXT, MP_DT_TEXT, {}, textBytes(MP_TEXT("preset name"))},
    {"SE PatchMemory Text Out", "SE PatchMemory Text2", MP_DT_TEXT, MP_DT_TEXT, {}, textBytes(MP_TEXT("x"))},
    {"SE PatchMemory List3", "SE PatchMemory List3", MP_DT_INT, MP_DT_ENUM, bytesOf(0), bytesOf(3)},
    {"SE PatchMemory Blob", "SE PatchMemory Blob", MP_DT_BLOB, MP_DT_BLOB, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}},
    {"SE PatchMemory Blob Out", "SE PatchMemory Blob", MP_DT_BLOB, MP_DT_BLOB, {}, {0}},
};

TEST(PatchMemoryAudio, PassesChangedValuesOnOnce) {
  for (const AudioCase& c : kAudioCases) {
    SCOPED_TRACE(c.id);
    TestHost host;
    AudioModule module(host, widenAscii(c.id));
    AudioModule family(host, widenAscii(c.sameClassAs));
    ASSERT_NE(module.plugin(), nullptr);
    EXPECT_EQ(typeid(*module.plugin()), typeid(*family.plugin()));
    auto* base = static_cast<MpBase*>(static_cast<MpPluginBase*>(module.plugin()));
    ASSERT_EQ(base->pins().size(), 2u);
    EXPECT_EQ(base->pin(0)->datatype(), c.inType);
    EXPECT_EQ(base->pin(0)->direction(), MP_PIN_IN);
    EXPECT_EQ(base->pin(1)->datatype(), c.outType);
    EXPECT_EQ(base->pin(1)->direction(), MP_PIN_OUT);

    module.open();
    module.process(16, EventList().graphStart().raw(5, 0, c.value));
    module.process(16, EventList().raw(3, 0, c.value));
    module.process(16, EventList().raw(9, 0, c.zero).raw(9, 0, c.zero));
    auto sent = host.valuesOn(1);
    ASSERT_EQ(sent.size(), 3u) << "the start value, the change, the change back";
    EXPECT_EQ(sent[0].position, 0);
    EXPECT_EQ(sent[0].bytes, c.zero);
    EXPECT_EQ(sent[1].position, 5);
    EXPECT_EQ(sent[1].bytes, c.value);
    EXPECT_EQ(sent[2].position, 9);
    EXPECT_EQ(sent[2].bytes, c.zero);
    EXPECT_EQ(host.values.size(), sent.size()) << "nothing but pin 1 is sent";
  }
  void* created = nullptr;
  TestHost host;
  EXPECT_EQ(createThroughFactory(MP_TEXT("SE PatchMemory"), MP_SIDE_AUDIO, host.unknown(), &created), MP_UNHANDLED);
}

// GUI pin kinds by index (f float, i int, b bool, t text, x blob, . none)
// and the copies between them ("a=b" both ways, "a>b" from a to b only).
struct GuiCase {
  const char* id;
  const char* kinds;
  const char* copies;
};

const char* const kPlainCopies = "0=7 1=6 2=9 3=10 4=11 5=8";
const char* const kOutCopies = "0=6 1=5 2=9 3=10 4>8";
const GuiCase kGuiCases[] = {
    {"SE PatchMemory Float", "fttibftfftib", kPlainCopies},
    {"SE PatchMemory Int", "ittibftiftib", kPlainCopies},
    {"SE PatchMemory Bool", "bttibftbftib", kPlainCopies},
    {"SE PatchMemory", "fttibftfftib", ""},
    {"SE PatchMemory Float Out", "fttiftfffti.", "0=6 0>7 1=5 2=9 3=10 4>8"},
    {"SE PatchMemory Float Out B2", "fttiftfffti.", "0=6 0>7 1=5 2=9 3=10 4>8"},
    {"SE PatchMemory Int Out", "ittifti.fti.", kOutCopies},
    {"SE PatchMemory Bool Out", "bttiftb.fti.", kOutCopies},
    {"SE PatchMemory Text2", "ttttitttti..", "0=6 1=5 2=7 3=8 4=9"},
    {"SE PatchMemory Text Out", "ttti.tt..ti.", "0=6 1=5 2=9 3=10"},
    {"SE PatchMemory List3", "itttibtittib", "0=7 1=6 2=8 3=9 4=10 5=11"},
    {"SE PatchMemory Blob", "xtttitxtti..", "0=6 1=5 2=7 3=8 4=9"},
    {"SE PatchMemory Blob Out", "xttitxti....", "0=5 1=4 2=6 3=7"},
};

int32_t datatypeOf(char kind) {
  switch (kind) {
    case 'f': return MP_DT_FLOAT;
    case 'i': return MP_DT_INT;
    case 'b': return MP_DT_BOOL;
    case 't': return MP_DT_TEXT;
    default: return MP_DT_BLOB;
  }
}

Bytes zeroOf(char kind) {
  if (kind == 'f' || kind == 'i') return Bytes(4, 0);
  return kind == 'b' ? Bytes{0} : Bytes{};
}

// A value of the pin's kind that no other pin holds.
Bytes sampleOf(char kind, int32_t pin, bool nanFloat) {
  switch (kind) {
    case 'f': return bytesOf(nanFloat ? std::numeric_limits<float>::quiet_NaN() : 0.25f + static_cast<float>(pin));
    case 'i': return bytesOf(100 + pin);
    case 'b': return {1};
    case 't': return textBytes(MP_TEXT("pin ") + widenAscii(std::to_string(pin)));
    default: return {0xB0, static_cast<uint8_t>(pin), 0, 7};
  }
}

std::set<int32_t> partnersOf(const char* copies, int32_t pin) {
  std::set<int32_t> partners;
  std::istringstream in(copies);
  for (std::string pair; in >> pair;) {
    size_t op = pair.find_first_of("=>");
    int32_t from = std::stoi(pair.substr(0, op)), to = std::stoi(pair.substr(op + 1));
    if (from == pin) partners.insert(to);
    if (pair[op] == '=' && to == pin) partners.insert(from);
  }
  return partners;
}

// Where a value goes when every copy is echoed back: partners of partners.
std::set<int32_t> reachOf(const char* copies, int32_t pin) {
  std::set<int32_t> reached;
  std::vector<int32_t> pending{pin};
  while (!pending.empty()) {
    int32_t next = pending.back();
    pending.pop_back();
    for (int32_t partner : partnersOf(copies, next))
      if (partner != pin && reached.insert(partner).second) pending.push_back(partner);
  }
  return reached;
}

// Hands every value the module sends straight back to the pin that sent it,
// as a host does whose connections lead back into the module. Bounded, so
// that an endless echo fails the test instead of overflowing the stack.
struct EchoHost : TestHost {
  IMpUserInterface* ui = nullptr;
  int32_t MP_STDCALL sendGuiPinValue(int32_t pin, int32_t size, const void* data, int32_t voice) override {
    TestHost::sendGuiPinValue(pin, size, data, voice);
    if (ui == nullptr || guiValues.size() > 64) return MP_OK;
    Bytes copy = guiValues.back().bytes;
    ui->pinValueFromHost(pin, voice, size, copy.data());
    ui->pinNotifyFromHost(pin, voice);
    return MP_OK;
  }
};

TEST(PatchMemoryGui, RegistersItsPinsAllAtZero) {
  for (const GuiCase& c : kGuiCases) {
    SCOPED_TRACE(c.id);
    TestHost host;
    GuiModule gui(host, widenAscii(c.id));
    ASSERT_NE(gui.ui(), nullptr);
    auto* base = static_cast<MpGuiBase*>(gui.ui());
    for (int32_t pin = 0; pin < 14; ++pin) {
      char kind = pin < 12 ? c.kinds[pin] : '.';
      if (kind == '.') {
        EXPECT_EQ(base->guiPin(pin), nullptr) << pin;
        EXPECT_EQ(gui.ui()->pinNotifyFromHost(pin, 0), MP_FAIL) << pin;
        continue;
      }
      ASSERT_NE(base->guiPin(pin), nullptr) << pin;
      EXPECT_EQ(base->guiPin(pin)->datatype(), datatypeOf(kind)) << pin;
      // Partners that equal the zero of their kind copy nothing.
      gui.ui()->pinNotifyFromHost(pin, 0);
      Bytes zero = zeroOf(kind);
      gui.setRaw(pin, zero.data(), static_cast<int32_t>(zero.size()));
    }
    EXPECT_TRUE(host.guiValues.empty());
  }
  TestHost host;
  GuiModule out(host, MP_TEXT("SE PatchMemory Float Out"));
  GuiModule b2(host, MP_TEXT("SE PatchMemory Float Out B2"));
  EXPECT_EQ(typeid(*out.ui()), typeid(*b2.ui()));
}

// Once with a host that only records, once with an echoing host and NaN for
// every float, which must not keep a NaN bouncing between two pins.
TEST(PatchMemoryGui, AChangeReachesEachPartnerOnceAndItsEchoStopsThere) {
  for (bool echo : {false, true}) {
    for (const GuiCase& c : kGuiCases) {
      for (int32_t pin = 0; pin < 12; ++pin) {
        if (c.kinds[pin] == '.') continue;
        SCOPED_TRACE(std::string(c.id) + " pin " + std::to_string(pin) + (echo ? " echoed" : ""));
        EchoHost host;
        GuiModule gui(host, widenAscii(c.id));
        if (echo) host.ui = gui.ui();
        Bytes value = sampleOf(c.kinds[pin], pin, echo);
        gui.setRaw(pin, value.data(), static_cast<int32_t>(value.size()));
        std::set<int32_t> reached;
        for (const SentGuiValue& sent : host.guiValues) {
          reached.insert(sent.pin);
          EXPECT_EQ(sent.bytes, value) << "on pin " << sent.pin;
          EXPECT_EQ(sent.voice, 0);
        }
        EXPECT_EQ(reached, echo ? reachOf(c.copies, pin) : partnersOf(c.copies, pin));
        EXPECT_EQ(host.guiValues.size(), reached.size()) << "each pin once";
        host.clearRecords();
        gui.setRaw(pin, value.data(), static_cast<int32_t>(value.size()));
        EXPECT_TRUE(host.guiValues.empty()) << "the same value again";
      }
    }
  }
}

}  // namespace
