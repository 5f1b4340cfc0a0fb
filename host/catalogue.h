// Identifiers a host of this library may ask for, beyond those its
// description files name, so that listing shows every module.
#pragma once

#include <string>
#include <vector>

#include "frame/interfaces.h"

namespace zvhost {

const std::vector<std::string>& knownIdentifiers();

// Whether the factory can create the identifier on a side (0 audio, 1 GUI):
// asked with a host that offers nothing, so no module is really built; a
// registered creator refuses with -1, a missing one answers -2.
bool factoryHasSide(IMpFactory* factory, const std::string& id, int32_t side);

}  // namespace zvhost
