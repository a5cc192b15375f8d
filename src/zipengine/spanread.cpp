// Reading spanned sets: finding a set's volumes from any one of them, its central
// directory across volumes (for List), and ReadSpan, which joins the set into one
// archive.
//
// Joining copies the volumes one after the other (the first without its spanning
// marker) up to where the central directory starts, so whatever lies between the
// entries is kept as the writer left it; then every local header is checked at
// its new place, and the directory is written anew with disk 0 and the new
// offsets. A volume that is missing, or cut short so that an entry runs into the
// next one, is named in the error. The joined archive is written under a
// temporary name beside its final one and renamed only when complete.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/trash.h"
#include "zipcore/fileio.h"
#include "zipcore/records.h"
#include "zipcore/writerecords.h"
#include "zipengine/spanjob.h"
#include "zipengine/spanrecords.h"
#include "zipengine/zipengine.h"

using namespace zipcore;

namespace {

// Pieces of a few MiB keep Cancel and the progress bar alive while joining.
constexpr std::uint64_t kJoinPiece = 4 << 20;

std::optional<EndRecords> EndOf(const std::string& path) {
  InputFile f;
  if (!f.open(path)) return std::nullopt;
  EndRecords end;
  if (FindEndRecords(f, end) != EndSearch::Found) return std::nullopt;
  return end;
}

bool HasSpanMarker(const std::string& path) {
  InputFile f;
  unsigned char sig[4];
  return f.open(path) && f.readExact(0, sig, 4) && get32(sig) == kDescriptorSig;
}

int LastDiskOf(const EndRecords& end) { return static_cast<int>(std::min<std::uint32_t>(end.thisDisk(), 0xFFFF)); }

// The number a numbered volume's name carries (1 for the first), from the
// digits between the naming's stem and extension.
int NumberOf(const spanname::SetNames& s, const std::string& path) {
  const std::string digits = path.substr(s.stem.size(), path.size() - s.stem.size() - s.ext.size());
  return std::atoi(digits.c_str());
}

[[noreturn]] void RaiseDamaged(const std::string& volume) { throw EZipEngine(zipmsg::kSetVolumeDamaged, volume); }

void RaiseParseError(DirError error) {
  switch (error) {
    case DirError::None: return;
    case DirError::BadSignature: throw EZipEngine::Display(zipmsg::kCentralSignatureWrong);
    case DirError::ShortName: throw EZipEngine::Display(zipmsg::kErrorReadingCentralName);
    case DirError::ShortExtra: throw EZipEngine::Display(zipmsg::kErrorReadingCentralExtra);
    case DirError::ShortComment: throw EZipEngine::Display(zipmsg::kErrorReadingFileComment);
    default: throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
  }
}

// The set with every volume present; the first missing one is named.
FixedSpanSet Complete(FixedSpanSet set, bool requireAll) {
  if (!requireAll) return set;
  for (int n = 0; n < set.last; ++n)
    if (const std::string v = set.names.volume(n, set.last); !platform::fileExists(v))
      throw EZipEngine(zipmsg::kSetVolumeMissing, v);
  return set;
}

}  // namespace

std::optional<FixedSpanSet> ResolveFixedSet(const std::string& path, bool requireAll) {
  const std::vector<spanname::SetNames> namings = spanname::NamingsOf(path);
  if (std::optional<EndRecords> end = EndOf(path)) {
    const int last = LastDiskOf(*end);
    if (last == 0) return std::nullopt;  // a plain archive
    for (const spanname::SetNames& s : namings)
      if (s.volume(last, last) == path && platform::fileExists(s.volume(0, last)))
        return Complete({s, last, path}, requireAll);
    if (requireAll)
      for (const spanname::SetNames& s : namings)
        if (s.volume(last, last) == path) throw EZipEngine(zipmsg::kSetVolumeMissing, s.volume(0, last));
    return std::nullopt;
  }
  // No end record: a first or middle volume, or a last one cut short. Only a name
  // whose first volume carries the spanning marker is taken for a set's.
  for (const spanname::SetNames& s : namings) {
    if (!HasSpanMarker(s.volume(0, 1))) continue;
    if (s.naming == spanname::Naming::Split) {
      const std::string lastPath = s.stem + s.ext;
      if (lastPath == path) RaiseDamaged(path);
      if (!platform::fileExists(lastPath)) throw EZipEngine(zipmsg::kSetVolumeMissing, lastPath);
      std::optional<EndRecords> end = EndOf(lastPath);
      if (!end || LastDiskOf(*end) == 0) RaiseDamaged(lastPath);
      return Complete({s, LastDiskOf(*end), lastPath}, requireAll);
    }
    for (int n = NumberOf(s, path); n < 0xFFFF; ++n) {
      const std::string volume = s.volume(n, n);
      if (!platform::fileExists(volume)) throw EZipEngine(zipmsg::kSetVolumeMissing, volume);
      if (std::optional<EndRecords> end = EndOf(volume)) {
        if (LastDiskOf(*end) != n) RaiseDamaged(volume);
        return Complete({s, n, volume}, requireAll);
      }
    }
  }
  return std::nullopt;
}

