#include "modules/gui/item_list.h"

#include <charconv>
#include <limits>

namespace zv::gui {

namespace {

template <class Char>
bool isSpace(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads like strtol in base 10 from the start of text: white space, a sign,
// digits. No digits gives 0; values beyond int32 saturate.
template <class Char>
int32_t readInteger(std::basic_string_view<Char> text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (negative) return magnitude >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-magnitude);
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

template <class Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

template <class Char>
std::basic_string<Char> decimal(int32_t value) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::basic_string<Char>(digits, end);
}

}  // namespace

template <class Char>
ItemList<Char>::ItemList(View text) {
  static constexpr Char kRange[] = {'r', 'a', 'n', 'g', 'e'};
  if (text.size() >= 5 && View(kRange, 5) == text.substr(0, 5)) {
    range_ = true;
    // The low bound from the seventh character ("range 3,6"), the high one
    // after the first comma.
    if (text.size() > 6) low_ = readInteger(text.substr(6));
    const size_t comma = text.find(Char(','));
    if (comma != View::npos) high_ = readInteger(text.substr(comma + 1));
    return;
  }
  if (text.empty()) return;
  int64_t next = 0;
  for (size_t start = 0;;) {
    const size_t comma = text.find(Char(','), start);
    const View field = text.substr(start, comma == View::npos ? View::npos : comma - start);
    const size_t equals = field.find(Char('='));
    const int64_t value = equals == View::npos ? next : readInteger(field.substr(equals + 1));
    if (value <= std::numeric_limits<int32_t>::max()) {
      items_.push_back({String(trimmed(field.substr(0, equals))), static_cast<int32_t>(value)});
    }
    next = value + 1;
    if (comma == View::npos) break;
    start = comma + 1;
  }
}

template <class Char>
int64_t ItemList<Char>::size() const {
  if (!range_) return static_cast<int64_t>(items_.size());
  return high_ < low_ ? 0 : int64_t{high_} - low_ + 1;
}

template <class Char>
std::optional<typename ItemList<Char>::Item> ItemList<Char>::findValue(int32_t value) const {
  if (range_) {
    if (value < low_ || value > high_) return std::nullopt;
    return Item{decimal<Char>(value), value};
  }
  for (const Item& item : items_) {
    if (item.value == value) return item;
  }
  return std::nullopt;
}

template <class Char>
std::optional<typename ItemList<Char>::Item> ItemList<Char>::at(int64_t index) const {
  if (index < 0 || index >= size()) return std::nullopt;
  if (!range_) return items_[static_cast<size_t>(index)];
  const auto value = static_cast<int32_t>(low_ + index);
  return Item{decimal<Char>(value), value};
}

template class ItemList<char>;
template class ItemList<char16_t>;
template class ItemList<wchar_t>;

}  // namespace zv::gui
