// Module descriptions read from the XML description texts shipped beside the
// library: the host learns each module's pins (index, name, direction,
// datatype) from them, since the binary interface cannot be asked.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frame/interfaces.h"

namespace zvhost {

struct PinDescription {
  int32_t id = 0;
  std::string name;
  bool output = false;
  int32_t datatype = MP_DT_FLOAT;  // MpDatatype; audio pins are MP_DT_AUDIO
  std::string defaultValue;        // as written, empty when absent
  std::string hostConnect;         // e.g. "Voice/Active"
  int32_t parameterId = -1;        // the parameter the pin is bound to, -1 for none
  std::string parameterField;      // which of its fields; empty: the value
};

// A parameter the module keeps in its host (<Parameters>): both sides of an
// instance meet through the pins bound to it.
struct ParameterDescription {
  int32_t id = 0;
  int32_t datatype = MP_DT_FLOAT;
  bool output = false;  // direction="out"
};

struct ModuleDescription {
  std::string id;
  std::string name;
  std::string category;
  std::string sourceFile;
  std::vector<PinDescription> audioPins;  // ordered by id
  std::vector<PinDescription> guiPins;
  std::vector<ParameterDescription> parameters;  // as declared, ordered by id

  const std::vector<PinDescription>& pins(bool gui) const { return gui ? guiPins : audioPins; }
  // By index, or by name (exact first, then case-insensitive).
  const PinDescription* findPin(bool gui, const std::string& indexOrName) const;
  const PinDescription* pinByIndex(bool gui, int32_t index) const;
};

// Text of a datatype code as written in descriptions and messages.
std::string datatypeName(int32_t datatype);

class DescriptionSet {
 public:
  // Reads every *.xml of a folder; a missing folder is not an error (returns
  // false with no problems), a malformed file adds a problem and is skipped.
  bool loadFolder(const std::string& folder);
  // One file; one that is not a readable description adds a problem.
  bool loadFile(const std::string& path);
  // Parses one document; the first description of an identifier wins.
  bool loadText(const std::string& xml, const std::string& sourceName);

  const ModuleDescription* find(const std::string& id) const;
  const std::map<std::string, ModuleDescription>& all() const { return modules_; }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  std::map<std::string, ModuleDescription> modules_;
  std::vector<std::string> problems_;
};

}  // namespace zvhost
