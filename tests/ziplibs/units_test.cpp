// The libraries' building blocks on their own: name patterns, the unsafe-name
// check, link targets, joinable deflate chunks, traditional encryption, DOS times.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "ziplibs/codec.h"
#include "ziplibs/zip_builder.h"
#include "ziplibs/zipdirectory.h"
#include "ziplibs/safepath.h"
#include "ziplibs/wildcard.h"
#include "ziplibs/zipcrypto.h"
#include "ziplibs/zipformat.h"
#include "ziplibs/ziplib_fixture.h"

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
                     : std::string(c.kind) == "random" ? randomData(1 << 20, 7)
                                                       : textData(1 << 20, 3) + randomData(700000, 4) + std::string(90000, 'z');
  ziplibs::Codec codec;
  std::string joined, part, error;
  for (std::size_t at = 0; at < data.size(); at += c.chunk) {
    std::size_t n = std::min(c.chunk, data.size() - at);
    bool last = at + n == data.size();
    ASSERT_TRUE(codec.deflateChunk(c.level, reinterpret_cast<const unsigned char*>(data.data()) + at, n, last, part,
                                   error))
        << error;
    joined += part;
  }
  EXPECT_EQ(inflateRaw(joined, data.size()), data);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Joinable,
                         ::testing::Values(JoinCase{"text", 1 << 20, 6}, JoinCase{"text", 300000, 9},
                                           JoinCase{"random", 250000, 6}, JoinCase{"mixed", 400000, 1},
                                           JoinCase{"mixed", 123457, 9}));

struct Pattern {
  const char* pattern;
  const char* name;
  bool match;
};

class Wildcards : public ::testing::TestWithParam<Pattern> {};

