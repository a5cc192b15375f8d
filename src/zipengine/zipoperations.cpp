// Add, Delete and Extract: the checks, the busy guards, one library call each with
// its parameter block, and the clean-up that runs on every path.
//
// Every operation catches whatever is thrown inside it (an event handler of the
// owner, a failed allocation) and reports "Fatal Error in <library>: abort
// exception" after the clean-up: the library unloaded when the call loaded it, the
// current folder restored, CancelRequested and the busy flag cleared.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include "platform/paths.h"
#include "zipengine/zipblocks.h"
#include "zipengine/zipengine.h"
#include "zipengine/ziplibloader.h"

namespace {

// Runs a function when the scope ends, however it ends.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

// An operation's busy flag: set with CancelRequested cleared at the start, both
// cleared at the end.
class BusyScope {
 public:
  BusyScope(bool& busy, bool& cancel) : busy_(busy), cancel_(cancel) {
    busy_ = true;
    cancel_ = false;
  }
  ~BusyScope() {
    cancel_ = false;
    busy_ = false;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
  bool& cancel_;
};

// Makes a folder the process's current folder for the scope's life and goes back
// to the previous one afterwards (by descriptor, so a previous folder that was
// renamed meanwhile is still found). entered() is false, with error() holding the
// reason, when the folder cannot be entered (no search permission, a dead mount):
// the caller must then not go on, or its files would land in the wrong folder.
class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(const std::string& folder) {
    saved_ = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (::chdir(folder.c_str()) != 0) {
      error_ = errno;
      if (saved_ >= 0) ::close(saved_);
      saved_ = -1;
    }
  }
  ~CurrentFolderScope() {
    if (saved_ < 0) return;
    if (::fchdir(saved_) != 0) {
      // Nothing better to do: the previous folder is gone.
    }
    ::close(saved_);
  }
  CurrentFolderScope(const CurrentFolderScope&) = delete;
  CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

  bool entered() const { return error_ == 0; }
  int error() const { return error_; }

 private:
  int saved_ = -1;
  int error_ = 0;
};

// Runs an operation's body; anything thrown out of it is reported with the
// library's fatal-error text (and a handler throwing again is not asked twice).
void runGuarded(TZipEngine& engine, int fatalId, const std::function<void()>& body) {
  try {
    body();
  } catch (...) {
    try {
      engine.ShowZipMessage(fatalId);
    } catch (...) {}
  }
}

// Password handed to the extractor when an unattended extraction of encrypted
// entries has none: a wrong one, so that those entries fail instead of asking.
constexpr std::size_t kFillerPasswordLength = 79;
constexpr char kFillerPasswordChar = '#';

}  // namespace

void TZipEngine::Add() {
  if (ZipBusy_) return;
  SuccessCount_ = 0;
  runGuarded(*this, zipmsg::kFatalErrorZipLib, [this] { AddChecked(); });
  FSpecArgsLiteral = false;
}

void TZipEngine::AddChecked() {
  if (FSpecArgs.empty()) return ShowZipMessage(zipmsg::kNoFilesToZip);
  if (ZipFilename_.empty()) return ShowZipMessage(zipmsg::kNoZipSpecified);
  if (Unattended && AddOptions.contains(AddEncrypt) && !HasPassword())
    return ShowZipMessage(zipmsg::kUnattendedNoPassword);
  const bool exe = platform::upperAscii(platform::extensionOf(ZipFilename_)) == ".EXE";
  if (AddOptions.contains(AddDiskSpan) || AddOptions.contains(AddDiskSpanErase)) {
    if (AddOptions.contains(AddFreshen) || AddOptions.contains(AddUpdate))
      return ShowZipMessage(zipmsg::kNoUpdateOnSpanned);
    if (exe) return ShowZipMessage(zipmsg::kSfxCannotSpan);
    return AddSpanned();
  }
  {
    BusyScope busy(ZipBusy_, CancelRequested);
    if (exe && ContentStart_ == 0 && !platform::fileExists(ZipFilename_)) {
      // A new self-extracting program starts as the stub, its settings block and
      // an empty directory, which the compressor then adds to.
      if (int result = ConvertSfx(true); result != 0) {
        if (result != -9) ShowZipMessage(zipmsg::kCreateOutputFailed, ": " + LastMessage_);
        return;
      }
    }
    RunCompressor(false, ZipFilename_);
  }
  if (SuccessCount_ > 0) List();
}