// ---- the central directory of a set ----------------------------------------------

namespace {

// The bytes of the central directory that end describes, read across volumes
// from the disk where it starts; the last volume ends it at its end records.
std::string ReadSetCentralBytes(SpanJob& job, const EndRecords& end) {
  const int last = job.LastDisk;
  const std::uint32_t cdDisk = end.centralDisk();
  const std::uint64_t size = end.centralSize();
  if (cdDisk > static_cast<std::uint32_t>(last)) throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
  std::string out;
  std::uint64_t at = end.storedCentralOffset();
  for (int d = static_cast<int>(cdDisk); out.size() < size; ++d) {
    if (d > last) throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    const InputFile& f = job.OpenForReading(d);
    const std::uint64_t limit = d == last ? std::min(end.directoryEnd(), f.size()) : f.size();
    if (at > limit) RaiseDamaged(job.VolumeName(d));
    const std::uint64_t n = std::min<std::uint64_t>(size - out.size(), limit - at);
    const std::size_t had = out.size();
    out.resize(had + static_cast<std::size_t>(n));
    if (!f.readExact(at, out.data() + had, static_cast<std::size_t>(n)))
      throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    at = 0;
  }
  return out;
}

// Parses the headers of a set's central directory, walked by its size.
std::vector<ZipEntry> ParseSetDirectory(std::string_view bytes, std::uint64_t counted, CodePageOpts codePage) {
  std::vector<ZipEntry> entries;
  std::size_t at = 0;
  while (bytes.size() - at >= 4) {
    if (get32(bytes, at) != kCentralHeaderSig && entries.size() >= counted) break;  // a signature record or filler
    ZipEntry e;
    std::size_t used = 0;
    RaiseParseError(ParseCentralHeader(bytes.substr(at), codePage, e, used));
    entries.push_back(std::move(e));
    at += used;
  }
  return entries;
}

}  // namespace

void TZipEngine::ReadSetDirectory() {
  SpanJob job(*this, ZipFilename_);
  job.LastDisk = LastDisk_;
  job.DiskNr = LastDisk_;
  if (!job.diskDrive())
    if (std::optional<FixedSpanSet> set = ResolveFixedSet(platform::absolutePath(ZipFilename_), false))
      job.names = set->names;
  const std::string bytes = ReadSetCentralBytes(job, End_);
  std::vector<ZipEntry> entries = ParseSetDirectory(bytes, End_.totalEntries(), CodePage);
  CentralDirOffset_ = End_.storedCentralOffset();
  Entries_.reserve(entries.size());
  std::uint64_t first = entries.empty() ? 0 : std::numeric_limits<std::uint64_t>::max();
  for (ZipEntry& e : entries) {
    if (e.diskNumberStart == 0) first = std::min(first, e.storedOffset);
    Entries_.push_back(MakeDirEntry(std::move(e)));
  }
  ContentStart_ = first == std::numeric_limits<std::uint64_t>::max() ? 0 : first;
}

// ---- ReadSpan --------------------------------------------------------------------

int TZipEngine::ReadSpan(const std::string& setName, std::string& outName) {
  const bool direct = !UnzipBusy_;
  UnzipBusy_ = true;
  const int result = RunSpanOperation(*this, [&] { ReadSpanChecked(setName, outName, direct); });
  if (direct) UnzipBusy_ = false;
  return result;
}

