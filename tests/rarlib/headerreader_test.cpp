// The header walk of the RAR library: volume names, stored names, volume sets
// joined across files, and hostile headers that must end in a clean error.
#include "rarlib/headerreader.h"

#include <gtest/gtest.h>

#include "rarlib/kvrar.h"
#include "rarlib/rar_builder.h"
#include "support/temp_dir.h"

using rarlib::HeaderReader;
using rarlib::RarEntry;
using rartest::Entry;

namespace {

struct NameCase {
  const char* path;
  bool newNumbering;
  const char* next;
  const char* first;
};

class VolumeNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(VolumeNames, NextAndFirst) {
  const NameCase& c = GetParam();
  EXPECT_EQ(rarlib::nextVolumeName(c.path, c.newNumbering), c.next);
  EXPECT_EQ(rarlib::firstVolumeName(c.path, c.newNumbering), c.first);
}

INSTANTIATE_TEST_SUITE_P(
    Rar, VolumeNames,
    ::testing::Values(NameCase{"d/a.part1.rar", true, "d/a.part2.rar", "d/a.part1.rar"},
                      NameCase{"a.part9.rar", true, "a.part10.rar", "a.part1.rar"},
                      NameCase{"a.part09.rar", true, "a.part10.rar", "a.part01.rar"},
                      NameCase{"a.part099.rar", true, "a.part100.rar", "a.part001.rar"},
                      NameCase{"A.PART3.RAR", true, "A.PART4.RAR", "A.PART1.RAR"},
                      NameCase{"x.rar", false, "x.r00", "x.rar"}, NameCase{"x.r00", false, "x.r01", "x.rar"},
                      NameCase{"x.r99", false, "x.s00", "x.rar"}, NameCase{"X.R05", false, "X.R06", "X.RAR"},
                      NameCase{"x.part1.rar", false, "x.part1.r00", "x.part1.rar"},
                      NameCase{"notes.txt", false, "", ""}, NameCase{"a.part.rar", true, "a.part.r00", "a.part.rar"}),
    [](const auto& info) {
      std::string n = std::to_string(info.index) + "_" + info.param.path;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(Rar4Names, LegacyAndPackedUnicode) {
  EXPECT_EQ(rarlib::decodeRar4Name("plain.txt", false), "plain.txt");
  EXPECT_EQ(rarlib::decodeRar4Name("Gr\xc3\xbc\xc3\x9f"
                                   "e",
                                   false),
            "Grüße")
      << "UTF-8 bytes stay UTF-8";
  EXPECT_EQ(rarlib::decodeRar4Name("\x81\x94", false), "üö") << "other bytes are the DOS code page";
  // Legacy "a??", then the packed form: high byte 0x30, codes 0 ('a'), 1 (0x30c6),
  // 2, 2 (a surrogate pair for U+1D11E).
  std::string stored = std::string("a??", 3) + '\0' +
                       "\x30\x1a"
                       "a"
                       "\xc6"
                       "\x34\xd8"
                       "\x1e\xdd";
  EXPECT_EQ(rarlib::decodeRar4Name(stored, true), "aテ\xf0\x9d\x84\x9e");
  // A run copied from the legacy name (code 3, length 0 + 2).
  std::string copied = std::string("abc", 3) + '\0' + std::string("\x00\xc0\x00", 3);
  EXPECT_EQ(rarlib::decodeRar4Name(copied, true), "ab");
  EXPECT_EQ(rarlib::decodeRar4Name("only-legacy\0", true).substr(0, 11), "only-legacy");
}

class Walk : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const std::string& bytes) { return dir.write(name, bytes); }
  // All entries, and the result that ended the walk.
  int walk(HeaderReader& r, std::vector<RarEntry>& out) {
    RarEntry e;
    int code;
    while ((code = r.next(e)) == RAR_SUCCESS) out.push_back(e);
    return code;
  }
  testsupport::TempDir dir;
};

TEST_F(Walk, Rar5AndRar4EntriesWithTheirFields) {
  Entry dirEntry = rartest::folder("d");
  Entry file = rartest::file("d/f.txt", "hello");
  Entry link = rartest::symlink("l", "d/f.txt");
  for (bool five : {true, false}) {
    SCOPED_TRACE(five ? "RAR5" : "RAR4");
    HeaderReader r;
    std::string path = put(five ? "a5.rar" : "a4.rar",
                           five ? rartest::rar5({dirEntry, file, link}) : rartest::rar4({dirEntry, file}, true));
    ASSERT_EQ(r.open(path), RAR_SUCCESS);
    std::vector<RarEntry> got;
    EXPECT_EQ(walk(r, got), RAR_END_ARCHIVE);
    ASSERT_EQ(got.size(), five ? 3u : 2u);
    EXPECT_EQ(got[0].name, "d");
    EXPECT_TRUE(got[0].directory());
    EXPECT_EQ(got[1].name, "d/f.txt") << "RAR4 \\ separators become /";
    EXPECT_EQ(got[1].unpSize, 5u);
    EXPECT_EQ(got[1].crc, 0x3610a686u);
    EXPECT_TRUE(got[1].complete);
    if (five) {
      EXPECT_TRUE(got[2].symlink());
      EXPECT_EQ(got[2].linkTarget, "d/f.txt");
    }
  }
}

TEST_F(Walk, VolumeSetIsJoinedAndFoundFromAnyVolume) {
  auto vols = rartest::rar5Volumes({rartest::file("a", "0123456789abcdefghij"), rartest::file("b", "B")}, 8);
  ASSERT_EQ(vols.size(), 4u);
  for (std::size_t i = 0; i < vols.size(); ++i) put("set.part" + std::to_string(i + 1) + ".rar", vols[i]);
  HeaderReader r;
  std::vector<std::string> told;
  r.setVolumeCallback([&](std::string& name, int mode) {
    told.push_back(std::to_string(mode) + " " + name.substr(name.rfind('/') + 1));
    return 1;
  });
  ASSERT_EQ(r.open(dir / "set.part3.rar"), RAR_SUCCESS) << "a later volume opens the set at its first";
  std::vector<RarEntry> got;
  EXPECT_EQ(walk(r, got), RAR_END_ARCHIVE);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].parts.size(), 3u);
  EXPECT_EQ(got[0].packSize, 20u);
  EXPECT_EQ(got[0].crc, 0x638c0d29u) << "the last part holds the whole file's CRC";
  EXPECT_EQ(told, (std::vector<std::string>{"1 set.part2.rar", "1 set.part3.rar", "1 set.part4.rar"}));
}

