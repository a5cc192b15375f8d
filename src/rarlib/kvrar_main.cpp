// The exported entry points of libkvrar.so. Each one catches what the layers
// below may throw (memory exhaustion), so nothing crosses into the caller.
#include <new>

#include "rarlib/kvrar.h"
#include "rarlib/rararchive.h"

using rarlib::RarArchive;

namespace {

RarArchive* arc(void* handle) { return static_cast<RarArchive*>(handle); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* RAROpenArchive(RAROpenArchiveData* data) {
  if (!data) return nullptr;
  try {
    auto* a = new RarArchive();
    a->open(*data);
    return a;  // also after a failed open: the caller closes it
  } catch (...) {
    data->OpenResult = RAR_NO_MEMORY;
    return nullptr;
  }
}

__attribute__((visibility("default"))) int RARCloseArchive(void* handle) {
  delete arc(handle);
  return RAR_SUCCESS;
}

__attribute__((visibility("default"))) int RARReadHeader(void* handle, RARHeaderData* header) {
  if (!handle || !header) return RAR_BAD_PARAMS;
  try {
    return arc(handle)->readHeader(*header);
  } catch (...) { return RAR_NO_MEMORY; }
}

__attribute__((visibility("default"))) int RARProcessFile(void* handle, int operation, const char* folder,
                                                          const char* name) {
  if (!handle) return RAR_BAD_PARAMS;
  try {
    return arc(handle)->processFile(operation, folder, name);
  } catch (...) { return RAR_NO_MEMORY; }
}

__attribute__((visibility("default"))) void RARSetChangeVolProc(void* handle, RarChangeVolProc proc, void* user) {
  if (handle) arc(handle)->setVolumeProc(proc, user);
}

__attribute__((visibility("default"))) void RARSetProcessDataProc(void* handle, RarProcessDataProc proc, void* user) {
  if (handle) arc(handle)->setDataProc(proc, user);
}

__attribute__((visibility("default"))) void RARSetPassword(void* handle, const char* password) {
  if (!handle) return;
  try {
    arc(handle)->setPassword(password);
  } catch (...) {}
}

}  // extern "C"
