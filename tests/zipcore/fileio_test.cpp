// copyRange copies a part of one file behind what another already holds, in the
// kernel between plain files and through a buffer where the kernel refuses (a
// pipe, a device), and tells a short input from a refused write.
#include "zipcore/fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace {

using zipcore::CopyEnd;
using zipcore::copyRange;
using zipcore::UniqueFd;

std::string pattern(std::size_t n) {
  std::mt19937 gen(7);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

class CopyRangeTest : public ::testing::Test {
 protected:
  // More than one kernel piece, so the copy loops.
  const std::string data = pattern((9 << 20) + 123);
  testsupport::TempDir tmp;
  std::string source = tmp.write("in.bin", data);
};

TEST_F(CopyRangeTest, CopiesAPartBehindWhatTheOutputHolds) {
  UniqueFd in(::open(source.c_str(), O_RDONLY));
  UniqueFd out(::open((tmp / "out.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
  ASSERT_TRUE(in.valid() && out.valid());
  ASSERT_EQ(::write(out.get(), "head", 4), 4);
  ASSERT_EQ(::lseek(in.get(), 5, SEEK_SET), 5);
  EXPECT_EQ(copyRange(in.get(), 1000, out.get(), data.size() - 2000), CopyEnd::Done);
  EXPECT_EQ(copyRange(in.get(), 0, out.get(), 10), CopyEnd::Done);
  EXPECT_EQ(::lseek(in.get(), 0, SEEK_CUR), 5) << "the input's position is left alone";
  out.reset();
  EXPECT_EQ(testsupport::readFile(tmp / "out.bin"),
            "head" + data.substr(1000, data.size() - 2000) + data.substr(0, 10));
}

TEST_F(CopyRangeTest, AnInputThatEndsEarlyIsShort) {
  UniqueFd in(::open(source.c_str(), O_RDONLY));
  UniqueFd out(::open((tmp / "out.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
  EXPECT_EQ(copyRange(in.get(), data.size() - 100, out.get(), 101), CopyEnd::ShortInput);
  EXPECT_EQ(copyRange(in.get(), data.size() + 5, out.get(), 1), CopyEnd::ShortInput);
}

TEST_F(CopyRangeTest, OutputsTheKernelCannotTakeGoThroughTheBuffer) {
  UniqueFd in(::open(source.c_str(), O_RDONLY));
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  std::string received;
  std::thread reader([&] {
    char buf[65536];
    for (ssize_t n; (n = ::read(readEnd.get(), buf, sizeof buf)) > 0;)
      received.append(buf, static_cast<std::size_t>(n));
  });
  const CopyEnd end = copyRange(in.get(), 77, writeEnd.get(), 3 << 20);
  writeEnd.reset();
  reader.join();
  EXPECT_EQ(end, CopyEnd::Done);
  EXPECT_EQ(received, data.substr(77, 3 << 20));

  UniqueFd full(::open("/dev/full", O_WRONLY));
  if (!full.valid()) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(copyRange(in.get(), 0, full.get(), 1000), CopyEnd::WriteFailed);
  EXPECT_EQ(errno, ENOSPC);
}

}  // namespace