void TZipEngine::AddSpanned() {
  const std::string temp = TempZipName();
  if (temp.empty()) return ShowZipMessage(zipmsg::kTempFileNotCreated);
  bool keepTemp = false;
  ScopeExit removeTemp([&] {
    if (!keepTemp) ::unlink(temp.c_str());
  });
  // The entries of an existing plain archive go into the set too: the compressor
  // adds to a copy of it. (The first volume may replace the archive on a disk.)
  if (LastDisk_ == 0 && platform::fileExists(ZipFilename_)) {
    std::error_code ec;
    std::filesystem::copy_file(ZipFilename_, temp, ec);
    if (ec) return ShowZipMessage(zipmsg::kTempFileNotCreated);
  }
  {
    BusyScope busy(ZipBusy_, CancelRequested);
    RunCompressor(false, temp);
    if (SuccessCount_ > 0 && WriteSpan(temp, ZipFilename_) != 0) {
      SuccessCount_ = 0;
      // The compressor has deleted the moved files once they were in the
      // temporary archive; it is all that holds them now.
      if (AddOptions.contains(AddMove)) {
        keepTemp = true;
        ShowZipMessage(zipmsg::kSpanMovedFilesKept, temp);
      }
    }
  }
  if (SuccessCount_ > 0) {
    // The set is listed from the volume that holds its directory.
    ZipFilename_ = LastSpanVolume_;
    List();
  }
}

void TZipEngine::RunCompressor(bool deleting, const std::string& archive) {
  bool loadedHere = false;
  if (!LoadLib(ZipLibRole::Zip, loadedHere)) return;
  ScopeExit unload([&] {
    if (loadedHere) UnloadLib(ZipLibRole::Zip);
  });
  BlockRequest request;
  request.password = Password;
  request.passwordGiven = HasPassword();
  request.archive = archive;
  request.specs = FSpecArgs;
  request.literal = FSpecArgsLiteral;
  request.tempDir = TempDir;
  request.addOptions = AddOptions;
  request.level = AddCompLevel;
  request.deleting = deleting;
  ExecLibrary(ZipLibRole::Zip, request);
}

void TZipEngine::Delete() {
  if (ZipBusy_) return;
  SuccessCount_ = 0;
  runGuarded(*this, zipmsg::kFatalErrorZipLib, [this] { DeleteChecked(); });
  FSpecArgsLiteral = false;
}

void TZipEngine::DeleteChecked() {
  if (FSpecArgs.empty()) return ShowZipMessage(zipmsg::kNoFilesToDelete);
  if (ZipFilename_.empty() || !platform::fileExists(ZipFilename_)) return ShowZipMessage(zipmsg::kNoZipSpecified);
  {
    BusyScope busy(ZipBusy_, CancelRequested);
    RunCompressor(true, ZipFilename_);
  }
  if (SuccessCount_ > 0) List();
}

void TZipEngine::Extract() {
  if (UnzipBusy_) return;
  SuccessCount_ = 0;
  runGuarded(*this, zipmsg::kFatalErrorUnzipLib, [this] { ExtractChecked(); });
  FSpecArgsLiteral = false;
}

