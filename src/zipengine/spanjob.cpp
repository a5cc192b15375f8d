// Drives, disk prompts and volume files of a spanned set.
#include "zipengine/spanjob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "zipcore/fileio.h"
#include "zipengine/zipengine.h"

namespace {

constexpr const char* kLabelPrefix = "PKBACK# ";

// The table's text, or the fallback when the table lacks it.
std::string TextOr(int id, const char* fallback) {
  const char* t = zipmsg::Find(id);
  return t ? t : fallback;
}

std::int64_t fileTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

}  // namespace

int SpanLabelNumber(const std::string& label) {
  const std::string prefix = kLabelPrefix;
  if (label.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::string digits = label.substr(prefix.size(), 3);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
    return 0;
  return std::stoi(digits);
}

std::string SpanLabel(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%03d", kLabelPrefix, n + 1);
  return buf;
}

SpanJob::SpanJob(TZipEngine& engine, const std::string& path) : engine_(engine), path_(platform::absolutePath(path)) {
  root_ = platform::drives().rootOf(path_);
  if (root_.empty()) throw EZipEngine(zipmsg::kNotValidDrive, path_);
  DriveRoot = platform::AddBackslash(root_);
  const platform::DriveType type = platform::drives().typeOf(root_);
  if (type == platform::DriveType::NoRootDir) throw EZipEngine(zipmsg::kDriveNotDefined, DriveRoot);
  diskDrive_ = type == platform::DriveType::Removable || type == platform::DriveType::CDRom;
}

SpanJob::~SpanJob() {
  out_.reset();
  if (committed_) return;
  for (const Written& w : written_) ::unlink(w.temp.c_str());
  if (!outName_.empty() && !diskDrive_) ::unlink(outName_.c_str());
}

bool SpanJob::DriveCheck() {
  platform::Drives& d = platform::drives();
  std::optional<std::string> label = d.labelOf(root_);
  if (!label) return false;
  VolumeLabel = *label;
  std::optional<std::uint64_t> free = d.freeSpace(root_);
  std::optional<std::uint64_t> total = d.totalSpace(root_);
  freeSpace_ = free.value_or(0);
  totalSpace_ = total.value_or(0);
  return free.has_value();
}

platform::DriveType SpanJob::RequestDisk() {
  platform::pumpEvents();
  const platform::DriveType type = platform::drives().typeOf(root_);
  for (;;) {
    if (DriveCheck() && !NewDisk) break;
    if (!diskDrive_) {
      NewDisk = false;
      break;
    }
    if (engine_.Unattended) throw EZipEngine::Display(zipmsg::kUnattendedSpanning);
    std::string text;
    platform::MsgKind kind = platform::MsgKind::Plain;
    if (DiskNr < 0) {
      text = TextOr(zipmsg::kInsertLastDisk, zipmsg::kDefaultInsertLastDisk);
      kind = platform::MsgKind::Error;
    } else if (engine_.ZipBusy()) {
      // The number of disks the input will take, from this disk's size.
      std::uint64_t capacity = totalSpace_;
      if (engine_.MaxVolumeSize > 0 && static_cast<std::uint64_t>(engine_.MaxVolumeSize) < capacity)
        capacity = static_cast<std::uint64_t>(engine_.MaxVolumeSize);
      if (capacity == 0) {
        text = ZipFormat(TextOr(zipmsg::kInsertVolume, zipmsg::kDefaultInsertVolume), {DiskNr + 1LL});
      } else {
        const std::uint64_t keep = static_cast<std::uint64_t>(std::max<std::int64_t>(engine_.KeepFreeOnDisk1, 0));
        const long long last = std::max<long long>(DiskNr, static_cast<long long>((InputSize + 4 + keep) / capacity));
        LastDisk = static_cast<int>(last);
        text = ZipFormat(TextOr(zipmsg::kInsertVolumeOf, zipmsg::kDefaultInsertVolumeOf), {DiskNr + 1LL, last + 1});
      }
    } else {
      text = ZipFormat(TextOr(zipmsg::kInsertVolumeOf, zipmsg::kDefaultInsertVolumeOf), {DiskNr + 1LL, LastDisk + 1LL});
    }
    text += ZipFormat(zipmsg::Text(zipmsg::kInDrive), {DriveRoot});
    const platform::MsgButton answer = platform::ui().message(kind, {}, text, platform::kOkCancel);
    NewDisk = false;
    if (answer != platform::kBtnOk) throw EZipEngine(zipmsg::kUserCanceled);
  }
  return type;
}

// ---- reading ---------------------------------------------------------------------

std::string SpanJob::VolumeName(int n) const {
  if (diskDrive_) return path_ + " (" + SpanLabel(n) + ")";
  if (!names) return n == LastDisk ? path_ : std::string();
  return names->volume(n, LastDisk);
}

const zipcore::InputFile& SpanJob::OpenForReading(int n) {
  if (inDisk_ == n && in_.isOpen()) return in_;
  in_.close();
  inDisk_ = -2;
  if (!diskDrive_) {
    const std::string name = VolumeName(n);
    // A volume whose name is not known cannot be reached.
    if (name.empty()) throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    if (!in_.open(name)) throw EZipEngine(zipmsg::kSetVolumeMissing, name);
    inDisk_ = n;
    return in_;
  }
  DiskNr = n;
  for (;;) {
    if (DriveCheck() && SpanLabelNumber(VolumeLabel) == n + 1 && in_.open(path_)) break;
    NewDisk = true;
    RequestDisk();
  }
  inDisk_ = n;
  return in_;
}

// ---- writing ---------------------------------------------------------------------

void SpanJob::Raise(int id) const { throw EZipEngine::Display(id); }

std::string SpanJob::WriteName(const std::string& volume) const {
  // Volume files on a fixed drive are written under a temporary name and renamed
  // by Commit, so a failed run leaves an earlier set of that name as it was.
  return diskDrive_ ? volume : volume + ".kvpart";
}

bool SpanJob::ConfirmOverwrite(const std::string& volume) {
  if (engine_.Unattended) Raise(zipmsg::kUnattendedSpanning);
  const int labelNr = SpanLabelNumber(VolumeLabel);
  std::string text;
  if (fileTime(volume) == SetDate && labelNr - 1 < DiskNr)
    text = ZipFormat(TextOr(zipmsg::kPreviousDiskOverwrite, zipmsg::kDefaultPreviousDisk),
                     {static_cast<long long>(labelNr)});
  else
    text = ZipFormat(TextOr(zipmsg::kFileExistsOverwrite, zipmsg::kDefaultPreviousFile), {volume});
  const platform::MsgButton answer = platform::ui().message(
      platform::MsgKind::Warning, zipmsg::Text(zipmsg::kConfirmCaption), text, platform::kYesNoCancel);
  if (answer == platform::kBtnYes) return true;
  if (answer == platform::kBtnNo) return false;
  throw EZipEngine(zipmsg::kUserCanceled);
}

void SpanJob::OpenNextVolume() {
  for (;;) {
    RequestDisk();
    // Formatting is not offered on this platform: with AddDiskSpanErase the disk
    // is written like any other, and still gets its label below.
    const std::string volume = diskDrive_ ? path_ : spanname::NumberedVolume(path_, DiskNr);
    if (platform::fileExists(volume) && !ConfirmOverwrite(volume)) {
      NewDisk = true;
      continue;
    }
    const std::string name = WriteName(volume);
    out_.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out_.valid()) Raise(zipmsg::kCreateOutputFailed);
    outName_ = name;
    DriveCheck();
    std::uint64_t usable = freeSpace_;
    if (engine_.MaxVolumeSize > 0 && static_cast<std::uint64_t>(engine_.MaxVolumeSize) < usable)
      usable = static_cast<std::uint64_t>(engine_.MaxVolumeSize);
    if (DiskNr == 0) {
      const std::uint64_t keep = static_cast<std::uint64_t>(std::max<std::int64_t>(engine_.KeepFreeOnDisk1, 0));
      usable = usable > keep ? usable - keep : 0;
    }
    const std::uint64_t minFree = static_cast<std::uint64_t>(std::max<std::int64_t>(engine_.MinFreeVolumeSize, 0));
    if (usable < minFree || usable == 0) {
      out_.reset();
      ::unlink(name.c_str());
      outName_.clear();
      if (engine_.Unattended) Raise(zipmsg::kUnattendedSpanning);
      const platform::MsgButton answer = platform::ui().message(
          platform::MsgKind::Warning, {}, TextOr(zipmsg::kNotEnoughFreeSpace, zipmsg::kDefaultNotEnoughSpace),
          platform::kBtnRetry | platform::kBtnCancel);
      if (answer != platform::kBtnRetry) throw EZipEngine(zipmsg::kUserCanceled);
      NewDisk = true;
      continue;
    }
    if (diskDrive_ && !platform::drives().setLabel(root_, SpanLabel(DiskNr))) Raise(zipmsg::kVolumeLabelNotSet);
    usable_ = usable;
    BytesOnDisk = 0;
    if (!diskDrive_) written_.push_back({name, volume});
    return;
  }
}

