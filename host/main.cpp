// zvhost: loads the module library as a host does, renders patches driven
// by MIDI files to WAV, and lists and describes the library's modules.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/canvas.h"
#include "host/catalogue.h"
#include "host/descriptions.h"
#include "host/engine.h"
#include "host/install_layout.h"
#include "host/library_loader.h"
#include "host/limits.h"
#include "host/midi_file.h"
#include "host/parameters.h"
#include "host/patch.h"
#include "host/png_writer.h"
#include "host/render.h"
#include "host/scope_sheet.h"

namespace zvhost {

// What a finished render leaves to the system, visible outside this file so
// that the stores are kept and the leak checker finds the memory held.
struct LeftAtExit {
  void* engine = nullptr;
  void* library = nullptr;
};
extern LeftAtExit leftAtExit;
LeftAtExit leftAtExit;

}  // namespace zvhost

namespace {

using namespace zvhost;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage:\n"
    "  zvhost render PATCH.json [--midi FILE.mid] [-o OUT.wav] [--rate HZ] [--block N]\n"
    "                [--voices N] [--seconds S] [--tail S] [--bits 16|24|32] [--files DIR]...\n"
    "                [--set MODULE:PIN=VALUE]... [--set PARAMETER=VALUE]... [--preset NAME]\n"
    "                [--params-out FILE.json] [--scope MODULE=OUT.png]...\n"
    "                [--scope-size WxH] [--scope-every S] [--max-memory SIZE]\n"
    "  zvhost params PATCH.json [--preset NAME] [--set PARAMETER=VALUE]...\n"
    "  zvhost list\n"
    "  zvhost describe ID\n"
    "  zvhost --help\n"
    "\n"
    "common options:\n"
    "  --library PATH        the module library (default: beside zvhost, or in\n"
    "                        lib/zvmods/ of the installed layout)\n"
    "  --descriptions PATH   further module descriptions (a folder of .xml files, or\n"
    "                        one file), read before the shipped ones\n"
    "\n"
    "render:\n"
    "  -o OUT.wav            output file (default out.wav)\n"
    "  --rate HZ             sample rate, a whole number of Hz (default 48000)\n"
    "  --block N             block length in samples (default 64)\n"
    "  --voices N            voices for the patch's voice section, at most 256\n"
    "                        (default: the patch's)\n"
    "  --seconds S           render exactly S seconds\n"
    "  --tail S              seconds after the MIDI file's end (default 2)\n"
    "                        without --midi and --seconds, 4 seconds are rendered\n"
    "  --bits B              32 float (default), 24 or 16 PCM\n"
    "  --files DIR           where relative file names are looked for when they are\n"
    "                        not beside the patch (repeatable, tried in order;\n"
    "                        the bundled wavetables and SoundFonts come last)\n"
    "  --max-memory SIZE     refuse a patch that would take more memory, e.g. 512M\n"
    "                        or 4G (default: half the machine's memory)\n"
    "  --quiet               no progress line and no summary\n"
    "  --set MODULE:PIN=VALUE\n"
    "                        a pin's value, either side's, in place of the patch's\n"
    "                        (repeatable; a voice module's in every voice; a pin that\n"
    "                        both sides have is written MODULE:audio:PIN or MODULE:gui:PIN)\n"
    "  --set PARAMETER=VALUE a parameter's value (a name without ':' before the '='),\n"
    "                        in place of the patch's and the preset's\n"
    "  --preset NAME         the values of one of the patch's \"presets\"\n"
    "  --params-out FILE.json\n"
    "                        writes every parameter's value at the end of the render\n"
    "  --scope MODULE=OUT.png\n"
    "                        draws the GUI side of MODULE (a scope with \"side\": \"both\")\n"
    "                        at the end of the render into a PNG file (repeatable)\n"
    "  --scope-size WxH      the drawing's size in pixels (default 800x300)\n"
    "  --scope-every S       a frame every S seconds of rendered time as well, laid out\n"
    "                        in a contact sheet with the last one\n"
    "\n"
    "params: lists the patch's parameters (name, type, range, value, menu) and\n"
    "presets, with the values that --preset and --set give them\n";

static_assert(kMaxVoices == 256, "the usage text names the voice bound");

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string command;
  std::vector<std::string> positional;
  std::string library;
  std::vector<std::string> descriptions;
  std::string midi;
  std::string output = "out.wav";
  double rate = 48000.0;
  int64_t block = 64;
  int64_t voices = 0;
  double seconds = -1.0;
  double tail = 2.0;
  int64_t bits = 32;
  std::vector<std::string> files;
  uint64_t maxMemory = 0;  // 0: the default
  bool quiet = false;
  std::vector<std::string> settings;
  std::string preset;
  std::string paramsOut;
  std::vector<std::pair<std::string, std::string>> scopes;  // module, PNG file
  int32_t scopeWidth = 800;
  int32_t scopeHeight = 300;
  double scopeEvery = 0.0;
  InstallLayout layout;
};

