#include "ziplibs/archivewriter.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zipcore/sysio.h"
#include "zipcore/records.h"

namespace ziplibs {

using namespace zipcore;

namespace {

std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string randomSuffix() {
  unsigned char b[6] = {};
  if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b))
    for (unsigned i = 0; i < sizeof b; ++i) b[i] = static_cast<unsigned char>((::getpid() >> i) ^ (i * 77));
  char out[13];
  std::snprintf(out, sizeof out, "%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return out;
}

bool syncFolder(const std::string& folder) {
  UniqueFd d(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d.valid() && sysio::fsync(d.get()) == 0;
}

}  // namespace

ArchiveWriter::~ArchiveWriter() {
  if (!committed_ && fd_.valid()) {
    fd_.reset();
    ::unlink(tempPath_.c_str());
  }
}

bool ArchiveWriter::create(const std::string& archivePath, std::string& error) {
  targetPath_ = archivePath;
  std::string folder = folderOf(archivePath);
  std::string base = archivePath.substr(archivePath.rfind('/') == std::string::npos ? 0 : archivePath.rfind('/') + 1);
  if (base.size() > 200) base.resize(200);
  for (int attempt = 0; attempt < 16 && !fd_.valid(); ++attempt) {
    tempPath_ = (folder == "/" ? "" : folder) + "/." + base + ".kvtmp-" + randomSuffix();
    fd_.reset(sysio::openat(AT_FDCWD, tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd_.valid() && errno != EEXIST) break;
  }
  if (!fd_.valid()) {
    error = "cannot create a temporary file in " + folder + ": " + errorText(errno);
    return false;
  }
  return true;
}

bool ArchiveWriter::write(const void* data, std::size_t size) {
  if (!writeAll(fd_.get(), data, size)) return false;
  position_ += size;
  return true;
}

bool ArchiveWriter::patch(std::uint64_t at, const std::string& bytes) {
  return pwriteAll(fd_.get(), bytes.data(), bytes.size(), at);
}

bool ArchiveWriter::truncate(std::uint64_t at) {
  if (::ftruncate(fd_.get(), static_cast<off_t>(at)) != 0 || ::lseek(fd_.get(), static_cast<off_t>(at), SEEK_SET) < 0)
    return false;
  position_ = at;
  return true;
}

bool ArchiveWriter::copyPiece(int fd, std::uint64_t at, std::size_t size) {
  buffer_.resize(size);
  long long n = preadFull(fd, buffer_.data(), size, at);
  if (n != static_cast<long long>(size)) {
    if (n >= 0) errno = EIO;  // the old archive is shorter than its directory says
    return false;
  }
  return write(buffer_.data(), size);
}

std::string localHeaderFor(const CentralRecord& r, const std::string& localExtra, bool zip64) {
  // The ZIP64 field goes first: its sizes are patched in at a fixed place once known.
  std::string extra;
  if (zip64) {
    put16(extra, kExtraZip64);
    put16(extra, 16);
    put64(extra, r.uncompressedSize);
    put64(extra, r.compressedSize);
  }
  extra += localExtra;
  std::string h;
  h.reserve(kLocalHeaderSize + r.name.size() + extra.size());
  put32(h, kLocalHeaderSig);
  put16(h, zip64 && r.versionNeeded < 45 ? 45 : r.versionNeeded);
  put16(h, r.flags);
  put16(h, r.method);
  put32(h, r.dosTime);
  bool descriptor = r.flags & kFlagDescriptor;
  put32(h, descriptor ? 0 : r.crc);
  put32(h, descriptor ? 0 : (zip64 ? kMax32 : static_cast<std::uint32_t>(r.compressedSize)));
  put32(h, descriptor ? 0 : (zip64 ? kMax32 : static_cast<std::uint32_t>(r.uncompressedSize)));
  put16(h, static_cast<std::uint16_t>(r.name.size()));
  put16(h, static_cast<std::uint16_t>(extra.size()));
  h += r.name;
  h += extra;
  return h;
}

std::string centralHeaderFor(const CentralRecord& r) {
  bool bigU = r.uncompressedSize >= kMax32, bigC = r.compressedSize >= kMax32, bigO = r.localOffset >= kMax32;
  std::string extra = removeExtra(r.extra, kExtraZip64);
  if (bigU || bigC || bigO) {
    std::string z;
    if (bigU) put64(z, r.uncompressedSize);
    if (bigC) put64(z, r.compressedSize);
    if (bigO) put64(z, r.localOffset);
    std::string field;
    put16(field, kExtraZip64);
    put16(field, static_cast<std::uint16_t>(z.size()));
    extra = field + z + extra;
  }
  std::uint16_t needed = r.versionNeeded;
  if ((bigU || bigC || bigO) && needed < 45) needed = 45;
  std::uint16_t madeBy = r.versionMadeBy;
  if ((madeBy & 0xFF) < (needed & 0xFF)) madeBy = static_cast<std::uint16_t>((madeBy & 0xFF00) | (needed & 0xFF));
  std::string h;
  h.reserve(kCentralHeaderSize + r.name.size() + extra.size() + r.comment.size());
  put32(h, kCentralHeaderSig);
  put16(h, madeBy);
  put16(h, needed);
  put16(h, r.flags);
  put16(h, r.method);
  put32(h, r.dosTime);
  put32(h, r.crc);
  put32(h, bigC ? kMax32 : static_cast<std::uint32_t>(r.compressedSize));
  put32(h, bigU ? kMax32 : static_cast<std::uint32_t>(r.uncompressedSize));
  put16(h, static_cast<std::uint16_t>(r.name.size()));
  put16(h, static_cast<std::uint16_t>(extra.size()));
  put16(h, static_cast<std::uint16_t>(r.comment.size()));
  put16(h, 0);  // disk number
  put16(h, r.internalAttr);
  put32(h, r.externalAttr);
  put32(h, bigO ? kMax32 : static_cast<std::uint32_t>(r.localOffset));
  h += r.name;
  h += extra;
  h += r.comment;
  return h;
}

bool ArchiveWriter::finish(const std::string& comment) {
  const std::uint64_t cdStart = position_;
  std::string cd;
  for (const CentralRecord& r : central_) {
    cd += centralHeaderFor(r);
    if (cd.size() >= (1 << 20)) {
      if (!write(cd)) return false;
      cd.clear();
    }
  }
  if (!write(cd)) return false;
  const std::uint64_t cdSize = position_ - cdStart;
  const std::uint64_t count = central_.size();
  std::string end;
  bool zip64 = count >= kMax16 || cdSize >= kMax32 || cdStart >= kMax32;
  if (zip64) {
    const std::uint64_t recordAt = position_;
    put32(end, kZip64EndSig);
    put64(end, kZip64EndSize - 12);
    put16(end, (kHostUnix << 8) | 45);
    put16(end, 45);
    put32(end, 0);
    put32(end, 0);
    put64(end, count);
    put64(end, count);
    put64(end, cdSize);
    put64(end, cdStart);
    put32(end, kZip64LocatorSig);
    put32(end, 0);
    put64(end, recordAt);
    put32(end, 1);
  }
  put32(end, kEndSig);
  put16(end, 0);
  put16(end, 0);
  put16(end, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  put16(end, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  put32(end, cdSize >= kMax32 ? kMax32 : static_cast<std::uint32_t>(cdSize));
  put32(end, cdStart >= kMax32 ? kMax32 : static_cast<std::uint32_t>(cdStart));
  std::string text = comment.size() > kMax16 ? comment.substr(0, kMax16) : comment;
  put16(end, static_cast<std::uint16_t>(text.size()));
  end += text;
  if (!write(end)) return false;
  return sysio::fsync(fd_.get()) == 0;
}

bool ArchiveWriter::commit(mode_t mode, std::string& error) {
  if (::fchmod(fd_.get(), mode) != 0) {
    error = "cannot set the archive's permissions: " + errorText(errno);
    return false;
  }
  fd_.reset();
  if (::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
    error = "cannot replace " + targetPath_ + ": " + errorText(errno);
    ::unlink(tempPath_.c_str());
    committed_ = true;  // nothing left to remove
    return false;
  }
  committed_ = true;
  durable_ = syncFolder(folderOf(targetPath_));
  return true;
}

}  // namespace ziplibs
