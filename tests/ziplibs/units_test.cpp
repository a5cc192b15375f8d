// The libraries' building blocks on their own: joinable deflate chunks and
// traditional encryption.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "ziplibs/codec.h"
#include "ziplibs/zipcrypto.h"
#include "ziplibs/ziplib_fixture.h"
#include "support/param_name.h"

namespace ziptest {
namespace {

std::string inflateRaw(const std::string& packed, std::size_t expected) {
  std::string out(expected + 1, '\0');
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int ret = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return ret == Z_STREAM_END ? out : "<bad stream>";
}

struct JoinCase {
  const char* kind;
  std::size_t chunk;
  int level;
};

class Joinable : public ::testing::TestWithParam<JoinCase> {};

// Chunks compressed on their own and joined form one valid deflate stream, also
// when libdeflate ends a chunk with stored blocks (random data) or many blocks.
TEST_P(Joinable, ChunksJoinIntoOneStream) {
  const JoinCase& c = GetParam();
  std::string data = std::string(c.kind) == "text" ? textData(3 << 20, 7)
                     : std::string(c.kind) == "random"
                         ? randomData(1 << 20, 7)
                         : textData(1 << 20, 3) + randomData(700000, 4) + std::string(90000, 'z');
  ziplibs::Codec codec;
  std::string joined, part, error;
  for (std::size_t at = 0; at < data.size(); at += c.chunk) {
    std::size_t n = std::min(c.chunk, data.size() - at);
    bool last = at + n == data.size();
    ASSERT_TRUE(
        codec.deflateChunk(c.level, reinterpret_cast<const unsigned char*>(data.data()) + at, n, last, part, error))
        << error;
    joined += part;
  }
  EXPECT_EQ(inflateRaw(joined, data.size()), data);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Joinable,
                         ::testing::Values(JoinCase{"text", 1 << 20, 6}, JoinCase{"text", 300000, 9},
                                           JoinCase{"random", 250000, 6}, JoinCase{"mixed", 400000, 1},
                                           JoinCase{"mixed", 123457, 9}),
                         testsupport::namedBy([](const JoinCase& c) {
                           return std::string(c.kind) + "_" + std::to_string(c.chunk) + "_level" +
                                  std::to_string(c.level);
                         }));

TEST(TraditionalEncryption, RoundTripAndPasswordCheck) {
  std::string text = textData(10000);
  std::string data = text;
  ziplibs::ZipCrypto enc("key");
  unsigned char header[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x5A};
  enc.encrypt(header, 12);
  enc.encrypt(reinterpret_cast<unsigned char*>(data.data()), data.size());
  EXPECT_NE(data, text);
  unsigned char copy[12];
  std::memcpy(copy, header, 12);
  ziplibs::ZipCrypto dec("key");
  ASSERT_TRUE(dec.checkHeader(copy, 0x5A));
  dec.decrypt(reinterpret_cast<unsigned char*>(data.data()), data.size());
  EXPECT_EQ(data, text);
  for (const char* wrong : {"Key", "key ", "", "kez"}) {
    std::memcpy(copy, header, 12);
    EXPECT_FALSE(ziplibs::ZipCrypto(wrong).checkHeader(copy, 0x5A)) << wrong;
  }
  EXPECT_EQ(ziplibs::blockPassword(std::string(100, 'p').c_str()).size(), 80u);
  EXPECT_TRUE(ziplibs::blockPassword(nullptr).empty());
}

}  // namespace
}  // namespace ziptest
