#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/factory.h"
#include "frame/gui_base.h"
#include "frame/pins.h"
#include "tests/support/module_harness.h"

extern const char zvBuiltinDescription_se_patchmemory_bool_out[];
extern const char zvBuiltinDescription_se_patchmemory_float_out[];
extern const char zvBuiltinDescription_se_patchmemory_float[];
extern const char zvBuiltinDescription_se_patchmemory_text2[];

namespace {

using tinyxml2::XMLElement;

std::string attribute(const XMLElement* e, const char* name) { return e->Attribute(name) ? e->Attribute(name) : ""; }

const std::pair<const char*, std::set<std::string>> kBuiltinTexts[] = {
    {zvBuiltinDescription_se_patchmemory_bool_out, {"SE PatchMemory Bool Out"}},
    {zvBuiltinDescription_se_patchmemory_float_out, {"SE PatchMemory Float Out", "SE PatchMemory Float Out B2"}},
    {zvBuiltinDescription_se_patchmemory_float, {"SE PatchMemory Float", "SE PatchMemory Int Out"}},
    {zvBuiltinDescription_se_patchmemory_text2, {"SE PatchMemory Text2", "SE PatchMemory Text Out"}},
};
const char* const kPlainFiles[] = {"se_patchmemory",       "se_patchmemory_int",  "se_patchmemory_bool",
                                   "se_patchmemory_list3", "se_patchmemory_blob", "se_patchmemory_blob_out"};

// Every patch-memory description, compiled in or shipped beside the library.
struct Descriptions {
  std::vector<std::unique_ptr<tinyxml2::XMLDocument>> documents;
  std::multimap<std::string, const XMLElement*> plugins;
  std::vector<std::set<std::string>> idsPerBuiltinText;

