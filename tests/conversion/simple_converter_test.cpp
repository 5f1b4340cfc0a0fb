#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <regex>
#include <set>
#include <variant>

#include "frame/gui_base.h"
#include "frame/pins.h"
#include "frame/raw_value.h"
#include "tests/support/module_harness.h"

extern const char zvBuiltinDescription_converters[];

namespace {

using Value = std::variant<int32_t, float, bool, MpString, MpBlob>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

MpString text(const char* ascii) { return widenAscii(ascii); }
MpBlob blob(std::vector<uint8_t> bytes) { return MpBlob(static_cast<int32_t>(bytes.size()), bytes.data()); }

struct Case {
  const char* id;
  bool gui;
  std::vector<std::pair<int32_t, Value>> inputs;  // applied in order
  int32_t pin;                                    // where the result is read
  Value expected;
};

// Expected values are worked out by hand from the conversion rules.
const std::vector<Case> kCases = {
    {"SE IntToBool", false, {{0, 0}}, 1, false},
    {"SE IntToBool", false, {{0, kIntMin}}, 1, true},
    {"SE IntToBool GUI", true, {{0, kIntMax}}, 1, true},
    {"SE IntToBool GUI", true, {{1, true}}, 0, 1},
    {"SE IntToFloat", false, {{0, kIntMax}}, 1, 2147483648.0f},
    {"SE IntToFloat", false, {{1, 2.9f}}, 0, 2},
    {"SE IntToFloat GUI", true, {{1, -2.9f}}, 0, -2},
    {"SE IntToText", false, {{0, kIntMin}}, 1, text("-2147483648")},
    {"SE IntToText", false, {{1, text(" 42abc")}}, 0, 42},
    {"SE IntToText GUI", true, {{0, 42}}, 1, text("42")},
    {"SE FloatToInt", false, {{0, 2.9f}}, 1, 2},
    {"SE FloatToInt", false, {{0, -2.9f}}, 1, -2},
    {"SE FloatToInt", false, {{0, 3e9f}}, 1, kIntMax},
    {"SE FloatToInt", false, {{0, -kInf}}, 1, kIntMin},
    {"SE FloatToInt", false, {{0, 5.0f}, {0, kNaN}}, 1, 0},
    {"SE FloatToInt GUI", true, {{1, kIntMin}}, 0, -2147483648.0f},
    {"SE FloatToBool", false, {{0, 0.5f}}, 1, true},
    {"SE FloatToBool", false, {{0, 1.0f}, {0, -0.0f}}, 1, false},
    {"SE FloatToBool", false, {{0, 1.0f}, {0, kNaN}}, 1, false},
    {"SE FloatToBool GUI", true, {{1, true}}, 0, 1.0f},
    {"SE FloatToText", false, {{0, 0.5f}}, 1, text("0.500000")},
    {"SE FloatToText", false, {{0, -0.0f}}, 1, text("-0.000000")},
    {"SE FloatToText", false, {{0, 1e-7f}}, 1, text("0.000000")},
    {"SE FloatToText", false, {{0, kNaN}}, 1, text("nan")},
    {"SE FloatToText", false, {{0, -kInf}}, 1, text("-inf")},
    {"SE FloatToText",
     false,
     {{0, std::numeric_limits<float>::max()}},
     1,
     text("340282346638528859811704183484516925440.000000")},
    {"SE FloatToText", false, {{1, text("1e39")}}, 0, kInf},
    {"SE BoolToInt", false, {{0, true}}, 1, 1},
    {"SE BoolToInt GUI", true, {{1, kIntMin}}, 0, true},
    {"SE BoolToFloat", false, {{0, true}}, 1, 1.0f},
    {"SE BoolToFloat GUI", true, {{1, 0.25f}}, 0, true},
    {"SE BoolToText", false, {{0, true}}, 1, text("1")},
    {"SE BoolToText GUI", true, {{1, text("1")}, {1, text("true")}}, 0, false},
    {"SE TextToInt", false, {{0, text(" 42abc")}}, 1, 42},
    {"SE TextToInt", false, {{0, text("\t+7")}}, 1, 7},
    {"SE TextToInt", false, {{0, text("7")}, {0, text("abc")}}, 1, 0},
    {"SE TextToInt", false, {{0, text("7")}, {0, MpString()}}, 1, 0},
    {"SE TextToInt", false, {{0, text("-2147483649")}}, 1, kIntMin},
    {"SE TextToInt", false, {{0, MpString(10000, '9')}}, 1, kIntMax},
    {"SE TextToInt GUI", true, {{1, kIntMin}}, 0, text("-2147483648")},
    {"SE TextToFloat", false, {{0, text("1e39")}}, 1, kInf},
    {"SE TextToFloat", false, {{0, text("-1e39")}}, 1, -kInf},
    {"SE TextToFloat", false, {{0, text("1e400")}}, 1, kInf},
    {"SE TextToFloat", false, {{0, text("1")}, {0, text("1e-400")}}, 1, 0.0f},
    {"SE TextToFloat", false, {{0, text("3.4028235e38")}}, 1, std::numeric_limits<float>::max()},
    {"SE TextToFloat", false, {{0, text(" 1.5x")}}, 1, 1.5f},
    {"SE TextToFloat", false, {{0, text("0x1p4")}}, 1, 16.0f},
    {"SE TextToFloat", false, {{0, text("nan")}}, 1, kNaN},
    {"SE TextToFloat", false, {{0, text("1")}, {0, text("abc")}}, 1, 0.0f},
    {"SE TextToFloat GUI", true, {{0, text("1e39")}}, 1, kInf},
    {"SE TextToFloat GUI", true, {{1, 0.5f}}, 0, text("0.500000")},
    {"SE TextToBool", false, {{0, text("1")}}, 1, true},
    {"SE TextToBool", false, {{0, text("1")}, {0, text("true")}}, 1, false},
    {"SE TextToBool GUI", true, {{1, true}}, 0, text("1")},
    {"SE ListToInt", false, {{0, 3}}, 1, 3},
    {"SE ListToInt", false, {{1, kIntMin}}, 0, kIntMin},
    {"SE BlobToText GUI", true, {{0, blob({0x01, 0xAB})}}, 1, text("01 AB ")},
    {"SE BlobToText GUI", true, {{0, blob({1})}, {0, blob({})}}, 1, MpString()},
    {"SE BlobToText GUI",
     true,
     {{0, blob({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})}},
     1,
     text("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 ")},
    {"SE BlobToText GUI", true, {{1, text("1ab f")}}, 0, blob({0x1A, 0xBF})},
    {"SE TextToBlob GUI", true, {{0, text("abc")}}, 1, blob({0xAB, 0x0C})},
    {"SE TextToBlob GUI", true, {{0, text("zz 9")}}, 1, blob({0x00, 0x09})},
    {"SE TextToBlob GUI", true, {{0, text("12")}, {0, MpString()}}, 1, blob({})},
    {"SE TextToBlob GUI", true, {{1, blob({0xFF})}}, 0, text("FF ")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, 0.0f}}, 2, text("0.0")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, 0.05f}}, 2, text("0.0500")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, 3.14159f}}, 2, text("3.14")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, 55.5f}}, 2, text("55.5")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, 250.7f}}, 2, text("251")},
    {"SE FloatToText GUI", true, {{1, -1}, {0, kNaN}}, 2, text("nan")},
    {"SE FloatToText GUI", true, {{1, 2}, {0, -0.001f}}, 2, text("0.00")},
    {"SE FloatToText GUI", true, {{1, 0}, {0, -0.7f}}, 2, text("-1")},
    {"SE FloatToText GUI", true, {{1, -5}, {0, 2.7f}}, 2, text("3")},
    {"SE FloatToText GUI",
     true,
     {{1, 10}, {0, -3.4e38f}},
     2,
     text("-339999995214436424907732413799364296704.0000000000")},
    {"SE FloatToText GUI", true, {{1, 2000000000}, {0, 1.0f}}, 2, text("1.") + MpString(149, '0')},
    {"SE FloatToText GUI",
     true,
     {{1, 2000000000}, {0, std::numeric_limits<float>::denorm_min()}},
     2,
     text("0.") + MpString(44, '0') +
         text("14012984643248170709237295832899161312802619418765157717570682838897910826858606014866381883621215820312"
              "5")},
    {"SE FloatToText GUI", true, {{2, text("2.5")}}, 0, 2.5f},
};

