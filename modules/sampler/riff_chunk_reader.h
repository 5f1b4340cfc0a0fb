// A portable walker over a RIFF file (or a RIFF image in memory) that copies
// chosen chunks, each named by the list that directly contains it and its
// own identifier, into owned buffers.
//
// Nothing the file declares is trusted: every chunk is clamped to its parent
// and to the file, nesting stops at kMaxDepth, the walk stops after
// kMaxChunks chunks, every step moves forward by at least a chunk header,
// and no buffer larger than the bytes actually present is allocated.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "frame/wide_text.h"

namespace zv::sampler {

constexpr uint32_t fourCc(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

struct ChunkRequest {
  const char* description = "";
  uint32_t listType = 0;
  uint32_t chunkId = 0;
  std::vector<uint8_t>* data = nullptr;  // null: the bytes are skipped
  uint32_t* count = nullptr;             // records present (remainder ignored)
  uint32_t recordSize = 1;
  int64_t* offset = nullptr;  // position of the chunk data
  bool* found = nullptr;
  // Instead of data: 16-bit little-endian samples, read straight into a
  // buffer that keeps padSamples zero samples before and after them, so
  // that the data is never held twice.
  std::vector<int16_t>* samples = nullptr;
  int32_t padSamples = 0;
};

// Opens a file named by wide text for binary reading without denying other
// readers or writers; null when it cannot be opened.
std::FILE* openFileForReading(const MpString& fileName);
bool fileCanBeOpened(const MpString& fileName);

class RiffChunkReader {
 public:
  static constexpr int32_t kMaxDepth = 30;  // descriptor stack, RIFF form included
  static constexpr int32_t kMaxChunks = 100000;
  static constexpr uint32_t kMaxChunkBytes = 512u << 20;

  RiffChunkReader() = default;
  RiffChunkReader(const RiffChunkReader&) = delete;
  RiffChunkReader& operator=(const RiffChunkReader&) = delete;
  ~RiffChunkReader() { close(); }

  // The form type of the file's RIFF chunk, or 0 when the file cannot be
  // opened or does not start with one.
  uint32_t open(const MpString& fileName);
  // The same over bytes the caller keeps alive until read() returns.
  uint32_t openMemory(const uint8_t* bytes, size_t size);

  void addRequest(const ChunkRequest& request) { requests_.push_back(request); }
  // Walks the whole file once, fills the matched requests and closes it.
  bool read();
  void close();

 private:
  uint32_t start();
  bool readAt(uint64_t position, void* destination, uint32_t bytes);

  std::FILE* file_ = nullptr;
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
  uint32_t formType_ = 0;
  uint64_t formEnd_ = 0;
  std::vector<ChunkRequest> requests_;
};

}  // namespace zv::sampler
