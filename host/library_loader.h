// Loads the module library at run time and finds its entry points, as a
// host does: the library is never linked in.
#pragma once

#include <string>

#include "frame/interfaces.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

class LibraryLoader {
 public:
  explicit LibraryLoader(const std::string& path) {
#if defined(_WIN32)
    handle_ = LoadLibraryA(path.c_str());
    if (handle_ == nullptr) error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) error_ = dlerror();
#endif
  }
  ~LibraryLoader() {
#if defined(_WIN32)
    if (handle_ != nullptr) FreeLibrary(handle_);
#else
    if (handle_ != nullptr) dlclose(handle_);
#endif
  }
  LibraryLoader(const LibraryLoader&) = delete;
  LibraryLoader& operator=(const LibraryLoader&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }

  // The exported function of that name, or null.
  void* symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(handle_, name));
#else
    return dlsym(handle_, name);
#endif
  }

  // The library's factory through MP_GetFactory, or null.
  IMpFactory* factory() const {
    auto getFactory = reinterpret_cast<MpGetFactoryFunction>(symbol(MP_GET_FACTORY_NAME));
    void* factory = nullptr;
    if (getFactory == nullptr || getFactory(&factory) != MP_OK) return nullptr;
    return static_cast<IMpFactory*>(static_cast<IMpUnknown*>(factory));
  }

  // File name of the library on this platform.
  static const char* fileName() {
#if defined(_WIN32)
    return "zvmods.dll";
#else
    return "libzvmods.so";
#endif
  }

  // The library beside the running program (argv[0]'s folder).
  static std::string besideProgram(const std::string& argv0) {
    auto slash = argv0.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? std::string(".") : argv0.substr(0, slash);
    return folder + "/" + fileName();
  }

 private:
#if defined(_WIN32)
  HMODULE handle_ = nullptr;
#else
  void* handle_ = nullptr;
#endif
  std::string error_;
};
