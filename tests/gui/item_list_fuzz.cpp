// Item lists from arbitrary text, as 16-bit and as 8-bit code units: every
// lookup stays inside the list and agrees with the others.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "modules/gui/item_list.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

template <class Char>
void exercise(std::basic_string_view<Char> text) {
  const zv::gui::ItemList<Char> list(text);
  const int64_t size = list.size();
  require(size >= 0 && size <= (int64_t{1} << 32));
  for (int64_t index : {int64_t{0}, int64_t{1}, size / 2, size - 1, size}) {
    const auto item = list.at(index);
    require(item.has_value() == (index >= 0 && index < size));
    if (!item) continue;
    const auto found = list.findValue(item->value);
    require(found.has_value() && found->value == item->value);
  }
  for (int32_t value : {0, 1, -1, 2147483647, -2147483647 - 1}) {
    const auto found = list.findValue(value);
    require(!found || found->value == value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  exercise(std::string_view(reinterpret_cast<const char*>(data), size));
  std::u16string wide(size / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * 2);
  exercise(std::u16string_view(wide));
  return 0;
}
