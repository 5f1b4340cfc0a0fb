// Banks the sampler tests play, and temporary files to hold them.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "frame/wide_text.h"
#include "tools/sf2_generator/sf2_writer.h"

namespace zv::sampler::test {

inline MpString widePath(const std::filesystem::path& p) {
#ifdef _WIN32
  return p.wstring();
#else
  return p.u16string();
#endif
}

// A file in the temporary folder, unique per process and test, removed
// when the test ends.
class TempFile {
 public:
  TempFile(const std::string& extension, const sf2::Bytes& bytes) {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = std::string("zvsf_") + (info != nullptr ? info->name() : "x") + "_" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007) + "_" +
                       std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / (stem + extension);
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  MpString wide() const { return widePath(path_); }
  MpString folder() const { return widePath(path_.parent_path()) + MpString(1, MpChar('/')); }
  MpString fileName() const { return widePath(path_.filename()); }

 private:
  std::filesystem::path path_;
};

inline std::vector<int16_t> ramp(int n, int step, int first = 0) {
  std::vector<int16_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>(first + i * step);
  return v;
}

enum Samples { RAMP, RIGHT, LEFT, ROM, FULL_SCALE };
enum Instruments { INST_RAMP, INST_LEFT_ONLY, INST_RIGHT_ONLY, INST_ROM, INST_FULL };

// Sample RAMP holds 0, 10, 20, ... (1000 points, loop 100..200, root 69).
// The stereo pair holds constants: right 1000, left -2000.
inline sf2::Bank standardBank() {
  using namespace sf2;
  Bank b;
  Sample rampSample{"ramp", test::ramp(1000, 10)};
  rampSample.loopStart = 100;
  rampSample.loopEnd = 200;
  rampSample.rootKey = 69;
  b.samples.push_back(rampSample);
  Sample right{"right", std::vector<int16_t>(500, 1000)};
  right.rootKey = 69;
  right.type = 2;
  right.link = LEFT;
  b.samples.push_back(right);
  Sample left{"left", std::vector<int16_t>(500, -2000)};
  left.rootKey = 69;
  left.type = 4;
  left.link = RIGHT;
  b.samples.push_back(left);
  Sample rom{"rom", std::vector<int16_t>(100, 5000)};
  rom.type = 0x8001;
  b.samples.push_back(rom);
  Sample full{"full", std::vector<int16_t>(200, 32767)};
  full.rootKey = 69;
  b.samples.push_back(full);

  // A global zone (no sample) supplies defaults; the last zone ends with a
  // key range, not its sample, so it never sounds.
  b.instruments.push_back({"Ramp",
                           {{{gen(51, 2), gen(17, 100)}},
                            {{keyRange(0, 127), sampleId(RAMP)}},
                            {{keyRange(48, 72), gen(17, -300), sampleId(RAMP)}},
                            {{sampleId(RAMP), keyRange(0, 127)}}}});
  b.instruments.push_back({"LeftOnly", {{{sampleId(LEFT)}}}});
  b.instruments.push_back({"RightOnly", {{{sampleId(RIGHT)}}}});
  b.instruments.push_back({"Rom", {Zone{{sampleId(ROM)}}, Zone{{sampleId(RAMP)}}}});
  b.instruments.push_back({"Full", {{{sampleId(FULL_SCALE)}}}});

  b.presets.push_back({"Ramp", 0, 0, {{{keyRange(36, 60), instrumentId(INST_RAMP)}}}});
  b.presets.push_back({"Left", 1, 0, {{{instrumentId(INST_LEFT_ONLY)}}}});
  b.presets.push_back({"Right", 2, 0, {{{instrumentId(INST_RIGHT_ONLY)}}}});
  b.presets.push_back({"Rom", 3, 0, {{{instrumentId(INST_ROM)}}}});
  b.presets.push_back({"Full", 4, 0, {{{instrumentId(INST_FULL)}}}});
  b.presets.push_back({"Kit", 0, 128, {{{velocityRange(0, 63), instrumentId(INST_FULL)}}}});
  return b;
}

}  // namespace zv::sampler::test