double number(const std::string& option, const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != 0 || !(value == value)) throw UsageError(option + ": \"" + text + "\" is not a number");
  return value;
}

int64_t whole(const std::string& option, const char* text, int64_t low, int64_t high) {
  double value = number(option, text);
  if (value != static_cast<double>(static_cast<int64_t>(value)) || value < static_cast<double>(low) ||
      value > static_cast<double>(high))
    throw UsageError(option + ": expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  return static_cast<int64_t>(value);
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) throw UsageError(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      o.command = "help";
      return o;
    } else if (a == "--library") {
      o.library = value();
    } else if (a == "--descriptions") {
      o.descriptions.emplace_back(value());
    } else if (a == "--midi") {
      o.midi = value();
    } else if (a == "-o" || a == "--output") {
      o.output = value();
    } else if (a == "--rate") {
      // The WAV header carries whole rates only.
      o.rate = static_cast<double>(whole(a, value(), 1000, 768000));
    } else if (a == "--block") {
      o.block = whole(a, value(), 1, 8192);
    } else if (a == "--voices") {
      o.voices = whole(a, value(), 1, kMaxVoices);
    } else if (a == "--max-memory") {
      const char* text = value();
      auto bytes = parseBytes(text);
      if (!bytes) throw UsageError(a + ": \"" + text + "\" is not a size such as 512M or 4G");
      o.maxMemory = *bytes;
    } else if (a == "--seconds") {
      o.seconds = number(a, value());
      if (!(o.seconds >= 0.0)) throw UsageError("--seconds: expected 0 or more");
    } else if (a == "--tail") {
      o.tail = number(a, value());
      if (!(o.tail >= 0.0)) throw UsageError("--tail: expected 0 or more");
    } else if (a == "--bits") {
      o.bits = whole(a, value(), 16, 32);
      if (o.bits != 16 && o.bits != 24 && o.bits != 32) throw UsageError("--bits: expected 16, 24 or 32");
    } else if (a == "--files") {
      o.files.emplace_back(value());
    } else if (a == "--quiet" || a == "-q") {
      o.quiet = true;
    } else if (a == "--set") {
      o.settings.emplace_back(value());
    } else if (a == "--preset") {
      o.preset = value();
      if (o.preset.empty()) throw UsageError("--preset: expected a preset's name");
    } else if (a == "--params-out") {
      o.paramsOut = value();
    } else if (a == "--scope") {
      const std::string text = value();
      const auto equals = text.find('=');
      if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw UsageError("--scope: expected MODULE=OUT.png");
      o.scopes.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    } else if (a == "--scope-size") {
      const std::string text = value();
      const auto x = text.find('x');
      if (x == std::string::npos) throw UsageError("--scope-size: expected WxH, such as 800x300");
      o.scopeWidth = static_cast<int32_t>(whole(a, text.substr(0, x).c_str(), 16, 4096));
      o.scopeHeight = static_cast<int32_t>(whole(a, text.substr(x + 1).c_str(), 16, 4096));
    } else if (a == "--scope-every") {
      o.scopeEvery = number(a, value());
      if (!(o.scopeEvery > 0.0)) throw UsageError("--scope-every: expected seconds above 0");
    } else if (!a.empty() && a[0] == '-') {
      throw UsageError("unknown option " + a);
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

void warn(const std::string& text) { std::fprintf(stderr, "zvhost: warning: %s\n", oneLine(text).c_str()); }

DescriptionSet loadDescriptions(const Options& o) {
  namespace fs = std::filesystem;
  DescriptionSet set;
  for (const auto& path : o.descriptions) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
      set.loadFolder(path);
    } else if (fs::exists(status)) {
      set.loadFile(path);
    } else {
      warn("--descriptions " + path + ": no such file or folder");
    }
  }
  for (const auto& folder : o.layout.descriptions) set.loadFolder(folder);
  for (const auto& problem : set.problems()) warn(problem);
  return set;
}

