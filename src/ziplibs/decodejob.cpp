#include "ziplibs/decodejob.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <optional>

#include "zipcore/fileio.h"
#include "zipcore/outputtree.h"
#include "ziplibs/zipcrypto.h"
#include "zipcore/localheader.h"
#include "zipcore/records.h"

#include "zipengine/ziplib_abi.h"

namespace ziplibs {

using namespace zipcore;

namespace {

constexpr std::size_t kMaxLinkTarget = 4096;  // PATH_MAX: no longer target is valid

}  // namespace

bool DecodeJob::fail(std::uint32_t c, const std::string& text) {
  if (code == 0) {
    code = c;
    error = text;
  }
  return false;
}

bool DecodeJob::openSink() {
  if (sink != kFile) return true;
  if (!file.create(dir, mode))
    return fail(noSpace(errno) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE, "cannot create: " + errorText(errno));
  return true;
}

bool DecodeJob::put(const unsigned char* data, std::size_t size) {
  crc_ = libdeflate_crc32(crc_, data, size);
  written_ += size;
  if (sink == kFile && !writeAll(file.fd(), data, size))
    return fail(noSpace(errno) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE, "cannot write: " + errorText(errno));
  if (sink == kMemory) {
    if (memory.size() + size > kMaxLinkTarget) return fail(ZIPLIB_E_CRC, "link target too long");
    memory.append(reinterpret_cast<const char*>(data), size);
  }
  advance(size);
  return true;
}

void DecodeJob::advance(std::uint64_t bytes) {
  progressed.fetch_add(bytes);
  sinceNotify_ += bytes;
  if (sinceNotify_ >= (1u << 20)) {
    sinceNotify_ = 0;
    pool->notify();
  }
}

bool DecodeJob::closeSink() {
  if (sink != kFile) return true;
  bool ok = true;
  // The file was made with mode; the umask may have taken bits away.
  struct stat st {};
  if (::fstat(file.fd(), &st) == 0 && (st.st_mode & 07777) != mode && ::fchmod(file.fd(), mode) != 0)
    ok = fail(ZIPLIB_E_WRITE, "cannot set permissions: " + errorText(errno));
  struct timespec times[2] = {{0, UTIME_OMIT}, {mtime, 0}};
  if (ok && ::futimens(file.fd(), times) != 0) ok = fail(ZIPLIB_E_WRITE, "cannot set the time: " + errorText(errno));
  if (ok && !file.finish())
    ok = fail(noSpace(errno) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE, "cannot write: " + errorText(errno));
  if (!ok) dropSink();
  return ok;
}

void DecodeJob::dropSink() {
  file.discard();
  memory.clear();
}

bool DecodeJob::readPiece(std::uint64_t at, unsigned char* buf, std::size_t size) {
  long long n = preadFull(archive->fd(), buf, size, at);
  if (n != static_cast<long long>(size))
    return fail(ZIPLIB_E_BAD_ARCHIVE,
                n < 0 ? "cannot read the archive: " + errorText(errno) : "the archive is truncated");
  if (crypto_) crypto_->decrypt(buf, size);
  return true;
}

bool DecodeJob::copyStored(unsigned worker, std::uint64_t at, std::uint64_t size) {
  // Stored member: its packed size is its size.
  if (size != entry->uncompressedSize) return fail(ZIPLIB_E_CRC, "stored data and recorded size differ");
  const std::size_t piece = static_cast<std::size_t>(std::max(tuning->piece, tuning->wholeIn));
  unsigned char* buf = (*codecs)[worker].inBuffer(piece);
  while (size > 0) {
    if (pool->cancelled()) return fail(ZIPLIB_E_CANCELLED, "cancelled");
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size));
    if (!readPiece(at, buf, n) || !put(buf, n)) return false;
    at += n;
    size -= n;
  }
  return true;
}

bool DecodeJob::inflateWhole(unsigned worker, std::uint64_t at, std::uint64_t size) {
  Codec& codec = (*codecs)[worker];
  unsigned char* in = codec.inBuffer(static_cast<std::size_t>(size));
  if (!readPiece(at, in, static_cast<std::size_t>(size))) return false;
  // Output room: the recorded size; pages the data does not reach are never touched.
  const std::size_t room = static_cast<std::size_t>(entry->uncompressedSize);
  unsigned char* out = codec.outBuffer(room);
  std::size_t used = 0, produced = 0;
  libdeflate_result r = libdeflate_deflate_decompress_ex(codec.decompressor(), in, static_cast<std::size_t>(size), out,
                                                         room, &used, &produced);
  if (r == LIBDEFLATE_INSUFFICIENT_SPACE) return fail(ZIPLIB_E_CRC, "the data is larger than its recorded size");
  if (r != LIBDEFLATE_SUCCESS)
    return fail(ZIPLIB_E_CRC, crypto_ ? "damaged compressed data (wrong password?)" : "damaged compressed data");
  return put(out, produced);
}

