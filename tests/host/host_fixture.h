// Shared set-up of the host tests: the test plug-in loaded as a host loads
// a library, its descriptions, and a reader for the log its modules keep.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/descriptions.h"
#include "host/engine.h"
#include "host/library_loader.h"

namespace zvhost::testing {

// A fresh folder in the temporary directory, private to this process and
// name, so that parallel test runs never share files.
inline std::filesystem::path scratchFolder(const std::string& name) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

class TestPlugin {
 public:
  static TestPlugin& get() {
    static TestPlugin plugin;
    return plugin;
  }
  IMpFactory* factory() const { return factory_; }
  MpGuiTimerTickFunction tick() const {
    return reinterpret_cast<MpGuiTimerTickFunction>(loader_.symbol(MP_GUI_TIMER_TICK_NAME));
  }
  MpGuiTimerPeriodFunction period() const {
    return reinterpret_cast<MpGuiTimerPeriodFunction>(loader_.symbol(MP_GUI_TIMER_PERIOD_NAME));
  }
  const DescriptionSet& descriptions() const { return descriptions_; }
  const ModuleDescription& module(const std::string& id) const {
    const ModuleDescription* d = descriptions_.find(id);
    if (d == nullptr) throw std::runtime_error("no test description " + id);
    return *d;
  }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    std::istringstream in(logFunction_());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Log lines that begin with a prefix.
  std::vector<std::string> log(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (auto& line : log())
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }
  void clearLog() const { clearFunction_(); }

 private:
  TestPlugin() : loader_(ZV_TEST_PLUGIN) {
    factory_ = loader_.factory();
    logFunction_ = reinterpret_cast<const char* (*)()>(loader_.symbol("ZvTestLog"));
    clearFunction_ = reinterpret_cast<void (*)()>(loader_.symbol("ZvTestClearLog"));
    descriptions_.loadFolder(ZV_TEST_DESCRIPTIONS);
    if (factory_ == nullptr || logFunction_ == nullptr || clearFunction_ == nullptr)
      throw std::runtime_error("test plug-in not loadable: " + loader_.error());
  }
  LibraryLoader loader_;
  IMpFactory* factory_ = nullptr;
  const char* (*logFunction_)() = nullptr;
  void (*clearFunction_)() = nullptr;
  DescriptionSet descriptions_;
};

// An engine over the test plug-in, with the log cleared.
inline std::unique_ptr<Engine> makeEngine(int32_t blockSize = 16, FileResolver files = {}) {
  TestPlugin::get().clearLog();
  EngineSettings settings;
  settings.sampleRate = 48000.0f;
  settings.blockSize = blockSize;
  return std::make_unique<Engine>(TestPlugin::get().factory(), settings, std::move(files), TestPlugin::get().tick(),
                                  TestPlugin::get().period());
}

inline int add(Engine& engine, const std::string& id, const std::string& label, bool gui = false,
               int group = Engine::kPatchGroup) {
  return engine.addModule(TestPlugin::get().module(id), gui, label, group);
}

// The zvhost program, run with the real library; its exit status and what
// it printed on either stream.
struct HostRun {
  int status;
  std::string output;
};

inline HostRun runHost(const std::string& arguments) {
  std::string command = std::string(ZV_HOST_PROGRAM) + " " + arguments + " 2>&1";
  HostRun run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 512> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) run.output += buffer.data();
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How bright a render is: the mean size of the sample-to-sample step
// against the mean size of the samples, which rises with the cutoff.
inline double brightness(const std::string& wav) {
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1.0;
  std::vector<float> samples(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  double steps = 0.0;
  double sizes = 0.0;
  for (size_t i = static_cast<size_t>(info.channels); i < samples.size(); i += static_cast<size_t>(info.channels)) {
    steps += std::fabs(samples[i] - samples[i - static_cast<size_t>(info.channels)]);
    sizes += std::fabs(samples[i]);
  }
  return sizes > 0.0 ? steps / sizes : -1.0;
}

// A float pin's value as the engine holds it; -999 for none.
inline float asFloat(const RawValue* raw) {
  float f = -999.0f;
  if (raw != nullptr && raw->size() == 4) std::memcpy(&f, raw->data(), 4);
  return f;
}

}  // namespace zvhost::testing
