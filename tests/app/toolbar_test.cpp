// Every toolbar picture does what its menu item does, in every state of the window
// (no archive, a ZIP archive, a self-extracting program, a RAR archive). The picture
// and the item each run on a fresh window over the same files, with the same
// answers ready for whatever the command asks; the boxes and their texts, the
// dialogs, the status lines and every file left on disk must then agree. With no
// archive open the pictures say what is missing rather than doing nothing.
#include <utime.h>

#include <QAction>
#include <QTest>
#include <filesystem>
#include <map>

#include "app/app_fixture.h"
#include "app/toolbar.h"
#include "dialogs/dialog_globals.h"
#include "rarlib/rar_builder.h"

namespace fs = std::filesystem;

namespace {

// What one command did, as the user would see it and find it on disk.
struct Outcome {
  std::vector<std::string> boxes, inputs, fileDialogs, modalWindows, unexpected;
  std::size_t answersLeft = 0;
  std::string archive;
  QString caption, status, totals;
  bool open = true;
  std::map<std::string, std::string> files;  // everything under the program folder, by relative path
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  auto list = [&](const char* name, const std::vector<std::string>& v) {
    os << name << "{";
    for (const auto& s : v) os << '"' << s << "\" ";
    os << "} ";
  };
  list("boxes", o.boxes);
  list("inputs", o.inputs);
  list("file dialogs", o.fileDialogs);
  list("windows", o.modalWindows);
  list("unanswered", o.unexpected);
  os << "answers left " << o.answersLeft << " archive \"" << o.archive << "\" caption \"" << o.caption.toStdString()
     << "\" status \"" << o.status.toStdString() << "\" totals \"" << o.totals.toStdString() << "\""
     << (o.open ? " (window open)" : " (window closed)") << " files {";
  for (const auto& [path, data] : o.files) os << path << ":" << data.size() << " ";
  return os << "}";
}

// The archives' contents: a text, a shell script that leaves a mark when run, and
// a file in a folder.
const char* const kScript = "#!/bin/sh\necho ran > \"$KELVORY_HOME/ran.txt\"\n";
const std::vector<ziptest::Entry> kZipEntries = {{"a.txt", "alpha"}, {"run.sh", kScript}, {"dir/b.txt", "bravo!"}};

enum class State { NoArchive, Zip, SelfExtracting, Rar };
const State kStates[] = {State::NoArchive, State::Zip, State::SelfExtracting, State::Rar};

const char* nameOf(State s) {
  switch (s) {
    case State::NoArchive: return "no archive";
    case State::Zip: return "ZIP archive";
    case State::SelfExtracting: return "self-extracting program";
    case State::Rar: return "RAR archive";
  }
  return "?";
}

// One toolbar picture, its menu item, and what the user does around the command: the
// row picked beforehand and the answers to what the command asks (the program
// folder given). Commands that are refused leave their answers unused, alike.
struct Command {
  const char* picture;
  const char* item;
  const char* row;  // selected first when the archive lists it (nullptr: no selection)
  std::function<void(testsupport::ScriptedUi&, const std::string&)> answers;
};

const Command kCommands[] = {
    {"bu_NewEn", "Newarchive1", nullptr,
     [](testsupport::ScriptedUi& ui, const std::string& home) { ui.answerOpenFile(home + "/made"); }},
    {"bu_OpenEn", "Openarchive1", nullptr,
     [](testsupport::ScriptedUi& ui, const std::string& home) { ui.answerOpenFile(home + "/other.zip"); }},
    {"bu_RunEn", "Executefile1", "run.sh", [](testsupport::ScriptedUi&, const std::string&) {}},
    // The built-in editor is closed without a change.
    {"bu_ViewEn", "Viewfile1", "a.txt",
     [](testsupport::ScriptedUi& ui, const std::string&) { ui.onModal([](platform::ModalWindow&) { return 0; }); }},
    {"bu_ExtractEn", "Extract1", nullptr,
     [](testsupport::ScriptedUi& ui, const std::string& home) { ui.onModal(extractTo(home + "/out")); }},
    {"bu_AddEn", "Add1", nullptr,
     [](testsupport::ScriptedUi& ui, const std::string& home) { ui.onModal(addAllFrom(home + "/src")); }},
    {"bu_DeleteEn", "Delete1", "a.txt",
     [](testsupport::ScriptedUi& ui, const std::string&) { ui.answerMessage(platform::kBtnYes); }},
    {"bu_CloseEn", "Exit1", nullptr, [](testsupport::ScriptedUi&, const std::string&) {}},
};

std::string kindName(platform::MsgKind k) {
  switch (k) {
    case platform::MsgKind::Plain: return "";
    case platform::MsgKind::Warning: return "warning: ";
    case platform::MsgKind::Error: return "error: ";
    case platform::MsgKind::Information: return "information: ";
    case platform::MsgKind::Confirmation: return "question: ";
  }
  return "?";
}

const Command& command(const char* picture) {
  for (const Command& c : kCommands)
    if (std::string(c.picture) == picture) return c;
  throw std::logic_error(picture);
}

// Every file and folder under root with its contents ("/" for a folder). The
// trash's notes carry the time of deletion, which two runs cannot share; their
// names are kept.
std::map<std::string, std::string> filesUnder(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    if (e.is_directory())
      files[rel] = "/";
    else if (e.path().extension() == ".trashinfo")
      files[rel] = "(trash note)";
    else
      files[rel] = testsupport::readFile(e.path().string());
  }
  return files;
}

}  // namespace