  std::set<std::string> add(const std::string& xml) {
    auto& document = *documents.emplace_back(std::make_unique<tinyxml2::XMLDocument>());
    EXPECT_EQ(document.Parse(xml.c_str(), xml.size()), tinyxml2::XML_SUCCESS) << document.ErrorStr();
    std::set<std::string> ids;
    const XMLElement* list = document.FirstChildElement("PluginList");
    for (auto* p = list ? list->FirstChildElement("Plugin") : nullptr; p; p = p->NextSiblingElement("Plugin")) {
      ids.insert(attribute(p, "id"));
      plugins.emplace(attribute(p, "id"), p);
    }
    return ids;
  }
  Descriptions() {
    for (const auto& [text, ids] : kBuiltinTexts) idsPerBuiltinText.push_back(add(text));
    for (const char* file : kPlainFiles) {
      std::ifstream in(std::string(ZV_DESCRIPTIONS) + "/" + file + ".xml", std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      EXPECT_FALSE(add(text.str()).empty()) << file;
    }
  }
  // The one description of an identifier, or null.
  const XMLElement* plugin(const std::string& id) const {
    return plugins.count(id) == 1 ? plugins.find(id)->second : nullptr;
  }
};
const Descriptions& descriptions() {
  static const Descriptions d;
  return d;
}

void forEachPin(const XMLElement* plugin, const char* side, const std::function<void(const XMLElement*)>& visit) {
  const XMLElement* list = plugin->FirstChildElement(side);
  for (auto* pin = list ? list->FirstChildElement("Pin") : nullptr; pin; pin = pin->NextSiblingElement("Pin"))
    visit(pin);
}

// "<side> <id> '<name>' <direction> <datatype>" and the other attributes
// sorted by name; the lines sorted.
std::vector<std::string> pinLines(const XMLElement* plugin) {
  std::vector<std::string> lines;
  for (const char* side : {"Audio", "GUI"}) {
    forEachPin(plugin, side, [&](const XMLElement* pin) {
      std::vector<std::string> extra;
      for (auto* a = pin->FirstAttribute(); a; a = a->Next()) {
        std::string name = a->Name();
        if (name != "id" && name != "name" && name != "direction" && name != "datatype")
          extra.push_back(name + "=" + a->Value());
      }
      std::sort(extra.begin(), extra.end());
      std::string line = std::string(side) + " " + attribute(pin, "id") + " '" + attribute(pin, "name") + "' " +
                         attribute(pin, "direction") + " " + attribute(pin, "datatype");
      for (const auto& e : extra) line += " " + e;
      lines.push_back(line);
    });
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The pins of an "Out" variant with its value type; `changes` replace the
// line of the same side and id, or add one.
std::vector<std::string> outPins(const std::string& type, const std::vector<std::string>& changes = {}) {
  std::vector<std::string> lines = {
      "Audio 0 'Value In' in " + type,
      "Audio 1 'PM Value Out' out " + type + " autoConfigureParameter=true parameterId=0 private=true",
      "GUI 0 'PM Value In' in " + type + " parameterId=0",
      "GUI 1 'PM Name In' in string parameterField=ShortName parameterId=0",
      "GUI 2 'PM Menu Items' in string parameterField=MenuItems parameterId=0",
      "GUI 3 'PM Menu Selection' in int parameterField=MenuSelection parameterId=0",
      "GUI 4 'AnimationIn' in float parameterField=Normalized parameterId=0",
      "GUI 5 'Name' out string",
      "GUI 6 'Value' out " + type,
      "GUI 8 'Animation Position' out float",
      "GUI 9 'Menu Items' out string",
      "GUI 10 'Menu Selection' out int"};
  for (const std::string& change : changes) {
    std::string key = change.substr(0, change.find('\'') + 1);
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(key, 0) == 0; });
    lines.push_back(change);
  }
  return sorted(lines);
}

TEST(PatchMemoryDescriptions, BuiltInTextsAreCompleteDocumentsWithTheirAttributes) {
  const Descriptions& d = descriptions();
  for (size_t i = 0; i < std::size(kBuiltinTexts); ++i) {
    EXPECT_EQ(std::string(kBuiltinTexts[i].first).rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>", 0), 0u) << i;
    EXPECT_EQ(d.idsPerBuiltinText[i], kBuiltinTexts[i].second);
  }
  struct Expected {
    const char *id, *name, *category, *helpUrl, *parameterType, *parameterDirection;
    std::vector<std::string> pins;
  };
  const char* help = "Patchmemory.htm";
  const Expected expected[] = {
      {"SE PatchMemory Bool Out", "PatchMemory Bool Out", "Sub-Controls", help, "bool", "", outPins("bool")},
      {"SE PatchMemory Float Out", "PatchMemory Float Out3", "Sub-Controls", help, "float", "out",
       outPins("float", {"GUI 7 'Value Out' in float isMinimised=true"})},
      {"SE PatchMemory Float Out B2", "PatchMemory Float Out B2", "Debug", "", "float", "out",
       outPins("float", {"GUI 7 'Value Out' in float"})},
      {"SE PatchMemory Int Out", "PatchMemory Int Out", "Sub-Controls", help, "int", "", outPins("int")},
      {"SE PatchMemory Text Out", "PatchMemory Text Out", "Sub-Controls", help, "string", "",
       outPins("string", {"GUI 8 'Animation Position' out float private=true"})},
      {"SE PatchMemory Float", "PatchMemory Float3", "Sub-Controls", help, "float", "",
       sorted({"Audio 0 'Value In' in float parameterId=0", "Audio 1 'Value Out' out float autoConfigureParameter=true",
               "GUI 0 'Value In' in float parameterId=0",
               "GUI 1 'Name In' in string parameterField=ShortName parameterId=0",
               "GUI 2 'Menu Items' in string parameterField=MenuItems parameterId=0",
               "GUI 3 'Menu Selection' in int parameterField=MenuSelection parameterId=0",
               "GUI 4 'Mouse Down' in bool parameterField=Grab parameterId=0",
               "GUI 5 'AnimationIn' in float parameterField=Normalized parameterId=0", "GUI 6 'Name' out string",
               "GUI 7 'Value' out float", "GUI 8 'Animation Position' out float", "GUI 9 'Menu Items' out string",
               "GUI 10 'Menu Selection' out int", "GUI 11 'Mouse Down' out bool"})},
      {"SE PatchMemory Text2", "PatchMemory Text2", "Sub-Controls", help, "string", "",
       sorted({"Audio 0 'Value In' in string parameterId=0",
               "Audio 1 'Value Out' out string autoConfigureParameter=true", "GUI 0 'Value In' in string parameterId=0",
               "GUI 1 'Name In' in string parameterField=ShortName parameterId=0",
               "GUI 2 'File Extension' in string parameterField=FileExtension parameterId=0",
               "GUI 3 'Menu Items' in string parameterField=MenuItems parameterId=0",
               "GUI 4 'Menu Selection' in int parameterField=MenuSelection parameterId=0", "GUI 5 'Name' out string",
               "GUI 6 'Value' out string", "GUI 7 'File Extension' out string", "GUI 8 'Menu Items' out string",
               "GUI 9 'Menu Selection' out int"})},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    const XMLElement* p = d.plugin(e.id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(attribute(p, "name"), e.name);
    EXPECT_EQ(attribute(p, "category"), e.category);
    EXPECT_EQ(attribute(p, "helpUrl"), e.helpUrl);
    const XMLElement* parameter = p->FirstChildElement("Parameters")->FirstChildElement("Parameter");
    EXPECT_EQ(attribute(parameter, "datatype"), e.parameterType);
    EXPECT_EQ(attribute(parameter, "direction"), e.parameterDirection);
    EXPECT_EQ(pinLines(p), e.pins);
  }
}

// A side's described pins by index, as the datatype codes the classes use.
std::map<int32_t, int32_t> describedPins(const XMLElement* plugin, const char* side) {
  static const std::map<std::string, int32_t> codes = {{"float", MP_DT_FLOAT}, {"int", MP_DT_INT},
                                                       {"bool", MP_DT_BOOL},   {"string", MP_DT_TEXT},
                                                       {"blob", MP_DT_BLOB},   {"enum", MP_DT_ENUM}};
  std::map<int32_t, int32_t> pins;
  forEachPin(plugin, side, [&](const XMLElement* pin) {
    auto code = codes.find(attribute(pin, "datatype"));
    pins[pin->IntAttribute("id", -1)] = code != codes.end() ? code->second : -100;
  });
  return pins;
}

TEST(PatchMemoryDescriptions, EveryVariantIsDescribedOnceWithThePinsItsClassesRegister) {
  const std::set<std::string> fields = {"",           "ShortName", "MenuItems",     "MenuSelection",
                                        "Normalized", "Grab",      "FileExtension", "EnumList"};
  for (const char* id :
       {"SE PatchMemory", "SE PatchMemory Float", "SE PatchMemory Float Out", "SE PatchMemory Float Out B2",
        "SE PatchMemory Int", "SE PatchMemory Int Out", "SE PatchMemory Bool", "SE PatchMemory Bool Out",
        "SE PatchMemory Text2", "SE PatchMemory Text Out", "SE PatchMemory List3", "SE PatchMemory Blob",
        "SE PatchMemory Blob Out"}) {
    SCOPED_TRACE(id);
    const XMLElement* p = descriptions().plugin(id);
    ASSERT_NE(p, nullptr) << "described exactly once";
    const XMLElement* parameter = p->FirstChildElement("Parameters")->FirstChildElement("Parameter");
    EXPECT_EQ(attribute(parameter, "id"), "0");
    EXPECT_EQ(parameter->NextSiblingElement("Parameter"), nullptr);
    for (const char* side : {"Audio", "GUI"}) {
      forEachPin(p, side, [&](const XMLElement* pin) {
        EXPECT_TRUE(!pin->Attribute("parameterId") || attribute(pin, "parameterId") == "0");
        EXPECT_EQ(fields.count(attribute(pin, "parameterField")), 1u) << attribute(pin, "parameterField");
      });
    }

    TestHost host;
    GuiModule gui(host, widenAscii(id));
    ASSERT_NE(gui.ui(), nullptr);
    std::map<int32_t, int32_t> registered;
    for (int32_t i = 0; i < 16; ++i)
      if (auto* pin = static_cast<MpGuiBase*>(gui.ui())->guiPin(i)) registered[i] = pin->datatype();
    std::map<int32_t, int32_t> described = describedPins(p, "GUI");
    // Text Out's text declares two pins that nothing serves.
    if (std::string(id) == "SE PatchMemory Text Out") {
      EXPECT_EQ(described.erase(4) + described.erase(8), 2u);
    }
    EXPECT_EQ(described, registered) << "GUI pins";

    void* created = nullptr;
    int32_t result = createThroughFactory(widenAscii(id), MP_SIDE_AUDIO, host.unknown(), &created);
    if (p->FirstChildElement("Audio") == nullptr) {
      EXPECT_EQ(result, MP_UNHANDLED);
      continue;
    }
    ASSERT_EQ(result, MP_OK);
    auto* audio = static_cast<MpBase*>(static_cast<MpPluginBase*>(static_cast<IMpPlugin*>(created)));
    registered.clear();
    for (const auto& [index, pin] : audio->pins()) registered[index] = pin->datatype();
    EXPECT_EQ(describedPins(p, "Audio"), registered) << "audio pins";
    audio->release();
  }
}

}  // namespace
