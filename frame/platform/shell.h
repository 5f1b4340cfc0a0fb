// Carrying out a shell verb ("open", "edit", ...) on a file or folder:
// ShellExecuteW on Windows; elsewhere "open" and "edit" start xdg-open with
// an argument vector (never through a shell) and other verbs do nothing.
// Tests put their own launcher in place, so that nothing is started.
#pragma once

#include <functional>

#include "frame/wide_text.h"

using MpShellLauncher = std::function<void(const MpString& verb, const MpString& path)>;

// Hands the request to the launcher in place.
void mpShellExecute(const MpString& verb, const MpString& path);
// Puts a launcher in place and returns the one it replaces; an empty one
// puts the platform's back.
MpShellLauncher mpSetShellLauncher(MpShellLauncher launcher);

// An absolute path of an existing file or folder on this machine: no URL,
// no network (\\host\share) or device path, no alternate stream.
bool mpIsLocalFileOrFolder(const MpString& path);
// A file that opening would run: a program, script, shortcut or installer
// by its name, or a file marked executable.
bool mpIsProgram(const MpString& path);
// Whether the verb opens its file here, and so would run a program: "open"
// everywhere, and "edit" where it is carried out by opening.
bool mpVerbOpens(const MpString& verb);