template <class T>
Value decode(const std::vector<uint8_t>& bytes) {
  T v{};
  RawValue<T>::set(v, static_cast<int32_t>(bytes.size()), bytes.data());
  return v;
}

// A pin's value as the module last sent it; the type's default if it sent none.
Value lastSent(const TestHost& host, bool gui, int32_t pin, const Value& like) {
  std::vector<uint8_t> bytes;
  bool found = false;
  if (gui) {
    for (const auto& v : host.guiValues)
      if (v.pin == pin) bytes = v.bytes, found = true;
  } else {
    for (const auto& v : host.values)
      if (v.pin == pin) bytes = v.bytes, found = true;
  }
  return std::visit(
      [&](const auto& typed) -> Value {
        using T = std::decay_t<decltype(typed)>;
        return found ? decode<T>(bytes) : Value(T{});
      },
      like);
}

bool same(const Value& a, const Value& b) {
  if (a.index() != b.index()) return false;
  if (const float* x = std::get_if<float>(&a)) {
    const float y = std::get<float>(b);
    return (std::isnan(*x) && std::isnan(y)) || *x == y;
  }
  return a == b;
}

std::string show(const Value& v) {
  return std::visit(
      [](const auto& typed) -> std::string {
        using T = std::decay_t<decltype(typed)>;
        if constexpr (std::is_same_v<T, MpString>) {
          return '"' + toUtf8(typed) + '"';
        } else if constexpr (std::is_same_v<T, MpBlob>) {
          return "blob of " + std::to_string(typed.size());
        } else {
          return std::to_string(typed);
        }
      },
      v);
}