void SpanJob::CloseVolume() {
  if (!out_.valid()) return;
  // The user takes a disk out when asked for the next one: its data must be on
  // it by then, not in the page cache.
  if (diskDrive_ && ::fsync(out_.get()) != 0) Raise(zipmsg::kWriteErrorOutput);
  if (SetDate > 0) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = SetDate;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::futimens(out_.get(), times);
  }
  out_.reset();
  outName_.clear();
}

void SpanJob::EnsureRoom(std::uint64_t need) {
  for (;;) {
    if (!out_.valid()) OpenNextVolume();
    if (need <= usable_) return;
    // A piece larger than a whole empty disk would start new disks for ever.
    if (BytesOnDisk == 0) Raise(zipmsg::kNotEnoughFreeSpace);
    NextVolume();
  }
}

void SpanJob::Put(std::uint64_t len, std::uint64_t need, std::uint64_t piece,
                  const std::function<void(std::uint64_t)>& write) {
  EnsureRoom(need);
  while (len > 0) {
    platform::pumpEvents();
    if (engine_.CancelRequested) throw EZipEngine(zipmsg::kUserCanceled);
    if (!out_.valid()) OpenNextVolume();
    const std::uint64_t n = std::min({len, usable_, piece});
    if (n == 0) {
      if (BytesOnDisk == 0) Raise(zipmsg::kNotEnoughFreeSpace);
      NextVolume();
      continue;
    }
    write(n);
    if (Progress && engine_.OnProgress) engine_.OnProgress(engine_, ptFileProgress, {}, static_cast<std::int64_t>(n));
    usable_ -= n;
    BytesOnDisk += n;
    len -= n;
    if (len > 0 && usable_ == 0) NextVolume();
  }
}

