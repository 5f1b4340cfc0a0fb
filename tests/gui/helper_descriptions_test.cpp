#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <typeinfo>
#include <vector>

#include "frame/gui_base.h"
#include "modules/gui/command_trigger_gui.h"
#include "modules/gui/db_to_animation_gui.h"
#include "modules/gui/float_scaler2_gui.h"
#include "modules/gui/image_to_frame_gui.h"
#include "modules/gui/int_to_bools_gui.h"
#include "modules/gui/list_to_text_gui.h"
#include "tests/support/module_harness.h"

extern const char zvBuiltinDescription_converters[];

namespace {

struct DescribedPin {
  int32_t index;
  std::string datatype;
  bool duplicated;
};

// The GUI pins the built-in description gives a plug-in, attributes in any order.
std::vector<DescribedPin> describedGuiPins(const std::string& id) {
  const std::string xml = zvBuiltinDescription_converters;
  const size_t start = xml.find("<Plugin id=\"" + id + "\"");
  if (start == std::string::npos) return {};
  const std::string plugin = xml.substr(start, xml.find("</Plugin>", start) - start);
  const size_t gui = plugin.find("<GUI>");
  if (gui == std::string::npos) return {};
  const std::string body = plugin.substr(gui, plugin.find("</GUI>") - gui);
  const std::regex pinPattern("<Pin\\s([^>]*)/>");
  const std::regex attributePattern("(\\w+)\\s*=\\s*\"([^\"]*)\"");
  std::vector<DescribedPin> pins;
  for (std::sregex_iterator p(body.begin(), body.end(), pinPattern), end; p != end; ++p) {
    const std::string attributes = (*p)[1];
    std::map<std::string, std::string> a;
    for (std::sregex_iterator q(attributes.begin(), attributes.end(), attributePattern); q != end; ++q)
      a[(*q)[1]] = (*q)[2];
    pins.push_back({std::stoi(a["id"]), a["datatype"], a["autoDuplicate"] == "true"});
  }
  return pins;
}

int32_t datatypeCode(const std::string& name) {
  if (name == "float") return MP_DT_FLOAT;
  if (name == "int") return MP_DT_INT;
  if (name == "bool") return MP_DT_BOOL;
  if (name == "string") return MP_DT_TEXT;
  return -1;
}

// Each GUI helper that the built-in description names: made by the right
// class on the GUI side only, and every described pin is the module's pin of
// that index and datatype. A duplicated bool has no pin object; the module
// takes values on it and sends it one-byte values.
TEST(GuiHelperDescriptions, MatchTheModulesPins) {
  const struct {
    const char* id;
    const std::type_info& type;
    size_t pins;
  } helpers[] = {
      {"SE Command Trigger", typeid(CommandTriggerGui), 2}, {"SE Int to Bools", typeid(IntToBoolsGui), 2},
      {"SE Bools to Int", typeid(IntToBoolsGui), 2},        {"SE ListToText", typeid(ListToTextGui), 3},
      {"SE Image to Frame", typeid(ImageToFrameGui), 3},    {"SE Image to Frame (old)", typeid(ImageToFrameGui), 3},
      {"SE dBToAnimation", typeid(DbToAnimationGui), 2},    {"SE Float Scaler2", typeid(FloatScaler2Gui), 4},
  };
  for (const auto& helper : helpers) {
    SCOPED_TRACE(helper.id);
    const std::vector<DescribedPin> pins = describedGuiPins(helper.id);
    ASSERT_EQ(pins.size(), helper.pins);
    TestHost host;
    host.pinCount = static_cast<int32_t>(pins.size()) + 1;  // one duplicate more
    void* created = nullptr;
    EXPECT_EQ(createThroughFactory(widenAscii(helper.id), 0, host.unknown(), &created), MP_UNHANDLED);
    ASSERT_EQ(createThroughFactory(widenAscii(helper.id), 1, host.unknown(), &created), MP_OK);
    auto* module = static_cast<MpGuiBase*>(static_cast<IMpUserInterface*>(created));
    EXPECT_TRUE(typeid(*module) == helper.type);
    module->initializeGui();
    for (const DescribedPin& pin : pins) {
      SCOPED_TRACE(pin.index);
      if (pin.duplicated) {
        EXPECT_EQ(module->guiPin(pin.index), nullptr);
        const bool on = false;
        EXPECT_EQ(module->pinValueFromHost(pin.index, 0, 1, &on), MP_OK);
        const auto sent = host.guiValuesOn(pin.index);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].bytes.size(), 1u);
        EXPECT_EQ(pin.datatype, "bool");
      } else {
        const MpGuiPinBase* registered = module->guiPin(pin.index);
        ASSERT_NE(registered, nullptr);
        EXPECT_EQ(registered->datatype(), datatypeCode(pin.datatype));
      }
    }
    // Nothing registered that the description leaves out.
    for (int32_t index = 0; index < 16; ++index) {
      const bool described =
          std::any_of(pins.begin(), pins.end(), [&](const DescribedPin& p) { return p.index == index; });
      if (!described) {
        EXPECT_EQ(module->guiPin(index), nullptr) << index;
      }
    }
    module->release();
  }
}

}  // namespace