TEST(SimpleConverters, ConvertEveryPairAtTheEdgesOfEachType) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.id) + " -> pin " + std::to_string(c.pin) + ", expected " + show(c.expected));
    TestHost host;
    if (c.gui) {
      GuiModule module(host, text(c.id));
      for (const auto& [pin, value] : c.inputs) {
        std::visit(
            [&](const auto& typed) {
              using T = std::decay_t<decltype(typed)>;
              if constexpr (std::is_same_v<T, MpBlob>) {
                module.setRaw(pin, typed.data(), typed.size());
              } else {
                module.set(pin, typed);
              }
            },
            value);
      }
    } else {
      AudioModule module(host, text(c.id));
      module.open();
      EventList events;
      int32_t time = 0;
      for (const auto& [pin, value] : c.inputs) {
        std::visit([&](const auto& typed) { events.value(time, pin, typed); }, value);
        ++time;
      }
      module.process(host.blockSize, events);
    }
    const Value got = lastSent(host, c.gui, c.pin, c.expected);
    EXPECT_TRUE(same(got, c.expected)) << "got " << show(got);
  }
}

TEST(SimpleConverters, AudioSideSendsAtTheEventTimeAndSleeps) {
  TestHost host;
  AudioModule module(host, MP_TEXT("SE IntToFloat"));
  module.open();
  module.process(64, EventList().graphStart().value(17, 0, 3));
  ASSERT_EQ(host.valuesOn(1).size(), 2u);  // the first update, then the value
  EXPECT_EQ(host.valuesOn(1).back().position, 17);
  EXPECT_EQ(host.valuesOn(1).back().asFloat(), 3.0f);
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST(SimpleConverters, AnEqualValueIsNotSentAgainNaNIncluded) {
  TestHost host;
  GuiModule module(host, MP_TEXT("SE TextToFloat GUI"));
  module.set(0, text("nan"));
  ASSERT_EQ(host.guiValues.size(), 1u);
  module.set(0, text("NaN"));
  module.set(0, text("-nan"));
  EXPECT_EQ(host.guiValues.size(), 1u);
}

// Two GUI converters back to back: each one's pin 1 is wired to the other's
// pin 0. Every value sent travels to the other module; returns how many
// deliveries it took until nothing more was sent (at most 20 are made).
int deliveriesUntilSettled(const char* first, const char* second, const Value& start) {
  TestHost hosts[2];
  GuiModule x(hosts[0], text(first));
  GuiModule y(hosts[1], text(second));
  GuiModule* modules[2] = {&x, &y};
  size_t seen[2] = {0, 0};
  std::visit(
      [&](const auto& typed) {
        if constexpr (std::is_same_v<std::decay_t<decltype(typed)>, MpBlob>) {
          x.setRaw(0, typed.data(), typed.size());
        } else {
          x.set(0, typed);
        }
      },
      start);
  int deliveries = 0;
  for (bool moved = true; moved && deliveries < 20;) {
    moved = false;
    for (int from = 0; from < 2; ++from) {
      while (seen[from] < hosts[from].guiValues.size()) {
        const SentGuiValue sent = hosts[from].guiValues[seen[from]++];
        modules[1 - from]->setRaw(1 - sent.pin, sent.bytes.data(), static_cast<int32_t>(sent.bytes.size()));
        ++deliveries;
        moved = true;
      }
    }
  }
  return deliveries;
}

TEST(SimpleConverters, BackToBackPairsSettleAfterOneExchange) {
  struct Pair {
    const char* first;
    const char* second;
    Value start;
  };
  const Pair pairs[] = {
      {"SE TextToInt GUI", "SE IntToText GUI", text(" 42abc")},
      {"SE TextToInt GUI", "SE IntToText GUI", text("99999999999")},
      {"SE FloatToInt GUI", "SE IntToFloat GUI", kNaN},
      {"SE FloatToInt GUI", "SE IntToFloat GUI", 3e9f},
      {"SE IntToFloat GUI", "SE FloatToInt GUI", kIntMax},
      {"SE FloatToBool GUI", "SE BoolToFloat GUI", 0.5f},
      {"SE TextToBlob GUI", "SE BlobToText GUI", text("abc")},
      {"SE TextToBool GUI", "SE BoolToText GUI", text("true")},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(std::string(p.first) + " / " + p.second + " from " + show(p.start));
    EXPECT_LE(deliveriesUntilSettled(p.first, p.second, p.start), 3);
  }
}

TEST(FloatToTextGui, ItsOwnTextComingBackChangesNothing) {
  TestHost host;
  GuiModule module(host, MP_TEXT("SE FloatToText GUI"));
  module.set(1, -1);
  module.set(0, 3.14159f);
  ASSERT_EQ(host.guiValues.back().asText(), text("3.14"));
  host.clearRecords();
  module.set(2, text("3.14"));
  EXPECT_TRUE(host.guiValues.empty()) << "the echo must not round Float Val to 3.14";
  module.set(2, text("7"));
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, 0);
  EXPECT_EQ(host.guiValues[0].asFloat(), 7.0f);
}

