// The GUI side: values between GUI pins, parameters and the two sides of an
// instance, and drawing.
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "host/engine.h"
#include "host/engine_graph.h"

namespace zvhost {
namespace {

// enum and int travel as the same 4-byte value.
int32_t carried(int32_t datatype) { return datatype == MP_DT_ENUM ? MP_DT_INT : datatype; }

bool same(const Endpoint& a, const Endpoint& b) { return a.instance == b.instance && a.pin == b.pin; }

const ParameterDescription* declared(const ModuleDescription& description, int32_t id) {
  for (const auto& p : description.parameters)
    if (p.id == id) return &p;
  return nullptr;
}

int32_t fieldIndex(const Parameter& p, const std::string& name) {
  for (size_t i = 0; i < p.fields.size(); ++i)
    if (p.fields[i].name == name) return static_cast<int32_t>(i);
  return -1;
}

// A field of b that a's field of the same name carries as another datatype.
const Parameter::Field* clash(const Parameter& a, const Parameter& b) {
  for (const Parameter::Field& theirs : b.fields)
    for (const Parameter::Field& ours : a.fields)
      if (ours.name == theirs.name && ours.datatype != theirs.datatype) return &theirs;
  return nullptr;
}

// What a change of one field implies for another, as a host's parameter
// keeps them: a new value moves the normalised position, a new position
// the value.
std::optional<std::pair<int32_t, RawValue>> counterpart(const Parameter& p, int32_t changed) {
  const int32_t value = fieldIndex(p, "");
  const int32_t position = fieldIndex(p, "Normalized");
  if (value < 0 || position < 0 || p.fields[static_cast<size_t>(position)].datatype != MP_DT_FLOAT) return {};
  const Parameter::Field& f = p.fields[static_cast<size_t>(changed)];
  if (!f.known) return {};
  std::optional<RawValue> raw;
  if (changed == value) {
    raw = normalizedFromRaw(f.datatype, f.value, p.low, p.high);
    if (raw) return std::make_pair(position, std::move(*raw));
  } else if (changed == position && f.value.size() == sizeof(float)) {
    raw = rawFromNormalized(p.fields[static_cast<size_t>(value)].datatype, rawAsFloat(f.value), p.low, p.high);
    if (raw) return std::make_pair(value, std::move(*raw));
  }
  return {};
}

}  // namespace

// A description whose bound pins disagree on a field's datatype cannot be
// linked: one side would be handed bytes of the wrong size.
void Engine::checkParameterBindings(const ModuleDescription& description, bool guiSide, const std::string& label) {
  const auto& pins = description.pins(guiSide);
  for (const PinDescription& pin : pins) {
    if (pin.parameterId < 0) continue;
    auto problem = [&](const std::string& text) {
      throw EngineError("\"" + label + "\": \"" + description.id + "\" binds " + (guiSide ? "GUI" : "audio") + " pin " +
                        std::to_string(pin.id) + " to parameter " + std::to_string(pin.parameterId) + ", " + text);
    };
    if (pin.datatype == MP_DT_AUDIO || pin.datatype == MP_DT_MIDI)
      problem("but " + datatypeName(pin.datatype) + " pins carry no parameter values");
    const ParameterDescription* p = declared(description, pin.parameterId);
    if (pin.parameterField.empty() && p != nullptr && carried(p->datatype) != carried(pin.datatype))
      problem("which is " + datatypeName(p->datatype) + " but the pin is " + datatypeName(pin.datatype));
    for (const PinDescription& other : pins)
      if (other.parameterId == pin.parameterId && other.parameterField == pin.parameterField &&
          carried(other.datatype) != carried(pin.datatype))
        problem("and pin " + std::to_string(other.id) + " to the same field, as " + datatypeName(other.datatype) +
                " and " + datatypeName(pin.datatype));
  }
}

void Engine::bindParameters(Instance& inst) {
  for (size_t index = 0; index < inst.pins.size(); ++index) {
    PinState& pin = inst.pins[index];
    if (pin.description == nullptr || pin.description->parameterId < 0) continue;
    const PinDescription& d = *pin.description;
    int found = -1;
    for (int p : inst.parameters)
      if (parameters_[static_cast<size_t>(p)].id == d.parameterId) found = p;
    if (found < 0) {
      found = static_cast<int>(parameters_.size());
      Parameter created;
      created.instance = inst.index;
      created.id = d.parameterId;
      parameters_.push_back(std::move(created));
      inst.parameters.push_back(found);
    }
    Parameter& parameter = parameters_[static_cast<size_t>(found)];
    Parameter::Field* field = parameter.find(d.parameterField);
    if (field == nullptr) {
      parameter.fields.emplace_back();
      field = &parameter.fields.back();
      field->name = d.parameterField;
      const ParameterDescription* p = declared(*inst.description, d.parameterId);
      field->datatype = carried(d.parameterField.empty() && p != nullptr ? p->datatype : d.datatype);
    }
    field->pins.push_back({inst.index, static_cast<int32_t>(index)});
    pin.parameter = found;
    pin.field = static_cast<int32_t>(field - parameter.fields.data());
  }
}

void Engine::linkSides(int audio, int gui) {
  if (prepared_) throw EngineError("sides cannot be linked while running");
  Instance& a = instance(audio);
  Instance& g = instance(gui);
  if (a.gui || !g.gui || a.description != g.description || a.linked >= 0 || g.linked >= 0)
    throw EngineError("\"" + a.label + "\" and \"" + g.label + "\" are not the two unlinked sides of one module");
  // Checked whole before anything changes.
  for (int q : g.parameters)
    for (int p : a.parameters) {
      const Parameter& ours = parameters_[static_cast<size_t>(p)];
      const Parameter& theirs = parameters_[static_cast<size_t>(q)];
      const Parameter::Field* wrong = ours.id == theirs.id ? clash(ours, theirs) : nullptr;
      if (wrong != nullptr)
        throw EngineError("\"" + a.label + "\": \"" + a.description->id + "\" binds pins of both sides to field \"" +
                          wrong->name + "\" of parameter " + std::to_string(ours.id) + " with different datatypes");
    }
  for (int q : g.parameters) {
    int into = -1;
    for (int p : a.parameters)
      if (parameters_[static_cast<size_t>(p)].id == parameters_[static_cast<size_t>(q)].id) into = p;
    if (into < 0) {
      a.parameters.push_back(q);
    } else {
      mergeParameter(into, q);
    }
  }
  g.parameters = a.parameters;
  a.linked = gui;
  g.linked = audio;
}

// Of two values given before, the later one holds.
void Engine::mergeParameter(int into, int fromIndex) {
  Parameter& from = parameters_[static_cast<size_t>(fromIndex)];
  Parameter& to = parameters_[static_cast<size_t>(into)];
  for (Parameter::Field& theirs : from.fields) {
    Parameter::Field* ours = to.find(theirs.name);
    if (ours == nullptr) {
      to.fields.emplace_back();
      ours = &to.fields.back();
      ours->name = theirs.name;
      ours->datatype = theirs.datatype;
    }
    if (theirs.known && (!ours->known || theirs.setOrder > ours->setOrder)) {
      ours->value = theirs.value;
      ours->known = true;
      ours->setOrder = theirs.setOrder;
    }
    const auto index = static_cast<int32_t>(ours - to.fields.data());
    for (const Endpoint& e : theirs.pins) {
      ours->pins.push_back(e);
      PinState& pin = instance(e.instance).pins[static_cast<size_t>(e.pin)];
      pin.parameter = into;
      pin.field = index;
    }
  }
  from.fields.clear();
  from.merged = true;
  // The side that had only one of value and position may have set it.
  const int32_t value = fieldIndex(to, "");
  const int32_t position = fieldIndex(to, "Normalized");
  if (value >= 0 && position >= 0) {
    const Parameter::Field& v = to.fields[static_cast<size_t>(value)];
    const Parameter::Field& n = to.fields[static_cast<size_t>(position)];
    deriveField(to, n.known && (!v.known || n.setOrder > v.setOrder) ? position : value);
  }
}

void Engine::joinParameters(int keep, int other) {
  if (prepared_) throw EngineError("parameters cannot be joined while running");
  Parameter& a = parameter(keep);
  Parameter& b = parameter(other);
  if (keep == other) return;
  if (const Parameter::Field* wrong = clash(a, b))
    throw EngineError("\"" + instance(a.instance).label + "\" and \"" + instance(b.instance).label +
                      "\" carry field \"" + wrong->name + "\" of their parameters as different datatypes");
  mergeParameter(keep, other);
  for (auto& inst : instances_) {
    auto& list = inst->parameters;
    if (std::find(list.begin(), list.end(), other) == list.end()) continue;
    list.erase(std::remove(list.begin(), list.end(), other), list.end());
    if (std::find(list.begin(), list.end(), keep) == list.end()) list.push_back(keep);
  }
}

void Engine::setParameterRange(int index, double low, double high) {
  if (prepared_) throw EngineError("a parameter's range cannot change while running");
  if (!(std::isfinite(low) && std::isfinite(high) && low < high))
    throw EngineError("a parameter's range needs a finite minimum below its maximum");
  Parameter& p = parameter(index);
  p.low = low;
  p.high = high;
  deriveField(p, fieldIndex(p, ""));
}

// Before running: the field a change implies takes its value at once.
void Engine::deriveField(Parameter& p, int32_t changed) {
  if (changed < 0) return;
  if (auto other = counterpart(p, changed)) {
    Parameter::Field& f = p.fields[static_cast<size_t>(other->first)];
    f.value = std::move(other->second);
    f.known = true;
    f.setOrder = ++parameterSets_;
  }
}

int32_t Engine::parameterFieldType(int index, const std::string& name) const {
  if (index < 0 || index >= static_cast<int>(parameters_.size())) return -1;
  const Parameter& p = parameters_[static_cast<size_t>(index)];
  const int32_t field = fieldIndex(p, name);
  return p.merged || field < 0 ? -1 : p.fields[static_cast<size_t>(field)].datatype;
}

bool Engine::parameterWrittenByAudio(int index) const {
  if (index < 0 || index >= static_cast<int>(parameters_.size())) return false;
  const Parameter& p = parameters_[static_cast<size_t>(index)];
  const int32_t value = fieldIndex(p, "");
  if (value < 0) return false;
  for (const Endpoint& e : p.fields[static_cast<size_t>(value)].pins) {
    const Instance& inst = instance(e.instance);
    if (!inst.gui && inst.pins[static_cast<size_t>(e.pin)].description->output) return true;
  }
  return false;
}

Parameter& Engine::parameter(int index) {
  if (index < 0 || index >= static_cast<int>(parameters_.size()) || parameters_[static_cast<size_t>(index)].merged)
    throw EngineError("no parameter " + std::to_string(index));
  return parameters_[static_cast<size_t>(index)];
}

int Engine::findParameter(int index, int32_t id) const {
  for (int p : instance(index).parameters)
    if (parameters_[static_cast<size_t>(p)].id == id) return p;
  return -1;
}

void Engine::setParameter(int index, const std::string& fieldName, RawValue value) {
  Parameter& p = parameter(index);
  Parameter::Field* field = p.find(fieldName);
  if (field == nullptr)
    throw EngineError("\"" + instance(p.instance).label + "\" binds no pin to field \"" + fieldName +
                      "\" of parameter " + std::to_string(p.id));
  if (!prepared_) {
    field->value = std::move(value);
    field->known = true;
    field->setOrder = ++parameterSets_;
    deriveField(p, static_cast<int32_t>(field - p.fields.data()));
    return;
  }
  gui_.post(
      {GuiDelivery::Kind::Parameter, index, static_cast<int32_t>(field - p.fields.data()), -1, -1, std::move(value)});
  gui_.pump();
}

const RawValue* Engine::parameterValue(int index, const std::string& fieldName) const {
  if (index < 0 || index >= static_cast<int>(parameters_.size())) return nullptr;
  for (const Parameter::Field& f : parameters_[static_cast<size_t>(index)].fields)
    if (f.name == fieldName) return f.known ? &f.value : nullptr;
  return nullptr;
}

const RawValue* Engine::startValue(const PinState& pin) const {
  if (pin.parameter >= 0) {
    const Parameter::Field& f = parameters_[static_cast<size_t>(pin.parameter)].fields[static_cast<size_t>(pin.field)];
    if (f.known) return &f.value;
  }
  return pin.hasConstant ? &pin.constantRaw : nullptr;
}

void Engine::setGuiValue(Endpoint e, RawValue value) {
  pinState(e, "GUI value");
  if (!instance(e.instance).gui) throw EngineError("GUI value: " + describe(e) + " is on the audio side");
  if (!prepared_) {
    setConstant(e, std::move(value));
    return;
  }
  gui_.post({GuiDelivery::Kind::Pin, e.instance, e.pin, -1, -1, std::move(value)});
  gui_.pump();
}

const RawValue* Engine::guiValue(Endpoint e) const {
  if (e.instance < 0 || e.instance >= instanceCount()) return nullptr;
  const PinState* pin = instance(e.instance).pin(e.pin);
  return pin != nullptr && pin->guiValueKnown ? &pin->guiValue : nullptr;
}

int32_t Engine::onSendGuiValue(int index, int32_t pinIndex, int32_t size, const void* data) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = instance(index);
  PinState* pin = inst.pin(pinIndex);
  if (!inst.gui || pin == nullptr || size < 0 || (size > 0 && data == nullptr)) return MP_FAIL;
  const auto* bytes = static_cast<const uint8_t*>(data);
  RawValue value = size > 0 ? RawValue(bytes, bytes + size) : RawValue();
  pin->guiValue = value;
  pin->guiValueKnown = true;
  for (const Endpoint& t : pin->targets) gui_.post({GuiDelivery::Kind::Pin, t.instance, t.pin, index, pinIndex, value});
  if (pin->parameter >= 0)
    gui_.post({GuiDelivery::Kind::Parameter, pin->parameter, pin->field, index, pinIndex, std::move(value)});
  gui_.pump();
  return MP_OK;
}

