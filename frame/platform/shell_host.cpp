// Without the Windows shell: "open" and "edit" hand the path to xdg-open,
// started directly with an argument vector; other verbs have no equivalent.
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "frame/platform/shell.h"

extern char** environ;

namespace {

// Children started earlier; collected once they have ended, so that none
// stays behind as a zombie for long and the GUI thread never waits.
std::vector<pid_t>& children() {
  static std::vector<pid_t> started;
  return started;
}

void collectEnded() {
  auto& started = children();
  for (size_t i = 0; i < started.size();) {
    int status = 0;
    if (waitpid(started[i], &status, WNOHANG) == 0) {
      ++i;
    } else {
      started.erase(started.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace

bool mpVerbOpens(const MpString& verb) { return verb == MP_TEXT("open") || verb == MP_TEXT("edit"); }

void platformShellExecute(const MpString& verb, const MpString& path) {
  if (!mpVerbOpens(verb)) return;
  collectEnded();
  std::string program = "xdg-open";
  std::string file = toUtf8(path);
  char* arguments[] = {program.data(), file.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, program.c_str(), nullptr, nullptr, arguments, environ) == 0) children().push_back(child);
}
