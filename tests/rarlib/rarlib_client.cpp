#include "rarlib/rarlib_client.h"

#include <dlfcn.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace rartest {

namespace {

struct Context {
  const Request* request;
  Run* run;
  Item* item = nullptr;
};

int dataCallback(void* user, const unsigned char* block, int size) {
  auto* c = static_cast<Context*>(user);
  if (block && c->item) {
    c->item->dataSize += static_cast<std::uint64_t>(size);
    c->item->dataCrc = static_cast<std::uint32_t>(::crc32(c->item->dataCrc, block, static_cast<uInt>(size)));
  }
  if (c->request->onData) return c->request->onData(c->item ? c->item->name : "", size);
  return 1;
}

int volumeCallback(void* user, char* name, int mode) {
  auto* c = static_cast<Context*>(user);
  c->run->volumes.push_back(std::to_string(mode) + " " + std::filesystem::path(name).filename().string());
  if (c->request->onVolume) return c->request->onVolume(name, mode);
  return 1;
}

}  // namespace

std::string samples() { return KV_RAR_SAMPLES; }

RarLib::RarLib() {
  const char* bin = std::getenv("KV_BIN");
  std::string dir = bin && *bin ? bin : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  handle_ = ::dlopen((dir + "/libkvrar.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) return;
  open_ = reinterpret_cast<RAROpenArchiveProc>(::dlsym(handle_, "RAROpenArchive"));
  close_ = reinterpret_cast<RARCloseArchiveProc>(::dlsym(handle_, "RARCloseArchive"));
  read_ = reinterpret_cast<RARReadHeaderProc>(::dlsym(handle_, "RARReadHeader"));
  process_ = reinterpret_cast<RARProcessFileProc>(::dlsym(handle_, "RARProcessFile"));
  setVolume_ = reinterpret_cast<RARSetChangeVolProcProc>(::dlsym(handle_, "RARSetChangeVolProc"));
  setData_ = reinterpret_cast<RARSetProcessDataProcProc>(::dlsym(handle_, "RARSetProcessDataProc"));
  setPassword_ = reinterpret_cast<RARSetPasswordProc>(::dlsym(handle_, "RARSetPassword"));
  if (!open_ || !close_ || !read_ || !process_ || !setVolume_ || !setData_ || !setPassword_) open_ = nullptr;
}

RarLib::~RarLib() {
  if (handle_) ::dlclose(handle_);
}

Run RarLib::run(const Request& request) {
  Run run;
  char comment[65536];
  RAROpenArchiveData data{};
  data.ArcName = request.archive.c_str();
  data.OpenMode = request.operation == RAR_SKIP ? RAR_OM_LIST : RAR_OM_EXTRACT;
  data.CmtBuf = comment;
  data.CmtBufSize = sizeof comment;
  data.Options = request.options;
  void* arc = open_(&data);
  run.open = static_cast<int>(data.OpenResult);
  if (data.CmtState == RAR_CMT_READ) run.comment.assign(comment, data.CmtSize ? data.CmtSize - 1 : 0);
  if (run.open != RAR_SUCCESS) {
    close_(arc);
    return run;
  }
  Context context{&request, &run};
  setVolume_(arc, &volumeCallback, &context);
  setData_(arc, &dataCallback, &context);
  if (!request.password.empty()) setPassword_(arc, request.password.c_str());
  RARHeaderData h{};
  int r;
  while ((r = read_(arc, &h)) == RAR_SUCCESS) {
    Item& item = run.items.emplace_back();
    item.name = h.FileName;
    item.flags = h.Flags;
    item.packed = h.PackSize | (static_cast<std::uint64_t>(h.PackSizeHigh) << 32);
    item.size = h.UnpSize | (static_cast<std::uint64_t>(h.UnpSizeHigh) << 32);
    item.storedCrc = h.FileCRC;
    item.fileTime = h.FileTime;
    item.link = h.LinkTarget;
    context.item = &item;
    const char* folder = request.operation == RAR_EXTRACT ? request.folder.c_str() : nullptr;
    item.result = process_(arc, request.operation, folder, nullptr);
    context.item = nullptr;
  }
  run.end = r;
  close_(arc);
  return run;
}

}  // namespace rartest