TEST_P(Wildcards, Match) {
  EXPECT_EQ(ziplibs::wildcardMatch(GetParam().pattern, GetParam().name), GetParam().match)
      << GetParam().pattern << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcards,
    ::testing::Values(Pattern{"*.txt", "a.txt", true}, Pattern{"*.txt", "dir/a.txt", true},
                      Pattern{"*.txt", "a.txt.bak", false}, Pattern{"a?c", "abc", true}, Pattern{"a?c", "ac", false},
                      Pattern{"a?c", "a\xC3\xBC" "c", true}, Pattern{"*.*", "readme", true}, Pattern{"*.*", "dir/", true},
                      Pattern{"dir/*.*", "dir/x", true}, Pattern{"dir/*.*", "other/x", false},
                      Pattern{"x*.*", "xa", false}, Pattern{"*a*b*c", "xaybzc", true}, Pattern{"*.TXT", "a.txt", false},
                      Pattern{"x", "xy", false}, Pattern{"", "", true}, Pattern{"*", "", true},
                      Pattern{"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}));

struct NameCheck {
  const char* name;
  const char* safe;  // parts joined with "/", "" = refused
  bool changed;
};

class EntryNames : public ::testing::TestWithParam<NameCheck> {};

TEST_P(EntryNames, MadeSafeOrRefused) {
  ziplibs::SafeName s = ziplibs::checkEntryName(GetParam().name);
  EXPECT_EQ(s.ok() ? ziplibs::joinParts(s.parts, s.parts.size()) : "", GetParam().safe) << GetParam().name;
  if (s.ok()) {
    EXPECT_EQ(s.changed, GetParam().changed) << GetParam().name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryNames,
    ::testing::Values(NameCheck{"a/b.txt", "a/b.txt", false}, NameCheck{"a/b/", "a/b", false},
                      NameCheck{"/etc/passwd", "etc/passwd", true}, NameCheck{"C:\\x\\y.txt", "x/y.txt", true},
                      NameCheck{"./a//b", "a/b", true}, NameCheck{"..", "", false}, NameCheck{"a/../b", "", false},
                      NameCheck{"a\\..\\..\\b", "", false}, NameCheck{"...", "...", false},
                      NameCheck{"..a/b..", "..a/b..", false}, NameCheck{"/", "", false}, NameCheck{"", "", false},
                      NameCheck{"C:", "", false}));

TEST(EntryNamesExtra, NulAndOverlongPartsAreRefused) {
  EXPECT_FALSE(ziplibs::checkEntryName(std::string("a\0b", 3)).ok());
  EXPECT_FALSE(ziplibs::checkEntryName(std::string(300, 'x')).ok());
  EXPECT_TRUE(ziplibs::checkEntryName(std::string(255, 'x')).ok());
}

struct LinkCheck {
  const char* at;
  const char* target;
  bool inside;
};

class LinkTargets : public ::testing::TestWithParam<LinkCheck> {};

TEST_P(LinkTargets, InsideOrNot) {
  auto parts = ziplibs::checkEntryName(GetParam().at).parts;
  EXPECT_EQ(ziplibs::linkTargetInside(parts, GetParam().target), GetParam().inside)
      << GetParam().at << " -> " << GetParam().target;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkTargets,
    ::testing::Values(LinkCheck{"l", "x", true}, LinkCheck{"l", "../x", false}, LinkCheck{"a/l", "../x", true},
                      LinkCheck{"a/l", "../../x", false}, LinkCheck{"a/b/l", "../../c/d", true},
                      LinkCheck{"l", "/etc/passwd", false}, LinkCheck{"l", "C:/x", false},
                      LinkCheck{"a/l", "b/../../x", false}, LinkCheck{"a/l", "./b/./c", true}, LinkCheck{"l", "", false},
                      LinkCheck{"a/l", "..\\..\\x", false}));

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

TEST(DosTimes, RoundTripRoundUpAndClamp) {
  const std::int64_t t = 1700000000;  // even
  EXPECT_EQ(ziplibs::dosToUnix(ziplibs::unixToDos(t)), t);
  EXPECT_EQ(ziplibs::dosToUnix(ziplibs::unixToDos(t + 1)), t + 2);
  EXPECT_EQ(ziplibs::unixToDos(100), (1u << 21) | (1u << 16));
  EXPECT_FALSE(ziplibs::dosToUnix(0).has_value());  // month 0
}

// The directory reader on archives with things around them.
class Directory : public ::testing::Test {
 protected:
  bool read(const std::string& bytes, ziplibs::ZipDirectory& dir, std::string& error) {
    writeFile(tmp / "x.zip", bytes);
    int fd = ::open((tmp / "x.zip").c_str(), O_RDONLY);
    bool ok = ziplibs::readZipDirectory(fd, dir, error);
    ::close(fd);
    return ok;
  }
  testsupport::TempDir tmp;
};

TEST_F(Directory, FindsTheRealEndRecordBehindAFakeOneInTheComment) {
  std::string zip = buildZip({craft("a.txt", "a"), craft("b.txt", "b")});
  // End record comment holding a fake end record that claims 7 entries at 0.
  std::string fake = std::string("PK\x05\x06", 4) + std::string("\0\0\0\0\x07\0\x07\0\0\0\0\0\0\0\0\0\0\0", 18);
  std::string comment = "before " + fake + " after";
  zip[zip.size() - 2] = static_cast<char>(comment.size());
  zip += comment;
  ziplibs::ZipDirectory dir;
  std::string error;
  ASSERT_TRUE(read(zip, dir, error)) << error;
  EXPECT_EQ(dir.entries.size(), 2u);
  EXPECT_EQ(dir.comment, comment);
}

TEST_F(Directory, CorrectsOffsetsThatDoNotCountAPrefix) {
  std::string zip = buildZip({craft("a.txt", textData(1000)), craft("b.txt", "b")});
  ziplibs::ZipDirectory dir;
  std::string error;
  ASSERT_TRUE(read(std::string(4096, 'M') + zip, dir, error)) << error;
  EXPECT_EQ(dir.prefixLength, 4096u);
  EXPECT_EQ(dir.entries[0].localOffset, 4096u);
  ASSERT_TRUE(read(buildZip({craft("a.txt", "a")}, std::string(300, 'S')), dir, error)) << error;
  EXPECT_EQ(dir.prefixLength, 300u);
  EXPECT_EQ(dir.offsetShift, 0u);
}

TEST_F(Directory, RefusesWhatIsNotThereOrDoesNotFit) {
  ziplibs::ZipDirectory dir;
  std::string error;
  EXPECT_FALSE(read("", dir, error));
  EXPECT_FALSE(read(std::string(100000, 'x'), dir, error));
  std::string zip = buildZip({craft("a.txt", "a")});
  std::string lying = zip;
  lying[lying.size() - 8] = 0x7F;  // directory size far beyond the file
  EXPECT_FALSE(read(lying, dir, error));
  lying = zip;
  lying[lying.size() - 10] = 10;  // directory size too small for its one header
  EXPECT_FALSE(read(lying, dir, error));
  lying = zip;
  lying[lying.size() - 12] = 2;  // two entries, one header
  lying[lying.size() - 14] = 2;
  EXPECT_FALSE(read(lying, dir, error));
  ASSERT_TRUE(read(zip + std::string(300, '\0'), dir, error)) << error;  // data after the end record
  EXPECT_EQ(dir.entries.size(), 1u);
}

}  // namespace
}  // namespace ziptest