void Engine::deliverGui(const GuiDelivery& d) {
  if (d.kind == GuiDelivery::Kind::Parameter) {
    changeParameter(d);
    return;
  }
  if (d.target < 0 || d.target >= instanceCount()) return;
  Instance& inst = instance(d.target);
  const PinState* pin = inst.pin(d.slot);
  if (pin == nullptr || inst.ui == nullptr) return;
  // Only a change is handed over: that is what stops an echo.
  if (pin->guiValueKnown && sameRaw(pin->description->datatype, pin->guiValue, d.value)) return;
  deliverNow(inst, d.slot, d.value);
}

void Engine::deliverNow(Instance& inst, int32_t index, RawValue value) {
  PinState& pin = inst.pins[static_cast<size_t>(index)];
  pin.guiValue = value;
  pin.guiValueKnown = true;
  inst.ui->pinValueFromHost(index, 0, static_cast<int32_t>(value.size()), value.data());
  inst.ui->pinNotifyFromHost(index, 0);
}

void Engine::changeParameter(const GuiDelivery& d) {
  if (d.target < 0 || d.target >= static_cast<int>(parameters_.size())) return;
  Parameter& p = parameters_[static_cast<size_t>(d.target)];
  if (d.slot < 0 || d.slot >= static_cast<int32_t>(p.fields.size())) return;
  if (!storeField(d.target, d.slot, d.value, {d.fromInstance, d.fromPin})) return;
  // The implied field is not derived back: a position a control sent stays
  // as sent, whatever rounding the value took.
  if (auto other = counterpart(p, d.slot)) storeField(d.target, other->first, other->second, {-1, -1});
}

