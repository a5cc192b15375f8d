#include "rar/rararc.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/paths.h"

namespace {

// The component whose operation is running; the library's callbacks and the
// one-operation-at-a-time rule go through it.
TRAR* current = nullptr;

constexpr std::uint32_t kCommentBufferSize = 65535;

std::string libraryPath(const std::string& dllDirectory) {
  const std::string file = TRAR::LibraryFile();
  if (!dllDirectory.empty()) {
    std::string path = dllDirectory + "/" + file;
    if (platform::fileExists(path)) return path;
  } else if (std::string folder = platform::folderOf(platform::executablePath()); !folder.empty()) {
    std::string path = folder + "/" + file;
    if (platform::fileExists(path)) return path;
  }
  return file;
}

// Results after which extracting or testing goes on with the next entry: they
// concern the entry alone.
bool entryOnly(int code) {
  switch (code) {
    case RAR_BAD_DATA:
    case RAR_ECREATE:
    case RAR_MISSING_PASSWORD:
    case RAR_NO_DECRYPTION:
    case RAR_BAD_PASSWORD:
    case RAR_UNSAFE_NAME:
    case RAR_EXISTS: return true;
    default: return false;
  }
}

std::string storedName(const RARHeaderData& h) {
  return std::string(h.FileName, strnlen(h.FileName, sizeof h.FileName));
}

}  // namespace

const char* TRAR::LibraryFile() { return "libkvrar.so"; }

TRAR::TRAR(const std::string& dllDirectory) {
  if (!lib_.load(libraryPath(dllDirectory))) return;
  open_ = reinterpret_cast<RAROpenArchiveProc>(lib_.symbol("RAROpenArchive"));
  close_ = reinterpret_cast<RARCloseArchiveProc>(lib_.symbol("RARCloseArchive"));
  readHeader_ = reinterpret_cast<RARReadHeaderProc>(lib_.symbol("RARReadHeader"));
  processFile_ = reinterpret_cast<RARProcessFileProc>(lib_.symbol("RARProcessFile"));
  setChangeVolProc_ = reinterpret_cast<RARSetChangeVolProcProc>(lib_.symbol("RARSetChangeVolProc"));
  setProcessDataProc_ = reinterpret_cast<RARSetProcessDataProcProc>(lib_.symbol("RARSetProcessDataProc"));
  setPassword_ = reinterpret_cast<RARSetPasswordProc>(lib_.symbol("RARSetPassword"));
  loaded_ = open_ && close_ && readHeader_ && processFile_ && setChangeVolProc_ && setProcessDataProc_ && setPassword_;
}

TRAR::~TRAR() {
  if (current == this) current = nullptr;
}

std::string TRAR::ErrorText(int code) {
  switch (code) {
    case RAR_END_ARCHIVE: return "End of archive";
    case RAR_NO_MEMORY: return "Not enough memory to initialize data structures";
    case RAR_BAD_DATA: return "CRC error, data damaged";
    case RAR_BAD_ARCHIVE: return "File is not valid RAR archive";
    case RAR_UNKNOWN_FORMAT: return "Unknown comment format";
    case RAR_EOPEN: return "File open error";
    case RAR_ECREATE: return "File create error";
    case RAR_ECLOSE: return "File close error";
    case RAR_EREAD: return "Read error";
    case RAR_EWRITE: return "Write error";
    case RAR_SMALL_BUF: return "Buffer is too small for comment";
    case RAR_MISSING_PASSWORD: return "Encrypted file: a password is needed";
    case RAR_NO_DECRYPTION: return "Encrypted file: decrypting RAR data is not supported";
    case RAR_BAD_PASSWORD: return "Wrong password";
    case RAR_UNSAFE_NAME: return "Unsafe file name or link refused (it leads out of the target folder)";
    case RAR_NOT_FIRST_VOLUME: return "Not the first volume, and the first volume is missing";
    case RAR_EXISTS: return "File exists and was not overwritten";
    case kLibraryMissing: return std::string(LibraryFile()) + " not found";
    default: return "Unknown error";
  }
}

void TRAR::error(int code) {
  if (OnError) OnError(*this, code);
}

bool TRAR::begin() {
  if (current) return false;
  current = this;
  stopped_ = false;
  headersEncrypted_ = false;
  return true;
}

// The next header. An archive whose headers are encrypted says so at its first
// one: the password that opened it before is tried, else the owner is asked.
int TRAR::readHeader(void* handle, RARHeaderData& header) {
  int r = readHeader_(handle, &header);
  if (r != RAR_MISSING_PASSWORD || headersEncrypted_) return r;
  headersEncrypted_ = true;
  if (headerPasswordFor_ == ArchiveName && !headerPassword_.empty()) {
    setPassword_(handle, headerPassword_.c_str());
    r = readHeader_(handle, &header);
    if (r != RAR_BAD_PASSWORD) return r;
  }
  headerPassword_.clear();
  if (!OnReqPassword) return r;
  RARHeaderData archive{};
  std::snprintf(archive.FileName, sizeof archive.FileName, "%s", platform::fileNameOf(ArchiveName).c_str());
  archive.Flags = RAR_FLAG_ENCRYPTED;
  std::string password;
  OnReqPassword(*this, archive, password);
  if (password.empty()) return RAR_MISSING_PASSWORD;
  setPassword_(handle, password.c_str());
  r = readHeader_(handle, &header);
  if (r == RAR_SUCCESS) {
    headerPassword_ = password;
    headerPasswordFor_ = ArchiveName;
  }
  return r;
}

void TRAR::end() {
  if (current == this) current = nullptr;
}