namespace {

// The name of the joined archive: a new unique name in a folder, or the file
// named; its extension becomes ".zip".
std::string JoinTarget(const std::string& outName) {
  std::string target = outName;
  if (platform::directoryExists(outName)) {
    target = TZipEngine::AppendSlash(outName) + "zipXXXXXX";
    const int fd = ::mkstemp(target.data());
    if (fd < 0) throw EZipEngine::Display(zipmsg::kTempFileNotCreated);
    ::close(fd);
    ::unlink(target.c_str());
  }
  const std::string ext = platform::extensionOf(target);
  target = target.substr(0, target.size() - ext.size()) + ".zip";
  return platform::absolutePath(target);
}

// Finds the set's last volume and its end records: on a fixed drive from the
// volume names, on a removable drive by asking for the last disk.
EndRecords FindLastVolume(SpanJob& job) {
  EndRecords end;
  if (!job.diskDrive()) {
    if (!platform::fileExists(job.path())) throw EZipEngine::Display(zipmsg::kInputFileNotExist);
    std::optional<FixedSpanSet> set = ResolveFixedSet(job.path());
    if (set) {
      job.names = set->names;
      job.LastDisk = set->last;
    }
    const InputFile& f = job.OpenForReading(job.LastDisk);
    if (FindEndRecords(f, end) != EndSearch::Found) {
      if (HasSpanMarker(job.path())) throw EZipEngine::Display(zipmsg::kFirstFileOfSet);
      throw EZipEngine::Display(zipmsg::kNotValidZip);
    }
    return end;
  }
  job.DiskNr = -1;
  for (;;) {
    if (job.DriveCheck()) {
      InputFile f;
      if (f.open(job.path()) && FindEndRecords(f, end) == EndSearch::Found) break;
      if (SpanLabelNumber(job.VolumeLabel) == 1) throw EZipEngine::Display(zipmsg::kFirstDiskOfSet);
    }
    job.NewDisk = true;
    job.RequestDisk();
  }
  job.LastDisk = LastDiskOf(end);
  job.DiskNr = job.LastDisk;
  return end;
}

// The joined file under a temporary name beside its target, removed unless it
// was handed over.
class TempOutput {
 public:
  explicit TempOutput(const std::string& target) : name_(target + ".XXXXXX") {
    fd_.reset(::mkostemp(name_.data(), O_CLOEXEC));
    if (!fd_.valid()) throw EZipEngine::Display(zipmsg::kCreateOutputFailed);
  }
  ~TempOutput() {
    fd_.reset();
    if (!kept_) ::unlink(name_.c_str());
  }
  int fd() const { return fd_.get(); }
  // Closes the file and gives it the target's name. An archive the caller keeps
  // gets the mode of any new file and is on the disk before it has its name; a
  // temporary that is read once and removed (Extract's) stays private and is not
  // flushed, which would only cost time.
  void Finish(const std::string& target, DeleteOpts howToDelete, bool kept) {
    if (kept && (::fchmod(fd_.get(), 0666 & ~platform::currentUmask()) != 0 || ::fsync(fd_.get()) != 0))
      throw EZipEngine::Display(zipmsg::kWriteErrorOutput);
    if (::close(fd_.release()) != 0) throw EZipEngine::Display(zipmsg::kWriteErrorOutput);
    if (platform::fileExists(target)) {
      if (howToDelete == htdAllowUndo)
        platform::moveToTrash(target);
      else
        ::unlink(target.c_str());
    }
    if (::rename(name_.c_str(), target.c_str()) != 0) throw EZipEngine::Display(zipmsg::kCreateOutputFailed);
    kept_ = true;
  }

 private:
  std::string name_;
  platform::UniqueFd fd_;
  bool kept_ = false;
};

}  // namespace