// Passes a field's new value to every pin bound to it but the one it came
// from; false when it is no change.
bool Engine::storeField(int index, int32_t slot, const RawValue& value, Endpoint from) {
  Parameter::Field& field = parameters_[static_cast<size_t>(index)].fields[static_cast<size_t>(slot)];
  if (field.known && sameRaw(field.datatype, field.value, value)) return false;
  field.value = value;
  field.known = true;
  field.setOrder = ++parameterSets_;
  for (const Endpoint& e : field.pins) {
    if (same(e, from)) continue;
    Instance& target = instance(e.instance);
    if (target.gui) {
      gui_.post({GuiDelivery::Kind::Pin, e.instance, e.pin, from.instance, from.pin, field.value});
    } else if (!target.pins[static_cast<size_t>(e.pin)].description->output) {
      // The GUI runs between blocks: the audio side has it at the start of
      // the next one.
      queueEvent(target, true, 0, MP_EVENT_PIN_VALUE, e.pin, field.value.data(),
                 static_cast<int32_t>(field.value.size()));
    }
  }
  return true;
}

void Engine::reportCut(const GuiDelivery& d) {
  std::string where;
  if (d.kind == GuiDelivery::Kind::Pin && d.target >= 0 && d.target < instanceCount()) {
    where = describe({d.target, d.slot});
  } else if (d.kind == GuiDelivery::Kind::Parameter && d.target >= 0 &&
             d.target < static_cast<int>(parameters_.size())) {
    const Parameter& p = parameters_[static_cast<size_t>(d.target)];
    where = "parameter " + std::to_string(p.id) + " of \"" + instance(p.instance).label + "\"";
  } else {
    return;
  }
  if (std::find(cutWarned_.begin(), cutWarned_.end(), where) != cutWarned_.end()) return;
  cutWarned_.push_back(where);
  warn("GUI values for " + where + " were dropped: " +
       (d.hops > GuiPump::kMostHops
            ? "they came round " + std::to_string(d.hops) + " deliveries in a row without settling"
            : "more than " + std::to_string(GuiPump::kMostDeliveries) + " deliveries at once") +
       " (a loop of GUI connections that keeps changing its values?)");
}

bool Engine::drawsGraphics(int index) const {
  const Instance& inst = instance(index);
  if (!inst.gui || inst.ui == nullptr) return false;
  void* face = nullptr;
  if (inst.ui->queryInterface(&MP_IID_GRAPHICS_COMPOSITED, &face) != MP_OK || face == nullptr) return false;
  static_cast<IMpUnknown*>(face)->release();
  return true;
}

bool Engine::drawGui(int index, IMpCanvas& canvas, int32_t width, int32_t height) {
  Instance& inst = instance(index);
  if (!inst.gui || inst.ui == nullptr) return false;
  void* face = nullptr;
  if (inst.ui->queryInterface(&MP_IID_GRAPHICS_COMPOSITED, &face) != MP_OK || face == nullptr) return false;
  auto* graphics = static_cast<ISeGraphicsComposited*>(static_cast<IMpUnknown*>(face));
  // As a window's rectangle: left, top, right, bottom.
  graphics->placeRectangle(MpRect{0, 0, width, height});
  graphics->drawGraphics(&canvas);
  graphics->release();
  return true;
}

}  // namespace zvhost
