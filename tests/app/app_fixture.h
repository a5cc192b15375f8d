// A main window on a temporary program folder with the scripted Ui, and small
// archives made on the spot.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/mainunit.h"
#include "platform/ini.h"
#include "support/qt_print.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "zipengine/zip_builder.h"

// Three small files, one of them in a folder: 18 bytes in all.
inline const std::vector<ziptest::Entry> kThree = {{"a.txt", "alpha"}, {"dir/b.txt", "bravo!"}, {"c.txt", "charlie"}};

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    ::setenv("KELVORY_HOME", dir.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  }
  ~AppTest() override {
    ::unsetenv("KELVORY_HOME");
    ::unsetenv("XDG_DATA_HOME");
  }

  std::unique_ptr<TMainform> make(QStringList args = {}) {
    return std::make_unique<TMainform>(settings, std::move(args));
  }

  std::string writeZip(const std::string& name, const std::vector<ziptest::Entry>& entries,
                       const std::string& stub = {}) {
    return dir.write(name, stub + ziptest::build(entries, {}, static_cast<std::uint32_t>(stub.size())).all());
  }

  std::string ini() const { return dir / "Kelvory.Ini"; }

  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  dialogs::TSettings settings{dir / "Kelvory.Ini"};
};
