#include "host/limits.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

namespace zvhost {
namespace {

constexpr size_t kLongestLine = 2000;

std::string kindOf(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  switch (type) {
    case file_type::character: return "character device";
    case file_type::block: return "block device";
    case file_type::fifo: return "pipe";
    case file_type::socket: return "socket";
    default: return "special file";
  }
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void appendPrintable(std::string& out, const std::string& text, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 || c == 0x7F ? '?' : text[i];
  }
}

}  // namespace

std::string readRegularFile(const std::string& path, uint64_t maxBytes, const std::string& what) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) throw FileRefused("cannot open the " + what + ": no such file");
  if (error) throw FileRefused("cannot open the " + what + ": " + error.message());
  if (fs::is_directory(status)) throw FileRefused("a folder, not a " + what);
  // Opening a pipe would wait for a writer; a device may never end.
  if (!fs::is_regular_file(status)) throw FileRefused("a " + kindOf(status.type()) + ", not a " + what);
  const uintmax_t size = fs::file_size(path, error);
  if (!error && size > maxBytes)
    throw FileRefused("the " + what + " is " + formatBytes(size) + ", more than the " + formatBytes(maxBytes) +
                      " allowed");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileRefused("cannot open the " + what);
  std::string data;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    data.append(buffer, static_cast<size_t>(in.gcount()));
    if (data.size() > maxBytes)
      throw FileRefused("the " + what + " is more than the " + formatBytes(maxBytes) + " allowed");
  }
  if (in.bad()) throw FileRefused("cannot read the " + what);
  return data;
}

std::string formatBytes(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(units)) {
    value /= 1024.0;
    ++unit;
  }
  // to_chars: the same text whatever the process's locale.
  char text[32];
  const bool whole = value == std::floor(value);
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, whole ? 0 : 1);
  return std::string(text, result.ptr) + " " + units[unit];
}

std::optional<uint64_t> parseBytes(const std::string& text) {
  double value = 0.0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  auto [rest, error] = std::from_chars(begin, end, value, std::chars_format::fixed);
  if (error != std::errc() || rest == begin) return std::nullopt;
  std::string unit(rest, end);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  double scale = 1.0;
  if (!unit.empty() && unit != "B") {
    const size_t power = std::string("KMGT").find(unit[0]);
    const std::string tail = unit.substr(1);
    if (power == std::string::npos || !(tail.empty() || tail == "B" || tail == "IB")) return std::nullopt;
    scale = std::ldexp(1.0, 10 * static_cast<int>(power + 1));
  }
  const double bytes = std::floor(value * scale);
  if (!(bytes >= 1.0 && bytes <= std::ldexp(1.0, 62))) return std::nullopt;
  return static_cast<uint64_t>(bytes);
}

uint64_t physicalMemoryBytes() {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGE_SIZE)
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && pageSize > 0) return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
#endif
  return 0;
}

uint64_t defaultMemoryLimit() {
  const uint64_t machine = physicalMemoryBytes();
  return machine > 0 ? machine / 2 : uint64_t{2} << 30;
}

std::string oneLine(const std::string& message, size_t longestQuote) {
  std::string out;
  out.reserve(std::min(message.size(), kLongestLine) + 16);
  for (size_t i = 0; i < message.size();) {
    if (message[i] != '"') {
      appendPrintable(out, message, i, i + 1);
      ++i;
      continue;
    }
    const size_t close = message.find('"', i + 1);
    const size_t end = close == std::string::npos ? message.size() : close;
    out += '"';
    if (end - (i + 1) <= longestQuote) {
      appendPrintable(out, message, i + 1, end);
    } else {
      size_t cut = i + 1 + longestQuote;
      while (cut > i + 1 && isContinuation(message[cut])) --cut;
      appendPrintable(out, message, i + 1, cut);
      out += "...";
    }
    if (close != std::string::npos) out += '"';
    i = close == std::string::npos ? message.size() : close + 1;
  }
  if (out.size() <= kLongestLine) return out;
  // Unquoted text this long is rare; the start says where, the end what.
  size_t head = kLongestLine / 2;
  while (head > 0 && isContinuation(out[head])) --head;
  size_t tail = out.size() - kLongestLine / 4;
  while (tail < out.size() && isContinuation(out[tail])) ++tail;
  return out.substr(0, head) + " ... " + out.substr(tail);
}

}  // namespace zvhost