void TZipEngine::ExtractChecked() {
  if (ZipFilename_.empty() || !platform::fileExists(ZipFilename_)) return ShowZipMessage(zipmsg::kNoZipSpecified);
  BlockRequest request;
  request.password = Password;
  request.passwordGiven = HasPassword();
  if (Unattended && AddOptions.contains(AddEncrypt) && !HasPassword()) {
    // For this call only: Password itself stays empty, so a later unattended Add
    // is still refused instead of encrypting with a password nobody knows.
    request.password.assign(kFillerPasswordLength, kFillerPasswordChar);
    ShowZipMessage(zipmsg::kUnattendedExtractWarning);
  }
  BusyScope busy(UnzipBusy_, CancelRequested);
  bool loadedHere = false;
  if (!LoadLib(ZipLibRole::Unzip, loadedHere)) return;
  ScopeExit unload([&] {
    if (loadedHere) UnloadLib(ZipLibRole::Unzip);
  });
  // A spanned set is first joined into a temporary archive, removed afterwards.
  std::string joined;
  ScopeExit removeJoined([&] {
    if (!joined.empty()) ::unlink(joined.c_str());
  });
  if (LastDisk_ != 0) {
    joined = TempDir.empty() ? platform::tempFolder() : TempDir;
    if (ReadSpan(ZipFilename_, joined) != 0) return;
  }
  const bool testing = ExtrOptions.contains(ExtrTest);
  if (!testing && !ExtrBaseDir.empty() && !platform::directoryExists(ExtrBaseDir)) {
    std::error_code ec;
    std::filesystem::create_directories(ExtrBaseDir, ec);
    if (!platform::directoryExists(ExtrBaseDir)) return ShowZipMessage(zipmsg::kExtractFolderNotMade, ExtrBaseDir);
  }
  // The library extracts into the current folder, so the archive's name must not
  // depend on it.
  request.archive = joined.empty() ? platform::absolutePath(ZipFilename_) : joined;
  request.specs = FSpecArgs;
  request.literal = FSpecArgsLiteral;
  request.extrOptions = ExtrOptions;
  std::optional<CurrentFolderScope> folder;
  if (!ExtrBaseDir.empty() && (!testing || platform::directoryExists(ExtrBaseDir))) {
    folder.emplace(ExtrBaseDir);
    // A test writes nothing, so it may run anywhere.
    if (!folder->entered() && !testing)
      return ShowZipMessage(zipmsg::kExtractFolderNotEntered, ExtrBaseDir + ": " + std::strerror(folder->error()));
  }
  ExecLibrary(ZipLibRole::Unzip, request);
}

void TZipEngine::ExecLibrary(ZipLibRole role, BlockRequest& request) {
  ZipLibrary& lib = zipLibrary(role);
  const bool zip = role == ZipLibRole::Zip;
  const int version = lib.version();
  const bool newLayout = version >= (zip ? ZIPLIB_ZIP_NEW_LAYOUT_VERSION : ZIPLIB_UNZ_NEW_LAYOUT_VERSION);
  if (!LibBlock::fits(newLayout, request.specs.size())) return ShowZipMessage(zipmsg::kTooManySpecs);
  request.handle = Unattended ? nullptr : static_cast<void*>(this);
  request.caller = this;
  request.callback = &TZipEngine::CallbackEntry;
  request.trace = Trace;
  request.verbose = Verbose;
  LibBlock block(zip ? LibBlock::kZip : LibBlock::kUnzip, newLayout, request);
  CallbackFailed_ = false;
  PasswordPrompts_ = 0;
  const int result = lib.exec(block.data());
  FSpecArgs.clear();
  SuccessCount_ = result > 0 ? result : 0;
  if (CallbackFailed_) {
    CallbackFailed_ = false;
    ShowZipMessage(zip ? zipmsg::kFatalErrorZipLib : zipmsg::kFatalErrorUnzipLib);
  }
}

std::string TZipEngine::TempZipName() {
  std::string folder;
  if (!TempDir.empty()) {
    TempDir = AppendSlash(TempDir);
    folder = TempDir;
  } else {
    folder = AppendSlash(platform::tempFolder());
  }
  std::string name = folder + "zipXXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  ::close(fd);
  ::unlink(name.c_str());
  if (Verbose && OnMessage) OnMessage(*this, 0, zipmsg::Text(zipmsg::kTemporaryZipfile) + name);
  return name;
}
