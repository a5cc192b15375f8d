#include "ziplibs/ziplib_client.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace ziptest {

namespace {

// Makes folder the current folder for its lifetime ("" leaves it).
class InFolder {
 public:
  explicit InFolder(const std::string& folder) {
    if (folder.empty()) return;
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) previous_ = buf;
    if (::chdir(folder.c_str()) != 0) throw std::runtime_error("chdir " + folder);
  }
  ~InFolder() {
    if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) std::abort();
  }

 private:
  std::string previous_;
};

constexpr std::uint32_t kOn = ZIPLIB_ON;
std::uint32_t flag(bool on) { return on ? kOn : 0; }

// Zero-filled block memory, as the engine allocates it.
template <typename T>
std::unique_ptr<T, void (*)(void*)> zeroBlock() {
  return {static_cast<T*>(std::calloc(1, sizeof(T))), std::free};
}

}  // namespace

std::string binPath(const std::string& file) {
  const char* bin = std::getenv("KV_BIN");
  return std::string(bin ? bin : ".") + "/" + file;
}

ZipLibClient::ZipLibClient(bool faulty) {
  std::string zipFile = binPath(faulty ? "libkvzip_fault.so" : "libkvzip.so");
  std::string unzFile = binPath(faulty ? "libkvunzip_fault.so" : "libkvunzip.so");
  zipHandle_ = ::dlopen(zipFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  unzHandle_ = ::dlopen(unzFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!zipHandle_ || !unzHandle_) {
    const char* e = ::dlerror();
    error_ = e ? e : "dlopen failed";
    return;
  }
  zipExec_ = reinterpret_cast<ZipLibExecProc>(::dlsym(zipHandle_, "ZipLibExec"));
  zipVersion_ = reinterpret_cast<ZipLibVersionProc>(::dlsym(zipHandle_, "GetZipLibVersion"));
  unzExec_ = reinterpret_cast<ZipLibExecProc>(::dlsym(unzHandle_, "UnzLibExec"));
  unzVersion_ = reinterpret_cast<ZipLibVersionProc>(::dlsym(unzHandle_, "GetUnzLibVersion"));
  if (faulty) {
    zipFault_ = reinterpret_cast<void (*)(int, long long, int)>(::dlsym(zipHandle_, "KvZipLibTestFault"));
    unzFault_ = reinterpret_cast<void (*)(int, long long, int)>(::dlsym(unzHandle_, "KvZipLibTestFault"));
  }
}

ZipLibClient::~ZipLibClient() {
  if (zipHandle_) ::dlclose(zipHandle_);
  if (unzHandle_) ::dlclose(unzHandle_);
}

void ZipLibClient::fault(int kind, long long after, int error) {
  if (!zipFault_ || !unzFault_) throw std::logic_error("fault injection needs the test builds");
  zipFault_(kind, after, error);
  unzFault_(kind, after, error);
}

std::uint32_t ZipLibClient::trampoline(ZipCallbackRecord* record) {
  auto* self = static_cast<ZipLibClient*>(record->Caller);
  Event e{record->ActionCode, record->ErrorCode, record->Size64, record->Size, record->Text, record->Caller};
  self->events.push_back(e);
  if (record->ActionCode == ZIPLIB_ACTION_PASSWORD && self->answerPassword) {
    std::string password;
    const std::uint32_t answer = self->answerPassword(e, password);
    if (answer == ZIPLIB_ANSWER_PASSWORD) std::snprintf(record->Text, sizeof record->Text, "%s", password.c_str());
    return answer;
  }
  return self->stopWhen && self->stopWhen(e) ? ZIPLIB_STOP : ZIPLIB_CONTINUE;
}

int ZipLibClient::add(const AddRequest& r) { return runZip(r, false); }

int ZipLibClient::remove(const std::string& archive, const std::vector<std::string>& specs, bool literal,
                         bool oldLayout) {
  AddRequest r;
  r.archive = archive;
  r.specs = specs;
  r.literal = literal;
  r.oldLayout = oldLayout;
  return runZip(r, true);
}

int ZipLibClient::runZip(const AddRequest& r, bool deleting) {
  events.clear();
  std::vector<ZipFileRecord> records(r.specs.size());
  for (std::size_t i = 0; i < r.specs.size(); ++i) records[i].Spec = r.specs[i].c_str();
  char password[81] = {};
  r.password.copy(password, 80);
  auto fill = [&](auto& b) {
    b.Handle = nullptr;
    b.Caller = this;
    b.Version = ZIPLIB_CALLER_VERSION;
    b.Callback = &ZipLibClient::trampoline;
    b.Password = password;
    b.Encrypt = flag(r.encrypt);
    b.HiddenFiles = flag(r.hidden);
    b.NoDirEntries = flag(!r.separateDirs);
    b.Verbose = flag(r.verbose);
    b.Always56 = kOn;
    b.Level = static_cast<std::uint32_t>(r.level);
    b.StripDirNames = flag(!r.dirNames);
    b.Recurse = r.recurse ? ZIPLIB_ON16 : 0;
    b.AddMode = kOn;
    b.ForceDos = flag(r.forceDos);
    b.Move = flag(r.move);
    b.Update = flag(r.update);
    b.Freshen = flag(r.freshen && !r.update);
    b.ZipTime = flag(r.zipTime);
    b.LiteralNames = flag(r.literal);
    b.SpecCount = static_cast<std::uint32_t>(r.specs.size());
    b.ArchiveName = r.archive.c_str();
    b.Mark = ZIPLIB_BLOCK_MARK;
    if (deleting) {
      // As the engine does for Delete: these flags off, delete-entries on.
      b.Encrypt = b.StripDirNames = b.AddMode = b.Move = b.Update = b.Freshen = 0;
      b.Recurse = 0;
      b.DeleteEntries = kOn;
    }
  };
  InFolder in(r.folder);
  if (r.oldLayout) {
    auto b = zeroBlock<ZipExecParamsOld>();
    fill(*b);
    for (std::size_t i = 0; i < r.specs.size() && i < ZIPLIB_MAX_OLD_SPECS; ++i) b->Specs[i] = r.specs[i].c_str();
    return zipExec_(b.get());
  }
  auto b = zeroBlock<ZipExecParams>();
  fill(*b);
  b->FileRecords = records.data();
  return zipExec_(b.get());
}

int ZipLibClient::extract(const ExtractRequest& r) {
  events.clear();
  std::vector<UnzFileRecord> records(r.specs.size());
  for (std::size_t i = 0; i < r.specs.size(); ++i) records[i].Spec = r.specs[i].c_str();
  char password[81] = {};
  r.password.copy(password, 80);
  auto fill = [&](auto& b) {
    b.Handle = r.window ? this : nullptr;
    b.Caller = this;
    b.Version = ZIPLIB_CALLER_VERSION;
    b.Callback = &ZipLibClient::trampoline;
    b.Password = password;
    b.Test = flag(r.test);
    b.Always40 = kOn;
    b.Verbose = flag(r.verbose);
    b.Update = flag(r.update);
    b.Freshen = flag(r.freshen && !r.update);
    b.DirNames = flag(r.dirNames);
    b.Overwrite = flag(r.overwrite);
    b.LiteralNames = flag(r.literal);
    b.SpecCount = static_cast<std::uint32_t>(r.specs.size());
    b.ArchiveName = r.archive.c_str();
    b.Mark = ZIPLIB_BLOCK_MARK;
  };
  InFolder in(r.folder);
  int result;
  if (r.oldLayout) {
    auto b = zeroBlock<UnzExecParamsOld>();
    fill(*b);
    for (std::size_t i = 0; i < r.specs.size() && i < ZIPLIB_MAX_OLD_SPECS; ++i) b->Specs[i] = r.specs[i].c_str();
    result = unzExec_(b.get());
  } else {
    auto b = zeroBlock<UnzExecParams>();
    fill(*b);
    b->FileRecords = records.data();
    result = unzExec_(b.get());
  }
  return result;
}

std::vector<std::string> ZipLibClient::problems() const {
  std::vector<std::string> out;
  for (const Event& e : events)
    if (e.action == ZIPLIB_ACTION_MESSAGE && e.code != 0) out.push_back(e.text);
  return out;
}

std::vector<std::string> ZipLibClient::infos() const {
  std::vector<std::string> out;
  for (const Event& e : events)
    if (e.action == ZIPLIB_ACTION_MESSAGE && e.code == 0) out.push_back(e.text);
  return out;
}

bool ZipLibClient::anyProblemContains(const std::string& part) const {
  for (const std::string& p : problems())
    if (p.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace ziptest
