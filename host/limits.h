// The bounds zvhost keeps against hostile input: file sizes, voices and
// memory, and error lines that stay one line whatever text they echo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace zvhost {

// A patch is text naming modules: a few MB is more than any real one.
constexpr uint64_t kMaxPatchFileBytes = uint64_t{4} << 20;
constexpr uint64_t kMaxMidiFileBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxDescriptionFileBytes = uint64_t{4} << 20;
// Messages and tempo changes of a song: a long orchestral file holds a few
// hundred thousand, and each costs about a hundred bytes while it is read.
constexpr size_t kMaxMidiEvents = size_t{1} << 21;
// Every voice of a patch may sound at once; beyond this a render crawls.
constexpr int32_t kMaxVoices = 256;

// Why a file was not read, without its name (the caller adds it).
struct FileRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The whole of a regular file of at most maxBytes. Folders, devices and
// pipes are refused unopened, and a file is never read past maxBytes, even
// when it grows while being read. `what` names the file in messages
// ("patch file").
std::string readRegularFile(const std::string& path, uint64_t maxBytes, const std::string& what);

// "1.5 GiB", "640 KiB", "12 bytes".
std::string formatBytes(uint64_t bytes);
// "512M", "4G", "1.5GiB", "65536": binary units K, M, G, T, optionally
// followed by "B" or "iB". nullopt for anything else, zero, or more than
// 2^62 bytes.
std::optional<uint64_t> parseBytes(const std::string& text);

// The machine's memory, 0 when it cannot be learnt.
uint64_t physicalMemoryBytes();
// Half the machine's memory, or 2 GiB when that is unknown.
uint64_t defaultMemoryLimit();

// A message as one printable line: control characters become '?', a
// quoted text longer than longestQuote bytes is cut (at a character
// boundary, marked "..."), and the line is kept under a few kB.
std::string oneLine(const std::string& message, size_t longestQuote = 80);

}  // namespace zvhost
