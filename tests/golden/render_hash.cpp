// zv_render_hash: renders a patch through the reference host's engine, with
// the library loaded at run time as zvhost loads it, and compares a hash of
// the sample data (or of files) with the stored goldens. Built for Linux and
// for Windows, where it drives the DLL: both must give the same numbers.
//
//   zv_render_hash --goldens FILE --name NAME --library LIB --descriptions DIR
//                  [--files DIR]... [--midi SONG.mid] [--seconds S] [--preset NAME] PATCH.json
//   zv_render_hash --goldens FILE --name NAME --wav OUT.wav    (zvhost's float WAV)
//   zv_render_hash --goldens FILE --file PATH...               (NAME is the file name)
//
// With ZV_UPDATE_GOLDENS=1 in the environment the goldens file is rewritten
// with the values found instead of being checked.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/descriptions.h"
#include "host/engine.h"
#include "host/library_loader.h"
#include "host/midi_file.h"
#include "host/patch.h"
#include "host/render.h"
#include "tests/golden/goldens.h"

namespace {

using namespace zvhost;

struct Options {
  std::string goldens;
  std::string name;
  std::string library;
  std::string descriptions;
  std::vector<std::string> files;
  std::string midi;
  std::string patch;
  std::string wav;
  std::vector<std::string> plainFiles;
  std::string preset;
  double seconds = -1.0;  // zvhost's default: the song and its tail
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--goldens")
      o.goldens = value();
    else if (a == "--name")
      o.name = value();
    else if (a == "--library")
      o.library = value();
    else if (a == "--descriptions")
      o.descriptions = value();
    else if (a == "--files")
      o.files.push_back(value());
    else if (a == "--midi")
      o.midi = value();
    else if (a == "--wav")
      o.wav = value();
    else if (a == "--file")
      o.plainFiles.push_back(value());
    else if (a == "--preset")
      o.preset = value();
    else if (a == "--seconds")
      o.seconds = std::stod(value());
    else if (!a.empty() && a[0] == '-')
      throw std::runtime_error("unknown option " + a);
    else
      o.patch = a;
  }
  if (o.goldens.empty()) throw std::runtime_error("--goldens is required");
  return o;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot read");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The same settings zvhost renders with by default.
uint64_t renderHash(const Options& o, int64_t& frames) {
  LibraryLoader loader(o.library);
  IMpFactory* factory = loader.factory();
  if (factory == nullptr) throw std::runtime_error("cannot load the library: " + loader.error());
  DescriptionSet descriptions;
  if (!descriptions.loadFolder(o.descriptions) || !descriptions.problems().empty())
    throw std::runtime_error(o.descriptions + ": descriptions missing or damaged");
  const PatchText patch = readPatchFile(o.patch);
  MidiSong song;
  if (!o.midi.empty()) song = readMidiFile(o.midi);
  EngineSettings settings;
  Engine engine(factory, settings, FileResolver(patch.folder, o.files),
                reinterpret_cast<MpGuiTimerTickFunction>(loader.symbol(MP_GUI_TIMER_TICK_NAME)));
  const BuiltPatch built = buildPatch(patch, engine, descriptions, 0, 0, {}, o.preset);
  zv::golden::SampleHash hash;
  RenderOptions options;
  options.seconds = o.seconds;
  const RenderStats stats =
      render(engine, built, o.midi.empty() ? nullptr : &song, options,
             [&](const float* left, const float* right, int32_t n) { hash.addStereo(left, right, n); });
  frames = stats.frames;
  return hash.value();
}

int check(const Options& o, const std::string& name, uint64_t found, const std::string& detail) {
  zv::golden::GoldenFile goldens(o.goldens);
  const char* update = std::getenv("ZV_UPDATE_GOLDENS");
  if (update != nullptr && std::strcmp(update, "1") == 0) {
    goldens.set(name, found);
    goldens.save();
    std::printf("%s: %s%s (written)\n", name.c_str(), zv::golden::toHex(found).c_str(), detail.c_str());
    return 0;
  }
  const auto expected = goldens.find(name);
  if (!expected) {
    std::printf("%s: %s%s, but the goldens have no entry for it\n", name.c_str(), zv::golden::toHex(found).c_str(),
                detail.c_str());
    return 1;
  }
  if (*expected != found) {
    std::printf("%s: %s%s, expected %s\n", name.c_str(), zv::golden::toHex(found).c_str(), detail.c_str(),
                zv::golden::toHex(*expected).c_str());
    return 1;
  }
  std::printf("%s: %s%s as expected\n", name.c_str(), zv::golden::toHex(found).c_str(), detail.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options o = parse(argc, argv);
    if (!o.plainFiles.empty()) {
      int failures = 0;
      for (const auto& path : o.plainFiles) {
        const auto bytes = readFile(path);
        const auto slash = path.find_last_of("/\\");
        failures += check(o, slash == std::string::npos ? path : path.substr(slash + 1),
                          zv::golden::fnv1a(bytes.data(), bytes.size()), "");
      }
      return failures == 0 ? 0 : 1;
    }
    if (o.name.empty()) throw std::runtime_error("--name is required");
    if (!o.wav.empty()) {
      const auto bytes = readFile(o.wav);
      const auto data = zv::golden::floatStereoWavData(bytes);
      if (!data) throw std::runtime_error(o.wav + ": not a 32-bit float stereo WAV file");
      return check(o, o.name, zv::golden::fnv1a(data->data, data->size), "");
    }
    if (o.patch.empty() || o.library.empty() || o.descriptions.empty())
      throw std::runtime_error("a render needs --library, --descriptions and a patch");
    int64_t frames = 0;
    const uint64_t found = renderHash(o, frames);
    return check(o, o.name, found, " over " + std::to_string(frames) + " frames");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zv_render_hash: %s\n", e.what());
    return 2;
  }
}
