#include "ziplibs/zipcrypto.h"

#include <sys/random.h>

#include <array>
#include <chrono>
#include <cstring>

#include "zipcore/fileio.h"

namespace ziplibs {

namespace {

// The CRC-32 table step the key schedule uses (polynomial 0xEDB88320).
constexpr std::array<std::uint32_t, 256> makeTable() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeTable();

inline std::uint32_t crcStep(std::uint32_t crc, unsigned char b) { return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

}  // namespace

ZipCrypto::ZipCrypto(std::string_view password) {
  for (char c : password) update(static_cast<unsigned char>(c));
}

void ZipCrypto::update(unsigned char plain) {
  k0_ = crcStep(k0_, plain);
  k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
  k2_ = crcStep(k2_, static_cast<unsigned char>(k1_ >> 24));
}

unsigned char ZipCrypto::streamByte() const {
  std::uint32_t t = (k2_ | 2) & 0xFFFF;
  return static_cast<unsigned char>((t * (t ^ 1)) >> 8);
}

void ZipCrypto::encrypt(unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char plain = data[i];
    data[i] = plain ^ streamByte();
    update(plain);
  }
}

void ZipCrypto::decrypt(unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    data[i] ^= streamByte();
    update(data[i]);
  }
}

void ZipCrypto::makeHeader(unsigned char header[kHeaderSize], std::uint8_t check) {
  if (::getrandom(header, kHeaderSize - 1, 0) != static_cast<ssize_t>(kHeaderSize - 1)) {
    // No random source: the header bytes need not be secret, only varied.
    auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (std::size_t i = 0; i < kHeaderSize - 1; ++i) header[i] = static_cast<unsigned char>(seed >> ((i % 8) * 8));
  }
  header[kHeaderSize - 1] = check;
  encrypt(header, kHeaderSize);
}

bool ZipCrypto::checkHeader(unsigned char header[kHeaderSize], std::uint8_t check) {
  decrypt(header, kHeaderSize);
  return header[kHeaderSize - 1] == check;
}

bool readCryptHeader(const zipcore::InputFile& file, const zipcore::LocalHeader& lh, const zipcore::ZipEntry& e,
                     CryptHeader& header, std::string& error) {
  if (e.compressedSize < sizeof header.bytes ||
      zipcore::preadFull(file.fd(), header.bytes, sizeof header.bytes, lh.dataOffset) !=
          static_cast<long long>(sizeof header.bytes)) {
    error = "the encrypted data is truncated";
    return false;
  }
  // With a data descriptor the CRC was not known when the header was made: the
  // check byte is then the high byte of the DOS time.
  header.check =
      (lh.flags & 0x0008) ? static_cast<std::uint8_t>(lh.dosTime >> 8) : static_cast<std::uint8_t>(e.crc >> 24);
  return true;
}

bool passwordFits(std::string_view password, const CryptHeader& header) {
  CryptHeader copy = header;
  return ZipCrypto(password).checkHeader(copy.bytes, copy.check);
}

std::string_view blockPassword(const char* p) {
  if (!p) return {};
  return std::string_view(p, ::strnlen(p, 80));
}

}  // namespace ziplibs
