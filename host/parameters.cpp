#include "host/parameters.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <set>

#include "host/text.h"
#include "host/values.h"

namespace zvhost {
namespace {

using nlohmann::json;

// The patch's keys for the text fields a parameter serves.
struct TextField {
  const char* key;
  const char* field;
  const char* what;
};
constexpr TextField kTextFields[] = {{"menu", "MenuItems", "menu items"},
                                     {"items", "EnumList", "list items"},
                                     {"fileExtension", "FileExtension", "file extension"}};

bool numeric(int32_t datatype) { return datatype == MP_DT_FLOAT || datatype == MP_DT_INT; }

template <class T>
std::string shortest(T value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

int32_t rawAsInt(const RawValue& raw) {
  int32_t value = 0;
  if (raw.size() >= sizeof value) std::memcpy(&value, raw.data(), sizeof value);
  return value;
}

double rawAsNumber(int32_t datatype, const RawValue& raw) {
  return datatype == MP_DT_FLOAT ? static_cast<double>(rawAsFloat(raw)) : static_cast<double>(rawAsInt(raw));
}

class ParameterBuilder {
 public:
  ParameterBuilder(Engine& engine, const ModuleInstances& modules, const std::string& file, BuiltPatch& built)
      : engine_(engine), modules_(modules), file_(file), built_(built) {}

  void declare(const json& parameters) {
    if (!parameters.is_object()) fail("\"parameters\"", "expected an object of name: {\"module\": ...}");
    for (auto& [name, entry] : parameters.items()) declareOne(name, entry);
  }

  void presets(const json* presets, const std::string& chosen) {
    std::map<std::string, std::vector<std::pair<size_t, RawValue>>> all;
    if (presets != nullptr) {
      if (!presets->is_object()) fail("\"presets\"", "expected an object of preset name: {parameter: value}");
      for (auto& [name, values] : presets->items()) {
        const std::string place = "presets.\"" + name + "\"";
        if (!values.is_object()) fail(place, "expected an object of parameter: value");
        auto& entries = all[name];
        for (auto& [parameter, value] : values.items()) {
          const std::string where = place + ".\"" + parameter + "\"";
          const size_t index = find(parameter, [&](const std::string& problem) { fail(where, problem); });
          std::string problem;
          auto raw = fromJson(built_.parameters[index], value, problem);
          if (!raw) fail(where, problem);
          entries.emplace_back(index, std::move(*raw));
        }
        built_.presets.push_back(name);
      }
    }
    if (chosen.empty()) return;
    auto found = all.find(chosen);
    if (found == all.end()) {
      std::string known;
      for (const auto& name : built_.presets) known += (known.empty() ? "" : ", ") + name;
      throw PatchError("--preset \"" + chosen + "\": the patch has no preset \"" + chosen + "\"" +
                       (known.empty() ? " (it has none)" : " (it has: " + known + ")"));
    }
    for (const auto& [index, raw] : found->second) engine_.setParameter(built_.parameters[index].parameter, "", raw);
  }

  void settings(const std::vector<std::string>& settings) {
    for (const std::string& text : settings) {
      const std::string where = "--set \"" + text + "\"";
      const auto equals = text.find('=');
      const size_t index =
          find(text.substr(0, equals), [&](const std::string& problem) { throw PatchError(where + ": " + problem); });
      std::string problem;
      auto raw = fromText(built_.parameters[index], text.substr(equals + 1), problem);
      if (!raw) throw PatchError(where + ": " + problem);
      engine_.setParameter(built_.parameters[index].parameter, "", *raw);
    }
  }

 private:
  [[noreturn]] void fail(const std::string& place, const std::string& problem) const {
    throw PatchError(file_ + ": " + place + ": " + problem);
  }

  void declareOne(const std::string& name, const json& entry) {
    const std::string place = "parameters.\"" + name + "\"";
    if (name.empty() || name.find_first_of(":=") != std::string::npos)
      fail(place, "a parameter's name is not empty and has no ':' or '='");
    if (!entry.is_object()) fail(place, "expected an object naming its \"module\"");
    for (auto& [key, value] : entry.items()) {
      static const std::set<std::string> known = {"module", "parameter", "value",         "min",    "max",
                                                  "menu",   "items",     "fileExtension", "comment"};
      if (known.count(key) == 0) fail(place, "unknown key \"" + key + "\"");
    }
    if (!entry.contains("module") || !entry["module"].is_string()) fail(place, "missing \"module\"");
    const std::string module = entry["module"].get<std::string>();
    auto found = modules_.find(module);
    if (found == modules_.end() || found->second.empty()) fail(place, "unknown module \"" + module + "\"");
    const std::vector<ModuleSides>& clones = found->second;
    const ModuleSides& first = clones.front();
    const ModuleDescription& d = engine_.description(first.audio >= 0 ? first.audio : first.gui);
    const std::string who = "module \"" + module + "\" (" + d.id + ")";

    // The ids bound on the sides the module has.
    std::set<int32_t> ids;
    for (bool gui : {false, true})
      if ((gui ? first.gui : first.audio) >= 0)
        for (const PinDescription& pin : d.pins(gui))
          if (pin.parameterId >= 0) ids.insert(pin.parameterId);
    std::string idList;
    for (int32_t id : ids) idList += (idList.empty() ? "" : ", ") + std::to_string(id);
    if (ids.empty()) fail(place, who + " has no parameters");
    int32_t id = *ids.begin();
    if (entry.contains("parameter")) {
      const json& given = entry["parameter"];
      if (!given.is_number_integer() || ids.count(given.get<int32_t>()) == 0)
        fail(place, who + " has no parameter " + given.dump() + " (it has " + idList + ")");
      id = given.get<int32_t>();
    } else if (ids.size() > 1) {
      fail(place, who + " has parameters " + idList + ": give \"parameter\"");
    }

    // One parameter for every voice of a voice module.
    int keep = -1;
    try {
      for (const ModuleSides& sides : clones) {
        const int p = engine_.findParameter(sides.audio >= 0 ? sides.audio : sides.gui, id);
        if (keep < 0) {
          keep = p;
        } else {
          engine_.joinParameters(keep, p);
        }
      }
    } catch (const EngineError& e) {
      fail(place, e.what());
    }
    for (const PatchParameter& other : built_.parameters)
      if (other.parameter == keep)
        fail(place, who + ": its parameter " + std::to_string(id) + " is \"" + other.name + "\"");

    PatchParameter p;
    p.name = name;
    p.module = module;
    p.parameter = keep;
    const int32_t valueType = engine_.parameterFieldType(keep, "");
    p.datatype = valueType;
    for (const ParameterDescription& declared : d.parameters)
      if (declared.id == id) p.datatype = declared.datatype;
    p.written = engine_.parameterWrittenByAudio(keep);
    if (entry.contains("min") || entry.contains("max")) {
      if (!numeric(valueType)) fail(place, "\"min\" and \"max\" are for float and int parameters");
      if (!entry.contains("min") || !entry.contains("max")) fail(place, "give both \"min\" and \"max\"");
      if (!entry["min"].is_number() || !entry["max"].is_number()) fail(place, "\"min\" and \"max\" are numbers");
      p.low = entry["min"].get<double>();
      p.high = entry["max"].get<double>();
      if (!(p.low < p.high)) fail(place, "\"min\" must be below \"max\"");
      p.ranged = true;
      engine_.setParameterRange(keep, p.low, p.high);
    }
    if (engine_.parameterFieldType(keep, "ShortName") == MP_DT_TEXT)
      engine_.setParameter(keep, "ShortName", rawText(name));
    for (const TextField& f : kTextFields) {
      if (!entry.contains(f.key)) continue;
      const std::string where = place + ".\"" + f.key + "\"";
      if (!entry[f.key].is_string()) fail(where, "expected a text");
      if (engine_.parameterFieldType(keep, f.field) != MP_DT_TEXT)
        fail(where, who + " has no pin for its parameter's " + f.what);
      const std::string text = entry[f.key].get<std::string>();
      engine_.setParameter(keep, f.field, rawText(text));
      if (std::strcmp(f.key, "menu") == 0) p.menu = text;
    }
    built_.parameters.push_back(p);
    if (entry.contains("value")) {
      std::string problem;
      auto raw = fromJson(p, entry["value"], problem);
      if (!raw) fail(place + ".\"value\"", problem);
      engine_.setParameter(keep, "", *raw);
    }
  }

  template <class Fail>
  size_t find(const std::string& name, Fail failWith) const {
    std::string known;
    for (size_t i = 0; i < built_.parameters.size(); ++i) {
      if (built_.parameters[i].name == name) return i;
      known += (known.empty() ? "" : ", ") + built_.parameters[i].name;
    }
    failWith("the patch has no parameter \"" + name + "\"" + (known.empty() ? "" : " (it has: " + known + ")"));
    return 0;
  }

  std::string intro(const PatchParameter& p) const {
    return "parameter \"" + p.name + "\" (" + datatypeName(p.datatype) + ")";
  }

  // A number that fits the type may still lie outside the given range.
  std::optional<RawValue> inRange(const PatchParameter& p, RawValue raw, std::string& problem) const {
    const int32_t type = engine_.parameterFieldType(p.parameter, "");
    if (!p.ranged || !numeric(type)) return raw;
    const double v = rawAsNumber(type, raw);
    if (v >= p.low && v <= p.high) return raw;
    problem = intro(p) + ": " + shortest(v) + " is outside its range " + shortest(p.low) + " to " + shortest(p.high);
    return std::nullopt;
  }

  std::optional<RawValue> fromNumber(const PatchParameter& p, int32_t type, double value, const std::string& text,
                                     std::string& problem) const {
    const std::string why = numberProblem(type, value);
    if (!why.empty()) {
      problem = intro(p) + ": " + text + " is " + why;
      return std::nullopt;
    }
    return inRange(p, *rawFromNumber(type, value), problem);
  }

  std::optional<RawValue> fromJson(const PatchParameter& p, const json& value, std::string& problem) const {
    const int32_t type = engine_.parameterFieldType(p.parameter, "");
    if (type < 0) {
      problem = "module \"" + p.module + "\" binds no pin to its parameter's value";
      return std::nullopt;
    }
    if (type == MP_DT_TEXT || type == MP_DT_BLOB) {
      if (value.is_string()) return rawFromText(type, value.get<std::string>());
    } else if (value.is_boolean()) {
      return inRange(p, *rawFromNumber(type, value.get<bool>() ? 1.0 : 0.0), problem);
    } else if (value.is_number()) {
      return fromNumber(p, type, value.get<double>(), value.dump(), problem);
    }
    problem = intro(p) + ": a " + std::string(value.type_name()) + " does not fit";
    return std::nullopt;
  }

  std::optional<RawValue> fromText(const PatchParameter& p, const std::string& text, std::string& problem) const {
    const int32_t type = engine_.parameterFieldType(p.parameter, "");
    if (type < 0) {
      problem = "module \"" + p.module + "\" binds no pin to its parameter's value";
      return std::nullopt;
    }
    if (type == MP_DT_TEXT || type == MP_DT_BLOB) return rawFromText(type, text);
    if (text == "true" || text == "false") return inRange(p, *rawFromNumber(type, text == "true" ? 1.0 : 0.0), problem);
    // from_chars reads the "C" locale's numbers whatever the process's is.
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    double value = 0.0;
    const auto result = std::from_chars(begin, text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
      // Out of range is still a number: beyond any float.
      if (result.ec == std::errc::result_out_of_range && result.ptr == text.data() + text.size()) {
        problem = intro(p) + ": " + text + " is " + numberProblem(type, std::numeric_limits<double>::max());
      } else {
        problem = intro(p) + ": \"" + text + "\" is not a number";
      }
      return std::nullopt;
    }
    return fromNumber(p, type, value, text, problem);
  }

  Engine& engine_;
  const ModuleInstances& modules_;
  std::string file_;
  BuiltPatch& built_;
};

// The value a parameter holds: what the engine knows, else the zero its
// pins start from.
RawValue currentValue(const Engine& engine, const PatchParameter& p, int32_t& type) {
  type = engine.parameterFieldType(p.parameter, "");
  const RawValue* raw = engine.parameterValue(p.parameter, "");
  return raw != nullptr ? *raw : rawZero(type);
}

}  // namespace

void buildParameters(const json& root, Engine& engine, const ModuleInstances& modules, const std::string& file,
                     const std::string& preset, const std::vector<std::string>& settings, BuiltPatch& built) {
  ParameterBuilder builder(engine, modules, file, built);
  if (root.contains("parameters")) builder.declare(root["parameters"]);
  builder.presets(root.contains("presets") ? &root["presets"] : nullptr, preset);
  builder.settings(settings);
}

std::string parameterText(int32_t datatype, const RawValue& value) {
  switch (datatype) {
    case MP_DT_FLOAT: return value.size() == sizeof(float) ? shortest(rawAsFloat(value)) : "?";
    case MP_DT_INT:
    case MP_DT_ENUM: return value.size() == sizeof(int32_t) ? std::to_string(rawAsInt(value)) : "?";
    case MP_DT_BOOL: return value.size() == 1 ? (value[0] != 0 ? "true" : "false") : "?";
    case MP_DT_TEXT: {
      std::basic_string<MpChar> wide(value.size() / sizeof(MpChar), 0);
      if (!wide.empty()) std::memcpy(wide.data(), value.data(), wide.size() * sizeof(MpChar));
      return json(wideToUtf8(wide)).dump(-1, ' ', false, json::error_handler_t::replace);
    }
    default: return json(std::string(value.begin(), value.end())).dump(-1, ' ', false, json::error_handler_t::replace);
  }
}

std::string listParameters(const Engine& engine, const BuiltPatch& built) {
  struct Row {
    std::string cells[5];
    bool written;
  };
  std::vector<Row> rows = {{{"NAME", "TYPE", "RANGE", "VALUE", "MENU"}, false}};
  for (const PatchParameter& p : built.parameters) {
    int32_t type = 0;
    const RawValue value = currentValue(engine, p, type);
    const std::string range = numeric(type) ? shortest(p.low) + " to " + shortest(p.high) : "-";
    rows.push_back({{p.name, datatypeName(p.datatype), range, parameterText(type, value),
                     p.menu.empty() ? "-" : json(p.menu).dump(-1, ' ', false, json::error_handler_t::replace)},
                    p.written});
  }
  size_t widths[5] = {};
  for (const Row& r : rows)
    for (size_t c = 0; c < 5; ++c) widths[c] = std::max(widths[c], r.cells[c].size());
  std::string out;
  for (const Row& r : rows) {
    std::string line;
    for (size_t c = 0; c < 5; ++c)
      line += r.cells[c] + (c < 4 ? std::string(widths[c] - r.cells[c].size() + 2, ' ') : "");
    if (r.written) line += "  (written by the patch)";
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  if (built.parameters.empty()) out = "the patch has no parameters\n";
  std::string presets;
  for (const auto& name : built.presets) presets += (presets.empty() ? "" : ", ") + name;
  out += "presets: " + (presets.empty() ? std::string("none") : presets) + "\n";
  return out;
}

std::string parameterValuesJson(const Engine& engine, const BuiltPatch& built) {
  json out = json::object();
  for (const PatchParameter& p : built.parameters) {
    int32_t type = 0;
    const RawValue value = currentValue(engine, p, type);
    json& entry = out[p.name];
    switch (type) {
      case MP_DT_FLOAT: {
        const float f = rawAsFloat(value);
        // Through its shortest text, so that 0.1f is written 0.1.
        const std::string text = shortest(f);
        double d = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), d);
        entry = std::isfinite(f) ? json(d) : json(text);
        break;
      }
      case MP_DT_INT: entry = rawAsInt(value); break;
      case MP_DT_BOOL: entry = !value.empty() && value[0] != 0; break;
      case MP_DT_TEXT: entry = json::parse(parameterText(type, value)); break;
      default: entry = std::string(value.begin(), value.end()); break;
    }
  }
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace zvhost
