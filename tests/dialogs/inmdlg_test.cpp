// The input window builds its fields from a description, filters what is typed
// into them and hands the answers back through AskText; cancel gives no answer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "dialogs/inmdlg.h"
#include "platform/datetime.h"
#include "platform/routines.h"
#include "support/scripted_ui.h"
#include "widgets/qt_ui.h"

namespace {

using dialogs::FieldDescription;

TF_InmDlg& inmDlgOf(platform::ModalWindow& w) {
  EXPECT_EQ(w.windowClass(), "TF_InmDlg");
  return static_cast<TF_InmDlg&>(static_cast<widgets::DialogWindow&>(w).dialog());
}

TInmEdit* field(QDialog& d, int n) { return d.findChild<TInmEdit*>(QStringLiteral("ed_Field%1").arg(n)); }

// A window built from description, as AskText builds it.
std::unique_ptr<TF_InmDlg> build(const std::string& description) {
  dialogs::InmDlgText = description;
  return std::make_unique<TF_InmDlg>();
}

// Types text key by key (also letters beyond ASCII, which QTest::keyClicks refuses).
void type(QWidget* w, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Restores the settings' date format a test changed.
struct DateFormatGuard {
  std::string date = platform::displayDateFormat(), time = platform::displayTimeFormat();
  ~DateFormatGuard() { platform::setDisplayFormats(date, time); }
};

}  // namespace

TEST(AskText, PasswordPromptAnswered) {
  testsupport::ScriptedUi ui;
  QString caption, label;
  ui.onModal([&](platform::ModalWindow& w) {
    auto& d = inmDlgOf(w);
    caption = d.windowTitle();
    label = d.findChild<QLabel*>(QStringLiteral("la_Field1"))->text();
    TInmEdit* ed = field(d, 1);
    EXPECT_EQ(ed->echoMode(), QLineEdit::Normal);  // kind "S" is a plain field
    EXPECT_EQ(ed->maxLength(), 10);
    type(ed, QStringLiteral("s3cret pw"));
    d.findChild<QPushButton*>(QStringLiteral("bu_Ok"))->click();
    return d.result();
  });
  std::string text = dialogs::PasswordDescription();
  EXPECT_EQ(text,
            "Password:\x01S\x01"
            "10\x01\x01\x02");
  EXPECT_TRUE(dialogs::AskText("Password required", text));
  EXPECT_EQ(caption, QStringLiteral("Password required"));
  EXPECT_EQ(label, QStringLiteral("Password:"));
  EXPECT_EQ(text, "s3cret pw\x02");
  EXPECT_EQ(platform::GetField(text, 1, "\x02"), "s3cret pw");
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TF_InmDlg"});
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(AskText, CancelGivesAnEmptyAnswer) {
  testsupport::ScriptedUi ui;
  ui.onModal([&](platform::ModalWindow& w) {
    auto& d = inmDlgOf(w);
    type(field(d, 1), QStringLiteral("typed"));
    d.bu_Avbryt->click();
    return d.result();
  });
  std::string text = dialogs::PasswordDescription();
  EXPECT_FALSE(dialogs::AskText("Password required", text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(platform::GetField(text, 1, "\x02"), "");

  // A runner that returns "accepted" without the OK button is still no answer,
  // and what follows the last field of a description never comes back as one.
  ui.onModal([](platform::ModalWindow&) { return 1; });
  text = FieldDescription("Name", 'S', 10, "kept") + "stray";
  EXPECT_FALSE(dialogs::AskText("Name", text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(dialogs::InmDlgText, "");
}

TEST(InmDlg, BuildsOneRowPerCompleteField) {
  auto d = build(FieldDescription("Name", 'S', 12, "Eva") + FieldDescription("A much longer label", 'N', 4, "12") +
                 FieldDescription("Secret", 'L', 0, "pw") +
                 "Last\x01S\x01"
                 "5\x01no end\x01");
  EXPECT_EQ(d->Edits().size(), 3u) << "text after the last field end makes no field";
  EXPECT_EQ(dialogs::InmDlgText,
            "Last\x01S\x01"
            "5\x01no end\x01")
      << "the description keeps what follows";
  EXPECT_EQ(field(*d, 4), nullptr);

  const int k = QFontMetrics(d->font()).horizontalAdvance(QLatin1Char('K'));
  EXPECT_EQ(field(*d, 1)->text(), QStringLiteral("Eva"));
  EXPECT_EQ(field(*d, 1)->width(), 12 * k);
  EXPECT_EQ(field(*d, 2)->maxLength(), 4);
  EXPECT_EQ(field(*d, 3)->width(), 30) << "at least 30 pixels";
  EXPECT_EQ(field(*d, 3)->maxLength(), 32767) << "length 0: no limit";

  // Edits line up right of the widest label, rows 30 pixels apart, all inside.
  const int widest = d->Labels()[1]->width();
  for (int n = 1; n <= 3; ++n) {
    TInmEdit* ed = field(*d, n);
    EXPECT_GT(ed->x(), d->Labels()[n - 1]->x() + widest) << n;
    EXPECT_EQ(ed->x(), field(*d, 1)->x()) << n;
    EXPECT_EQ(ed->y() - field(*d, 1)->y(), (n - 1) * 30) << n;
    EXPECT_TRUE(d->rect().contains(ed->mapTo(d.get(), ed->rect().bottomRight()))) << n;
  }
  EXPECT_GT(d->bu_Ok->y(), field(*d, 3)->mapTo(d.get(), QPoint(0, field(*d, 3)->height())).y());
  EXPECT_LT(d->bu_Ok->x(), d->bu_Avbryt->x());

  d->bu_OkClick();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(dialogs::InmDlgText,
            "Eva\x02"
            "12\x02pw\x02")
      << "the answers replace the description's rest";
}

TEST(InmDlg, FieldsTakeOnlyTheirKindOfCharacters) {
  auto d = build(FieldDescription("Digits", 'N', 8) + FieldDescription("Letters", 'A', 20) +
                 FieldDescription("Hidden", 'L', 10) + FieldDescription("Any", 'X', 6));
  type(field(*d, 1), QStringLiteral("a1b2 3-"));
  EXPECT_EQ(field(*d, 1)->text(), QStringLiteral("123"));
  field(*d, 1)->insert(QStringLiteral("4x5"));  // as a paste or a drop arrives
  EXPECT_EQ(field(*d, 1)->text(), QStringLiteral("12345"));
  type(field(*d, 1), QStringLiteral("6789"));
  EXPECT_EQ(field(*d, 1)->text(), QStringLiteral("12345678")) << "the length is the limit";

  type(field(*d, 2), QString::fromUtf8("Åsa-1 öÄÖåäZ é"));
  EXPECT_EQ(field(*d, 2)->text(), QString::fromUtf8("ÅsaöÄÖåäZ"));
  field(*d, 2)->insert(QStringLiteral("a_b\tc"));
  EXPECT_EQ(field(*d, 2)->text(), QString::fromUtf8("ÅsaöÄÖåäZabc"));

  type(field(*d, 3), QStringLiteral("pw 1!"));
  EXPECT_EQ(field(*d, 3)->text(), QStringLiteral("pw 1!"));
  EXPECT_EQ(field(*d, 3)->echoMode(), QLineEdit::Password);
  EXPECT_EQ(field(*d, 3)->displayText(), QStringLiteral("*****"));

  type(field(*d, 4), QStringLiteral("a1 ;!"));
  EXPECT_EQ(field(*d, 4)->text(), QStringLiteral("a1 ;!"));

  d->bu_OkClick();
  EXPECT_EQ(dialogs::InmDlgText, "12345678\x02" + std::string("ÅsaöÄÖåäZabc") +
                                     "\x02pw 1!\x02"
                                     "a1 ;!\x02");
}

TEST(InmDlg, EnterMovesToTheNextFieldAndOkFromTheLast) {
  auto d = build(FieldDescription("One", 'S', 5) + FieldDescription("Two", 'S', 5));
  d->show();
  QApplication::setActiveWindow(d.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
  EXPECT_EQ(QApplication::focusWidget(), field(*d, 1)) << "the first field starts with the focus";
  type(field(*d, 1), QStringLiteral("a"));
  QTest::keyClick(field(*d, 1), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), field(*d, 2));
  EXPECT_FALSE(d->result() == QDialog::Accepted);
  EXPECT_TRUE(d->isVisible());
  type(field(*d, 2), QStringLiteral("b"));
  QTest::keyClick(field(*d, 2), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(dialogs::InmDlgText,
            "a\x02"
            "b\x02");
}

TEST(InmDlg, DateFieldsAnswerCompleteDatesOnly) {
  DateFormatGuard guard;
  platform::setDisplayFormats("yyyy/mm/dd", "hh:mm");
  testsupport::ScriptedUi ui;
  auto d = build(FieldDescription("From", 'D', 10) + FieldDescription("To", 'D', 10, "2000/06/24") +
                 FieldDescription("Note", 'S', 10, "n"));
  EXPECT_EQ(d->DateMask(), QStringLiteral("9999/99/99;_"));
  EXPECT_EQ(field(*d, 1)->displayText(), QStringLiteral("____/__/__"));
  EXPECT_EQ(field(*d, 2)->text(), QStringLiteral("2000/06/24"));
  type(field(*d, 1), QStringLiteral("2001x12"));  // no day yet
  EXPECT_EQ(field(*d, 1)->displayText(), QStringLiteral("2001/12/__"));
  EXPECT_FALSE(d->DateOf(field(*d, 1)));
  d->bu_OkClick();
  EXPECT_EQ(dialogs::InmDlgText,
            "\x02"
            "2000/06/24\x02n\x02")
      << "an incomplete date answers empty";

  // An impossible date is refused with a warning; the window stays for a fix.
  auto e = build(FieldDescription("Day", 'D', 10, "2001/02/29"));
  e->setWindowTitle(QStringLiteral("When"));
  ui.answerMessage(platform::kBtnOk);
  e->bu_OkClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "2001/02/29 is not a valid date");
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(ui.boxes[0].caption, "When");
  EXPECT_NE(e->result(), QDialog::Accepted);
  field(*e, 1)->setText(QStringLiteral("2000/02/29"));
  e->bu_OkClick();
  EXPECT_EQ(e->result(), QDialog::Accepted);
  EXPECT_EQ(dialogs::InmDlgText, "2000/02/29\x02");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(InmDlg, DateFieldsFollowTheSettingsDateFormat) {
  DateFormatGuard guard;
  platform::setDisplayFormats("d.m.yyyy", "hh:mm");
  auto d = build(FieldDescription("Day", 'D', 10));
  EXPECT_EQ(d->DateMask(), QStringLiteral("99.99.9999;_"));
  type(field(*d, 1), QStringLiteral("24062000"));
  ASSERT_TRUE(d->DateOf(field(*d, 1)));
  EXPECT_EQ(d->DateOf(field(*d, 1))->month, 6);
  d->bu_OkClick();
  EXPECT_EQ(dialogs::InmDlgText, "24.06.2000\x02");

  // A format that is no plain date (here with a time) falls back to year/month/day.
  platform::setDisplayFormats("yyyy-mm-dd hh:mm", "hh:mm");
  EXPECT_EQ(build(FieldDescription("Day", 'D', 10))->DateMask(), QStringLiteral("9999/99/99;_"));
}
