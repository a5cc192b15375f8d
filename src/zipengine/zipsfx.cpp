// ConvertSFX and ConvertZIP: a ZIP archive made into a self-extracting program
// (the stub program, the settings block, the ZIP data with every stored offset
// moved by the bytes in front) and back.
//
// The new file is written under a temporary name beside its final name and takes
// that name only once it is complete, synced and of the expected length; the
// input is deleted only after that. A failure or a cancel leaves the input as it
// was and no output.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "platform/trash.h"
#include "platform/uniquefd.h"
#include "zipcore/fileio.h"
#include "zipcore/inputfile.h"
#include "zipcore/sfxblock.h"
#include "zipengine/prefixcopy.h"
#include "zipengine/zipengine.h"

namespace {

constexpr const char* kStubName = "kvsfx";

// Folders of an installed system where the stub may lie, after the program's own.
constexpr const char* kStubFolders[] = {"/usr/local/lib/kelvory", "/usr/lib/kelvory"};

// The name with its extension (from the last "." of the file name) replaced.
std::string withExtension(const std::string& path, const std::string& ext) {
  const std::string name = platform::fileNameOf(path);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return path + ext;
  return path.substr(0, path.size() - (name.size() - dot)) + ext;
}

// A new file beside target, made exclusively under an unpredictable name.
platform::UniqueFd createTempBeside(const std::string& target, std::string& tempName) {
  std::string folder = platform::folderOf(target);
  if (folder.empty()) folder = ".";
  std::string base = platform::fileNameOf(target);
  if (base.size() > 200) base.resize(200);
  tempName = (folder == "/" ? "" : folder) + "/." + base + ".kvtmp-XXXXXX";
  platform::UniqueFd fd(::mkostemp(tempName.data(), O_CLOEXEC));
  if (!fd.valid()) tempName.clear();
  return fd;
}

// The output file under construction: removed unless kept.
class PendingOutput {
 public:
  explicit PendingOutput(const std::string& target) : fd_(createTempBeside(target, temp_)) {}
  ~PendingOutput() {
    fd_.reset();
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  const std::string& name() const { return temp_; }
  std::uint64_t length() const {
    struct stat st {};
    return ::fstat(fd_.get(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  // Gives the file its mode, closes it and renames it to target.
  bool commit(const std::string& target, mode_t mode) {
    if (::fchmod(fd_.get(), mode) != 0) return false;
    if (::close(fd_.release()) != 0) return false;
    if (::rename(temp_.c_str(), target.c_str()) != 0) return false;
    temp_.clear();
    return true;
  }

 private:
  std::string temp_;
  platform::UniqueFd fd_;
};

}  // namespace

std::uint8_t TZipEngine::SfxOptionByte(SFXOpts options, OvrOpts mode) {
  std::uint8_t b = 0;
  if (options.contains(SFXAskCmdLine)) b |= zipcore::kSfxAskCmdLine;
  if (options.contains(SFXAskFiles)) b |= zipcore::kSfxAskFiles;
  if (options.contains(SFXHideOverWriteBox)) b |= zipcore::kSfxHideOverwrite;
  if (mode == OvrAlways) b |= zipcore::kSfxOverwriteAlways;
  if (mode == OvrNever) b |= zipcore::kSfxOverwriteNever;
  if (!options.contains(SFXCheckSize)) b |= zipcore::kSfxNoSizeCheck;
  if (options.contains(SFXAutoRun)) b |= zipcore::kSfxAutoRun;
  return b;
}

bool TZipEngine::FindSfxStub() {
  if (!SFXPath.empty() && platform::fileExists(SFXPath)) return true;
  // Not the current folder: a program picked up from wherever the user happens
  // to be would end up inside every archive made there.
  std::vector<std::string> candidates;
  if (std::string own = platform::folderOf(platform::executablePath()); !own.empty())
    candidates.push_back(own + "/" + kStubName);
  for (const char* folder : kStubFolders) candidates.push_back(std::string(folder) + "/" + kStubName);
  if (!DLLDirectory_.empty()) candidates.push_back(AppendSlash(DLLDirectory_) + kStubName);
  for (const std::string& c : candidates) {
    SFXPath = c;
    if (platform::fileExists(c)) return true;
  }
  return false;
}

bool TZipEngine::DiscardFile(const std::string& path) {
  if (HowToDelete == htdAllowUndo && platform::moveToTrash(path).ok) return true;
  return ::unlink(path.c_str()) == 0;
}

int TZipEngine::CopyForConversion(const std::string& stubFile, std::string_view block, int fd,
                                  const std::string& output) {
  CancelRequested = false;
  zipfmt::PrefixCopyResult r = zipfmt::CopyZipDataWithPrefix(
      *this, stubFile, fd, output,
      [this] {
        platform::pumpEvents();
        return CancelRequested;
      },
      block);
  CancelRequested = false;
  if (r.ok) return 0;
  LastMessage_ = r.cancelled ? zipmsg::Text(zipmsg::kUserCanceled) : r.error;
  if (r.cancelled) return -9;
  return r.error.starts_with("Error while writing") ? -2 : -3;
}

int TZipEngine::ConvertSFX() { return ConvertSfx(false); }

int TZipEngine::ConvertSfx(bool creating) {
  if (!creating && (ZipFilename_.empty() || !platform::fileExists(ZipFilename_))) {
    ShowZipMessage(zipmsg::kNoZipSpecified);
    return -9;
  }
  zipcore::SfxSettings settings;
  settings.options = SfxOptionByte(SFXOptions, SFXOverWriteMode);
  settings.caption = SFXCaption;
  settings.defaultDir = SFXDefaultDir;
  settings.commandLine = SFXCommandLine;
  if (const std::size_t total = zipcore::SfxTextsLength(settings); total > zipcore::kSfxTextLimit) {
    ShowZipMessage(zipmsg::kSfxTextsTooLong, zipmsg::Text(zipmsg::kSfxTextsSum) + std::to_string(total));
    return -9;
  }
  if (!FindSfxStub()) {
    ShowZipMessage(zipmsg::kSfxStubNotFound);
    return -9;
  }
  std::string output = ZipFilename_;
  if (!creating) {
    if (platform::upperAscii(platform::extensionOf(ZipFilename_)) != ".ZIP") {
      ShowZipMessage(zipmsg::kInputNotZip);
      return -9;
    }
    output = withExtension(ZipFilename_, ".exe");
  }
  zipcore::InputFile stub;
  if (!stub.open(SFXPath)) {
    LastMessage_ = "Cannot open " + SFXPath + ": " + zipcore::errorText(errno);
    return -3;
  }
  PendingOutput out(output);
  if (!out.valid()) {
    LastMessage_ = "Cannot create " + output + ": " + zipcore::errorText(errno);
    return -1;
  }
  const std::string block = zipcore::EncodeSfxBlock(settings);
  const std::uint64_t prefixLength = stub.size() + block.size();
  std::uint64_t zipLength = 0;
  if (creating) {
    std::string program;
    if (!stub.readExact(0, program, static_cast<std::size_t>(stub.size()))) {
      LastMessage_ = "Error while reading " + SFXPath;
      return -3;
    }
    program += block;
    program += zipcore::EmptyEndRecord(prefixLength);
    if (program.size() != prefixLength + zipcore::kEndSize) return -9;
    if (!zipcore::writeAll(out.fd(), program.data(), program.size()) || ::fsync(out.fd()) != 0) {
      LastMessage_ = "Error while writing " + output + ": " + zipcore::errorText(errno);
      return -2;
    }
    zipLength = zipcore::kEndSize;
  } else {
    int result = CopyForConversion(SFXPath, block, out.fd(), output);
    if (result != 0) return result;
    zipLength = ArchiveFileSize() - ContentStart();
  }
  // The whole program is there: stub, block and ZIP data.
  if (out.length() != prefixLength + zipLength) return -9;
  const std::string input = ZipFilename_;
  if (!creating && platform::fileExists(output) && !DiscardFile(output)) {
    LastMessage_ = "Cannot replace " + output;
    return -1;
  }
  if (!out.commit(output, 0777 & ~platform::currentUmask())) {
    LastMessage_ = "Cannot create " + output + ": " + zipcore::errorText(errno);
    return -1;
  }
  if (!creating) {
    DiscardFile(input);
    setZipFilename(output);
  }
  return 0;
}

int TZipEngine::ConvertZIP() {
  if (ZipFilename_.empty() || !platform::fileExists(ZipFilename_)) {
    ShowZipMessage(zipmsg::kNoExeSpecified);
    return -3;
  }
  if (platform::upperAscii(platform::extensionOf(ZipFilename_)) != ".EXE") {
    ShowZipMessage(zipmsg::kInputNotExe);
    return -3;
  }
  if (ContentStart_ == 0) {
    ShowZipMessage(zipmsg::kSfxTypeUnknown);
    return -9;
  }
  const std::string input = ZipFilename_;
  const std::string output = withExtension(input, ".zip");
  PendingOutput out(output);
  if (!out.valid()) {
    LastMessage_ = "Cannot create " + output + ": " + zipcore::errorText(errno);
    return -1;
  }
  if (int result = CopyForConversion({}, {}, out.fd(), output); result != 0) return result;
  if (out.length() != ArchiveFileSize() - ContentStart_) return -9;
  if (platform::fileExists(output) && !DiscardFile(output)) {
    LastMessage_ = "Cannot replace " + output;
    return -1;
  }
  if (!out.commit(output, 0666 & ~platform::currentUmask())) {
    LastMessage_ = "Cannot create " + output + ": " + zipcore::errorText(errno);
    return -1;
  }
  DiscardFile(input);
  setZipFilename(output);
  return 0;
}
