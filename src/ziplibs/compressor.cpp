#include "ziplibs/compressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "platform/codepage.h"
#include "ziplibs/reporter.h"
#include "zipcore/archivelock.h"
#include "zipcore/namematch.h"
#include "zipcore/placement.h"
#include "ziplibs/zipcrypto.h"
#include "zipcore/localheader.h"
#include "zipcore/records.h"

namespace ziplibs {

using namespace zipcore;

namespace {

// Members this large get a ZIP64 local header: room for deflate's worst case and
// the encryption header before 4 GiB.
constexpr std::uint64_t kZip64LocalThreshold = 0xF0000000ull;

mode_t currentUmask() {
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    unsigned mask = 022;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    std::fclose(f);
    return static_cast<mode_t>(mask);
  }
  return 022;
}

// How long a writer waits for another one of the same archive to finish.
constexpr auto kLockWait = std::chrono::minutes(5);

// Deflate's flag bits 1-2: the speed/size trade-off the member was made with.
std::uint16_t levelFlags(int level) {
  if (level >= 8) return 0x0002;
  if (level == 2) return 0x0004;
  if (level == 1) return 0x0006;
  return 0;
}

}  // namespace

Compressor::Compressor(const AddOptions& opts, Reporter& reporter, Tuning tuning)
    : opts_(opts), reporter_(reporter), tuning_(tuning) {}

Compressor::~Compressor() {
  pool_.reset();  // workers stop before the members and codecs they use go away
}

bool Compressor::fail(std::uint32_t code, const std::string& text) {
  reporter_.message(code, text);
  return false;
}

bool Compressor::writeFailed() {
  int err = errno;
  if (reporter_.stopped()) return false;
  if (err == 0) err = EIO;
  return fail(err == ENOSPC ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE,
              opts_.archive + ": cannot write the new archive: " + errorText(err) + " (the archive is unchanged)");
}

int Compressor::run() {
  if (!lockArchive() || !openArchive()) return 0;
  bool planned = opts_.deleteEntries ? planDelete() : planAdd();
  if (!planned || !writeArchive()) {
    if (!reporter_.stopped()) reporter_.batchEnd();
    return 0;
  }
  if (writer_.durable() && writer_.inPlace()) {
    moveSources();
  } else if (opts_.move && !opts_.deleteEntries) {
    reporter_.message(ZIPLIB_E_WARNING, opts_.archive +
                                            (writer_.durable() ? ": replaced by another program at once"
                                                               : ": not sure the archive is on disk") +
                                            "; the sources were kept");
  }
  if (opts_.zipTime) setArchiveTime();
  reporter_.batchEnd();
  return static_cast<int>(std::min<std::size_t>(newCount_, INT_MAX));
}

