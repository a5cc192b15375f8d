// The shared sample archives list as their README describes: fake end records,
// stubs, split sets, Unicode names, truncation and trailing bytes.
#include "zipengine/engine_fixture.h"

struct SampleCase {
  const char* file;
  int entries;            // -1: the archive is refused
  const char* box;        // the one box expected, or "" for none
  const char* firstName;  // name of the first entry, or ""
  std::uint64_t contentStart;
};

class SampleArchiveTest : public EngineTest, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(SampleArchiveTest, ListsAsDescribed) {
  const std::string data = testsupport::testDataFolder();
  const SampleCase& c = GetParam();
  engine.setZipFilename(data + "/zip/" + c.file);
  if (c.entries < 0) {
    EXPECT_EQ(engine.ZipFilename(), "");
  } else {
    EXPECT_EQ(engine.EntryCount(), c.entries);
    EXPECT_EQ(engine.ContentStart(), c.contentStart);
  }
  if (*c.box)
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.box});
  else
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.at(0).text;
  if (*c.firstName) {
    ASSERT_FALSE(engine.Entries().empty());
    EXPECT_EQ(engine.Entries()[0]->FileName, c.firstName);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleArchiveTest,
    ::testing::Values(
        SampleCase{"comment_fake_eocd.zip", 12, "", "readme.txt", 0},
        SampleCase{"comment_65535.zip", 12, "", "readme.txt", 0},
        SampleCase{"crafted_unicode_path_extra.zip", 2, "", "Caf\xC3\xA9.txt", 0},
        SampleCase{"crafted_dos_cp437_name.zip", 1, "", "M\xC3\xBCnchen.txt", 0},
        SampleCase{"crafted_utf8_flag_names.zip", 3, "",
                   "\xC3\x9Cn\xC3\xAF"
                   "c\xC3\xB6"
                   "d\xC3\xA9/",
                   0},
        SampleCase{"infozip_utf8_names_noflag.zip", 5, "", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/", 0},
        SampleCase{"infozip_zip64_forced.zip", 7, "", "readme.txt", 0},
        SampleCase{"bsdtar_zip64.zip", 4, "", "readme.txt", 0}, SampleCase{"empty_archive.zip", 0, "", "", 0},
        SampleCase{"sfx_stub_adjusted.exe", 4, "", "readme.txt", 4096},
        SampleCase{"prefixed_4096_unadjusted.zip", 4, "Warning - Error in zip structure!", "readme.txt", 4096},
        SampleCase{"trailing_zero_padding_512.zip", 12, "", "readme.txt", 0},
        SampleCase{"trailing_garbage.zip", 12, "Warning - Garbage at the end of the zipfile!", "readme.txt", 0},
        SampleCase{"split_64k.zip", 1, "", "big_random.bin", 4},
        // Any volume of a set opens it: the first one lists the set from its last.
        SampleCase{"split_64k.z01", 1, "", "big_random.bin", 4},
        SampleCase{"truncated.zip", -1, "This archive is not a valid Zip archive", "", 0},
        SampleCase{"truncated_in_central_dir.zip", -1, "This archive is not a valid Zip archive", "", 0}),
    [](const ::testing::TestParamInfo<SampleCase>& info) { return paramName(info.param.file); });