struct Library {
  explicit Library(const Options& o) : loader(o.library.empty() ? o.layout.library : o.library) {
    factory = loader.factory();
    if (factory == nullptr)
      throw std::runtime_error(loader.loaded() ? "the library has no MP_GetFactory"
                                               : "cannot load the library: " + loader.error());
    tick = reinterpret_cast<MpGuiTimerTickFunction>(loader.symbol(MP_GUI_TIMER_TICK_NAME));
    period = reinterpret_cast<MpGuiTimerPeriodFunction>(loader.symbol(MP_GUI_TIMER_PERIOD_NAME));
  }
  LibraryLoader loader;
  IMpFactory* factory = nullptr;
  MpGuiTimerTickFunction tick = nullptr;
  MpGuiTimerPeriodFunction period = nullptr;
};

// "  MIDI in", "  MIDI out" or "  MIDI in/out" for a module with MIDI pins.
std::string midiSummary(const ModuleDescription& d) {
  bool in = false;
  bool out = false;
  for (const auto& p : d.audioPins)
    if (p.datatype == MP_DT_MIDI) (p.output ? out : in) = true;
  if (!in && !out) return "";
  return std::string("  MIDI ") + (in && out ? "in/out" : in ? "in" : "out");
}

// MIDI in capitals, as people write it; other datatypes as descriptions do.
std::string typeText(int32_t datatype) { return datatype == MP_DT_MIDI ? "MIDI" : datatypeName(datatype); }

int list(const Options& o) {
  Library library(o);
  DescriptionSet descriptions = loadDescriptions(o);
  std::vector<std::string> ids = knownIdentifiers();
  for (const auto& [id, d] : descriptions.all())
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  for (const auto& id : ids) {
    bool audio = factoryHasSide(library.factory, id, 0);
    bool gui = factoryHasSide(library.factory, id, 1);
    if (!audio && !gui) continue;
    const ModuleDescription* d = descriptions.find(id);
    std::printf("%-32s %-5s %-3s%s%s\n", id.c_str(), audio ? "audio" : "", gui ? "gui" : "",
                d != nullptr ? midiSummary(*d).c_str() : "", d != nullptr ? "" : "  (no description)");
  }
  return 0;
}

void printPins(const char* side, const std::vector<PinDescription>& pins) {
  if (pins.empty()) return;
  std::printf("  %s pins:\n", side);
  for (const auto& p : pins) {
    std::printf("    %3d  %-3s  %-6s  %s", p.id, p.output ? "out" : "in", typeText(p.datatype).c_str(), p.name.c_str());
    if (!p.defaultValue.empty()) std::printf("  (default %s)", p.defaultValue.c_str());
    if (!p.hostConnect.empty()) std::printf("  [host: %s]", p.hostConnect.c_str());
    if (p.parameterId >= 0)
      std::printf("  [parameter %d%s%s]", p.parameterId, p.parameterField.empty() ? "" : " ", p.parameterField.c_str());
    std::printf("\n");
  }
}

int describe(const Options& o) {
  if (o.positional.size() != 1) throw UsageError("describe takes one identifier");
  DescriptionSet descriptions = loadDescriptions(o);
  const ModuleDescription* d = descriptions.find(o.positional[0]);
  if (d == nullptr) {
    std::fprintf(stderr, "%s\n", oneLine("zvhost: no description names \"" + o.positional[0] + "\"").c_str());
    return kExitFailure;
  }
  std::printf("%s  \"%s\"  %s\n", d->id.c_str(), d->name.c_str(), d->category.c_str());
  printPins("audio", d->audioPins);
  printPins("GUI", d->guiPins);
  return 0;
}

