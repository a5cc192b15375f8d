// Every toolbar picture does what its menu item does, in every state of the window:
// a click on the picture and the item's own handler give the same boxes, dialogs and
// window state, and with no archive open the pictures say what is missing rather
// than doing nothing.
#include <QAction>
#include <QTest>

#include "app/app_fixture.h"
#include "app/toolbar.h"

namespace {

// What one command did, as the user would see it.
struct Outcome {
  std::vector<std::string> boxes, inputs, fileDialogs, modalWindows, unexpected;
  std::string archive;
  QString caption;
  bool open = true;
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
  return os << "archive " << o.archive << (o.open ? " (window open)" : " (window closed)");
}

struct Command {
  const char* picture;  // the normal picture
  const char* item;     // the menu item with the same handler
};
const Command kCommands[] = {{"bu_NewEn", "Newarchive1"}, {"bu_OpenEn", "Openarchive1"}, {"bu_RunEn", "Executefile1"},
                             {"bu_ViewEn", "Viewfile1"},  {"bu_ExtractEn", "Extract1"},  {"bu_AddEn", "Add1"},
                             {"bu_DeleteEn", "Delete1"},  {"bu_CloseEn", "Exit1"}};

// The states the window can be in. A RAR archive becomes one more row here once the
// RAR reader opens RAR archives in the window.
enum class State { NoArchive, Zip, SelfExtracting };
const State kStates[] = {State::NoArchive, State::Zip, State::SelfExtracting};

const char* nameOf(State s) {
  switch (s) {
    case State::NoArchive: return "no archive";
    case State::Zip: return "ZIP archive";
    case State::SelfExtracting: return "self-extracting archive";
  }
  return "?";
}

}  // namespace

class ToolbarTest : public AppTest {
 protected:
  ToolbarTest() {
    zip = writeZip("t.zip", {{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    sfx = writeZip("t.exe", {{"a.txt", "alpha"}}, std::string(2000, 'M'));
  }

  std::unique_ptr<TMainform> windowIn(State s) {
    auto f = make();
    f->AfterNewArchive = nullptr;
    if (s == State::Zip) {
      EXPECT_TRUE(f->OpenArchive(zip));
    } else if (s == State::SelfExtracting) {
      EXPECT_TRUE(f->OpenArchive(sfx));
    }
    f->show();
    return f;
  }

  // Runs one command on a fresh window in state s, by the picture or by the item.
  Outcome run(State s, const Command& c, bool byPicture) {
    auto f = windowIn(s);
    const std::size_t boxes = ui.boxes.size(), inputs = ui.inputs.size(), dialogs = ui.fileDialogs.size(),
                      windows = ui.modalWindows.size(), unexpected = ui.unexpected.size();
    if (byPicture) {
      auto* picture = f->findChild<QLabel*>(QString::fromLatin1(c.picture));
      EXPECT_NE(picture, nullptr) << c.picture;
      if (!picture) return {};
      QTest::mouseClick(picture->parentWidget(), Qt::LeftButton, {}, picture->geometry().center());
    } else {
      // The item's handler, as choosing the item runs it (also while it is disabled).
      emit f->Action(QString::fromLatin1(c.item))->triggered();
    }
    Outcome o;
    auto tail = [](const std::vector<std::string>& v, std::size_t from) {
      return std::vector<std::string>(v.begin() + static_cast<std::ptrdiff_t>(from), v.end());
    };
    for (std::size_t i = boxes; i < ui.boxes.size(); ++i) o.boxes.push_back(ui.boxes[i].text);
    o.inputs = tail(ui.inputs, inputs);
    for (std::size_t i = dialogs; i < ui.fileDialogs.size(); ++i) o.fileDialogs.push_back(ui.fileDialogs[i].title);
    o.modalWindows = tail(ui.modalWindows, windows);
    o.unexpected = tail(ui.unexpected, unexpected);
    o.archive = f->ZipEngine1.ZipFilename();
    o.caption = f->windowTitle();
    o.open = f->isVisible();
    return o;
  }

  std::string zip, sfx;
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
    }
  }
}

TEST_F(ToolbarTest, WithNoArchiveThePicturesSayWhatIsMissing) {
  const std::string noArchive = "You must create a new zipfile or open a zipfile first!";
  EXPECT_EQ(run(State::NoArchive, kCommands[4], true).boxes, std::vector<std::string>{noArchive});
  EXPECT_EQ(run(State::NoArchive, kCommands[5], true).boxes, std::vector<std::string>{noArchive});
  EXPECT_EQ(run(State::NoArchive, kCommands[6], true).boxes, std::vector<std::string>{"Error :No file(s) to delete"});
  EXPECT_EQ(run(State::NoArchive, kCommands[0], true).fileDialogs, std::vector<std::string>{"Create New ZIP File"});
  EXPECT_FALSE(run(State::NoArchive, kCommands[7], true).open);
}
