// The text editor: whole-word and case rules of its search, find and replace through
// their windows, the closing rule with "Update zipfile?", byte-true saving and large
// files that stream in while the window stays usable.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <filesystem>

#include "platform/paths.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "viewers/editform.h"
#include "viewers/finddialogs.h"
#include "viewers/textsearch.h"

using platform::kBtnNo;
using platform::kBtnOk;
using platform::kBtnYes;
using testsupport::readFile;
using viewers::FindInText;
using viewers::SearchOptions;

namespace {

void select(QPlainTextEdit* m, int from, int to) {
  QTextCursor c = m->textCursor();
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  m->setTextCursor(c);
}

QString selected(const TF_Editform& f) { return f.Memo1->textCursor().selectedText(); }

}  // namespace

TEST(TextSearch, WholeWordCaseAndDirection) {
  struct Case {
    const char* text;
    const char* what;
    SearchOptions o;
    qsizetype from;  // selection start and end
    qsizetype found;
  };
  const SearchOptions word{true, false, true}, exact{true, true, false}, up{false, false, false};
  const Case cases[] = {
      {"the cat sat", "CAT", {}, 0, 4},
      {"the cat sat", "CAT", exact, 0, -1},
      {"concat, cat.", "cat", word, 0, 8},   // not inside "concat"; next to punctuation
      {"cats (cat)", "cat", word, 0, 6},     // "cats" is a longer word
      {"écat cat2 cat", "cat", word, 0, 1},  // a non-ASCII letter ends a word
      {"a1cat cat_", "cat", word, 0, 6},     // digits are word characters, "_" is not
      {"cat cat cat", "cat", {}, 5, 8},      // from the end of the selection
      {"cat cat cat", "cat", up, 8, 4},      // upward: ends at or before the start
      {"cat cat cat", "cat", up, 2, -1},
      {"abc", "", {}, 0, -1},
      {"ab", "abc", {}, 0, -1},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text), what = QString::fromUtf8(c.what);
    EXPECT_EQ(FindInText(text, what, c.from, c.from, c.o), c.found) << c.text << " / " << c.what;
  }
}

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() { ::setenv("KELVORY_HOME", dir.path().c_str(), 1); }
  ~EditorTest() override { ::unsetenv("KELVORY_HOME"); }
  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
};

