#include "frame/platform/shell.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

// The platform's own launcher (shell_win32.cpp or shell_host.cpp).
void platformShellExecute(const MpString& verb, const MpString& path);

namespace {

MpShellLauncher& launcher() {
  static MpShellLauncher current;
  return current;
}

bool isSeparator(MpChar c) { return c == '/' || c == '\\'; }

bool isAsciiLetter(MpChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The path as the file system takes it, or nothing when the text cannot
// name a file here: outside Windows an unpaired surrogate has no UTF-8 form
// (std::filesystem's own conversion would throw out of the GUI call).
std::optional<std::filesystem::path> fsPath(const MpString& path) {
#if defined(_WIN32)
  return std::filesystem::path(path);
#else
  for (size_t i = 0; i < path.size(); ++i) {
    const auto unit = static_cast<uint16_t>(path[i]);
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    const bool paired =
        unit <= 0xDBFF && i + 1 < path.size() && (static_cast<uint16_t>(path[i + 1]) & 0xFC00) == 0xDC00;
    if (!paired) return std::nullopt;
    ++i;
  }
  return std::filesystem::path(toUtf8(path));
#endif
}

// The last name of a path in lower case, less the trailing dots and spaces
// that Windows drops when it opens a file ("run.bat." runs run.bat).
std::string lowerName(const MpString& path) {
  size_t end = path.size();
  while (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' ')) --end;
  size_t start = end;
  while (start > 0 && !isSeparator(path[start - 1])) --start;
  std::string name;
  for (size_t i = start; i < end; ++i) {
    const MpChar c = path[i];
    name.push_back(c < 0x80 ? static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) : '?');
  }
  return name;
}

// Types whose opening runs code.
constexpr std::string_view kProgramTypes[] = {
    // programs, shortcuts and add-ins
    ".exe", ".com", ".scr", ".pif", ".cpl", ".msc", ".jar", ".lnk", ".url", ".scf", ".xll", ".gadget", ".application",
    ".appref-ms", ".settingcontent-ms", ".xbap",
    // scripts, and help files that may carry script
    ".bat", ".cmd", ".vb", ".vbs", ".vbe", ".js", ".jse", ".ws", ".wsf", ".wsh", ".wsc", ".sct", ".hta", ".ps1",
    ".psm1", ".psd1", ".ps1xml", ".psc1", ".reg", ".inf", ".chm",
    // installers and packages
    ".msi", ".msp", ".mst", ".msix", ".msixbundle", ".appx", ".appxbundle", ".appinstaller", ".diagcab", ".ade",
    // elsewhere than Windows
    ".sh", ".run", ".appimage", ".desktop"};

}  // namespace

void mpShellExecute(const MpString& verb, const MpString& path) {
  if (launcher()) {
    launcher()(verb, path);
  } else {
    platformShellExecute(verb, path);
  }
}

MpShellLauncher mpSetShellLauncher(MpShellLauncher replacement) {
  return std::exchange(launcher(), std::move(replacement));
}

bool mpIsLocalFileOrFolder(const MpString& path) {
  if (path.empty() || path.find(MpChar(0)) != MpString::npos) return false;
  // \\host\share, //host/share, \\?\ and \\.\ device paths.
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) return false;
  // A colon only as a drive ("C:\"): anything else is a URL scheme or a stream.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != ':') continue;
    const bool drive = i == 1 && isAsciiLetter(path[0]) && path.size() > 2 && isSeparator(path[2]);
    if (!drive) return false;
  }
  const auto p = fsPath(path);
  if (!p || !p->is_absolute()) return false;
  std::error_code error;
  const auto status = std::filesystem::status(*p, error);
  if (error) return false;
  return std::filesystem::is_regular_file(status) || std::filesystem::is_directory(status);
}

bool mpIsProgram(const MpString& path) {
  const std::string name = lowerName(path);
  for (std::string_view type : kProgramTypes) {
    // A file named just ".bat" is a batch file too.
    if (name.size() >= type.size() && name.compare(name.size() - type.size(), type.size(), type) == 0) return true;
  }
  const auto p = fsPath(path);
  if (!p) return true;
  std::error_code error;
  const auto status = std::filesystem::status(*p, error);
  if (error || !std::filesystem::is_regular_file(status)) return false;
  using std::filesystem::perms;
  return (status.permissions() & (perms::owner_exec | perms::group_exec | perms::others_exec)) != perms::none;
}
