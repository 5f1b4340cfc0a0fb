// libFuzzer target for the two readers of the golden tests that take files:
// the WAV data finder and the Windows build's XML reader. Any bytes must
// give a defined answer, and a found data chunk must lie inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/golden/goldens.h"
#include "tests/golden/windows/tinyxml2.h"

namespace {

// Visits every element and attribute the host's reader could ask for.
size_t walk(const tinyxml2::XMLElement* e, int depth) {
  size_t n = 0;
  for (; e != nullptr; e = e->NextSiblingElement()) {
    n += e->GetLineNum() > 0 ? 1 : 0;
    for (const char* name : {"id", "name", "datatype", "direction"})
      if (const char* v = e->Attribute(name)) n += v[0] != 0 ? 1 : 0;
    if (depth < 300) n += walk(e->FirstChildElement(), depth + 1);
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  if (const auto span = zv::golden::floatStereoWavData(bytes)) {
    if (span->data < bytes.data() || span->data + span->size > bytes.data() + bytes.size()) std::abort();
    volatile uint64_t sink = zv::golden::fnv1a(span->data, span->size);
    (void)sink;
  }
  tinyxml2::XMLDocument doc;
  if (doc.Parse(reinterpret_cast<const char*>(data), size) == tinyxml2::XML_SUCCESS) {
    if (doc.FirstChildElement() == nullptr) std::abort();
    volatile size_t sink = walk(doc.FirstChildElement(), 0);
    (void)sink;
  } else if (doc.FirstChildElement() != nullptr || doc.ErrorStr()[0] == 0) {
    std::abort();
  }
  return 0;
}
