// A main window on a temporary program folder with the scripted Ui, small archives
// made on the spot, and the steps many window tests share: picking rows of the
// listing and answering the dialogs the commands show.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/mainunit.h"
#include "dialogs/addform.h"
#include "dialogs/extract.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "support/qt_print.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"
#include "zipengine/zip_builder.h"

// The answers and the file reader nearly every window test uses.
using platform::kBtnNo;
using platform::kBtnOk;
using platform::kBtnYes;
using testsupport::readFile;

// Three small files, one of them in a folder: 18 bytes in all.
inline const std::vector<ziptest::Entry> kThree = {{"a.txt", "alpha"}, {"dir/b.txt", "bravo!"}, {"c.txt", "charlie"}};

// The dialog a scripted modal window shows.
template <typename D>
D& dialogOf(platform::ModalWindow& w) {
  return static_cast<D&>(static_cast<widgets::DialogWindow&>(w).dialog());
}

// Answers the Extract dialog: target folder, files choice (0 all, 1 selected), OK.
// seenChoice, when given, gets the choice the dialog came up with.
inline std::function<int(platform::ModalWindow&)> extractTo(const std::string& folder, int filesChoice = 0,
                                                            int* seenChoice = nullptr) {
  return [=](platform::ModalWindow& w) {
    auto& d = dialogOf<TExtract>(w);
    if (seenChoice) *seenChoice = d.FilesToExtract();
    d.SetFolder(folder);
    d.setFilesToExtract(filesChoice);
    d.BitBtn1Click();
    return 1;
  };
}

// Answers the Add dialog: every file of folder, moved into the archive when move
// is set, OK.
inline std::function<int(platform::ModalWindow&)> addAllFrom(const std::string& folder, bool move = false) {
  return [=](platform::ModalWindow& w) {
    auto& d = dialogOf<TAddForm>(w);
    d.SetFolder(folder);
    d.BU_SelectallClick();
    d.BitBtn6Click();
    d.CB_Move->setChecked(move);
    d.BitBtn1Click();
    return 1;
  };
}

// Selects the one data row whose stored name is name.
inline void selectRow(TMainform& f, const std::string& name) {
  const int col = f.ColumnOf(QStringLiteral("Filename"));
  for (int r = 1; r < f.StringGrid1->RowCount(); ++r)
    if (f.StringGrid1->Cells(col, r) == QString::fromStdString(platform::fileNameOf(name))) {
      f.StringGrid1->setSelection({0, r, f.StringGrid1->ColCount() - 1, r});
      ASSERT_EQ(f.SelectedNames(), std::vector<std::string>{name});
      return;
    }
  FAIL() << "no row " << name;
}

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

  // A window with the ZIP archive of entries (written as name) open.
  std::unique_ptr<TMainform> openWith(const std::vector<ziptest::Entry>& entries, const std::string& name = "t.zip") {
    auto f = make();
    EXPECT_TRUE(f->OpenArchive(writeZip(name, entries))) << name;
    return f;
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