struct Scope {
  int instance;
  std::string path;
  ScopeSheet sheet;
};

// Checked before anything is rendered: each named module draws.
std::vector<Scope> findScopes(const Options& o, const BuiltPatch& built, const Engine& engine, int64_t total) {
  std::vector<Scope> scopes;
  for (const auto& [module, path] : o.scopes) {
    auto found = built.modules.find(module);
    if (found == built.modules.end())
      throw UsageError("--scope: the patch's \"modules\" have none named \"" + module + "\"");
    const int gui = found->second.gui;
    if (gui < 0 || !engine.drawsGraphics(gui))
      throw UsageError("--scope: \"" + module + "\" has no GUI side that draws" +
                       (gui < 0 ? " (give it \"side\": \"both\")" : ""));
    try {
      scopes.push_back(
          {gui, path, ScopeSheet(o.scopeWidth, o.scopeHeight, o.scopeEvery, total, static_cast<float>(o.rate))});
    } catch (const ScopeSheetError& e) {
      throw UsageError(std::string("--scope-every: ") + e.what());
    }
  }
  return scopes;
}

void writeTextFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) throw std::runtime_error(path + ": cannot write: " + std::strerror(errno));
}

int paramsCommand(const Options& o) {
  if (o.positional.size() != 1) throw UsageError("params takes one patch file");
  Library library(o);
  DescriptionSet descriptions = loadDescriptions(o);
  PatchText patch = readPatchFile(o.positional[0]);
  EngineSettings settings;
  Engine engine(library.factory, settings, FileResolver(patch.folder, o.layout.assetFolders), library.tick,
                library.period);
  std::vector<PinSetting> pinSettings;
  for (const auto& text : o.settings) pinSettings.push_back({text});
  const uint64_t memoryLimit = o.maxMemory > 0 ? o.maxMemory : defaultMemoryLimit();
  BuiltPatch built =
      buildPatch(patch, engine, descriptions, static_cast<int32_t>(o.voices), memoryLimit, pinSettings, o.preset);
  std::fputs(listParameters(engine, built).c_str(), stdout);
  return 0;
}

