// The encrypted sample archives with their passwords, through the built library:
// with the right password every entry tests and extracts to its known
// plaintext; with a wrong one it is told as such and nothing is written; an
// archive whose headers are encrypted lists nothing without the password.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "rarlib/rarlib_client.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using rartest::Item;
using rartest::RarLib;
using rartest::Request;

namespace {

struct Plain {
  std::string text;
  std::uint32_t crc;
};

// The samples' plaintexts, from their notes.
const std::map<std::string, Plain> kPlain = {
    {"a.txt", {"This is from a.txt", 0xee5a6e55}},  {"b.txt", {"This is from b.txt", 0xa9fa1485}},
    {"c.txt", {"This is from c.txt", 0x949a3d35}},  {"d.txt", {"This is from d.txt", 0x26bae125}},
    {"foo.txt", {"data of foo.txt\n", 0xa6ad865c}}, {"bar.txt", {"data of bar.txt\n", 0xcd90e2be}},
};

struct Case {
  const char* file;
  const char* password;
  std::map<std::string, int> failing;  // entries that do not test good, with their result
  std::size_t entries = 4;
  int end = RAR_END_ARCHIVE;
};

const Case kCases[] = {
    {"test_read_format_rar5_encrypted.rar", "password", {{"d.txt", RAR_BAD_PASSWORD}}},
    {"test_read_format_rar5_encrypted.rar", "password2", {{"b.txt", RAR_BAD_PASSWORD}}},
    {"test_read_format_rar4_encrypted.rar", "password", {{"d.txt", RAR_BAD_PASSWORD}}},
    {"test_read_format_rar4_encrypted.rar", "password2", {{"b.txt", RAR_BAD_PASSWORD}}},
    // The system's decoder cannot continue a solid stream of the 1.5-4.x format:
    // the first entry decrypts and checks out, the others fail as data, not as a
    // wrong password.
    {"test_read_format_rar4_solid_encrypted.rar",
     "password",
     {{"b.txt", RAR_BAD_DATA}, {"c.txt", RAR_BAD_DATA}, {"d.txt", RAR_BAD_DATA}}},
    {"test_read_format_rar_encryption_data.rar", "12345678", {}, 2},
    {"test_read_format_rar_encryption_data.rar",
     "1234567",
     {{"foo.txt", RAR_BAD_PASSWORD}, {"bar.txt", RAR_BAD_PASSWORD}},
     2},
    {"test_read_format_rar_encryption_header.rar", "12345678", {}, 2},
    {"test_read_format_rar_encryption_header.rar", "wrong", {}, 0, RAR_BAD_PASSWORD},
    {"test_read_format_rar_encryption_header.rar", "", {}, 0, RAR_MISSING_PASSWORD},
    {"test_read_format_rar5_encrypted_filenames.rar", "password", {}},
    {"test_read_format_rar5_encrypted_filenames.rar", "wrong", {}, 0, RAR_BAD_PASSWORD},
    {"test_read_format_rar5_encrypted_filenames.rar", "", {}, 0, RAR_MISSING_PASSWORD},
};

class EncryptedSamples : public ::testing::TestWithParam<Case> {
 protected:
  Request request(int operation) {
    Request r;
    r.archive = rartest::samples() + "/" + GetParam().file;
    r.operation = operation;
    r.password = GetParam().password;
    return r;
  }
  int expectedResult(const std::string& name) {
    auto bad = GetParam().failing.find(name);
    return bad == GetParam().failing.end() ? RAR_SUCCESS : bad->second;
  }
  RarLib lib;
};

TEST_P(EncryptedSamples, TestGivesThePlaintextOrThePasswordError) {
  ASSERT_TRUE(lib.loaded());
  rartest::Run run = lib.run(request(RAR_TEST));
  ASSERT_EQ(run.open, RAR_SUCCESS);
  EXPECT_EQ(run.end, GetParam().end);
  ASSERT_EQ(run.items.size(), GetParam().entries);
  for (const Item& it : run.items) {
    SCOPED_TRACE(it.name);
    ASSERT_TRUE(kPlain.count(it.name));
    EXPECT_EQ(it.result, expectedResult(it.name));
    if (it.result != RAR_SUCCESS) continue;
    EXPECT_EQ(it.dataSize, kPlain.at(it.name).text.size());
    EXPECT_EQ(it.dataCrc, kPlain.at(it.name).crc);
  }
}

TEST_P(EncryptedSamples, ExtractWritesOnlyWhatDecryptedRight) {
  testsupport::TempDir dir;
  Request r = request(RAR_EXTRACT);
  r.folder = dir / "out";
  rartest::Run run = lib.run(r);
  ASSERT_EQ(run.items.size(), GetParam().entries);
  std::size_t good = 0;
  for (const Item& it : run.items) {
    SCOPED_TRACE(it.name);
    EXPECT_EQ(it.result, expectedResult(it.name));
    const fs::path path = fs::path(r.folder) / it.name;
    if (it.result != RAR_SUCCESS) {
      EXPECT_FALSE(fs::exists(path)) << "nothing under the final name";
      continue;
    }
    ++good;
    EXPECT_EQ(testsupport::readFile(path.string()), kPlain.at(it.name).text);
  }
  std::size_t files = 0;
  if (fs::exists(r.folder))
    for (auto it = fs::recursive_directory_iterator(r.folder); it != fs::recursive_directory_iterator(); ++it) ++files;
  EXPECT_EQ(files, good) << "no leftovers of failed entries";
}

INSTANTIATE_TEST_SUITE_P(Rar, EncryptedSamples, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = std::string(info.param.file) + "_" + (*info.param.password ? info.param.password : "none");
  for (char& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

}  // namespace