// One writer at a time: the archive stays locked from reading it until the new
// one is in place (and its sources moved), so two runs never both build on the
// same old archive and lose one's work. The temporaries of writers that died are
// removed here, where no live writer of this archive can be making one.
bool Compressor::lockArchive() {
  archivePath_ = opts_.archive;
  struct stat st {};
  if (::lstat(archivePath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    if (char* real = ::realpath(archivePath_.c_str(), nullptr)) {
      archivePath_ = real;
      std::free(real);
    }
  }
  bool told = false;
  auto poll = [&] {
    if (!told) {
      told = true;
      return reporter_.message(ZIPLIB_OK, opts_.archive + ": another program is changing the archive; waiting for it");
    }
    return reporter_.poll();
  };
  std::string error;
  switch (lock_.acquire(archivePath_, kLockWait, poll, error)) {
    case ArchiveLock::Outcome::Locked: break;
    case ArchiveLock::Outcome::Stopped: return false;
    case ArchiveLock::Outcome::Busy:
      return fail(ZIPLIB_E_WRITE, opts_.archive +
                                      ": another program has been changing the archive for 5 minutes; try again "
                                      "when it has finished (nothing was changed)");
    case ArchiveLock::Outcome::Failed:
      return fail(ZIPLIB_E_WRITE, opts_.archive + ": " + error + " (nothing was changed)");
  }
  for (const StaleTemp& t : RemoveStaleTemps(archivePath_))
    if (!reporter_.message(ZIPLIB_NOTICE, opts_.archive + ": removed " + t.name + " (" + std::to_string(t.size) +
                                              " bytes), a temporary file left by a write that was interrupted"))
      return false;
  return true;
}

bool Compressor::openArchive() {
  if (::stat(archivePath_.c_str(), &oldStat_) != 0) {
    if (errno != ENOENT) return fail(ZIPLIB_E_READ, opts_.archive + ": " + errorText(errno));
    if (opts_.deleteEntries) return fail(ZIPLIB_E_NOT_FOUND, opts_.archive + ": the archive does not exist");
    return true;
  }
  exists_ = true;
  if (!S_ISREG(oldStat_.st_mode)) return fail(ZIPLIB_E_BAD_ARCHIVE, opts_.archive + ": not a regular file");
  if (oldStat_.st_size == 0 && !opts_.deleteEntries) return true;  // an empty file becomes a new archive
  if (!oldFile_.open(archivePath_)) return fail(ZIPLIB_E_READ, opts_.archive + ": " + errorText(errno));
  if (DirError error = ReadDirectory(oldFile_, old_); error != DirError::None)
    return fail(ZIPLIB_E_BAD_ARCHIVE, opts_.archive + ": " + DescribeDirError(error) + " (nothing was changed)");
  if (old_.entriesMissing())
    return fail(ZIPLIB_E_BAD_ARCHIVE,
                opts_.archive + ": the end record counts " + std::to_string(old_.recordedEntries) +
                    " entries, the central directory holds only " + std::to_string(old_.entries.size()) +
                    ": rewriting could lose entries (nothing was changed)");
  if (old_.countDisagrees())
    reporter_.info(opts_.archive + ": the end record counts " + std::to_string(old_.recordedEntries) +
                   " entries; all " + std::to_string(old_.entries.size()) + " of the central directory are kept");
  haveOld_ = true;
  return true;
}

// The entries to be copied must be sound: a copy would carry overlapping members
// (a bomb that tests and extractions refuse) forward as separate, valid-looking
// ones, and local headers that disagree with the directory (another name, such as
// "../x", for other readers) unchanged.
bool Compressor::keptEntriesSound() {
  std::vector<std::size_t> kept;
  for (const Item& item : items_)
    if (item.copy) kept.push_back(item.index);
  if (kept.empty()) return true;
  const std::vector<Placement> placement = CheckPlacement(old_, kept);
  auto refuse = [&](const ZipEntry& e, const std::string& why) {
    return fail(ZIPLIB_E_BAD_ARCHIVE, opts_.archive + ": entry " + e.name + ": " + why +
                                          "; the archive is not rewritten (nothing was changed)");
  };
  for (std::size_t i : kept) {
    const ZipEntry& e = old_.entries[i];
    if (placement[i].problem != Placement::Fine) return refuse(e, DescribePlacement(old_, placement[i]));
    if (e.zip64Missing) return refuse(e, "its ZIP64 sizes or offset are missing");
    LocalHeader lh;
    std::string error;
    if (!readLocalHeader(oldFile_, e, old_.centralOffset, lh, error)) return refuse(e, error);
    const std::string disagreement = LocalHeaderDisagreement(lh, e);
    if (!disagreement.empty())
      return refuse(e, "its local header disagrees with the central directory (" + disagreement + ")");
  }
  return true;
}

// Which old entry a new name replaces: names match as stored or as shown.
bool Compressor::planAdd() {
  if (!collectSources(opts_, exists_ ? &oldStat_ : nullptr, reporter_, sources_)) {
    if (!reporter_.stopped()) reporter_.message(ZIPLIB_E_NOT_FOUND, opts_.archive + ": nothing was added");
    return false;
  }
  std::unordered_map<std::string, std::size_t> byName;
  for (std::size_t i = old_.entries.size(); i-- > 0;) {
    byName[old_.entries[i].rawName] = i;
    byName[old_.entries[i].name] = i;
  }
  std::vector<std::size_t> replaceWith(old_.entries.size(), SIZE_MAX);
  std::vector<std::size_t> appended;
  std::uint64_t totalSize = 0;
  for (std::size_t s = 0; s < sources_.files.size(); ++s) {
    const SourceFile& src = sources_.files[s];
    auto it = byName.find(src.storedName);
    if (it != byName.end() && replaceWith[it->second] == SIZE_MAX) {
      const ZipEntry& e = old_.entries[it->second];
      bool newer = extraModTime(e.extra) ? src.st.st_mtim.tv_sec > *extraModTime(e.extra)
                                         : unixToDos(src.st.st_mtim.tv_sec) > e.dosTime;
      if ((opts_.update || opts_.freshen) && !newer) {
        reporter_.info("  up to date: " + src.storedName);
        continue;
      }
      replaceWith[it->second] = s;
    } else if (it != byName.end() || opts_.freshen) {
      continue;  // a second source of that name, or freshen: only what is there
    } else {
      appended.push_back(s);
    }
    ++newCount_;
    if (src.kind == SourceFile::kFile) totalSize += static_cast<std::uint64_t>(src.st.st_size);
  }
  if (newCount_ == 0) {
    reporter_.info(opts_.archive + ": nothing to add");
    return false;
  }
  for (std::size_t i = 0; i < old_.entries.size(); ++i)
    items_.push_back(replaceWith[i] == SIZE_MAX ? Item{true, i} : Item{false, replaceWith[i]});
  for (std::size_t s : appended) items_.push_back(Item{false, s});
  changed_.assign(sources_.files.size(), false);
  if (!keptEntriesSound()) return false;
  return reporter_.totalFiles(newCount_) && reporter_.totalSize(totalSize);
}

bool Compressor::planDelete() {
  EntrySelector selector(opts_.specs, opts_.literal);
  std::vector<std::size_t> doomed;
  for (std::size_t i = 0; i < old_.entries.size(); ++i) {
    const ZipEntry& e = old_.entries[i];
    if (selector.select(e.name, e.rawName))
      doomed.push_back(i);
    else
      items_.push_back(Item{true, i});
  }
  for (const std::string& spec : selector.unused())
    reporter_.message(ZIPLIB_E_NOT_FOUND, spec + ": no such entry in " + opts_.archive);
  if (doomed.empty() || !keptEntriesSound()) return false;
  if (!reporter_.totalFiles(doomed.size())) return false;
  for (std::size_t i : doomed) {
    const ZipEntry& e = old_.entries[i];
    if (!reporter_.fileBegin(e.name, e.compressedSize) || !reporter_.info("  deleting: " + e.name)) return false;
  }
  newCount_ = doomed.size();
  return true;
}

bool Compressor::writeArchive() {
  unsigned threads = tuning_.threads ? tuning_.threads : WorkerPool::defaultThreads();
  codecs_ = std::vector<Codec>(threads);
  pool_ = std::make_unique<WorkerPool>(threads);
  std::string error;
  if (!writer_.create(archivePath_, error)) return fail(ZIPLIB_E_WRITE, opts_.archive + ": " + error);
  reporter_.trace("writing " + opts_.archive + " beside the old one; level " + std::to_string(opts_.level) + ", " +
                  std::to_string(threads) + " workers; " + std::to_string(old_.entries.size()) + " entries kept, " +
                  std::to_string(old_.prefixLength) + " bytes in front");
  if (!writePrefix()) return false;
  for (const Item& item : items_) {
    submitMore();
    bool ok;
    if (item.copy) {
      ok = copyEntry(old_.entries[item.index]);
    } else if (sources_.files[item.index].kind == SourceFile::kDirectory) {
      ok = writeDirectory(sources_.files[item.index]);
    } else {
      if (members_.empty() || members_.front().source != item.index)
        return fail(ZIPLIB_E_WRITE, opts_.archive + ": internal error: members out of order");
      ok = writeNew(members_.front());
      members_.pop_front();
    }
    if (!ok || reporter_.stopped()) return false;
  }
  if (!writer_.finish(haveOld_ ? old_.end.comment : std::string())) return writeFailed();
  mode_t mode = exists_ ? (oldStat_.st_mode & 07777) : (0666 & ~currentUmask());
  if (!writer_.commit(mode, exists_ ? &oldStat_ : nullptr, error))
    return fail(ZIPLIB_E_WRITE, opts_.archive + ": " + error);
  return true;
}

// The bytes in front of the first member (a self-extracting stub) stay, except a
// lone marker of a single-part spanned set, which would make it look spanned.
bool Compressor::writePrefix() {
  if (!haveOld_ || old_.prefixLength == 0) return true;
  if (old_.prefixLength == 4) {
    unsigned char sig[4];
    if (oldFile_.readExact(0, sig, 4) && (get32(sig) == kDescriptorSig || get32(sig) == kSpanTempMarker)) return true;
  }
  if (!writer_.copyFrom(oldFile_.fd(), 0, old_.prefixLength, [](std::uint64_t) { return true; })) return writeFailed();
  return true;
}

bool Compressor::copyEntry(const ZipEntry& e) {
  LocalHeader lh;
  std::string error;
  if (!readLocalHeader(oldFile_, e, old_.centralOffset, lh, error))
    return fail(ZIPLIB_E_BAD_ARCHIVE, opts_.archive + ": entry " + e.name + ": " + error + " (nothing was changed)");
  CentralRecord rec{
      e.versionMadeBy,    e.versionNeeded,    e.flags,        e.method,       e.dosTime, e.crc,   e.compressedSize,
      e.uncompressedSize, writer_.position(), e.internalAttr, e.externalAttr, e.rawName, e.extra, e.comment};
  std::uint64_t size = lh.dataOffset - lh.headerOffset + e.compressedSize + lh.descriptorSize;
  if (!writer_.copyFrom(oldFile_.fd(), lh.headerOffset, size, [&](std::uint64_t n) { return reporter_.progress(n); }))
    return reporter_.stopped() ? false : writeFailed();
  newest_ = std::max(newest_, e.modTime());
  return addCentral(std::move(rec));
}

// Every length field of a central header is 16 bits wide: an entry copied with an
// extra field near 65535 bytes has no room left for the ZIP64 block a far offset
// needs, so blocks of it go (with a warning) rather than the lengths wrap.
bool Compressor::addCentral(CentralRecord rec) {
  std::string why;
  std::vector<std::uint16_t> dropped;
  if (!FitCentralRecord(rec, why, dropped))
    return fail(ZIPLIB_E_BAD_ARCHIVE,
                opts_.archive + ": entry " + rec.name + ": " + why + " (the archive is unchanged)");
  if (!dropped.empty()) {
    std::string ids;
    char id[8];
    for (std::uint16_t d : dropped) {
      std::snprintf(id, sizeof id, "0x%04x", d);
      ids += (ids.empty() ? "" : ", ") + std::string(id);
    }
    reporter_.message(ZIPLIB_E_WARNING, rec.name + ": extra field blocks " + ids +
                                            " dropped: the central header has no room for them and its ZIP64 values");
  }
  writer_.addCentral(std::move(rec));
  return true;
}

std::string Compressor::timeExtra(const SourceFile& src) const {
  std::string x;
  std::int64_t t = src.st.st_mtim.tv_sec;
  if (opts_.forceDos || t < INT32_MIN || t > INT32_MAX) return x;
  put16(x, kExtraTimestamp);
  put16(x, 5);
  x.push_back(1);  // modification time present
  put32(x, static_cast<std::uint32_t>(static_cast<std::int32_t>(t)));
  return x;
}

CentralRecord Compressor::newRecord(const SourceFile& src) const {
  CentralRecord r;
  r.name = src.storedName;
  if (!platform::isAscii(r.name) && platform::isValidUtf8(r.name)) r.flags |= kFlagUtf8;
  // MS-DOS names change the names only. A link is a link only through the Unix
  // type bits of a record made on Unix: it keeps them, or it would come back as
  // a file holding its target's name.
  const bool dosRecord = opts_.forceDos && src.kind != SourceFile::kSymlink;
  r.versionMadeBy = dosRecord ? 20 : static_cast<std::uint16_t>((kHostUnix << 8) | 30);
  r.versionNeeded = 10;
  r.dosTime = unixToDos(src.st.st_mtim.tv_sec);
  std::uint32_t dosAttr = src.kind == SourceFile::kDirectory ? 0x10 : 0;
  if (!(src.st.st_mode & 0222)) dosAttr |= 0x01;  // read-only
  std::uint32_t mode = static_cast<std::uint32_t>(src.st.st_mode) & 0177777;
  r.externalAttr = dosRecord ? dosAttr : (mode << 16) | dosAttr;
  r.extra = timeExtra(src);
  return r;
}

bool Compressor::writeDirectory(const SourceFile& src) {
  if (!reporter_.fileBegin(src.storedName, 0)) return false;
  CentralRecord rec = newRecord(src);
  rec.localOffset = writer_.position();
  if (!writer_.write(localHeaderFor(rec, rec.extra, false))) return writeFailed();
  newest_ = std::max<std::int64_t>(newest_, src.st.st_mtim.tv_sec);
  return addCentral(std::move(rec)) && reporter_.info("  adding: " + src.storedName + " (stored 0%)");
}

bool Compressor::openMember(Member& m) {
  const SourceFile& src = sources_.files[m.source];
  m.opened = true;
  if (src.kind == SourceFile::kSymlink) {
    std::string target(PATH_MAX, '\0');
    ssize_t n = ::readlink(src.path.c_str(), target.data(), target.size());
    if (n < 0) {
      m.openError = errorText(errno);
      return false;
    }
    target.resize(static_cast<std::size_t>(n));
    m.chunks = 1;
    m.handle.reset();
    m.jobs.reserve(1);
    auto job = std::make_shared<CompressJob>();
    job->memory = std::move(target);
    m.jobs.push_back(job);  // submitted by submitMore with its memory
    return true;
  }
  auto h = std::make_shared<SourceHandle>();
  h->fd.reset(::open(src.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!h->fd.valid() || ::fstat(h->fd.get(), &st) != 0) {
    m.openError = errorText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    m.openError = "no longer a regular file";
    return false;
  }
  h->size = static_cast<std::uint64_t>(st.st_size);
  m.handle = std::move(h);
  m.chunks = m.handle->size <= tuning_.wholeLimit ? 1 : (m.handle->size + tuning_.chunkSize - 1) / tuning_.chunkSize;
  return true;
}

std::shared_ptr<CompressJob> Compressor::makeJob(Member& m, std::uint64_t chunk) {
  std::shared_ptr<CompressJob> job = m.handle ? std::make_shared<CompressJob>() : m.jobs.front();
  job->codecs = &codecs_;
  job->level = opts_.level;
  if (m.handle) {
    job->source = m.handle;
    job->chunk = m.chunks > 1;
    job->offset = job->chunk ? chunk * tuning_.chunkSize : 0;
    job->length = job->chunk ? std::min(tuning_.chunkSize, m.handle->size - job->offset) : m.handle->size;
    job->lastChunk = chunk + 1 == m.chunks;
  } else {
    job->length = job->memory.size();
  }
  // A link's target is not encrypted: it is a name, and readers that restore
  // links take it as it is stored.
  if (encrypting() && !job->chunk && m.handle) job->password = opts_.password;
  return job;
}

void Compressor::submitMore() {
  while (nextItem_ < items_.size()) {
    const Item& item = items_[nextItem_];
    if (item.copy || sources_.files[item.index].kind == SourceFile::kDirectory) {
      ++nextItem_;
      continue;
    }
    if (nextChunk_ == 0 && (members_.empty() || members_.back().source != item.index || !members_.back().opened)) {
      members_.emplace_back();
      members_.back().source = item.index;
      openMember(members_.back());
    }
    Member& m = members_.back();
    if (!m.openError.empty()) {
      ++nextItem_;
      continue;
    }
    while (nextChunk_ < m.chunks) {
      std::uint64_t cost = m.handle ? std::min(tuning_.chunkSize, m.handle->size) : 0;
      if (m.chunks == 1 && m.handle) cost = m.handle->size;
      if (inflightJobs_ > 0 && (inflightBytes_ + cost > tuning_.budgetBytes || inflightJobs_ >= tuning_.maxJobs))
        return;
      auto job = makeJob(m, nextChunk_);
      if (m.handle) m.jobs.push_back(job);
      inflightBytes_ += job->length;
      ++inflightJobs_;
      pool_->submit(job);
      ++nextChunk_;
    }
    ++nextItem_;
    nextChunk_ = 0;
  }
}

bool Compressor::waitFor(CompressJob& job) {
  while (!pool_->wait(job, std::chrono::milliseconds(200))) {}
  return job.error.empty();
}

void Compressor::release(CompressJob& job) {
  inflightBytes_ -= job.length;
  --inflightJobs_;
  std::string().swap(job.data);
}

bool Compressor::writeNew(Member& m) {
  const SourceFile& src = sources_.files[m.source];
  if (!m.openError.empty())
    return fail(ZIPLIB_E_READ, src.path + ": cannot open: " + m.openError + " (the archive is unchanged)");
  std::uint64_t size = m.handle ? m.handle->size : static_cast<std::uint64_t>(src.st.st_size);
  if (!reporter_.fileBegin(src.storedName, size)) return false;
  CentralRecord rec = newRecord(src);
  bool ok = m.chunks > 1 ? writeChunked(m, rec, src) : writeWhole(m, rec, src);
  if (!ok) return false;
  newest_ = std::max<std::int64_t>(newest_, src.st.st_mtim.tv_sec);
  if (!reporter_.fileEnd()) return false;
  const char* how = rec.method == kMethodDeflate ? "deflated" : "stored";
  std::string text = "  adding: " + src.storedName + " (" + how + " " +
                     std::to_string(savedPercent(rec.uncompressedSize, rec.compressedSize)) + "%)";
  return addCentral(std::move(rec)) && reporter_.info(text);
}

bool Compressor::writeWhole(Member& m, CentralRecord& rec, const SourceFile& src) {
  submitMore();
  CompressJob& job = *m.jobs.front();
  if (!waitFor(job)) return fail(ZIPLIB_E_READ, src.path + ": " + job.error + " (the archive is unchanged)");
  rec.method = job.stored ? kMethodStore : kMethodDeflate;
  if (!job.stored) rec.flags |= levelFlags(opts_.level);
  if (job.password) rec.flags |= kFlagEncrypted;
  rec.versionNeeded = (rec.method == kMethodDeflate || job.password) ? 20 : 10;
  rec.crc = job.crc;
  rec.uncompressedSize = job.read;
  rec.compressedSize = job.data.size();
  rec.localOffset = writer_.position();
  if (!writer_.write(localHeaderFor(rec, rec.extra, false)) || !writer_.write(job.data)) return writeFailed();
  if (m.handle && (job.read != m.handle->size || job.grew)) {
    changed_[m.source] = true;
    reporter_.message(ZIPLIB_E_CHANGED, src.path + ": the file changed while it was being added");
  }
  std::uint64_t done = job.read;
  release(job);
  m.handle.reset();
  return reporter_.progress(done);
}

namespace {

// After a member written in chunks: the CRC and sizes go into its local header, or
// into a data descriptor when the header had to be written without them.
std::string descriptorFor(const CentralRecord& rec, bool zip64) {
  std::string d;
  put32(d, kDescriptorSig);
  put32(d, rec.crc);
  if (zip64) {
    put64(d, rec.compressedSize);
    put64(d, rec.uncompressedSize);
  } else {
    put32(d, static_cast<std::uint32_t>(rec.compressedSize));
    put32(d, static_cast<std::uint32_t>(rec.uncompressedSize));
  }
  return d;
}

}  // namespace

bool Compressor::writeChunked(Member& m, CentralRecord& rec, const SourceFile& src) {
  const std::uint64_t size = m.handle->size;
  const bool zip64 = size >= kZip64LocalThreshold;
  const bool encrypt = encrypting();
  rec.method = opts_.level > 0 ? kMethodDeflate : kMethodStore;
  rec.flags |= (encrypt ? (kFlagEncrypted | kFlagDescriptor) : 0) | (opts_.level > 0 ? levelFlags(opts_.level) : 0);
  rec.versionNeeded = zip64 ? 45 : 20;
  rec.uncompressedSize = size;
  const std::uint64_t headerAt = writer_.position();
  rec.localOffset = headerAt;
  if (!writer_.write(localHeaderFor(rec, rec.extra, zip64))) return writeFailed();
  ZipCrypto zc(opts_.password);
  std::uint64_t packed = 0, crc = 0, read = 0;
  if (encrypt) {
    unsigned char header[ZipCrypto::kHeaderSize];
    zc.makeHeader(header, static_cast<std::uint8_t>(rec.dosTime >> 8));
    if (!writer_.write(header, sizeof header)) return writeFailed();
    packed += sizeof header;
  }
  for (std::uint64_t k = 0; k < m.chunks; ++k) {
    submitMore();
    CompressJob& job = *m.jobs[k];
    if (!waitFor(job)) return fail(ZIPLIB_E_READ, src.path + ": " + job.error + " (the archive is unchanged)");
    crc = crc32_combine(static_cast<uLong>(crc), job.crc, static_cast<z_off_t>(job.read));
    read += job.read;
    if (encrypt) zc.encrypt(reinterpret_cast<unsigned char*>(job.data.data()), job.data.size());
    if (!writer_.write(job.data)) return writeFailed();
    packed += job.data.size();
    std::uint64_t done = job.read;
    release(job);
    m.jobs[k].reset();
    if (!reporter_.progress(done)) return false;
  }
  struct stat now {};
  if (::fstat(m.handle->fd.get(), &now) != 0 || static_cast<std::uint64_t>(now.st_size) != size) {
    changed_[m.source] = true;
    reporter_.message(ZIPLIB_E_CHANGED, src.path + ": the file changed while it was being added");
  }
  rec.crc = static_cast<std::uint32_t>(crc);
  rec.uncompressedSize = read;
  rec.compressedSize = packed;
  if (rec.method == kMethodDeflate && packed - (encrypt ? ZipCrypto::kHeaderSize : 0) >= read)
    return rewriteStored(m, rec, src, headerAt);
  bool ok;
  if (encrypt) {
    ok = writer_.write(descriptorFor(rec, zip64));
  } else {
    std::string fields;
    put32(fields, rec.crc);
    ok = writer_.patch(headerAt + 14, fields);
    fields.clear();
    if (zip64) {
      put64(fields, rec.uncompressedSize);
      put64(fields, rec.compressedSize);
      ok = ok && writer_.patch(headerAt + kLocalHeaderSize + rec.name.size() + 4, fields);
    } else {
      put32(fields, static_cast<std::uint32_t>(rec.compressedSize));
      put32(fields, static_cast<std::uint32_t>(rec.uncompressedSize));
      ok = ok && writer_.patch(headerAt + 18, fields);
    }
  }
  m.handle.reset();
  return ok ? true : writeFailed();
}

// Deflate did not shrink the member: write it again, stored, reading the file a
// second time; its CRC must come out the same.
bool Compressor::rewriteStored(Member& m, CentralRecord& rec, const SourceFile& src, std::uint64_t headerAt) {
  const bool zip64 = rec.uncompressedSize >= kZip64LocalThreshold;
  const bool encrypt = rec.flags & kFlagEncrypted;
  if (!writer_.truncate(headerAt)) return writeFailed();
  rec.method = kMethodStore;
  rec.flags &= static_cast<std::uint16_t>(~0x0006);
  rec.compressedSize = rec.uncompressedSize;
  if (!writer_.write(localHeaderFor(rec, rec.extra, zip64))) return writeFailed();
  ZipCrypto zc(opts_.password);
  if (encrypt) {
    unsigned char header[ZipCrypto::kHeaderSize];
    zc.makeHeader(header, static_cast<std::uint8_t>(rec.dosTime >> 8));
    if (!writer_.write(header, sizeof header)) return writeFailed();
    rec.compressedSize += sizeof header;
  }
  std::string piece(1 << 20, '\0');
  std::uint32_t crc = 0;
  std::uint64_t at = 0;
  while (at < rec.uncompressedSize) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), rec.uncompressedSize - at));
    if (preadFull(m.handle->fd.get(), piece.data(), want, at) != static_cast<long long>(want))
      return fail(ZIPLIB_E_CHANGED,
                  src.path + ": the file changed while it was being added (the archive is unchanged)");
    crc = crc32Of(std::string_view(piece.data(), want), crc);
    if (encrypt) zc.encrypt(reinterpret_cast<unsigned char*>(piece.data()), want);
    if (!writer_.write(piece.data(), want)) return writeFailed();
    at += want;
  }
  if (crc != rec.crc)
    return fail(ZIPLIB_E_CHANGED, src.path + ": the file changed while it was being added (the archive is unchanged)");
  bool ok;
  if (encrypt) {
    ok = writer_.write(descriptorFor(rec, zip64));
  } else {
    std::string fields;
    put32(fields, rec.crc);
    if (!zip64) {
      put32(fields, static_cast<std::uint32_t>(rec.compressedSize));
      put32(fields, static_cast<std::uint32_t>(rec.uncompressedSize));
    }
    ok = writer_.patch(headerAt + 14, fields);
    if (zip64) {
      fields.clear();
      put64(fields, rec.uncompressedSize);
      put64(fields, rec.compressedSize);
      ok = ok && writer_.patch(headerAt + kLocalHeaderSize + rec.name.size() + 4, fields);
    }
  }
  m.handle.reset();
  return ok ? true : writeFailed();
}

