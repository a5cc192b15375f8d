// Every sample RAR archive through the built library: listed, tested and
// extracted as its notes say (names, sizes, CRC-32s and SHA-256s of the data from
// EXPECTED_rar_entries.tsv), or ending in its documented error, and never
// hanging: the damaged samples were made to trap decoders in loops.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "rarlib/rarlib_client.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using rartest::Item;
using rartest::RarLib;
using rartest::Request;

namespace {

struct Expected {
  std::string type, link, crc, sha256;
  std::uint64_t size = 0;
};

// name -> what libarchive 3.9 read, per first volume.
std::map<std::string, std::map<std::string, Expected>> loadExpected() {
  std::map<std::string, std::map<std::string, Expected>> out;
  std::ifstream in(rartest::samples() + "/EXPECTED_rar_entries.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string field; std::getline(ss, field, '\t');) f.push_back(field);
    if (f.size() < 9 || f[2].empty() || f[8] != "ok") continue;
    std::string first = f[1].substr(0, f[1].find(' '));
    Expected e{f[3], f[5], f[6], f[7], std::stoull(f[4])};
    out[first][f[2]] = e;
  }
  return out;
}

struct Sample {
  const char* file;
  int open = RAR_SUCCESS;
  int end = RAR_END_ARCHIVE;
  std::map<std::string, int> failing;  // entries that do not test good, with their result
  std::size_t entries = 0;
};

// Result of the entries of the 1.5-4.x format whose data libarchive 3.6 (the
// system's decoder) gets wrong: the stored CRC-32 catches it.
const Sample kSamples[] = {
    {"derived_crcerror_rar4_stored.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {{"test.txt", RAR_BAD_DATA}}, 5},
    {"derived_crcerror_rar5_stored.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {{"helloworld.txt", RAR_BAD_DATA}}, 1},
    {"derived_truncated_rar4.rar", RAR_SUCCESS, RAR_BAD_DATA, {{"LibarchiveAddingTest.html", RAR_BAD_DATA}}, 1},
    {"derived_truncated_rar5.rar", RAR_SUCCESS, RAR_BAD_DATA, {{"test3.bin", RAR_BAD_DATA}}, 3},
    {"oldnaming_single.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"oldnaming_single.r01", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_rar_multivolume_multiple_files.part1.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 2},
    {"test_rar_multivolume_single_file.part2.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_rar_multivolume_uncompressed_files.part01.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 16},
    {"test_read_format_rar.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 5},
    {"test_read_format_rar4_encrypted.rar",
     RAR_SUCCESS,
     RAR_END_ARCHIVE,
     {{"b.txt", RAR_MISSING_PASSWORD}, {"d.txt", RAR_MISSING_PASSWORD}},
     4},
    {"test_read_format_rar4_solid_encrypted.rar",
     RAR_SUCCESS,
     RAR_END_ARCHIVE,
     {{"a.txt", RAR_MISSING_PASSWORD},
      {"b.txt", RAR_MISSING_PASSWORD},
      {"c.txt", RAR_MISSING_PASSWORD},
      {"d.txt", RAR_MISSING_PASSWORD}},
     4},
    {"test_read_format_rar5_arm_filter_on_window_boundary.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_bad_tables.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {{"bad_tables.txt", RAR_BAD_DATA}}, 1},
    {"test_read_format_rar5_block_size_is_too_small.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_bytes_remaining_underflow.rar", RAR_SUCCESS, RAR_BAD_DATA, {{"poc.txt", RAR_BAD_DATA}}, 1},
    {"test_read_format_rar5_compressed.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar5_data_ready_pointer_leak.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_decode_number_out_of_bounds_read.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_different_solid_window_size.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_different_winsize_on_merge.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_dirdata.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_encrypted.rar",
     RAR_SUCCESS,
     RAR_END_ARCHIVE,
     {{"b.txt", RAR_MISSING_PASSWORD}, {"d.txt", RAR_MISSING_PASSWORD}},
     4},
    {"test_read_format_rar5_encrypted_filenames.rar", RAR_SUCCESS, RAR_MISSING_PASSWORD, {}, 0},
    {"test_read_format_rar5_hardlink.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 2},
    {"test_read_format_rar5_invalid_hash_valid_htime_exfld.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar5_leftshift1.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_multiarchive_solid.part01.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 9},
    {"test_read_format_rar5_multiple_files.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 4},
    {"test_read_format_rar5_nonempty_dir_stream.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_owner.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 3},
    {"test_read_format_rar5_readtables_overflow.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_skip_block_extra_bytes.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar5_solid.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 7},
    {"test_read_format_rar5_stored.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar5_symlink.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 4},
    {"test_read_format_rar5_truncated_huff.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar5_unsupported_exfld.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar5_win32.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 8},
    {"test_read_format_rar5_zip_in_rar.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 3},
    {"test_read_format_rar_binary_data.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 2},
    {"test_read_format_rar_compress_normal.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 6},
    {"test_read_format_rar_encryption_data.rar",
     RAR_SUCCESS,
     RAR_END_ARCHIVE,
     {{"foo.txt", RAR_MISSING_PASSWORD}, {"bar.txt", RAR_MISSING_PASSWORD}},
     2},
    {"test_read_format_rar_encryption_header.rar", RAR_SUCCESS, RAR_MISSING_PASSWORD, {}, 0},
    {"test_read_format_rar_endarc_huge.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar_invalid1.rar", RAR_SUCCESS, RAR_BAD_DATA, {{"test", RAR_BAD_DATA}}, 1},
    {"test_read_format_rar_multi_lzss_blocks.rar",
     RAR_SUCCESS,
     RAR_END_ARCHIVE,
     {{"multi_lzss_blocks_test.txt", RAR_BAD_DATA}},
     1},
    {"test_read_format_rar_newsub_huge.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar_noeof.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar_ppmd_use_after_free.rar", RAR_BAD_DATA, 0, {}, 0},
    {"test_read_format_rar_subblock.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 1},
    {"test_read_format_rar_unicode.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 6},
    {"test_read_format_rar_windows.rar", RAR_SUCCESS, RAR_END_ARCHIVE, {}, 5},
};

// The expectations are kept per first volume; a later volume opens its set.
std::string firstVolume(std::string file) {
  if (file == "oldnaming_single.r01") return "oldnaming_single.rar";
  if (file == "test_rar_multivolume_single_file.part2.rar") return "test_rar_multivolume_single_file.part1.rar";
  return file;
}

std::string hex8(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08x", v);
  return b;
}

std::string sha256Of(const std::string& data) {
  unsigned char d[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), d);
  std::string out;
  for (unsigned char c : d) {
    char b[3];
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

class Samples : public ::testing::TestWithParam<Sample> {
 protected:
  static void SetUpTestSuite() { expected_ = new auto(loadExpected()); }
  static void TearDownTestSuite() { delete expected_; }
  const std::map<std::string, Expected>& expected() { return (*expected_)[firstVolume(GetParam().file)]; }
  Request request(int operation) {
    Request r;
    r.archive = rartest::samples() + "/" + GetParam().file;
    r.operation = operation;
    return r;
  }
  RarLib lib;
  static std::map<std::string, std::map<std::string, Expected>>* expected_;
};
std::map<std::string, std::map<std::string, Expected>>* Samples::expected_ = nullptr;

TEST_P(Samples, ListAndTest) {
  ASSERT_TRUE(lib.loaded());
  const Sample& s = GetParam();
  rartest::Run listed = lib.run(request(RAR_SKIP));
  rartest::Run tested = lib.run(request(RAR_TEST));
  for (const rartest::Run* run : {&listed, &tested}) {
    ASSERT_EQ(run->open, s.open);
    if (s.open != RAR_SUCCESS) continue;
    EXPECT_EQ(run->end, s.end);
    EXPECT_EQ(run->items.size(), s.entries);
  }
  if (s.open != RAR_SUCCESS) return;
  for (std::size_t i = 0; i < tested.items.size(); ++i) {
    const Item& it = tested.items[i];
    SCOPED_TRACE(it.name);
    EXPECT_EQ(listed.items[i].name, it.name);
    EXPECT_EQ(listed.items[i].result, RAR_SUCCESS) << "skipping never fails";
    auto bad = s.failing.find(it.name);
    EXPECT_EQ(it.result, bad == s.failing.end() ? RAR_SUCCESS : bad->second);
    auto want = expected().find(it.name);
    if (it.result != RAR_SUCCESS || want == expected().end()) continue;
    if (want->second.type == "file") {
      EXPECT_EQ(it.size, want->second.size);
      EXPECT_EQ(it.dataSize, want->second.size);
      EXPECT_EQ(hex8(it.dataCrc), want->second.crc);
    }
    if (want->second.type == "symlink") { EXPECT_EQ(it.link, want->second.link); }
    if (want->second.type == "dir") { EXPECT_TRUE(it.flags & RAR_FLAG_DIRECTORY); }
  }
  // Every entry the notes call good was listed.
  for (const auto& [name, e] : expected()) {
    if (s.entries == 0) break;
    bool found = false;
    for (const Item& it : listed.items) found = found || it.name == name;
    EXPECT_TRUE(found) << name;
  }
}

TEST_P(Samples, ExtractWritesOnlyGoodFilesInsideTheTarget) {
  const Sample& s = GetParam();
  if (s.open != RAR_SUCCESS) return;
  testsupport::TempDir dir;
  Request r = request(RAR_EXTRACT);
  r.folder = dir / "out";
  rartest::Run run = lib.run(r);
  std::size_t good = 0;
  for (const Item& it : run.items) {
    SCOPED_TRACE(it.name);
    auto bad = s.failing.find(it.name);
    EXPECT_EQ(it.result, bad == s.failing.end() ? RAR_SUCCESS : bad->second);
    const std::string path = r.folder + "/" + it.name;
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (it.result != RAR_SUCCESS) {
      if (!(it.flags & RAR_FLAG_DIRECTORY)) { EXPECT_FALSE(exists) << "a failed entry leaves no file"; }
      continue;
    }
    ASSERT_TRUE(exists);
    ++good;
    auto want = expected().find(it.name);
    if (want == expected().end()) continue;
    if (want->second.type == "symlink") {
      EXPECT_TRUE(S_ISLNK(st.st_mode));
      EXPECT_EQ(fs::read_symlink(path).string(), want->second.link);
    } else if (want->second.type == "file") {
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_EQ(sha256Of(testsupport::readFile(path)), want->second.sha256);
    } else if (want->second.type == "hardlink") {
      EXPECT_TRUE(S_ISREG(st.st_mode)) << "a hard link is extracted as a copy of its target";
      EXPECT_EQ(testsupport::readFile(path), testsupport::readFile(r.folder + "/" + want->second.link));
    } else {
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
  // Nothing beside the target, and nothing in it but the entries (no leftovers
  // of files that failed).
  if (!fs::exists(r.folder)) {
    EXPECT_EQ(good, 0u);
    return;
  }
  std::size_t inTree = 0;
  for (auto it = fs::recursive_directory_iterator(r.folder); it != fs::recursive_directory_iterator(); ++it) ++inTree;
  std::size_t beside = 0;
  for (auto it = fs::directory_iterator(dir.path()); it != fs::directory_iterator(); ++it) ++beside;
  EXPECT_EQ(beside, 1u);
  std::size_t folders = 0;  // folders made for entries inside them count too
  for (auto it = fs::recursive_directory_iterator(r.folder); it != fs::recursive_directory_iterator(); ++it) {
    bool listed = false;
    std::string rel = it->path().lexically_relative(r.folder).string();
    for (const Item& i : run.items) listed = listed || i.name == rel;
    if (!listed && it->is_directory()) ++folders;
    EXPECT_TRUE(listed || it->is_directory()) << rel;
  }
  EXPECT_LE(inTree, good + folders);
}

INSTANTIATE_TEST_SUITE_P(Rar, Samples, ::testing::ValuesIn(kSamples), [](const auto& info) {
  std::string n = info.param.file;
  for (char& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST(SampleComment, ArchiveCommentIsUnpacked) {
  RarLib lib;
  Request r;
  r.archive = rartest::samples() + "/test_read_format_rar_subblock.rar";
  r.operation = RAR_SKIP;
  EXPECT_EQ(lib.run(r).comment, "test rar with archive comment");
}

TEST(SampleVolumes, EachLaterVolumeIsAnnounced) {
  RarLib lib;
  Request r;
  r.archive = rartest::samples() + "/test_read_format_rar5_multiarchive_solid.part01.rar";
  rartest::Run run = lib.run(r);
  EXPECT_EQ(run.volumes, (std::vector<std::string>{"1 test_read_format_rar5_multiarchive_solid.part02.rar",
                                                   "1 test_read_format_rar5_multiarchive_solid.part03.rar",
                                                   "1 test_read_format_rar5_multiarchive_solid.part04.rar"}));
}

}  // namespace