int32_t datatypeCode(const std::string& name) {
  if (name == "float") return MP_DT_FLOAT;
  if (name == "int") return MP_DT_INT;
  if (name == "bool") return MP_DT_BOOL;
  if (name == "string") return MP_DT_TEXT;
  if (name == "blob") return MP_DT_BLOB;
  if (name == "enum") return MP_DT_ENUM;
  return -1;
}

// GUI helpers of another area that share the description text.
const std::set<std::string> kOtherHelpers = {"SE Int to Bools",         "SE Bools to Int",   "SE Command Trigger",
                                             "SE Image to Frame (old)", "SE Image to Frame", "SE ListToText",
                                             "SE Float Scaler2",        "SE dBToAnimation"};

// The built-in description lists the modules in the library's order, and
// every pin it gives a module of this area is that module's pin.
TEST(ConverterDescription, NamesEveryModuleAndMatchesTheirPins) {
  const std::vector<std::string> listed = {
      "SE IntToBool GUI",   "SE IntToFloat GUI",     "SE IntToText GUI",   "SE FloatToInt GUI",
      "SE FloatToBool GUI", "SE FloatToText GUI",    "SE BoolToInt GUI",   "SE BoolToFloat GUI",
      "SE BoolToText GUI",  "SE TextToInt GUI",      "SE TextToFloat GUI", "SE TextToBool GUI",
      "SE Int to Bools",    "SE Bools to Int",       "SE Command Trigger", "SE Image to Frame (old)",
      "SE Image to Frame",  "SE ListToText",         "SE Float Scaler2",   "SE BlobToText GUI",
      "SE TextToBlob GUI",  "SE Float Function GUI", "SE IntToBool",       "SE IntToFloat",
      "SE IntToText",       "SE FloatToInt",         "SE FloatToBool",     "SE FloatToText",
      "SE BoolToInt",       "SE BoolToFloat",        "SE BoolToText",      "SE TextToInt",
      "SE TextToFloat",     "SE TextToBool",         "SE ListToInt",       "SE Float Function DSP",
      "SE dBToAnimation"};
  const std::string xml = zvBuiltinDescription_converters;
  ASSERT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>", 0), 0u);
  const std::regex pluginPattern("<Plugin id=\"([^\"]+)\"[^>]*>([\\s\\S]*?)</Plugin>");
  const std::regex pinPattern("<Pin id=\"(\\d+)\" name=\"[^\"]*\" direction=\"(in|out)\" datatype=\"(\\w+)\"");
  std::vector<std::string> found;
  int checkedPins = 0;
  for (std::sregex_iterator p(xml.begin(), xml.end(), pluginPattern), end; p != end; ++p) {
    const std::string id = (*p)[1];
    const std::string body = (*p)[2];
    found.push_back(id);
    const bool gui = body.find("<GUI>") != std::string::npos;
    if (kOtherHelpers.count(id) != 0) continue;
    SCOPED_TRACE(id);
    TestHost host;
    void* created = nullptr;
    ASSERT_EQ(createThroughFactory(text(id.c_str()), gui ? 1 : 0, host.unknown(), &created), MP_OK);
    for (std::sregex_iterator q(body.begin(), body.end(), pinPattern); q != end; ++q) {
      const int32_t index = std::stoi((*q)[1]);
      const int32_t code = datatypeCode((*q)[3]);
      if (gui) {
        const MpGuiPinBase* pin = static_cast<MpGuiBase*>(static_cast<IMpUserInterface*>(created))->guiPin(index);
        ASSERT_NE(pin, nullptr) << "pin " << index;
        EXPECT_EQ(pin->datatype(), code) << "pin " << index;
      } else {
        const MpPinBase* pin = static_cast<MpPluginBase*>(static_cast<IMpPlugin*>(created))->pin(index);
        ASSERT_NE(pin, nullptr) << "pin " << index;
        EXPECT_EQ(pin->datatype(), code) << "pin " << index;
        EXPECT_EQ(pin->direction(), (*q)[2] == "out" ? MP_PIN_OUT : MP_PIN_IN) << "pin " << index;
      }
      ++checkedPins;
    }
    static_cast<IMpUnknown*>(created)->release();
  }
  EXPECT_EQ(found, listed);
  // Simple GUI converters, FloatToText GUI, blob converters, formula GUI,
  // audio converters, formula DSP.
  EXPECT_EQ(checkedPins, 11 * 2 + 3 + 2 * 2 + 4 + 13 * 2 + 3);
}

}  // namespace