// Deletes the sources of what was added, once the archive is on disk: only files
// that are still exactly as they were read, then the folders walked if empty.
void Compressor::moveSources() {
  if (!opts_.move || opts_.deleteEntries) return;
  for (const Item& item : items_) {
    if (item.copy) continue;
    const SourceFile& src = sources_.files[item.index];
    if (src.kind == SourceFile::kDirectory) continue;
    struct stat now {};
    if (changed_[item.index] || ::lstat(src.path.c_str(), &now) != 0 || !sameFile(now, src.st)) {
      reporter_.message(ZIPLIB_E_WARNING, src.path + ": changed since it was added, not deleted");
      continue;
    }
    if (::unlink(src.path.c_str()) != 0)
      reporter_.message(ZIPLIB_E_WARNING, src.path + ": cannot delete: " + errorText(errno));
  }
  for (auto it = sources_.walkedFolders.rbegin(); it != sources_.walkedFolders.rend(); ++it)
    ::rmdir(it->c_str());  // only succeeds for folders left empty
}

// The newest entry's time; an archive left without entries keeps its own, as
// there is no entry time to give it.
void Compressor::setArchiveTime() {
  if (writer_.central().empty() && !exists_) return;
  struct timespec times[2] = {{0, UTIME_OMIT}, {newest_, 0}};
  if (writer_.central().empty()) times[1] = oldStat_.st_mtim;
  if (::utimensat(AT_FDCWD, archivePath_.c_str(), times, 0) != 0)
    reporter_.message(ZIPLIB_E_WARNING, opts_.archive + ": cannot set the archive's time: " + errorText(errno));
}

}  // namespace ziplibs
