#include "dialogs/search.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <ctime>

#include "dialogs/dialogrules.h"
#include "dialogs/filelines.h"
#include "dialogs/controls.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

using platform::MsgKind;
using platform::ui;
using search::TDirNavigator;
using widgets::qs;
using widgets::ss;

TF_Search::TF_Search(const dialogs::TSettings& settings, TSearchActions actions, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      actions_(std::move(actions)) {
  setObjectName(QStringLiteral("F_Search"));
  setWindowTitle(actions_.SearchMode == 2 ? QStringLiteral("Search for file(s)")
                                          : QStringLiteral("Search for archive(s)"));
  pa_Banner = dialogs::Banner("Search");
  ed_Startin = dialogs::Named(new QLineEdit(qs(platform::homeFolder() + "/")), "ed_Startin");
  ed_file = dialogs::Named(new QLineEdit, "ed_file");
  ch_Recursive = dialogs::Named(new QCheckBox(QStringLiteral("Recursive")), "ch_Recursive");
  ch_Recursive->setChecked(true);
  bu_Start = dialogs::FlatButton("bu_Start", "&Start", "Start search");
  bu_Start->setDefault(true);
  bu_Abort = dialogs::FlatButton("bu_Abort", "&Abort", "Abort search");
  // The normal pointer over Abort while the rest of the window shows the hourglass.
  bu_Abort->setCursor(Qt::ArrowCursor);
  StatusBar1 = dialogs::Named(new QStatusBar, "StatusBar1");
  StatusBar1->setSizeGripEnabled(false);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);
  v->addWidget(pa_Banner);
  auto* g = new QGridLayout;
  g->setContentsMargins(8, 0, 8, 0);
  g->addWidget(new QLabel(QStringLiteral("Start search in:")), 0, 0);
  g->addWidget(ed_Startin, 0, 1, 1, 2);
  g->addWidget(new QLabel(QStringLiteral("Search for:")), 1, 0);
  g->addWidget(ed_file, 1, 1, 1, 2);
  g->addWidget(ch_Recursive, 2, 1);
  v->addLayout(g);
  auto* h = new QHBoxLayout;
  h->addStretch(1);
  h->addWidget(bu_Start);
  h->addWidget(bu_Abort);
  h->addStretch(1);
  v->addLayout(h);
  v->addStretch(1);
  v->addWidget(StatusBar1);
  setFixedSize(std::max(284, sizeHint().width()), std::max(173, sizeHint().height()));

  DirNav.OnIdle = [this](TDirNavigator&) { DirNavIdle(); };
  DirNav.OnFound = [this](TDirNavigator&, const std::string& folder, const std::string& name, std::uint64_t size) {
    ResultList.push_back(dialogs::JoinFileLine(folder + name, today_, std::to_string(size)));
  };
  ShowResult = [](TF_Result& result) { widgets::runModal(result, "TF_Result"); };
  connect(bu_Start, &QPushButton::clicked, this, &TF_Search::bu_StartClick);
  connect(bu_Abort, &QPushButton::clicked, this, &TF_Search::bu_AbortClick);
}

void TF_Search::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  dialogs::CentreOnScreen(*this);
}

void TF_Search::bu_StartClick() {
  // A click that comes in while the walk processes events starts nothing (an
  // aborted walk is still unwinding).
  if (running_ || walking_) return;
  if (ed_file->text().isEmpty()) {
    ui().message(MsgKind::Error, {}, "You must enter a Search pattern first!", platform::kOk);
    return;
  }
  running_ = true;
  aborted_ = false;
  DirNav.Reset();
  bu_Abort->show();
  StatusBar1->clearMessage();
  platform::pumpEvents();
  repaint();
  setCursor(Qt::WaitCursor);
  ResultList.clear();
  today_ = platform::formatDateTime(platform::displayDateFormat(), platform::fromUnixTime(std::time(nullptr)));
  DirNav.StartFolder = ss(ed_Startin->text().trimmed());
  DirNav.Pattern = ss(ed_file->text());
  DirNav.Recursive = ch_Recursive->isChecked();
  walking_ = true;
  const TDirNavigator::Outcome outcome = DirNav.Navigate();
  walking_ = false;
  running_ = false;
  unsetCursor();
  if (aborted_ || outcome == TDirNavigator::Outcome::Aborted) {
    aborted_ = false;
    return;
  }
  if (outcome == TDirNavigator::Outcome::StartUnreadable) {
    StatusBar1->clearMessage();
    ui().message(MsgKind::Error, {}, "Cannot search in " + DirNav.StartFolder + ": " + DirNav.StartError(),
                 platform::kOk);
    return;
  }
  Finish();
}

// The walk is over: what could not be read stays in the status line, and the
// result window shows what was found.
void TF_Search::Finish() {
  const std::uint64_t skipped = DirNav.SkippedFolders();
  if (skipped == 0)
    StatusBar1->clearMessage();
  else
    StatusBar1->showMessage(QStringLiteral("%1 folder(s) could not be read and were skipped").arg(skipped));
  bu_Abort->hide();
  TF_Result result(settings_, actions_, ResultList, this);
  result.la_Result->setText(QString::number(ResultList.size()) + QStringLiteral(" files matching ") + ed_file->text() +
                            QStringLiteral(" found"));
  ShowResult(result);
  if (result.result() == QDialog::Accepted) {
    FilesToAdd = std::move(result.FilesToAdd);
    accept();
  }
}

void TF_Search::DirNavIdle() {
  StatusBar1->showMessage(qs(DirNav.CurrentFolder()));
  platform::pumpEvents();
}

void TF_Search::bu_AbortClick() {
  if (!running_) {
    reject();
    return;
  }
  aborted_ = true;
  unsetCursor();
  StatusBar1->clearMessage();
  DirNav.Abort();
  running_ = false;
}

void TF_Search::reject() {
  // Closing the window (Esc, the title bar) stops a running search first.
  if (running_) bu_AbortClick();
  QDialog::reject();
}
