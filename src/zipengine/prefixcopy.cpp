#include "zipengine/prefixcopy.h"

#include <cstdio>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "zipengine/zipengine.h"
#include "zipengine/zipformat.h"

namespace zipfmt {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t getN(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void putN(unsigned char* p, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Moves a stored offset; false when the result does not fit its field.
bool shift(unsigned char* p, int width, std::int64_t by) {
  std::int64_t v = static_cast<std::int64_t>(getN(p, width)) + by;
  std::uint64_t max = width == 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * width)) - 1;
  if (v < 0 || static_cast<std::uint64_t>(v) > max || (width == 4 && static_cast<std::uint64_t>(v) == 0xFFFFFFFFu))
    return false;
  putN(p, static_cast<std::uint64_t>(v), width);
  return true;
}

bool readAt(std::FILE* f, std::uint64_t at, std::size_t n, std::vector<unsigned char>& out) {
  out.resize(n);
  if (std::fseek(f, static_cast<long>(at), SEEK_SET) != 0) return false;
  return std::fread(out.data(), 1, n, f) == n;
}

// Moves the local-header offset of every central header in cd by `by`.
bool shiftCentralDirectory(std::vector<unsigned char>& cd, std::int64_t by, std::string& error) {
  std::size_t pos = 0;
  while (pos + 46 <= cd.size()) {
    unsigned char* h = cd.data() + pos;
    if (getN(h, 4) != 0x02014B50) {
      error = "A central header signature is wrong";
      return false;
    }
    std::size_t nameLen = getN(h + 28, 2), extraLen = getN(h + 30, 2), commentLen = getN(h + 32, 2);
    std::size_t total = 46 + nameLen + extraLen + commentLen;
    if (pos + total > cd.size()) {
      error = "Error while reading a central header";
      return false;
    }
    if (getN(h + 42, 4) != 0xFFFFFFFFu) {
      if (!shift(h + 42, 4, by)) {
        error = "The archive is too large for its offsets";
        return false;
      }
    } else {
      // ZIP64 extra field: sizes first (each only when its header field is escaped),
      // then the offset.
      unsigned char* extra = h + 46 + nameLen;
      std::size_t e = 0;
      bool moved = false;
      while (e + 4 <= extraLen) {
        std::size_t id = getN(extra + e, 2), len = getN(extra + e + 2, 2);
        if (e + 4 + len > extraLen) break;
        if (id == 0x0001) {
          std::size_t at = 0;
          if (getN(h + 24, 4) == 0xFFFFFFFFu) at += 8;
          if (getN(h + 20, 4) == 0xFFFFFFFFu) at += 8;
          if (at + 8 <= len) moved = shift(extra + e + 4 + at, 8, by);
          break;
        }
        e += 4 + len;
      }
      if (!moved) {
        error = "Error while reading a central header";
        return false;
      }
    }
    pos += total;
  }
  return true;
}

}  // namespace

PrefixCopyResult CopyZipDataWithPrefix(const TZipEngine& engine, const std::string& prefixFile,
                                       const std::string& target, const std::function<bool()>& cancelled) {
  PrefixCopyResult r;
  File in(std::fopen(engine.ZipFilename().c_str(), "rb"));
  if (!in) {
    r.error = "Cannot open " + engine.ZipFilename();
    return r;
  }
  File out(std::fopen(target.c_str(), "wb"));
  if (!out) {
    r.error = "Cannot create " + target;
    return r;
  }
  std::vector<unsigned char> buf(1 << 16);
  auto copyStream = [&](std::FILE* from, std::uint64_t count) {
    while (count > 0) {
      if (cancelled && cancelled()) {
        r.cancelled = true;
        return false;
      }
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, buf.size()));
      std::size_t got = std::fread(buf.data(), 1, n, from);
      if (got == 0) {
        r.error = "Error while reading " + engine.ZipFilename();
        return false;
      }
      if (std::fwrite(buf.data(), 1, got, out.get()) != got) {
        r.error = "Error while writing " + target;
        return false;
      }
      count -= got;
    }
    return true;
  };

  std::uint64_t prefixLen = 0;
  if (!prefixFile.empty()) {
    File pre(std::fopen(prefixFile.c_str(), "rb"));
    if (!pre) {
      r.error = "Cannot open " + prefixFile;
      return r;
    }
    std::fseek(pre.get(), 0, SEEK_END);
    long len = std::ftell(pre.get());
    std::fseek(pre.get(), 0, SEEK_SET);
    if (len < 0 || !copyStream(pre.get(), static_cast<std::uint64_t>(len))) return r;
    prefixLen = static_cast<std::uint64_t>(len);
  }

  const std::uint64_t start = engine.ContentStart();
  const std::uint64_t realCd = engine.CentralDirOffset();
  const std::uint64_t cdSize = engine.CentralDirSize();
  const std::uint64_t eocdAt = engine.DirEndOffset();
  const std::uint64_t end = engine.ArchiveFileSize();
  std::uint64_t storedCd = engine.EocdImage().CentralDirOffset;
  if (storedCd == 0xFFFFFFFFu && engine.Zip64End()) storedCd = engine.Zip64End()->CentralDirOffset;
  if (realCd < start || realCd + cdSize > eocdAt || eocdAt + kEocdSize > end) {
    r.error = "The archive's directory could not be located";
    return r;
  }
  // A stored offset v names the real position v + (realCd - storedCd); in the new
  // file that position moves by prefixLen - start.
  const std::int64_t by = static_cast<std::int64_t>(realCd) - static_cast<std::int64_t>(storedCd) +
                          static_cast<std::int64_t>(prefixLen) - static_cast<std::int64_t>(start);

  if (std::fseek(in.get(), static_cast<long>(start), SEEK_SET) != 0 || !copyStream(in.get(), realCd - start)) {
    if (r.error.empty() && !r.cancelled) r.error = "Seek error reading Zip archive!";
    return r;
  }
  std::vector<unsigned char> cd;
  if (!readAt(in.get(), realCd, static_cast<std::size_t>(cdSize), cd)) {
    r.error = "Error while reading a central header";
    return r;
  }
  if (!shiftCentralDirectory(cd, by, r.error)) return r;
  std::vector<unsigned char> tail;
  if (!readAt(in.get(), realCd + cdSize, static_cast<std::size_t>(end - realCd - cdSize), tail)) {
    r.error = "Error while reading the End Of Central Directory";
    return r;
  }
  const std::size_t eocd = static_cast<std::size_t>(eocdAt - realCd - cdSize);
  if (tail.size() >= 56 && getN(tail.data(), 4) == 0x06064B50 && !shift(tail.data() + 48, 8, by)) {
    r.error = "The archive is too large for its offsets";
    return r;
  }
  if (eocd >= 20 && getN(tail.data() + eocd - 20, 4) == 0x07064B50) shift(tail.data() + eocd - 20 + 8, 8, by);
  if (getN(tail.data() + eocd + 16, 4) != 0xFFFFFFFFu && !shift(tail.data() + eocd + 16, 4, by)) {
    r.error = "The archive is too large for its offsets";
    return r;
  }
  if (std::fwrite(cd.data(), 1, cd.size(), out.get()) != cd.size() ||
      std::fwrite(tail.data(), 1, tail.size(), out.get()) != tail.size() || std::fflush(out.get()) != 0 ||
      ::fsync(fileno(out.get())) != 0) {
    r.error = "Error while writing " + target;
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace zipfmt