void SpanJob::NextVolume() {
  CloseVolume();
  ++DiskNr;
  NewDisk = true;
}

void SpanJob::WriteBlock(const void* data, std::size_t len, std::uint64_t need) {
  auto p = static_cast<const char*>(data);
  Put(len, need, len, [&](std::uint64_t n) {
    if (!zipcore::writeAll(out_.get(), p, static_cast<std::size_t>(n))) Raise(zipmsg::kWriteErrorOutput);
    p += n;
  });
}

void SpanJob::CopyFrom(int fd, std::uint64_t at, std::uint64_t len, int messageId) {
  // Pieces of a few MiB keep Cancel and the progress bar alive.
  constexpr std::uint64_t kPiece = 4 << 20;
  Put(len, 0, kPiece, [&](std::uint64_t n) {
    switch (zipcore::copyRange(fd, at, out_.get(), n)) {
      case zipcore::CopyEnd::Done: break;
      case zipcore::CopyEnd::ShortInput: Raise(messageId);
      case zipcore::CopyEnd::WriteFailed: Raise(zipmsg::kWriteErrorOutput);
    }
    at += n;
  });
}

void SpanJob::Commit() {
  CloseVolume();
  for (const Written& w : written_)
    if (::rename(w.temp.c_str(), w.final.c_str()) != 0) Raise(zipmsg::kCreateOutputFailed);
  committed_ = true;
}

int RunSpanOperation(TZipEngine& engine, const std::function<void()>& body) {
  int result = 0;
  try {
    body();
  } catch (const EZipEngine& e) {
    engine.ReportEngineError(e);
    result = -7;
  } catch (const std::bad_alloc&) {
    engine.ShowZipMessage(zipmsg::kNoMemory);
    result = -8;
  } catch (...) {
    engine.ShowZipMessage(zipmsg::kUnknownSpanError);
    result = -9;
  }
  try {
    if (engine.OnProgress) engine.OnProgress(engine, ptBatchEnd, {}, 0);
  } catch (...) {}
  return result;
}
