// The compressor and extractor libraries as loaded in this process.
//
// Each library is loaded at most once per process; its handle and entry points
// are shared by every TZipEngine (an engine that finds a library loaded uses it
// and leaves it loaded). Used from the user-interface thread only.
#pragma once

#include <string>

#include "platform/dynlib.h"
#include "zipengine/ziplib_abi.h"

enum class ZipLibRole : int { Zip, Unzip };

struct ZipLibrary {
  platform::DynLib handle;
  ZipLibExecProc exec = nullptr;
  ZipLibVersionProc version = nullptr;

  bool loaded() const { return exec != nullptr && version != nullptr; }
  void unload() {
    exec = nullptr;
    version = nullptr;
    handle.unload();
  }
};

// The process-wide slot of a library.
ZipLibrary& zipLibrary(ZipLibRole role);

// The library's file name on this platform ("libkvzip.so", "libkvunzip.so").
const char* zipLibraryFile(ZipLibRole role);

// Where to load the library from: dllDirectory + "/" + file when that file
// exists; with dllDirectory empty, the running program's own folder when the file
// lies there; else the bare file name (the system's library search).
std::string zipLibraryPath(ZipLibRole role, const std::string& dllDirectory);
