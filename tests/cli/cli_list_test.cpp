// kelvory-cli, run as a program: "l" prints one line per entry and a total line,
// and errors reach standard error with a non-zero exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"
#include "zipengine/zip_builder.h"

using namespace ziptest;
using testsupport::shell;

namespace {

// The program lies in the build's bin folder (KV_BIN), which also holds this test.
std::string cli() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return std::string(bin) + "/kelvory-cli";
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/kelvory-cli";
}

}  // namespace

TEST(CliList, PrintsEntriesAndTotal) {
  testsupport::TempDir dir;
  Entry encrypted{"docs/secret.txt", std::string(100, 's')};
  encrypted.flags = 1;
  const std::string archive =
      dir.write("a.zip", build({{"readme.txt", "Read me first.\n"}, {"docs/", ""}, encrypted}, "c").all());
  std::string out;
  ASSERT_EQ(shell("'" + cli() + "' l '" + archive + "' 2>/dev/null", &out), 0);
  EXPECT_EQ(
      out, "readme.txt\tstored\t15\t15\t2024-03-15 10:20:34\t" +
               [] {
                 char b[9];
                 std::snprintf(b, sizeof b, "%08x", crcOf("Read me first.\n"));
                 return std::string(b);
               }() +
               "\n"
               "docs/\tstored\t0\t0\t2024-03-15 10:20:34\t00000000\n"
               "docs/secret.txt\tstored\t100\t100\t2024-03-15 10:20:34\t" +
               [&] {
                 char b[9];
                 std::snprintf(b, sizeof b, "%08x", crcOf(encrypted.data));
                 return std::string(b);
               }() +
               "\n3 entries\t115\t115\n");
}

// Names are printed with their control characters written out: no escape sequence
// or bell reaches the terminal, a newline cannot fake a row, a NUL is not printed.
TEST(CliList, ControlCharactersInNamesAreWrittenOut) {
  testsupport::TempDir dir;
  const std::string archive = dir.write(
      "c.zip",
      build({{"esc\x1b[2Jbell\a.txt", "1"}, {"fake\nrow\tstored\t0", "2"}, {std::string("nul\0x", 5), "3"}}).all());
  std::string out;
  ASSERT_EQ(shell("'" + cli() + "' l '" + archive + "' 2>/dev/null", &out), 0);
  EXPECT_EQ(out.find_first_of(std::string("\x1b\a\0\r", 4)), std::string::npos);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << out;
  EXPECT_NE(out.find("esc\\x1b[2Jbell\\x07.txt\tstored\t1\t1\t"), std::string::npos) << out;
  EXPECT_NE(out.find("fake\\x0arow\\x09stored\\x090\tstored\t"), std::string::npos) << out;
  EXPECT_NE(out.find("nul\\x00x\tstored\t"), std::string::npos) << out;
}

TEST(CliList, WarningsGoToStandardErrorAndTheListStillComes) {
  testsupport::TempDir dir;
  const std::string archive = dir.write("g.zip", build({{"a.txt", "a"}}).all() + "garbage");
  std::string out, err;
  ASSERT_EQ(shell("'" + cli() + "' l '" + archive + "' 2>/dev/null", &out), 0);
  EXPECT_NE(out.find("a.txt\tstored\t1\t1\t"), std::string::npos);
  EXPECT_NE(out.find("1 entry\t1\t1\n"), std::string::npos);
  ASSERT_EQ(shell("'" + cli() + "' l '" + archive + "' 2>&1 >/dev/null", &err), 0);
  EXPECT_EQ(err, "kelvory-cli: Warning - Garbage at the end of the zipfile!\n");
}

struct CliErrorCase {
  const char* args;
  int status;
  const char* stderrText;
};

class CliErrorTest : public ::testing::TestWithParam<CliErrorCase> {};

TEST_P(CliErrorTest, ExitsWithStatusAndMessage) {
  testsupport::TempDir dir;
  dir.write("text.zip", "just text");
  std::string err;
  const std::string cmd = "cd '" + dir.path() + "' && '" + cli() + "' " + GetParam().args + " 2>&1 >/dev/null";
  EXPECT_EQ(shell(cmd, &err), GetParam().status);
  EXPECT_NE(err.find(GetParam().stderrText), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliErrorTest,
    ::testing::Values(CliErrorCase{"l text.zip", 1, "kelvory-cli: This archive is not a valid Zip archive\n"},
                      CliErrorCase{"l missing.zip", 1, "kelvory-cli: missing.zip: no such file\n"},
                      CliErrorCase{"l", 2, "usage: kelvory-cli l ARCHIVE"},
                      CliErrorCase{"", 2, "usage: kelvory-cli COMMAND"},
                      CliErrorCase{"frobnicate x", 2, "unknown command 'frobnicate'"}),
    [](const ::testing::TestParamInfo<CliErrorCase>& info) { return "case" + std::to_string(info.index); });