class ToolbarTest : public AppTest {
 protected:
  ToolbarTest()
      : extractDir(dialogs::ExtractDir),
        extractWithPaths(dialogs::ExtractWithPaths),
        extractOverwrite(dialogs::ExtractOverwrite),
        extractAll(dialogs::ExtractAll) {}

  // The program folder as every run starts from it: the archives of each state, a
  // second archive to open, a file to add (with a fixed time, so two adds store the
  // same bytes) and an empty folder to extract into. No settings file.
  void freshFolder() {
    for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
    writeZip("t.zip", kZipEntries);
    writeZip("t.exe", kZipEntries, std::string(2000, 'M'));
    dir.write("t.rar", rartest::rar5({rartest::file("a.txt", "alpha"), rartest::file("run.sh", kScript),
                                      rartest::folder("dir"), rartest::file("dir/b.txt", "bravo!")}));
    writeZip("other.zip", {{"other.txt", "other"}});
    const std::string added = dir.write("src/new.txt", "a new file");
    const utimbuf time{946684800, 946684800};
    ::utime(added.c_str(), &time);
    fs::create_directories(dir / "out");
    dialogs::ExtractDir = extractDir;
    dialogs::ExtractWithPaths = extractWithPaths;
    dialogs::ExtractOverwrite = extractOverwrite;
    dialogs::ExtractAll = extractAll;
    dialogs::DialogCancelled = false;
    dialogs::LastArchive.clear();
  }

  std::string archiveOf(State s) const {
    switch (s) {
      case State::NoArchive: return {};
      case State::Zip: return dir / "t.zip";
      case State::SelfExtracting: return dir / "t.exe";
      case State::Rar: return dir / "t.rar";
    }
    return {};
  }

