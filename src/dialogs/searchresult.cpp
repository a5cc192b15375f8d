#include "dialogs/searchresult.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/controls.h"
#include "dialogs/dialogrules.h"
#include "dialogs/filelines.h"
#include "dialogs/settings_model.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

TF_Result::TF_Result(const dialogs::TSettings& settings, const TSearchActions& actions,
                     const std::vector<std::string>& results, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      actions_(actions),
      results_(results) {
  setObjectName(QStringLiteral("F_Result"));
  setWindowTitle(QStringLiteral("Search result"));
  pa_Banner = dialogs::Banner("Search result");
  la_Result = dialogs::Named(new QLabel, "la_Result");
  StringGrid1 = dialogs::Named(new TSortGrid, "StringGrid1");
  StringGrid1->setToolTip(QStringLiteral("Double-Click to open the selected zipfile"));
  bu_Open = dialogs::FlatButton("bu_Open", "&Open zipfile", "");
  bu_Files = dialogs::FlatButton("bu_Files", "Add file(s) to archive", "");
  bu_Close = dialogs::FlatButton("bu_Close", "&Close", "Cancel operation");

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 6);
  v->addWidget(pa_Banner);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 0, 8, 0);
  body->addWidget(la_Result);
  body->addWidget(StringGrid1, 1);
  v->addLayout(body, 1);
  auto* h = new QHBoxLayout;
  h->addStretch(1);
  h->addWidget(bu_Open);
  h->addWidget(bu_Files);
  h->addWidget(bu_Close);
  h->addStretch(1);
  v->addLayout(h);
  setFixedSize(424, 325);

  FormCreate();
  StringGrid1->OnDblClick = [this](TSortGrid*) { StringGrid1DblClick(); };
  connect(bu_Open, &QPushButton::clicked, this, &TF_Result::StringGrid1DblClick);
  connect(bu_Files, &QPushButton::clicked, this, &TF_Result::bu_FilesClick);
  connect(bu_Close, &QPushButton::clicked, this, &TF_Result::BitBtn1Click);
}

void TF_Result::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  dialogs::CentreOnScreen(*this);
}

void TF_Result::FormCreate() {
  const bool archives = actions_.SearchMode == 1;
  bu_Open->setVisible(archives);
  bu_Files->setVisible(!archives);
  TSortGrid& g = *StringGrid1;
  g.setOptions(g.Options() | goRowSelect | goRangeSelect | goColSizing);
  g.setColCount(3);
  g.setFixedCols(0);
  // At least one data row, empty when nothing was found.
  g.setRowCount(std::max<int>(2, static_cast<int>(results_.size()) + 1));
  g.setFixedRows(1);
  g.setCells(0, 0, QStringLiteral("File Name"));
  g.setCells(1, 0, QStringLiteral("Date/Time"));
  g.setCells(2, 0, QStringLiteral("Size"));
  g.setColWidths(0, 250);
  g.setColWidths(1, 84);
  g.setColWidths(2, 84);
  g.setFixedColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_HeaderColor)));
  g.setColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_WindowColor)));
  int row = 1;
  for (const std::string& line : results_) {
    const dialogs::TFileLine f = dialogs::SplitFileLine(line);
    g.setRows(row++, {qs(f.file), qs(f.date), qs(f.size)});
  }
}

void TF_Result::StringGrid1DblClick() {
  if (actions_.SearchMode != 1 || StringGrid1->Cells(0, 1).isEmpty()) return;
  const std::string name = ss(StringGrid1->Cells(0, StringGrid1->Row()));
  if (name.empty()) return;
  const std::string type = platform::firstDotExtension(name);
  if (type != "rar" && type != "zip" &&
      ui().message(MsgKind::Confirmation, {}, "This may not be a valid Zipfile, try open it anyway?",
                   platform::kYesNo) != platform::kBtnYes)
    return;
  // A file that does not open leaves both windows open to choose another.
  if (actions_.OpenArchive && actions_.OpenArchive(name)) accept();
}

void TF_Result::bu_FilesClick() {
  if (actions_.SearchMode != 2) return;
  if (actions_.AddRefused && actions_.AddRefused()) return;
  if (StringGrid1->Cells(0, 1).isEmpty()) return;
  const TGridRect sel = StringGrid1->Selection();
  FilesToAdd.clear();
  for (int row = std::max(sel.Top, 1); row <= sel.Bottom && row < StringGrid1->RowCount(); ++row) {
    const QString name = StringGrid1->Cells(0, row);
    if (!name.isEmpty()) FilesToAdd.push_back(ss(name));
  }
  accept();
}

void TF_Result::BitBtn1Click() { reject(); }