int renderCommand(const Options& o) {
  if (o.positional.size() != 1) throw UsageError("render takes one patch file");
  // Held on the heap: once every output is written they are left for the
  // system to take back at exit (below).
  auto library = std::make_unique<Library>(o);
  DescriptionSet descriptions = loadDescriptions(o);
  PatchText patch = readPatchFile(o.positional[0]);
  MidiSong song;
  if (!o.midi.empty()) {
    try {
      song = readMidiFile(o.midi);
    } catch (const MidiError& e) {
      throw std::runtime_error(o.midi + ": " + e.what());
    }
  }
  EngineSettings settings;
  settings.sampleRate = static_cast<float>(o.rate);
  settings.blockSize = static_cast<int32_t>(o.block);
  for (const auto& folder : o.files) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
      warn("--files " + folder + (std::filesystem::exists(folder, error) ? ": not a folder" : ": no such folder"));
  }
  std::vector<std::string> roots = o.files;
  roots.insert(roots.end(), o.layout.assetFolders.begin(), o.layout.assetFolders.end());
  auto enginePointer = std::make_unique<Engine>(library->factory, settings, FileResolver(patch.folder, roots),
                                                library->tick, library->period);
  Engine& engine = *enginePointer;
  bool shown = false;  // a progress line is on screen
  engine.setWarningSink([&](const std::string& text) {
    if (shown) std::fprintf(stderr, "\r%60s\r", "");
    shown = false;
    warn(text);
  });
  std::vector<PinSetting> pinSettings;
  for (const auto& text : o.settings) pinSettings.push_back({text});
  const uint64_t memoryLimit = o.maxMemory > 0 ? o.maxMemory : defaultMemoryLimit();
  BuiltPatch built =
      buildPatch(patch, engine, descriptions, static_cast<int32_t>(o.voices), memoryLimit, pinSettings, o.preset);
  if (!o.paramsOut.empty() && built.parameters.empty())
    throw UsageError("--params-out: the patch has no \"parameters\"");
  RenderOptions options;
  options.seconds = o.seconds;
  options.tail = o.tail;
  const MidiSong* songPointer = o.midi.empty() ? nullptr : &song;
  // Refuses too long a render before any file is written.
  const int64_t total = renderLength(songPointer, options, settings.sampleRate);
  std::vector<Scope> scopes = findScopes(o, built, engine, total);
  engine.prepare();  // modules allocate here: a failure leaves no file behind
  WavWriter writer(o.output, static_cast<int32_t>(o.rate), 2, static_cast<int32_t>(o.bits));

  const bool terminal = !o.quiet && isatty(STDERR_FILENO);
  auto started = std::chrono::steady_clock::now();
  auto lastShown = started;
  auto progress = [&](int64_t done, int64_t total) {
    if (!terminal) return;
    auto now = std::chrono::steady_clock::now();
    if (now - started < std::chrono::seconds(1) || now - lastShown < std::chrono::milliseconds(200)) return;
    lastShown = now;
    shown = true;
    std::fprintf(stderr, "\rrendering %5.1f%%  %.1f / %.1f s", 100.0 * done / std::max<int64_t>(total, 1),
                 done / o.rate, total / o.rate);
    std::fflush(stderr);
  };
  int64_t done = 0;
  RenderStats stats = render(
      engine, built, songPointer, options,
      [&](const float* l, const float* r, int32_t frames) {
        writer.writeStereo(l, r, frames);
        done += frames;
        for (Scope& scope : scopes) scope.sheet.advance(engine, scope.instance, done);
      },
      progress);
  writer.close();
  if (!o.paramsOut.empty()) writeTextFile(o.paramsOut, parameterValuesJson(engine, built));
  for (Scope& scope : scopes) {
    scope.sheet.finish(engine, scope.instance);
    const Canvas& image = scope.sheet.image();
    writePng(scope.path, image.width(), image.height(), image.rgb());
  }
  if (shown) std::fprintf(stderr, "\r%60s\r", "");
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (stats.frames > 0 && stats.peak == 0.0f)
    std::fprintf(stderr, "zvhost: warning: the render is silent: every sample is 0%s\n",
                 engine.warnings().empty() ? "" : " (see the warnings above)");
  if (stats.nonFinite > 0)
    std::fprintf(stderr, "zvhost: warning: %lld samples were NaN or infinite and were written as 0\n",
                 static_cast<long long>(stats.nonFinite));
  if (!o.quiet) {
    double peakDb = stats.peak > 0.0f ? 20.0 * std::log10(stats.peak) : -INFINITY;
    std::printf("%s: %.2f s of audio in %.2f s (realtime x%.1f), peak %.3f (%.1f dBFS)\n", o.output.c_str(),
                stats.audioSeconds, wall, wall > 0.0 ? stats.audioSeconds / wall : 0.0, stats.peak, peakDb);
  }
  // Every file is written and closed. Releasing hundreds of modules one by
  // one, then unloading the library, would cost more than the rest of a
  // quiet render; the system takes the memory back at exit at once. Held
  // where the leak checker can still see them.
  leftAtExit = {enginePointer.release(), library.release()};
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options o = parse(argc, argv);
    o.layout = findInstallLayout(runningProgram(argv[0]), ZV_DESCRIPTIONS_DIR);
    if (o.command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (o.command == "render") return renderCommand(o);
    if (o.command == "list") return list(o);
    if (o.command == "params") return paramsCommand(o);
    if (o.command == "describe") return describe(o);
    throw UsageError(o.command.empty() ? "no command given" : "unknown command \"" + o.command + "\"");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "zvhost: %s\n%s", oneLine(e.what()).c_str(), kUsage);
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    std::fputs("zvhost: out of memory while building or rendering the patch\n", stderr);
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zvhost: %s\n", oneLine(e.what()).c_str());
    return kExitFailure;
  }
}
