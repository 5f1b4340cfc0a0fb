// Services every module instance shares: named memory blocks and file-name
// resolution.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/interfaces.h"
#include "host/text.h"

namespace zvhost {

// One zeroed block per (name, sample rate), alive while any user holds it.
class NamedMemory {
 public:
  // Returns the block or null. needInitialise is true for the first user
  // only. A later request for more values than the block holds is refused:
  // growing it would move it under its earlier users.
  float* open(const WideString& name, float sampleRate, int32_t size, const void* user, bool& needInitialise);
  // Drops every block held by a user; blocks nobody holds are freed.
  void releaseUser(const void* user);

  size_t blockCount() const { return blocks_.size(); }

 private:
  struct Block {
    std::unique_ptr<float[]> data;
    int32_t size = 0;
    std::vector<const void*> users;
  };
  std::map<std::pair<WideString, float>, Block> blocks_;
};

// What became of a name a module asked for.
struct FileResolution {
  std::string name;                // as asked, in UTF-8
  std::string path;                // the answer
  bool found = false;              // the answer exists
  std::vector<std::string> tried;  // folders looked in, in order (none for an absolute name)
};

// Resolves the file names modules ask for: absolute names stay as they are;
// relative ones are tried under the patch's folder, then under each extra
// root in order; when none exists the name under the patch folder is given.
class FileResolver {
 public:
  FileResolver() = default;
  FileResolver(std::string patchFolder, std::vector<std::string> roots)
      : patchFolder_(std::move(patchFolder)), roots_(std::move(roots)) {}

  std::string resolve(const std::string& fileName) const { return resolveFully(fileName).path; }
  FileResolution resolveFully(const std::string& fileName) const;
  // Writes the resolved name, nul-terminated, into capacity code units.
  // A name that does not fit is not truncated (a cut path would name another
  // file): the output becomes empty and the result is MP_FAIL. What became
  // of the name goes to resolution when given.
  int32_t resolveInto(const MpChar* fileName, int32_t capacity, MpChar* out,
                      FileResolution* resolution = nullptr) const;

 private:
  std::string patchFolder_;
  std::vector<std::string> roots_;
};

}  // namespace zvhost