bool DecodeJob::inflateStream(unsigned worker, std::uint64_t at, std::uint64_t size) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return fail(ZIPLIB_E_MEMORY, "out of memory");
  const std::size_t piece = static_cast<std::size_t>(tuning->piece);
  unsigned char* in = (*codecs)[worker].inBuffer(piece);
  unsigned char* out = (*codecs)[worker].outBuffer(piece);
  bool ok = true;
  for (;;) {
    if (pool->cancelled()) {
      ok = fail(ZIPLIB_E_CANCELLED, "cancelled");
      break;
    }
    if (z.avail_in == 0 && size > 0) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size));
      if (!readPiece(at, in, n)) {
        ok = false;
        break;
      }
      at += n;
      size -= n;
      z.next_in = in;
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = out;
    z.avail_out = static_cast<uInt>(piece);
    int ret = inflate(&z, Z_NO_FLUSH);
    std::size_t produced = piece - z.avail_out;
    // Never more than the recorded size: a lying size cannot make us write on.
    if (written_ + produced > entry->uncompressedSize) {
      ok = fail(ZIPLIB_E_CRC, "the data is larger than its recorded size");
      break;
    }
    if (produced && !put(out, produced)) {
      ok = false;
      break;
    }
    if (ret == Z_STREAM_END) break;
    if (ret == Z_BUF_ERROR && z.avail_in == 0 && size == 0) {
      ok = fail(ZIPLIB_E_CRC, "the compressed data ends too early");
      break;
    }
    if (ret != Z_OK && ret != Z_BUF_ERROR) {
      ok = fail(ZIPLIB_E_CRC, crypto_ ? "damaged compressed data (wrong password?)" : "damaged compressed data");
      break;
    }
  }
  inflateEnd(&z);
  return ok;
}

void DecodeJob::run(unsigned worker) {
  LocalHeader lh;
  std::string text;
  if (!readLocalHeader(*archive, *entry, limit, lh, text)) {
    fail(ZIPLIB_E_BAD_ARCHIVE, text);
    return;
  }
  // A local header saying something else than the directory: other readers would
  // take another name, method or size. A test fails the entry; extracting goes by
  // the directory (checked names, its sizes and CRC) and reports it.
  localDisagreement = LocalHeaderDisagreement(lh, *entry);
  if (!localDisagreement.empty() && sink == kTest) {
    fail(ZIPLIB_E_BAD_ARCHIVE, "its local header disagrees with the central directory (" + localDisagreement + ")");
    return;
  }
  std::uint64_t at = lh.dataOffset, size = entry->compressedSize;
  std::optional<ZipCrypto> zc;
  if (entry->encrypted()) {
    CryptHeader header;
    std::string error;
    if (!readCryptHeader(*archive, lh, *entry, header, error)) {
      fail(ZIPLIB_E_BAD_ARCHIVE, error);
      return;
    }
    zc.emplace(password);
    if (!zc->checkHeader(header.bytes, header.check)) {
      fail(ZIPLIB_E_PASSWORD, "wrong password");
      return;
    }
    crypto_ = &*zc;
    at += sizeof header.bytes;
    size -= sizeof header.bytes;
  }
  if (!openSink()) return;
  bool ok = entry->method == kMethodStore ? copyStored(worker, at, size)
            : tuning->whole(*entry)       ? inflateWhole(worker, at, size)
                                          : inflateStream(worker, at, size);
  if (ok && written_ != entry->uncompressedSize) ok = fail(ZIPLIB_E_CRC, "the data is shorter than its recorded size");
  if (ok && crc_ != entry->crc) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "CRC error (stored %08x, computed %08x)%s", entry->crc, crc_,
                  crypto_ ? "; wrong password?" : "");
    ok = fail(ZIPLIB_E_CRC, buf);
  }
  crypto_ = nullptr;
  if (!ok) {
    dropSink();
    return;
  }
  closeSink();
}

}  // namespace ziplibs
