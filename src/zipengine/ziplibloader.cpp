// Loading the compressor and extractor at run time, and the version queries.
#include "zipengine/ziplibloader.h"

#include "platform/paths.h"
#include "zipengine/zipengine.h"

ZipLibrary& zipLibrary(ZipLibRole role) {
  static ZipLibrary zip, unzip;
  return role == ZipLibRole::Zip ? zip : unzip;
}

const char* zipLibraryFile(ZipLibRole role) { return role == ZipLibRole::Zip ? "libkvzip.so" : "libkvunzip.so"; }

std::string zipLibraryPath(ZipLibRole role, const std::string& dllDirectory) {
  const std::string file = zipLibraryFile(role);
  if (!dllDirectory.empty()) {
    std::string path = dllDirectory + "/" + file;
    if (platform::fileExists(path)) return path;
  } else if (std::string folder = platform::folderOf(platform::executablePath()); !folder.empty()) {
    // The build and the installation put the libraries beside the program; the
    // system's search would not look there.
    std::string path = folder + "/" + file;
    if (platform::fileExists(path)) return path;
  }
  return file;
}

bool TZipEngine::LoadLib(ZipLibRole role, bool& loadedHere) {
  loadedHere = false;
  ZipLibrary& lib = zipLibrary(role);
  if (lib.loaded()) return true;
  const bool zip = role == ZipLibRole::Zip;
  if (!lib.handle.load(zipLibraryPath(role, DLLDirectory_))) {
    ShowZipMessage(zip ? zipmsg::kZipLibNotFound : zipmsg::kUnzipLibNotFound);
    return false;
  }
  if (Trace) ShowZipMessage(zip ? zipmsg::kZipLibLoaded : zipmsg::kUnzipLibLoaded);
  lib.exec = reinterpret_cast<ZipLibExecProc>(lib.handle.symbol(zip ? "ZipLibExec" : "UnzLibExec"));
  if (!lib.exec) {
    lib.unload();
    ShowZipMessage(zip ? zipmsg::kZipExecNotFound : zipmsg::kUnzipExecNotFound);
    return false;
  }
  lib.version = reinterpret_cast<ZipLibVersionProc>(lib.handle.symbol(zip ? "GetZipLibVersion" : "GetUnzLibVersion"));
  if (!lib.version) {
    lib.unload();
    ShowZipMessage(zip ? zipmsg::kZipVersionNotFound : zipmsg::kUnzipVersionNotFound);
    return false;
  }
  loadedHere = true;
  return true;
}

void TZipEngine::UnloadLib(ZipLibRole role) { zipLibrary(role).unload(); }

int TZipEngine::LibVersion(ZipLibRole role) {
  bool loadedHere = false;
  if (!LoadLib(role, loadedHere)) return 0;
  int version = zipLibrary(role).version();
  if (loadedHere) UnloadLib(role);
  return version;
}

int TZipEngine::ZipVersion() { return LibVersion(ZipLibRole::Zip); }
int TZipEngine::UnzipVersion() { return LibVersion(ZipLibRole::Unzip); }
