// Shared parts of the operation tests: the recording stand-ins for the libraries
// and what they wrote down, and an engine whose events are logged as short lines.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "zipengine/engine_fixture.h"
#include "zipengine/ziplib_abi.h"
#include "zipengine/zipengine.h"

namespace opstest {

// A folder of stand-in libraries: "record", "noexec" or "noversion".
inline std::string testLibs(const std::string& variant) { return std::string(KV_TESTLIBS) + "/" + variant; }

inline std::string unhex(const std::string& h) {
  std::string out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return out;
}

// One call of a stand-in library, as it wrote it down.
struct LibRecord {
  std::string role;
  int version = 0;
  std::string block;  // the block's bytes
  std::string archive;
  std::string password;  // the 81 bytes of the password buffer
  std::string tempDir;   // "-" for none
  std::vector<std::string> specs;
  bool recordTails = true;
  int oldSlots = -1;
  std::vector<std::uint32_t> answers;
  bool stopped = false;

  template <typename Block>
  Block as() const {
    Block b{};
    EXPECT_EQ(block.size(), sizeof b) << "the block has the size of the other layout";
    std::memcpy(static_cast<void*>(&b), block.data(), std::min(block.size(), sizeof b));
    return b;
  }
};

inline std::vector<LibRecord> readRecords(const std::string& path) {
  std::vector<LibRecord> out;
  std::istringstream in(testsupport::readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    std::string key = line.substr(0, line.find(' '));
    std::string value = line.size() > key.size() ? line.substr(key.size() + 1) : std::string();
    if (key == "exec") out.emplace_back().role = value;
    if (out.empty()) continue;
    LibRecord& r = out.back();
    if (key == "version")
      r.version = std::stoi(value);
    else if (key == "block")
      r.block = unhex(value);
    else if (key == "archive")
      r.archive = value;
    else if (key == "password")
      r.password = unhex(value);
    else if (key == "tempdir")
      r.tempDir = value;
    else if (key == "spec")
      r.specs.push_back(value);
    else if (key == "recordtails")
      r.recordTails = value == "1";
    else if (key == "oldslots")
      r.oldSlots = std::stoi(value);
    else if (key == "answer")
      r.answers.push_back(static_cast<std::uint32_t>(std::stoul(value, nullptr, 16)));
    else if (key == "stopped")
      r.stopped = true;
  }
  return out;
}

// The 81-byte password buffer a block should carry for password.
inline std::string passwordBuffer(const std::string& password) {
  std::string b = password.substr(0, 80);
  b.resize(81, '\0');
  return b;
}

// An archive without entries: only the end record.
inline std::string emptyZip() { return std::string("PK\x05\x06", 4) + std::string(18, '\0'); }

class OpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui.acceptInformationBoxes(true);
    recordPath = dir / "record.txt";
    ::setenv("KV_RECORD_FILE", recordPath.c_str(), 1);
    engine.setDLLDirectory(testLibs("record"));
    engine.Unattended = true;
    engine.OnProgress = [this](TZipEngine&, ProgressType t, const std::string& name, std::int64_t size) {
      static const char* kNames[] = {"begin", "bytes", "end", "files", "size", "collect"};
      std::string line = kNames[t];
      if (t == ptFileBegin) line += " " + name;
      if (t != ptBatchEnd) line += " " + std::to_string(size);
      log.push_back(line);
      if (onProgress) onProgress(t, name, size);
    };
    engine.OnMessage = [this](TZipEngine&, int code, const std::string& text) {
      log.push_back("message " + std::to_string(code) + " " + text);
    };
    engine.OnDirUpdate = [this](TZipEngine&) { log.push_back("dir"); };
  }
  void TearDown() override {
    for (const char* name :
         {"KV_RECORD_FILE", "KV_RECORD_SCRIPT", "KV_RECORD_RESULT", "KV_RECORD_ZIP_VERSION", "KV_RECORD_UNZ_VERSION"})
      ::unsetenv(name);
    EXPECT_TRUE(ui.unexpected.empty());
  }

  std::vector<LibRecord> records() const { return readRecords(recordPath); }
  LibRecord onlyRecord() const {
    auto r = records();
    EXPECT_EQ(r.size(), 1u);
    return r.empty() ? LibRecord{} : r.front();
  }
  // Names an existing archive without entries (the stand-ins never read it).
  std::string nameArchive(const std::string& name = "a.zip") {
    std::string path = dir.write(name, emptyZip());
    engine.setZipFilename(path);
    log.clear();
    return path;
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& l : log)
      if (l.rfind("message ", 0) == 0) out.push_back(l);
    return out;
  }

  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  TZipEngine engine;
  std::string recordPath;
  std::vector<std::string> log;
  std::function<void(ProgressType, const std::string&, std::int64_t)> onProgress;
};

}  // namespace opstest
