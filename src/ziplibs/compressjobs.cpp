#include "ziplibs/compressjobs.h"

#include <libdeflate.h>

#include <unistd.h>

#include <cerrno>

#include "ziplibs/zipcrypto.h"

namespace ziplibs {

const unsigned char* CompressJob::readInput(Codec& codec) {
  if (!source) {
    read = memory.size();
    return reinterpret_cast<const unsigned char*>(memory.data());
  }
  unsigned char* in = codec.inBuffer(length);
  long long n = preadFull(source->fd.get(), in, length, offset);
  if (n < 0) {
    error = "cannot read: " + errorText(errno);
    return nullptr;
  }
  if (chunk && static_cast<std::uint64_t>(n) != length) {
    error = "the file changed while it was being added";
    return nullptr;
  }
  read = static_cast<std::uint64_t>(n);
  char probe;
  if (!chunk && ::pread(source->fd.get(), &probe, 1, static_cast<off_t>(offset + length)) == 1) grew = true;
  return in;
}

void CompressJob::run(unsigned worker) {
  Codec& codec = (*codecs)[worker];
  const unsigned char* in = readInput(codec);
  if (!in) return;
  const std::size_t size = static_cast<std::size_t>(read);
  crc = libdeflate_crc32(0, in, size);
  if (chunk) {
    if (level == 0)
      data.assign(reinterpret_cast<const char*>(in), size);
    else if (!codec.deflateChunk(level, in, size, lastChunk, data, error))
      return;
  } else {
    // A member deflate does not shrink is stored.
    std::size_t packed = 0;
    const unsigned char* out = level > 0 ? codec.deflateInto(level, in, size, packed) : nullptr;
    if (level > 0 && !out) {
      error = "out of memory";
      return;
    }
    stored = level == 0 || packed >= size;
    const unsigned char* result = stored ? in : out;
    std::size_t length = stored ? size : packed;
    if (!password) {
      data.assign(reinterpret_cast<const char*>(result), length);
    } else {
      ZipCrypto zc(*password);
      unsigned char header[ZipCrypto::kHeaderSize];
      zc.makeHeader(header, static_cast<std::uint8_t>(crc >> 24));
      data.reserve(sizeof header + length);
      data.assign(reinterpret_cast<const char*>(header), sizeof header);
      data.append(reinterpret_cast<const char*>(result), length);
      zc.encrypt(reinterpret_cast<unsigned char*>(data.data()) + sizeof header, length);
    }
  }
  std::string().swap(memory);
  progressed = read;
}

}  // namespace ziplibs
