// The text of a choice list, as list controls and the list modules read it:
//
//   "range 3,6"               the values 3 ... 6, each named by its number;
//   "a,b=5,c"                 items separated by ','; "text=number" gives the
//                             item its value, otherwise the previous value + 1
//                             (the first item 0). Texts are trimmed.
//
// A range is never expanded: lookups answer from its bounds, so a list of
// four billion values costs nothing. Numbers read like strtol in base 10 and
// saturate at the int32 limits; a missing bound or value is 0; items whose
// value would pass INT_MAX are dropped. No frame types here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::gui {

template <class Char>
class ItemList {
 public:
  using String = std::basic_string<Char>;
  using View = std::basic_string_view<Char>;

  struct Item {
    String text;
    int32_t value = 0;
  };

  explicit ItemList(View text);

  bool isRange() const { return range_; }
  // Number of items; a range may hold more than an int32 counts.
  int64_t size() const;
  // The first item with this value.
  std::optional<Item> findValue(int32_t value) const;
  // The item at a position, 0 first.
  std::optional<Item> at(int64_t index) const;

 private:
  bool range_ = false;
  int32_t low_ = 0;
  int32_t high_ = 0;
  std::vector<Item> items_;
};

extern template class ItemList<char>;
extern template class ItemList<char16_t>;
extern template class ItemList<wchar_t>;

}  // namespace zv::gui