TEST_F(Walk, MissingVolumeIsAskedForOnceThenTheEntryIsIncomplete) {
  auto vols = rartest::rar5Volumes({rartest::file("a", "0123456789")}, 4);
  put("s.part1.rar", vols[0]);
  put("moved.rar", vols[1]);
  put("s.part3.rar", vols[2]);
  {
    HeaderReader r;
    int asked = 0;
    r.setVolumeCallback([&](std::string&, int mode) { return mode == RAR_VOL_ASK ? (++asked, 1) : 1; });
    ASSERT_EQ(r.open(dir / "s.part1.rar"), RAR_SUCCESS);
    RarEntry e;
    ASSERT_EQ(r.next(e), RAR_SUCCESS);
    EXPECT_FALSE(e.complete);
    EXPECT_EQ(asked, 1) << "asked once, looked again, then gave up";
    EXPECT_EQ(r.next(e), RAR_EOPEN);
  }
  {
    HeaderReader r;  // the answer may name the volume's new place; the set goes on by its own names
    r.setVolumeCallback([&](std::string& name, int mode) {
      if (mode == RAR_VOL_ASK) name = dir / "moved.rar";
      return 1;
    });
    ASSERT_EQ(r.open(dir / "s.part1.rar"), RAR_SUCCESS);
    RarEntry e;
    ASSERT_EQ(r.next(e), RAR_SUCCESS);
    EXPECT_TRUE(e.complete);
    EXPECT_EQ(e.parts.size(), 3u);
  }
}

TEST_F(Walk, AVolumeAnsweredTwiceIsRefusedNotLoopedOver) {
  auto vols = rartest::rar5Volumes({rartest::file("a", "0123456789")}, 4);
  put("s.part1.rar", vols[0]);
  HeaderReader r;
  r.setVolumeCallback([&](std::string& name, int) {
    name = dir / "s.part1.rar";  // always the first volume again
    return 1;
  });
  ASSERT_EQ(r.open(dir / "s.part1.rar"), RAR_SUCCESS);
  RarEntry e;
  ASSERT_EQ(r.next(e), RAR_SUCCESS);
  EXPECT_FALSE(e.complete);
  EXPECT_EQ(r.next(e), RAR_BAD_DATA);
}

TEST_F(Walk, LaterVolumeWithoutItsFirstIsRefused) {
  auto vols = rartest::rar5Volumes({rartest::file("a", "0123456789")}, 4);
  put("only.part2.rar", vols[1]);
  HeaderReader r;
  EXPECT_EQ(r.open(dir / "only.part2.rar"), RAR_NOT_FIRST_VOLUME);
}

struct Hostile {
  const char* name;
  std::string bytes;
  int open;
  int walk;  // what ends the walk
};

std::string withFile(const std::string& block) { return rartest::rar5Signature() + rartest::rar5Main() + block; }

// A RAR5 file header body with an arbitrary name length field.
std::string fileBody(std::uint64_t nameLen, const std::string& name) {
  return rartest::vint(0) + rartest::vint(1) + rartest::vint(0644) + rartest::vint(0) + rartest::vint(1) +
         rartest::vint(nameLen) + name;
}

