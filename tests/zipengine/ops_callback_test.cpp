// The callback routine: the action codes become events (a password request a
// prompt), every callback pumps the user interface, a cancel answers "stop" at
// the very callback whose event set it, a handler that throws stops the library
// with the fatal text, and calls made from a handler while busy do nothing.
#include "platform/pump.h"
#include "zipengine/ops_fixture.h"

using namespace opstest;

namespace {

constexpr std::uint32_t STOP = ZIPLIB_STOP;

class Callbacks : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    nameArchive();
    engine.FSpecArgs = {"x"};
  }
  void TearDown() override {
    platform::setPumpHook(nullptr);
    OpsTest::TearDown();
  }
  static void script(const std::string& s) { ::setenv("KV_RECORD_SCRIPT", s.c_str(), 1); }
};

TEST_F(Callbacks, EveryActionBecomesItsEvent) {
  int pumps = 0;
  platform::setPumpHook([&] { ++pumps; });
  ::setenv("KV_RECORD_ZIP_VERSION", "160", 1);  // libraries of this version carry 64-bit sizes
  script(
      "5,0,2,|6,0,5000000000,|1,0,70000,docs/a.txt|2,0,32768,|2,0,37232,|4,0,0,adding: docs/a.txt   |"
      "4,4660,0,b.txt: cannot read|3,0,0,|77,0,0,");
  engine.Add();
  EXPECT_EQ(log, (std::vector<std::string>{"files 2", "size 5000000000", "begin docs/a.txt 70000", "bytes 32768",
                                           "bytes 37232", "message 0 adding: docs/a.txt",
                                           "message 4660 b.txt: cannot read", "end", "dir"}));
  EXPECT_EQ(engine.BatchTotalSize(), 5000000000);
  EXPECT_EQ(engine.LastMessage(), "b.txt: cannot read");
  EXPECT_EQ(engine.LastErrorCode(), 0x34) << "the low byte of the library's code";
  EXPECT_EQ(engine.FullErrorCode(), 0x1234u);
  EXPECT_EQ(pumps, 9) << "one pump per callback, unknown actions included";
  EXPECT_EQ(onlyRecord().answers, std::vector<std::uint32_t>(9, 0u));
}

// Password requests are put to the user through the Ui, at most three times in one
// call; Cancel answers "skip the entry". Unattended, nobody is asked.
TEST_F(Callbacks, PasswordRequestsAreAskedAtMostThreeTimesPerCall) {
  engine.Unattended = false;
  ui.answerInput("one").answerInput(std::nullopt).answerInput("three");
  script("8,0,0,a.txt|8,11,1,a.txt|8,0,0,b.txt|8,0,0,c.txt|8,11,1,c.txt");
  engine.Extract();
  EXPECT_EQ(ui.inputs, std::vector<std::string>(3, "Password required|Password:"));
  EXPECT_EQ(onlyRecord().answers,
            (std::vector<std::uint32_t>{ZIPLIB_ANSWER_PASSWORD, ZIPLIB_ANSWER_SKIP, ZIPLIB_ANSWER_PASSWORD, 0u, 0u}));
  ui.inputs.clear();
  ui.answerInput("again");
  script("8,0,0,a.txt");
  engine.Extract();
  EXPECT_EQ(ui.inputs.size(), 1u) << "the count starts again with every call";
  engine.Unattended = true;
  engine.Extract();
  EXPECT_EQ(ui.inputs.size(), 1u);
  const std::vector<LibRecord> all = records();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].answers, std::vector<std::uint32_t>{ZIPLIB_ANSWER_PASSWORD});
  EXPECT_EQ(all[2].answers, std::vector<std::uint32_t>{0u});
}

TEST_F(Callbacks, AnInformationKeepsTheLastErrorCode) {
  script("4,9,0,bad crc|4,0,0,done");
  engine.Extract();
  EXPECT_EQ(engine.LastMessage(), "done");
  EXPECT_EQ(engine.LastErrorCode(), 9);
  EXPECT_EQ(engine.FullErrorCode(), 9u);
}

TEST_F(Callbacks, CancelInAProgressHandlerStopsAtThatVeryCallback) {
  onProgress = [&](ProgressType t, const std::string&, std::int64_t) {
    if (t == ptFileBegin) engine.CancelRequested = true;
  };
  script("5,0,2,|1,0,10,a|2,0,10,|1,0,10,b");
  engine.Add();
  LibRecord r = onlyRecord();
  EXPECT_EQ(r.answers, (std::vector<std::uint32_t>{0, STOP}));
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(log, (std::vector<std::string>{"files 2", "begin a 10", "dir"}));
  EXPECT_FALSE(engine.CancelRequested) << "cleared when the operation ends";
}

TEST_F(Callbacks, CancelDuringThePumpStopsAtTheNextCallback) {
  int pumps = 0;
  platform::setPumpHook([&] {
    if (++pumps == 2) engine.CancelRequested = true;
  });
  script("5,0,3,|1,0,1,a|1,0,1,b|1,0,1,c");
  engine.Extract();
  EXPECT_EQ(onlyRecord().answers, (std::vector<std::uint32_t>{0, 0, STOP}));
}

TEST_F(Callbacks, AThrowingHandlerStopsTheLibraryAndGivesTheFatalText) {
  onProgress = [](ProgressType t, const std::string&, std::int64_t) {
    if (t == ptFileBegin) throw std::runtime_error("handler failed");
  };
  script("5,0,2,|1,0,1,a|1,0,1,b");
  ::setenv("KV_RECORD_RESULT", "0", 1);
  engine.Add();
  EXPECT_EQ(onlyRecord().answers, (std::vector<std::uint32_t>{0, STOP}));
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 Fatal Error in libkvzip.so: abort exception"});
  EXPECT_FALSE(engine.ZipBusy());
  EXPECT_TRUE(engine.FSpecArgs.empty());

  // The extractor's text, and the engine works again afterwards.
  log.clear();
  engine.Extract();
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 Fatal Error in libkvunzip.so: abort exception"});
  onProgress = nullptr;
  log.clear();
  engine.FSpecArgs = {"x"};
  engine.Extract();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(records().size(), 3u);
}

// Add and Delete share one busy flag, Extract has its own: from a handler of a
// running Add, Add and Delete return at once and change nothing, Extract runs.
TEST_F(Callbacks, CallsFromAHandlerWhileBusy) {
  int inner = 0;
  onProgress = [&](ProgressType t, const std::string&, std::int64_t) {
    if (t != ptFileBegin || inner++) return;
    EXPECT_TRUE(engine.ZipBusy());
    engine.FSpecArgs.clear();  // a call that ran its checks would complain about this
    engine.Add();
    engine.Delete();
    EXPECT_EQ(engine.SuccessCount(), 0);
    EXPECT_TRUE(engine.ZipBusy());
    engine.FSpecArgs = {"inner"};
    engine.Extract();
    EXPECT_EQ(engine.SuccessCount(), 1);
  };
  engine.FSpecArgs = {"outer"};
  script("1,0,1,a");
  engine.Add();
  auto r = records();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].role, "unzip");
  EXPECT_EQ(r[1].role, "zip");
  EXPECT_EQ(r[1].specs, std::vector<std::string>{"outer"}) << "the block holds its own copies";
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(engine.SuccessCount(), 1);
}

}  // namespace
