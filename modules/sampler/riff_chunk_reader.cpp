#include "modules/sampler/riff_chunk_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <share.h>
#endif

namespace zv::sampler {

std::FILE* openFileForReading(const MpString& fileName) {
  if (fileName.empty() || fileName.find(MpChar(0)) != MpString::npos) return nullptr;
#ifdef _WIN32
  return _wfsopen(fileName.c_str(), L"rb", _SH_DENYNO);
#else
  return std::fopen(toUtf8(fileName).c_str(), "rb");
#endif
}

bool fileCanBeOpened(const MpString& fileName) {
  std::FILE* f = openFileForReading(fileName);
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

namespace {

uint32_t le32(const uint8_t* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

constexpr uint32_t kRiffId = fourCc("RIFF");
constexpr uint32_t kListId = fourCc("LIST");

}  // namespace

void RiffChunkReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  memory_ = nullptr;
  size_ = 0;
}

uint32_t RiffChunkReader::open(const MpString& fileName) {
  close();
  file_ = openFileForReading(fileName);
  if (file_ == nullptr) return 0;
  // Positions are kept below 2 GiB so that 32-bit seeks are exact.
  if (std::fseek(file_, 0, SEEK_END) != 0) {
    close();
    return 0;
  }
  long end = std::ftell(file_);
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  return start();
}

uint32_t RiffChunkReader::openMemory(const uint8_t* bytes, size_t size) {
  close();
  if (bytes == nullptr) return 0;
  memory_ = bytes;
  size_ = size;
  return start();
}

uint32_t RiffChunkReader::start() {
  formType_ = 0;
  uint8_t header[12];
  if (!readAt(0, header, 12) || le32(header) != kRiffId) {
    close();
    return 0;
  }
  formEnd_ = std::min<uint64_t>(8 + static_cast<uint64_t>(le32(header + 4)), size_);
  formType_ = le32(header + 8);
  return formType_;
}

bool RiffChunkReader::readAt(uint64_t position, void* destination, uint32_t bytes) {
  if (position > size_ || bytes > size_ - position) return false;
  if (memory_ != nullptr) {
    std::memcpy(destination, memory_ + position, bytes);
    return true;
  }
  if (file_ == nullptr || position > 0x7FFFFFFFu) return false;
  if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) return false;
  return std::fread(destination, 1, bytes, file_) == bytes;
}

bool RiffChunkReader::read() {
  if (file_ == nullptr && memory_ == nullptr) return false;
  struct Level {
    uint32_t listType;
    uint64_t next;  // where the next child header starts
    uint64_t end;   // clamped end of this list's data
  };
  Level stack[kMaxDepth];
  int32_t depth = 0;
  stack[0] = {formType_, 12, formEnd_};
  int32_t chunks = 0;

  while (chunks < kMaxChunks) {
    Level& top = stack[depth];
    uint8_t header[8];
    if (top.next + 8 > top.end || !readAt(top.next, header, 8)) {
      if (depth == 0) break;
      --depth;  // the parent's position already lies past this list
      continue;
    }
    ++chunks;
    const uint32_t id = le32(header);
    const uint32_t declared = le32(header + 4);
    const uint64_t dataStart = top.next + 8;
    const uint64_t dataEnd = std::min(dataStart + declared, top.end);
    // Step past the chunk and its pad byte; a header always moves us on.
    top.next = std::min(dataStart + declared + (declared & 1u), top.end);
    if (top.next < dataStart) top.next = dataStart;

    const uint64_t available = dataEnd - dataStart;
    if (id == kListId) {
      uint8_t type[4];
      if (available < 4 || !readAt(dataStart, type, 4)) continue;
      if (depth + 1 >= kMaxDepth) continue;  // too deep: skipped whole
      stack[depth + 1] = {le32(type), dataStart + 4, dataEnd};
      ++depth;
      continue;
    }
    for (auto r = requests_.rbegin(); r != requests_.rend(); ++r) {
      if (r->listType != top.listType || r->chunkId != id) continue;
      const uint32_t recordSize = r->recordSize > 0 ? r->recordSize : 1;
      if (available > kMaxChunkBytes) break;  // refused, not allocated
      if (r->found != nullptr) *r->found = true;
      if (r->count != nullptr) *r->count = static_cast<uint32_t>(available / recordSize);
      if (r->offset != nullptr) *r->offset = static_cast<int64_t>(dataStart);
      if (r->samples != nullptr) {
        const size_t count = static_cast<size_t>(available / 2);
        const size_t pad = static_cast<size_t>(r->padSamples > 0 ? r->padSamples : 0);
        try {
          r->samples->assign(count + 2 * pad, 0);
        } catch (const std::bad_alloc&) {
          r->samples->clear();
          if (r->found != nullptr) *r->found = false;
          if (r->count != nullptr) *r->count = 0;
          break;
        }
        if (count > 0 && !readAt(dataStart, r->samples->data() + pad, static_cast<uint32_t>(count * 2))) {
          r->samples->clear();
          if (r->count != nullptr) *r->count = 0;
        }
      } else if (r->data != nullptr) {
        try {
          r->data->assign(static_cast<size_t>(available), 0);
        } catch (const std::bad_alloc&) {
          r->data->clear();
          if (r->found != nullptr) *r->found = false;
          if (r->count != nullptr) *r->count = 0;
          break;
        }
        if (available > 0 && !readAt(dataStart, r->data->data(), static_cast<uint32_t>(available))) {
          r->data->clear();
          if (r->count != nullptr) *r->count = 0;
        }
      }
      break;
    }
  }
  close();
  return true;
}

}  // namespace zv::sampler