void* TRAR::open(int mode) {
  RAROpenArchiveData data{};
  data.ArcName = ArchiveName.c_str();
  data.OpenMode = static_cast<std::uint32_t>(mode);
  data.CmtBuf = comment_.Text;
  data.CmtBufSize = kCommentBufferSize;
  data.Options = (Overwrite ? 0u : RAR_OPT_KEEP_EXISTING) | (ExtractWithPaths ? 0u : RAR_OPT_NO_PATHS);
  void* handle = open_(&data);
  comment_.Size = data.CmtSize;
  if (data.OpenResult != RAR_SUCCESS || !handle) {
    int code = handle ? static_cast<int>(data.OpenResult) : RAR_NO_MEMORY;
    if (handle) close_(handle);
    error(code ? code : RAR_NO_MEMORY);
    return nullptr;
  }
  if (data.CmtState == RAR_CMT_READ && OnComment) OnComment(*this, comment_);
  if (OnVolumeChange) setChangeVolProc_(handle, &TRAR::volumeCallback, this);
  return handle;
}

int TRAR::volumeCallback(void*, char* name, int mode) {
  TRAR* self = current;
  if (!self || !self->OnVolumeChange) return 1;
  return self->OnVolumeChange(*self, name, mode);
}

int TRAR::dataCallback(void*, const unsigned char* block, int size) {
  TRAR* self = current;
  if (!self) return -1;
  self->processedBytes_ += size;
  int answer = 1;
  // Raised while testing too: the owner keeps its window alive and can stop a
  // long entry there.
  if (self->OnProcessData) answer = self->OnProcessData(*self, block, size, self->processedBytes_);
  // Stop ends the entry being unpacked at once, not only at the next entry.
  return self->Stop ? -1 : answer;
}

void TRAR::List() {
  if (!loaded_) return error(kLibraryMissing);
  if (!begin()) return;
  void* handle = open(RAR_OM_LIST);
  if (!handle) return end();
  RARHeaderData header{};
  TComment fileComment;
  int r;
  for (;;) {
    header.CmtBuf = fileComment.Text;
    header.CmtBufSize = kCommentBufferSize;
    if ((r = readHeader(handle, header)) != RAR_SUCCESS) break;
    if (OnListFile) OnListFile(*this, header);
    if (Stop) {
      Stop = false;
      stopped_ = true;
      close_(handle);
      return end();
    }
    if (header.CmtState == RAR_CMT_READ && OnComment) {
      fileComment.Size = header.CmtSize;
      OnComment(*this, fileComment);
    }
    if (int s = processFile_(handle, RAR_SKIP, nullptr, nullptr)) {
      error(s);
      r = RAR_END_ARCHIVE;
      break;
    }
  }
  // The end of the archive is no error; anything else that ended the walk (a
  // damaged header, an encrypted header block, a missing volume) is told.
  if (r != RAR_END_ARCHIVE) error(r);
  close_(handle);
  end();
}

bool TRAR::Extract() { return run(true); }
bool TRAR::Test() { return run(false); }

bool TRAR::run(bool extracting) {
  if (!loaded_) {
    error(kLibraryMissing);
    return false;
  }
  if (ArchiveName.empty()) {
    error(RAR_BAD_ARCHIVE);
    return false;
  }
  if (!begin()) return false;
  void* handle = open(RAR_OM_EXTRACT);
  if (!handle) {
    end();
    return false;
  }
  // Registered for testing too: the data callback is where Stop is heard while
  // a long entry is being unpacked.
  setProcessDataProc_(handle, &TRAR::dataCallback, this);
  const std::set<std::string>& wanted = extracting ? FilesToExtract : FilesToTest;
  bool result = true;
  RARHeaderData header{};
  TComment fileComment;
  int r;
  for (;;) {
    header.CmtBuf = fileComment.Text;
    header.CmtBufSize = kCommentBufferSize;
    if ((r = readHeader(handle, header)) != RAR_SUCCESS) break;
    const std::string name = storedName(header);
    if (Stop) {
      Stop = false;
      stopped_ = true;
      close_(handle);
      end();
      return result;
    }
    if (!wanted.empty() && !wanted.count(name)) {
      if (int s = processFile_(handle, RAR_SKIP, nullptr, nullptr)) {
        error(s);
        close_(handle);
        end();
        return false;
      }
      continue;
    }
    if (extracting && OnExtracting) OnExtracting(*this, header);
    if (!extracting && OnTesting) OnTesting(*this, header);
    processedBytes_ = 0;
    // The password that opened encrypted headers serves the entries too.
    if ((header.Flags & RAR_FLAG_ENCRYPTED) && OnReqPassword && !headersEncrypted_) {
      std::string password;
      OnReqPassword(*this, header, password);
      if (!password.empty()) setPassword_(handle, password.c_str());
    }
    const char* folder = extracting && !TargetDir.empty() ? TargetDir.c_str() : nullptr;
    int p = processFile_(handle, extracting ? RAR_EXTRACT : RAR_TEST, folder, nullptr);
    if (extracting && OnExtract) OnExtract(*this, header, p == RAR_SUCCESS);
    if (!extracting && OnTested) OnTested(*this, header, p == RAR_SUCCESS);
    if (p == RAR_SUCCESS) continue;
    result = false;
    if (p == RAR_ABORTED && Stop) {
      // The owner stopped the entry being unpacked: no error to report.
      Stop = false;
      stopped_ = true;
      close_(handle);
      end();
      return result;
    }
    error(p);
    if (!entryOnly(p)) {
      close_(handle);
      end();
      return false;
    }
  }
  if (r != RAR_END_ARCHIVE) {
    error(r);
    result = false;
  }
  close_(handle);
  end();
  return result;
}
