// A fixture for engine tests: a temporary folder, the scripted Ui (OK boxes pass
// and are recorded), and an engine whose events are counted and recorded.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "zipengine/zipengine.h"

// A parameter's description as a test name: letters and digits, "_" for the rest.
inline std::string paramName(const char* what) {
  std::string name;
  for (const char* c = what; *c; ++c) name.push_back(std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
  return name;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui.acceptInformationBoxes(true);
    engine.OnDirUpdate = [this](TZipEngine&) { ++dirUpdates; };
    engine.OnMessage = [this](TZipEngine&, int code, const std::string& text) {
      EXPECT_EQ(code, 0);
      messages.push_back(text);
    };
  }

  // Writes bytes as an archive and assigns it to the engine; returns its path.
  std::string open(const std::string& bytes, const std::string& name = "a.zip") {
    std::string path = dir.write(name, bytes);
    engine.setZipFilename(path);
    return path;
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : engine.Entries()) out.push_back(e->FileName);
    return out;
  }

  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  TZipEngine engine;
  int dirUpdates = 0;
  std::vector<std::string> messages;
};
