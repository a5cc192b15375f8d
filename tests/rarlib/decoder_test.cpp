// The watch over the decoder child: a child that spins, sleeps, crashes or
// breaks the protocol costs an error, never a hang; the caller's cancel ends a
// child at once; a child that keeps reporting progress is left to work.
#include "rarlib/decoder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "rarlib/kvrar.h"

using rarlib::DecodedHeader;
using rarlib::Decoder;
using rarlib::DecoderLimits;

namespace {

// Reads one message's frame and payload; false at the end.
bool readMessage(int in) {
  unsigned char head[5];
  std::size_t got = 0;
  while (got < 5) {
    ssize_t n = ::read(in, head + got, 5 - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  std::uint32_t len = head[1] | (head[2] << 8) | (head[3] << 16) | (static_cast<std::uint32_t>(head[4]) << 24);
  std::string payload(len, '\0');
  for (std::size_t at = 0; at < len;) {
    ssize_t n = ::read(in, payload.data() + at, len - at);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

void writeMessage(int out, char type, const std::string& payload) {
  std::string m(1, type);
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<char>(payload.size() >> (8 * i)));
  m += payload;
  if (::write(out, m.data(), m.size()) != static_cast<ssize_t>(m.size())) ::_exit(1);
}

std::string u32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

// A header for a 3-byte file named "f", then its end with code.
void answerEntry(int out, int code) {
  std::string h = u32(3) + u32(0) + std::string(1, '\1') + u32(0100000) + u32(1) + "f" + u32(0) + u32(0);
  writeMessage(out, 'H', h);
  if (code == 0) writeMessage(out, 'D', "abc");
  writeMessage(out, 'E', u32(static_cast<std::uint32_t>(code)) + std::string(1, '\0') + u32(0));
}

class Watch : public ::testing::Test {
 protected:
  Watch() {
    limits.stallCpuMs = 300;
    limits.stallWallMs = 600;
    limits.heartbeatMs = 20;
  }
  int run(const Decoder::ChildMain& child, const Decoder::DataSink& sink = nullptr) {
    int error = 0;
    if (!decoder.startWith(child, 0, nullptr, limits, error)) return -error;
    DecodedHeader h;
    auto counting = [&](const std::uint8_t* data, std::size_t size) {
      if (data)
        received.append(reinterpret_cast<const char*>(data), size);
      else
        ++beats;
      return sink ? sink(data, size) : 0;
    };
    return decoder.process(0, true, h, counting, detail);
  }
  DecoderLimits limits;
  Decoder decoder;
  std::string detail, received;
  int beats = 0;
};

TEST_F(Watch, SpinningChildIsStopped) {
  EXPECT_EQ(run([](int in, int) {
              readMessage(in);
              for (;;) __asm__ __volatile__("");
            }),
            RAR_BAD_DATA);
  EXPECT_NE(detail.find("no progress"), std::string::npos) << detail;
  EXPECT_FALSE(decoder.running());
  EXPECT_GT(beats, 0) << "the caller heard the heartbeat meanwhile";
}

TEST_F(Watch, SleepingChildIsStoppedByTheWallLimit) {
  EXPECT_EQ(run([](int in, int) {
              readMessage(in);
              ::pause();
            }),
            RAR_BAD_DATA);
  EXPECT_NE(detail.find("no progress"), std::string::npos) << detail;
}

TEST_F(Watch, CrashingChildGivesAnError) {
  EXPECT_EQ(run([](int in, int) {
              readMessage(in);
              ::signal(SIGABRT, SIG_DFL);
              ::abort();
            }),
            RAR_BAD_DATA);
  EXPECT_NE(detail.find("ended unexpectedly"), std::string::npos) << detail;
  EXPECT_FALSE(decoder.running());
}

TEST_F(Watch, ProtocolBreachStopsTheChild) {
  EXPECT_EQ(run([](int in, int out) {
              readMessage(in);
              writeMessage(out, 'Q', "?");
              ::pause();
            }),
            RAR_BAD_DATA);
  EXPECT_NE(detail.find("protocol"), std::string::npos) << detail;
  EXPECT_FALSE(decoder.running());
}

TEST_F(Watch, CancelEndsABusyChildAtTheNextHeartbeat) {
  limits.stallCpuMs = limits.stallWallMs = 60000;
  EXPECT_EQ(run(
                [](int in, int) {
                  readMessage(in);
                  for (;;) __asm__ __volatile__("");
                },
                [](const std::uint8_t* data, std::size_t) { return data ? 0 : static_cast<int>(RAR_ABORTED); }),
            RAR_ABORTED);
  EXPECT_EQ(beats, 1);
  EXPECT_FALSE(decoder.running());
}

TEST_F(Watch, ProgressKeepsASlowChildAlive) {
  // Works for about three stall limits, reporting progress all along.
  EXPECT_EQ(run([](int in, int out) {
              readMessage(in);
              for (int i = 0; i < 45; ++i) {
                ::usleep(20000);
                writeMessage(out, 'P', {});
              }
              answerEntry(out, 0);
              readMessage(in);
            }),
            RAR_SUCCESS)
      << detail;
  EXPECT_EQ(received, "abc");
  EXPECT_TRUE(decoder.running()) << "a good child is kept for the next entry";
}

TEST_F(Watch, ChildsOwnErrorIsPassedOn) {
  EXPECT_EQ(run([](int in, int out) {
              readMessage(in);
              answerEntry(out, RAR_BAD_DATA);
              readMessage(in);
            }),
            RAR_BAD_DATA);
  EXPECT_TRUE(received.empty());
}

}  // namespace
