#include "ziplibs/compressjobs.h"

#include <libdeflate.h>

#include <unistd.h>

#include <cerrno>

#include "ziplibs/zipcrypto.h"

namespace ziplibs {

bool CompressJob::readInput(std::string& in) {
  if (!source) {
    in = std::move(memory);
    return true;
  }
  in.resize(length);
  long long n = preadFull(source->fd.get(), in.data(), length, offset);
  if (n < 0) {
    error = "cannot read: " + errorText(errno);
    return false;
  }
  if (chunk && static_cast<std::uint64_t>(n) != length) {
    error = "the file changed while it was being added";
    return false;
  }
  in.resize(static_cast<std::size_t>(n));
  char probe;
  if (!chunk && ::pread(source->fd.get(), &probe, 1, static_cast<off_t>(offset + length)) == 1) grew = true;
  return true;
}

void CompressJob::run(unsigned worker) {
  std::string in;
  if (!readInput(in)) return;
  read = in.size();
  crc = libdeflate_crc32(0, in.data(), in.size());
  Codec& codec = (*codecs)[worker];
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  if (chunk) {
    if (level == 0) data = std::move(in);
    else if (!codec.deflateChunk(level, bytes, in.size(), lastChunk, data, error)) return;
  } else {
    // A member deflate does not shrink is stored.
    if (level > 0 && !codec.deflateWhole(level, bytes, in.size(), data)) {
      error = "out of memory";
      return;
    }
    stored = level == 0 || data.size() >= in.size();
    if (stored) data = std::move(in);
    if (!password.empty()) {
      ZipCrypto zc(password);
      unsigned char header[ZipCrypto::kHeaderSize];
      zc.makeHeader(header, static_cast<std::uint8_t>(crc >> 24));
      zc.encrypt(reinterpret_cast<unsigned char*>(data.data()), data.size());
      data.insert(0, reinterpret_cast<const char*>(header), sizeof header);
    }
  }
  progressed = read;
}

}  // namespace ziplibs
