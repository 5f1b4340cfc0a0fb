#include "host/descriptions.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "host/limits.h"

namespace zvhost {
namespace {

bool parseIndex(const std::string& text, int32_t& out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string attribute(const tinyxml2::XMLElement* element, const char* name) {
  const char* value = element->Attribute(name);
  return value != nullptr ? value : "";
}

// "float" with rate="audio" is an audio pin; unknown datatypes are refused.
std::optional<int32_t> datatypeOf(const std::string& text, bool audioRate) {
  if (text == "float") return audioRate ? MP_DT_AUDIO : MP_DT_FLOAT;
  if (text == "int") return MP_DT_INT;
  if (text == "bool") return MP_DT_BOOL;
  if (text == "string") return MP_DT_TEXT;
  if (text == "blob") return MP_DT_BLOB;
  if (text == "enum") return MP_DT_ENUM;
  if (text == "midi") return MP_DT_MIDI;
  return std::nullopt;
}

bool readPins(const tinyxml2::XMLElement* side, std::vector<PinDescription>& pins, std::string& problem) {
  if (side == nullptr) return true;
  for (auto* pin = side->FirstChildElement("Pin"); pin != nullptr; pin = pin->NextSiblingElement("Pin")) {
    PinDescription d;
    if (!parseIndex(attribute(pin, "id"), d.id) || d.id < 0) {
      problem = "line " + std::to_string(pin->GetLineNum()) + ": pin without a valid id";
      return false;
    }
    d.name = attribute(pin, "name");
    d.output = attribute(pin, "direction") == "out";
    auto type = datatypeOf(attribute(pin, "datatype"), attribute(pin, "rate") == "audio");
    if (!type) {
      problem =
          "line " + std::to_string(pin->GetLineNum()) + ": unknown datatype \"" + attribute(pin, "datatype") + "\"";
      return false;
    }
    d.datatype = *type;
    d.defaultValue = attribute(pin, "default");
    d.hostConnect = attribute(pin, "hostConnect");
    const std::string parameter = attribute(pin, "parameterId");
    if (!parameter.empty() && (!parseIndex(parameter, d.parameterId) || d.parameterId < 0)) {
      problem = "line " + std::to_string(pin->GetLineNum()) + ": pin with an invalid parameterId";
      return false;
    }
    d.parameterField = attribute(pin, "parameterField");
    bool duplicate = std::any_of(pins.begin(), pins.end(), [&](const PinDescription& p) { return p.id == d.id; });
    if (!duplicate) pins.push_back(d);
  }
  std::sort(pins.begin(), pins.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return true;
}

bool readParameters(const tinyxml2::XMLElement* list, std::vector<ParameterDescription>& parameters,
                    std::string& problem) {
  if (list == nullptr) return true;
  for (auto* p = list->FirstChildElement("Parameter"); p != nullptr; p = p->NextSiblingElement("Parameter")) {
    ParameterDescription d;
    auto type = datatypeOf(attribute(p, "datatype"), false);
    if (!parseIndex(attribute(p, "id"), d.id) || d.id < 0 || !type) {
      problem = "line " + std::to_string(p->GetLineNum()) + ": parameter without a valid id and datatype";
      return false;
    }
    d.datatype = *type;
    d.output = attribute(p, "direction") == "out";
    bool duplicate = std::any_of(parameters.begin(), parameters.end(), [&](const auto& q) { return q.id == d.id; });
    if (!duplicate) parameters.push_back(d);
  }
  std::sort(parameters.begin(), parameters.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return true;
}

}  // namespace

std::string datatypeName(int32_t datatype) {
  switch (datatype) {
    case MP_DT_ENUM: return "enum";
    case MP_DT_TEXT: return "string";
    case MP_DT_MIDI: return "midi";
    case MP_DT_BOOL: return "bool";
    case MP_DT_AUDIO: return "audio";
    case MP_DT_FLOAT: return "float";
    case MP_DT_INT: return "int";
    case MP_DT_BLOB: return "blob";
    default: return "unknown";
  }
}

const PinDescription* ModuleDescription::pinByIndex(bool gui, int32_t index) const {
  for (const auto& p : pins(gui))
    if (p.id == index) return &p;
  return nullptr;
}

const PinDescription* ModuleDescription::findPin(bool gui, const std::string& indexOrName) const {
  int32_t index = 0;
  if (parseIndex(indexOrName, index)) return pinByIndex(gui, index);
  for (const auto& p : pins(gui))
    if (p.name == indexOrName) return &p;
  for (const auto& p : pins(gui))
    if (equalsIgnoringCase(p.name, indexOrName)) return &p;
  return nullptr;
}

bool DescriptionSet::loadText(const std::string& xml, const std::string& sourceName) {
  tinyxml2::XMLDocument document;
  if (document.Parse(xml.c_str(), xml.size()) != tinyxml2::XML_SUCCESS) {
    problems_.push_back(sourceName + ": " + document.ErrorStr());
    return false;
  }
  auto* list = document.FirstChildElement("PluginList");
  if (list == nullptr) {
    problems_.push_back(sourceName + ": no PluginList element");
    return false;
  }
  bool good = true;
  for (auto* plugin = list->FirstChildElement("Plugin"); plugin; plugin = plugin->NextSiblingElement("Plugin")) {
    ModuleDescription d;
    d.id = attribute(plugin, "id");
    d.name = attribute(plugin, "name");
    d.category = attribute(plugin, "category");
    d.sourceFile = sourceName;
    std::string problem;
    if (d.id.empty()) {
      problem = "line " + std::to_string(plugin->GetLineNum()) + ": plug-in without an id";
    } else if (!readParameters(plugin->FirstChildElement("Parameters"), d.parameters, problem) ||
               !readPins(plugin->FirstChildElement("Audio"), d.audioPins, problem) ||
               !readPins(plugin->FirstChildElement("GUI"), d.guiPins, problem)) {
      problem = "plug-in \"" + d.id + "\", " + problem;
    }
    if (!problem.empty()) {
      problems_.push_back(sourceName + ": " + problem);
      good = false;
      continue;
    }
    modules_.emplace(d.id, std::move(d));
  }
  return good;
}

bool DescriptionSet::loadFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == ".xml") files.push_back(entry.path());
  if (error) return false;
  std::sort(files.begin(), files.end());
  bool good = true;
  for (const auto& file : files) good = loadFile(file.string()) && good;
  return good;
}

bool DescriptionSet::loadFile(const std::string& path) {
  std::string text;
  try {
    text = readRegularFile(path, kMaxDescriptionFileBytes, "description file");
  } catch (const FileRefused& e) {
    problems_.push_back(path + ": " + e.what());
    return false;
  }
  return loadText(text, path);
}

const ModuleDescription* DescriptionSet::find(const std::string& id) const {
  auto it = modules_.find(id);
  return it != modules_.end() ? &it->second : nullptr;
}

}  // namespace zvhost