class HostileHeaders : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileHeaders, EndInACleanError) {
  testsupport::TempDir dir;
  HeaderReader r;
  const Hostile& h = GetParam();
  int open = r.open(dir.write("h.rar", h.bytes));
  ASSERT_EQ(open, h.open);
  if (open != RAR_SUCCESS) return;
  RarEntry e;
  int code, entries = 0;
  while ((code = r.next(e)) == RAR_SUCCESS && entries < 1000) ++entries;
  EXPECT_EQ(code, h.walk);
  EXPECT_EQ(r.next(e), code) << "the end repeats";
}

// A file header that declares dataSize bytes of data (none follow).
std::string declaringData(std::uint64_t dataSize) {
  std::string h = rartest::vint(2) + rartest::vint(2) + rartest::vint(dataSize) + fileBody(1, "a");
  std::string sized = rartest::vint(h.size()) + h;
  std::uint32_t crc = rartest::crc32Of(sized);
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(crc >> (8 * i)));
  return out + sized;
}

INSTANTIATE_TEST_SUITE_P(
    Rar, HostileHeaders,
    ::testing::Values(
        Hostile{"empty", "", RAR_BAD_ARCHIVE, 0}, Hostile{"not_rar", "PK\x03\x04 not a rar", RAR_BAD_ARCHIVE, 0},
        Hostile{"signature_only", rartest::rar5Signature(), RAR_BAD_DATA, 0},
        Hostile{"main_crc_broken",
                [] {
                  std::string s = rartest::rar5Signature() + rartest::rar5Main();
                  s[8] ^= 1;
                  return s;
                }(),
                RAR_BAD_DATA, 0},
        Hostile{"header_size_over_2MiB", rartest::rar5Signature() + std::string("\0\0\0\0\x80\x80\x80\x01", 8),
                RAR_BAD_DATA, 0},
        Hostile{"vint_too_long", withFile(std::string("\0\0\0\0", 4) + std::string(11, '\xff')), RAR_SUCCESS,
                RAR_BAD_DATA},
        Hostile{"name_longer_than_header", withFile(rartest::rar5Block(2, 0, fileBody(500, "abc"))), RAR_SUCCESS,
                RAR_BAD_DATA},
        Hostile{"data_size_beyond_file", withFile(declaringData(1000) + "short"), RAR_SUCCESS, RAR_BAD_DATA},
        Hostile{"extra_record_too_big", withFile(rartest::rar5Block(2, 0, fileBody(1, "a"), "\x7f\x03")), RAR_SUCCESS,
                RAR_BAD_DATA},
        Hostile{"huge_declared_data", withFile(declaringData(1ull << 62)), RAR_SUCCESS, RAR_BAD_DATA},
        Hostile{"cut_trailer_after_entries", rartest::rar5({rartest::file("a", "1")}, false) + "\x01\x02\x03",
                RAR_SUCCESS, RAR_END_ARCHIVE},
        Hostile{"rar4_block_shorter_than_its_base", std::string("Rar!\x1a\x07\x00", 7) + std::string(7, '\0'),
                RAR_BAD_DATA, 0},
        Hostile{"encrypted_headers_without_password", rartest::rar5EncryptedHeaders({rartest::file("a", "1")}, "pw"),
                RAR_SUCCESS, RAR_MISSING_PASSWORD},
        Hostile{"encryption_block_cut_short", rartest::rar5Signature() + rartest::rar5Block(4, 0, rartest::vint(0)),
                RAR_BAD_DATA, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Encrypted headers: without the password, or with a wrong one, the walk waits
// where it is; with the right one it goes on; a damaged header behind a
// password that passed its check is damage, not a wrong password.
TEST(EncryptedHeaders, WalkWaitsForTheRightPassword) {
  testsupport::TempDir dir;
  const std::string bytes =
      rartest::rar5EncryptedHeaders({rartest::file("a.txt", "one"), rartest::file("b.txt", "two")}, "pw");
  HeaderReader r;
  ASSERT_EQ(r.open(dir.write("e.rar", bytes)), RAR_SUCCESS);
  EXPECT_TRUE(r.headersEncrypted());
  RarEntry e;
  EXPECT_EQ(r.next(e), RAR_MISSING_PASSWORD);
  r.setPassword("wrong");
  EXPECT_EQ(r.next(e), RAR_BAD_PASSWORD);
  r.setPassword("pw");
  ASSERT_EQ(r.next(e), RAR_SUCCESS);
  EXPECT_EQ(e.name, "a.txt");
  EXPECT_EQ(e.unpSize, 3u);
  ASSERT_EQ(r.next(e), RAR_SUCCESS);
  EXPECT_EQ(e.name, "b.txt");
  EXPECT_EQ(r.next(e), RAR_END_ARCHIVE);

  std::string damaged = bytes;
  damaged[damaged.size() - 40] ^= 0x10;  // inside the last file header's ciphertext
  HeaderReader d;
  d.setPassword("pw");
  ASSERT_EQ(d.open(dir.write("d.rar", damaged)), RAR_SUCCESS);
  ASSERT_EQ(d.next(e), RAR_SUCCESS);
  EXPECT_EQ(d.next(e), RAR_BAD_DATA);
}

}  // namespace