void TZipEngine::ReadSpanChecked(const std::string& setName, std::string& outName, bool keep) {
  SpanJob job(*this, setName);
  const std::string target = JoinTarget(outName);
  outName = target;
  const EndRecords end = FindLastVolume(job);
  const std::string cd = ReadSetCentralBytes(job, end);
  std::vector<ZipEntry> entries = ParseSetDirectory(cd, end.totalEntries(), CodePage);

  const int cdDisk = static_cast<int>(end.centralDisk());
  const std::uint64_t cdOffset = end.storedCentralOffset();
  const std::size_t count = entries.size();
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  for (const ZipEntry& e : entries)
    if (e.zip64Missing || e.diskNumberStart > static_cast<std::uint32_t>(cdDisk))
      throw EZipEngine::Display(zipmsg::kLocalHeaderNotInTable);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const ZipEntry &x = entries[a], &y = entries[b];
    return x.diskNumberStart != y.diskNumberStart ? x.diskNumberStart < y.diskNumberStart
                                                  : x.storedOffset < y.storedOffset;
  });
  if (OnProgress) OnProgress(*this, ptTotalFiles, {}, static_cast<std::int64_t>(count));

  // The volumes one after the other, up to the central directory.
  TempOutput out(target);
  std::vector<std::int64_t> volStart(static_cast<std::size_t>(cdDisk) + 1);
  std::vector<std::uint64_t> volFrom(volStart.size()), volTo(volStart.size());
  std::uint64_t written = 0;
  std::size_t next = 0;  // the next entry (in order) to announce
  for (int d = 0; d <= cdDisk; ++d) {
    const InputFile& f = job.OpenForReading(d);
    std::uint64_t from = 0;
    const std::uint64_t to = d == cdDisk ? cdOffset : f.size();
    if (to > f.size()) RaiseDamaged(job.VolumeName(d));
    if (d == 0) {
      unsigned char sig[4];
      const bool marker = f.readExact(0, sig, 4) && (get32(sig) == kDescriptorSig || get32(sig) == kSpanTempMarker);
      if (marker)
        from = 4;
      else if (job.LastDisk != 0)
        throw EZipEngine::Display(zipmsg::kErrorReadingSpanMarker);
    }
    volStart[d] = static_cast<std::int64_t>(written) - static_cast<std::int64_t>(from);
    volFrom[d] = from;
    volTo[d] = to;
    for (std::uint64_t at = from; at < to;) {
      platform::pumpEvents();
      if (CancelRequested) throw EZipEngine(zipmsg::kUserCanceled);
      const std::uint64_t n = std::min<std::uint64_t>(to - at, kJoinPiece);
      for (; next < count; ++next) {
        const ZipEntry& e = entries[order[next]];
        if (e.diskNumberStart != static_cast<std::uint32_t>(d) || e.storedOffset >= at + n) break;
        if (OnProgress) OnProgress(*this, ptFileBegin, e.name, static_cast<std::int64_t>(e.compressedSize));
        if (OnMessage) OnMessage(*this, 0, zipmsg::Text(zipmsg::kCopying) + e.name);
      }
      switch (copyRange(f.fd(), at, out.fd(), n)) {
        case CopyEnd::Done: break;
        case CopyEnd::ShortInput: RaiseDamaged(job.VolumeName(d));
        case CopyEnd::WriteFailed: throw EZipEngine::Display(zipmsg::kWriteErrorOutput);
      }
      if (OnProgress) OnProgress(*this, ptFileProgress, {}, static_cast<std::int64_t>(n));
      at += n;
    }
    written += to - from;
  }
  const std::uint64_t cdStart = written;

  // Every local header at its new place, each entry ending before the next begins.
  std::vector<std::uint64_t> joinedAt(count);
  for (std::size_t i = 0; i < count; ++i) {
    const ZipEntry& e = entries[order[i]];
    const int d = static_cast<int>(e.diskNumberStart);
    if (e.storedOffset < volFrom[d] || e.storedOffset >= volTo[d]) RaiseDamaged(job.VolumeName(d));
    joinedAt[order[i]] = static_cast<std::uint64_t>(volStart[d] + static_cast<std::int64_t>(e.storedOffset));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const ZipEntry& e = entries[order[i]];
    const int d = static_cast<int>(e.diskNumberStart);
    const std::uint64_t at = joinedAt[order[i]];
    unsigned char h[kLocalHeaderSize];
    if (preadFull(out.fd(), h, sizeof h, at) != static_cast<long long>(sizeof h) || get32(h) != kLocalHeaderSig)
      RaiseDamaged(job.VolumeName(d));
    const std::uint64_t endOfEntry = at + kLocalHeaderSize + get16(h + 26) + get16(h + 28) + e.compressedSize;
    const std::uint64_t nextStart = i + 1 < count ? joinedAt[order[i + 1]] : cdStart;
    if (endOfEntry > nextStart) {
      // The entry runs into the next one: a volume it spans is cut short, most
      // likely the smallest of them.
      const int nextDisk = i + 1 < count ? static_cast<int>(entries[order[i + 1]].diskNumberStart) : cdDisk;
      int culprit = d;
      for (int v = d + 1; v < nextDisk; ++v)
        if (volTo[v] - volFrom[v] < volTo[culprit] - volFrom[culprit]) culprit = v;
      RaiseDamaged(job.VolumeName(culprit));
    }
  }

  // The directory anew, then the end records.
  std::string dirBytes, h;
  for (std::size_t i = 0; i < count; ++i) {
    if (!spanrec::CentralHeaderAt(entries[i], 0, joinedAt[i], h))
      throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    dirBytes += h;
  }
  dirBytes += endRecordsFor(count, dirBytes.size(), cdStart, end.comment);
  if (!writeAll(out.fd(), dirBytes.data(), dirBytes.size())) throw EZipEngine::Display(zipmsg::kWriteErrorOutput);
  out.Finish(target, HowToDelete, keep);
}

void TZipEngine::ResolveSetVolume() {
  const std::string path = platform::absolutePath(ZipFilename_);
  const platform::DriveType type = platform::drives().typeOf(platform::drives().rootOf(path));
  if (type == platform::DriveType::Removable || type == platform::DriveType::CDRom) return;
  std::optional<FixedSpanSet> set;
  try {
    set = ResolveFixedSet(path, false);
  } catch (const EZipEngine&) {
    SpannedSet_ = true;  // a volume of a set that cannot be read whole
    throw;
  }
  if (set && set->lastPath != path) ZipFilename_ = set->lastPath;
}