  // Runs one command on a fresh window in state s, by the picture or by the item.
  Outcome run(State s, const Command& c, bool byPicture) {
    freshFolder();
    Outcome o;
    {
      testsupport::ScriptedUi runUi;  // the answers of this run only
      runUi.acceptInformationBoxes(true);
      dialogs::TSettings runSettings(ini());
      TMainform f(runSettings, {});
      f.AfterNewArchive = nullptr;
      if (s != State::NoArchive) { EXPECT_TRUE(f.OpenArchive(archiveOf(s))) << nameOf(s); }
      f.show();
      if (c.row && s != State::NoArchive) selectRow(f, c.row);
      const std::size_t boxesBefore = runUi.boxes.size();
      c.answers(runUi, dir.path());
      if (byPicture) {
        auto* picture = f.findChild<QLabel*>(QString::fromLatin1(c.picture));
        EXPECT_NE(picture, nullptr) << c.picture;
        if (picture) QTest::mouseClick(picture->parentWidget(), Qt::LeftButton, {}, picture->geometry().center());
      } else {
        // The item's handler, as choosing the item runs it (also while it is disabled).
        emit f.Action(QString::fromLatin1(c.item))->triggered();
      }
      for (std::size_t i = boxesBefore; i < runUi.boxes.size(); ++i)
        o.boxes.push_back(kindName(runUi.boxes[i].kind) + runUi.boxes[i].text);
      o.inputs = runUi.inputs;
      for (const auto& d : runUi.fileDialogs) o.fileDialogs.push_back(d.title);
      o.modalWindows = runUi.modalWindows;
      o.unexpected = runUi.unexpected;
      o.answersLeft = runUi.pending();
      o.archive = f.OpenArchiveName();
      o.caption = f.windowTitle();
      o.status = f.Panel3->text();
      o.totals = f.Panel4->text();
      o.open = f.isVisible();
      o.files = filesUnder(dir.path());
    }
    platform::setUi(&ui);  // the fixture's again
    return o;
  }

  const std::string extractDir;
  const bool extractWithPaths, extractOverwrite, extractAll;
};

TEST_F(ToolbarTest, EveryPictureDoesWhatItsMenuItemDoesInEveryState) {
  for (State s : kStates) {
    for (const Command& c : kCommands) {
      SCOPED_TRACE(std::string(c.picture) + " / " + c.item + " with " + nameOf(s));
      const Outcome picture = run(s, c, true), item = run(s, c, false);
      EXPECT_EQ(picture, item);
      const bool somethingHappened =
          !picture.boxes.empty() || !picture.fileDialogs.empty() || !picture.modalWindows.empty() || !picture.open;
      EXPECT_TRUE(somethingHappened) << picture;
      // Whatever the command did, the totals line describes the archive open after it.
      if (!picture.archive.empty()) { EXPECT_TRUE(picture.totals.startsWith(QStringLiteral("Total "))) << picture; }
    }
  }
  // The scripted answers were used: the pictures really ran the commands.
  EXPECT_TRUE(run(State::Zip, command("bu_RunEn"), true).files.contains("ran.txt"));
  EXPECT_EQ(run(State::SelfExtracting, command("bu_ExtractEn"), true).files["out/dir/b.txt"], "bravo!");
  EXPECT_EQ(run(State::Rar, command("bu_ExtractEn"), true).files["out/dir/b.txt"], "bravo!");
  EXPECT_EQ(run(State::NoArchive, command("bu_OpenEn"), true).archive, dir / "other.zip");
}

TEST_F(ToolbarTest, WithNoArchiveThePicturesSayWhatIsMissing) {
  const std::string noArchive = "warning: You must create a new zipfile or open a zipfile first!";
  EXPECT_EQ(run(State::NoArchive, command("bu_ExtractEn"), true).boxes, std::vector<std::string>{noArchive});
  EXPECT_EQ(run(State::NoArchive, command("bu_AddEn"), true).boxes, std::vector<std::string>{noArchive});
  EXPECT_EQ(run(State::NoArchive, command("bu_DeleteEn"), true).boxes,
            std::vector<std::string>{"warning: Error :No file(s) to delete"});
  EXPECT_EQ(run(State::NoArchive, command("bu_NewEn"), true).fileDialogs,
            std::vector<std::string>{"Create New ZIP File"});
  EXPECT_FALSE(run(State::NoArchive, command("bu_CloseEn"), true).open);
}

TEST_F(ToolbarTest, OnARarArchiveRunViewAddAndDeleteAreRefusedAlike) {
  for (const char* picture : {"bu_RunEn", "bu_ViewEn", "bu_AddEn", "bu_DeleteEn"}) {
    SCOPED_TRACE(picture);
    const Outcome o = run(State::Rar, command(picture), true);
    ASSERT_EQ(o.boxes.size(), 1u) << o;
    EXPECT_NE(o.boxes.front().find("KELVORY don't support this action on RAR files!"), std::string::npos);
    EXPECT_EQ(o.files.at("t.rar"), testsupport::readFile(dir / "t.rar"));
  }
}