TEST_F(EditorTest, FindWholeWordThroughTheFindWindow) {
  TF_Editform f;
  f.Memo1->setPlainText(QStringLiteral("wordy word, word2 (word)"));
  EXPECT_FALSE(f.Action(QStringLiteral("FindNext1"))->isEnabled());
  select(f.Memo1, 5, 9);
  f.Find1Click();  // the search starts at the top again
  EXPECT_TRUE(f.Action(QStringLiteral("FindNext1"))->isEnabled());
  f.FindDialog1->setFindText(QStringLiteral("WORD"));
  f.FindDialog1->cb_WholeWord->setChecked(true);
  f.FindDialog1->bu_FindNext->click();
  EXPECT_FALSE(f.FindDialog1->isVisible());
  EXPECT_EQ(f.Memo1->textCursor().selectionStart(), 6);
  f.FindNext1Click();  // F3 keeps the whole-word choice
  EXPECT_EQ(f.Memo1->textCursor().selectionStart(), 19);
  ui.answerMessage(kBtnOk);
  f.FindNext1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Text not found."});
  EXPECT_EQ(f.Memo1->textCursor().selectionStart(), 19);  // the selection stays
  EXPECT_EQ(f.ReplaceDialog1->FindText(), QStringLiteral("WORD"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(EditorTest, ReplaceTakesOnlyShortSelectionsAndReplacesOneByOne) {
  TF_Editform f;
  const QString forty(40, QLatin1Char('x'));
  f.Memo1->setPlainText(forty + QStringLiteral(" Foo foo"));
  f.ReplaceDialog1->setFindText(QStringLiteral("foo"));
  select(f.Memo1, 0, 40);
  f.Replace1Click();
  EXPECT_EQ(f.ReplaceDialog1->FindText(), QStringLiteral("foo"));
  EXPECT_TRUE(f.ReplaceDialog1->cb_WholeWord->isHidden());
  select(f.Memo1, 41, 44);
  f.Replace1Click();
  EXPECT_EQ(f.ReplaceDialog1->FindText(), QStringLiteral("Foo"));
  f.ReplaceDialog1->setReplaceText(QStringLiteral("bar"));
  // The selection matches (case ignored): replaced, then the next one is selected.
  f.ReplaceDialog1->bu_Replace->click();
  EXPECT_EQ(f.Memo1->toPlainText(), forty + QStringLiteral(" bar foo"));
  EXPECT_EQ(selected(f), QStringLiteral("foo"));
  ui.answerMessage(kBtnOk);
  f.ReplaceDialog1->bu_Replace->click();
  EXPECT_EQ(f.Memo1->toPlainText(), forty + QStringLiteral(" bar bar"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Cannot find \"Foo\".");
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Plain);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(EditorTest, ReplaceAllOverManyHitsEndsInOneUndoStep) {
  TF_Editform f;
  QString text;
  for (int i = 0; i < 10000; ++i) text += QStringLiteral("ab\n");
  f.Memo1->setPlainText(text);
  f.ReplaceDialog1->setFindText(QStringLiteral("a"));
  f.ReplaceDialog1->setReplaceText(QStringLiteral("aa"));  // holds what it replaces
  f.ReplaceDialog1->bu_ReplaceAll->click();
  EXPECT_EQ(f.Memo1->toPlainText(), QString(text).replace(QStringLiteral("a"), QStringLiteral("aa")));
  EXPECT_TRUE(ui.boxes.empty());
  f.Memo1->undo();
  EXPECT_EQ(f.Memo1->toPlainText(), text);
}

TEST_F(EditorTest, ClosingRule) {
  const std::string saved = dir / "saved.txt";
  {  // unchanged: nothing written, the state stays
    int state = 1;
    TF_Editform f;
    f.EditState = &state;
    f.SavePath = saved;
    f.Memo1->setPlainText(QStringLiteral("x"));
    f.setModified(false);
    f.Exit1Click();
    EXPECT_EQ(state, 1);
    EXPECT_FALSE(platform::fileExists(saved));
  }
  for (auto answer : {kBtnYes, kBtnNo}) {
    int state = 1;
    TF_Editform f;
    f.EditState = &state;
    f.SavePath = saved;
    f.Memo1->insertPlainText(QStringLiteral("new text"));  // typed: the text is changed
    ui.answerMessage(answer);
    f.Exit1Click();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "Update zipfile?");
    EXPECT_EQ(state, answer == kBtnYes ? 2 : 0);
    EXPECT_EQ(platform::fileExists(saved), answer == kBtnYes);
    if (answer == kBtnYes) { EXPECT_EQ(readFile(saved), "new text"); }
  }
  {  // not editing a member: a changed text closes without questions
    TF_Editform f;
    f.Memo1->insertPlainText(QStringLiteral("y"));
    f.Exit1Click();
  }
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(EditorTest, SavingKeepsEncodingAndLineEnds) {
  const std::string latin = dir.write("latin.txt", std::string("caf\xe9\r\nna\xefve\r\n"));
  const std::string utf = dir.write("utf.txt", "na\xc3\xafve\nline\n");
  for (const std::string& path : {latin, utf}) {
    TF_Editform f;
    const std::string before = readFile(path);
    ASSERT_TRUE(f.LoadFile(path));
    f.FinishLoading();
    EXPECT_FALSE(f.Modified());
    ASSERT_TRUE(f.SaveLines(dir / "copy.txt"));
    EXPECT_EQ(readFile(dir / "copy.txt"), before) << path;
  }
  TF_Editform f;
  ASSERT_TRUE(f.LoadFile(latin));
  f.FinishLoading();
  EXPECT_EQ(f.Memo1->toPlainText(), QStringLiteral("caf\u00e9\nna\u00efve\n"));
  // A character Latin-1 cannot hold turns the file into UTF-8 rather than losing it.
  f.Memo1->moveCursor(QTextCursor::End);
  f.Memo1->insertPlainText(QStringLiteral("\u20ac"));
  ASSERT_TRUE(f.SaveLines(dir / "euro.txt"));
  EXPECT_EQ(readFile(dir / "euro.txt"), "caf\xc3\xa9\r\nna\xc3\xafve\r\n\xe2\x82\xac");
  ui.answerMessage(kBtnOk);
  EXPECT_FALSE(f.LoadFile(dir / "missing.txt"));
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(EditorTest, OpenSaveAsAndPrint) {
  const std::string file = dir.write("in.TXT", "one\ntwo\n");
  TF_Editform f;
  EXPECT_TRUE(f.windowTitle().startsWith(QStringLiteral("Noname - ")));
  ui.answerOpenFile(file);
  f.Open1Click();
  f.FinishLoading();
  EXPECT_EQ(f.windowTitle(), QStringLiteral("- in.TXT"));
  EXPECT_EQ(ui.fileDialogs.back().filter, "Text Filer (*.TXT)|*.TXT");
  EXPECT_EQ(ui.fileDialogs.back().folder, platform::programFolder());
  f.Memo1->appendPlainText(QStringLiteral("three"));
  f.Save1Click();  // to the opened file
  EXPECT_EQ(readFile(file), "one\ntwo\n\nthree");
  ui.answerSaveFile(dir / "out.TXT");
  f.SaveAs1Click();
  EXPECT_EQ(readFile(dir / "out.TXT"), "one\ntwo\n\nthree");
  EXPECT_EQ(f.windowTitle(), QStringLiteral("- out.TXT"));
  f.Printer.setOutputFormat(QPrinter::PdfFormat);
  f.Printer.setOutputFileName(QString::fromStdString(dir / "print.pdf"));
  ui.answerPrint(true);
  f.Print1Click();
  EXPECT_EQ(readFile(dir / "print.pdf").substr(0, 5), "%PDF-");
  // A bare name (what the archive's owner proposes) is no place to save: Save As.
  f.OpenDialogFileName = "readme.txt";
  ui.answerSaveFile(std::nullopt);
  f.Save1Click();
  EXPECT_FALSE(platform::fileExists("readme.txt"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(EditorTest, LargeTextStreamsInWithoutChangingTheFile) {
  // 50 MB of text: the window gets it piece by piece from the event loop.
  std::string big;
  const std::string line = "The quick brown fox jumps over the lazy dog, line of text number ";
  for (int i = 0; big.size() < 50u * 1024 * 1024; ++i) big += line + std::to_string(i) + "\n";
  const std::string path = dir.write("big.txt", big);
  int state = 1;
  TF_Editform f;
  f.EditState = &state;
  f.SavePath = dir / "saved.txt";
  ASSERT_TRUE(f.LoadFile(path));
  EXPECT_TRUE(f.Loading());
  EXPECT_TRUE(f.Memo1->isReadOnly());
  // The event loop keeps turning while the text comes in: other timers fire
  // between the pieces.
  int turns = 0;
  QTimer other;
  QObject::connect(&other, &QTimer::timeout, [&] { ++turns; });
  other.start(0);
  QTRY_VERIFY_WITH_TIMEOUT(!f.Loading(), 600000);
  other.stop();
  EXPECT_GT(turns, 50);
  EXPECT_FALSE(f.Memo1->isReadOnly());
  EXPECT_FALSE(f.Modified());
  EXPECT_EQ(f.Memo1->document()->blockCount(), static_cast<int>(std::count(big.begin(), big.end(), '\n')) + 1);
  f.Exit1Click();  // unchanged: nothing saved
  EXPECT_FALSE(platform::fileExists(dir / "saved.txt"));
  EXPECT_TRUE(ui.unexpected.empty());
}
