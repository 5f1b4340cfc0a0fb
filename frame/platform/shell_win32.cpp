// windows.h first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

#include "frame/platform/shell.h"

void platformShellExecute(const MpString& verb, const MpString& path) {
  ShellExecuteW(nullptr, verb.c_str(), path.c_str(), L"", L"", SW_SHOWMAXIMIZED);
}

bool mpVerbOpens(const MpString& verb) { return verb == L"open"; }
