#include "viewers/showimg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/ui.h"
#include "viewers/advimage.h"
#include "widgets/qt_ui.h"

namespace {

// The window keeps room for its title and buttons even for a tiny picture, and
// leaves a margin of the screen for the window frame.
constexpr int kMinWidth = 160;
constexpr int kMinHeight = 120;
constexpr int kScreenMargin = 64;

}  // namespace

TF_ShowImg::TF_ShowImg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_ShowImg"));
  setWindowTitle(QStringLiteral("Image"));
  AdvImage1 = new TAdvImage(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(AdvImage1);
  connect(AdvImage1, &TAdvImage::Clicked, this, &QDialog::accept);
}

void TF_ShowImg::setVisible(bool visible) {
  // Sized before showing, so that the dialog is placed for its real size.
  if (visible && !isVisible()) {
    QSize size = AdvImage1->sizeHint();
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect room = s ? s->availableGeometry() : QRect();
    if (s) size = size.boundedTo(room.size() - QSize(kScreenMargin, kScreenMargin));
    size = size.expandedTo(QSize(kMinWidth, kMinHeight));
    resize(size);
    // Centred on the screen with room for the title bar, whatever the size.
    if (s)
      move(room.x() + (room.width() - size.width()) / 2,
           room.y() + (room.height() - size.height()) / 2 - kScreenMargin / 4);
  }
  QDialog::setVisible(visible);
}

void TF_ShowImg::keyPressEvent(QKeyEvent* event) {
  event->accept();
  accept();
}

namespace viewers {

bool ShowImageFile(const std::string& path, const std::string& caption, QWidget* parent) {
  TF_ShowImg window(parent);
  window.AdvImage1->setImageName(path);
  const std::string& error = window.AdvImage1->LastError();
  if (!error.empty()) {
    platform::showMessage(platform::MsgKind::Error, error, caption);
    return false;
  }
  std::string warnings;
  for (const std::string& w : window.AdvImage1->Warnings()) warnings += (warnings.empty() ? "" : "\n") + w;
  if (!warnings.empty()) platform::showMessage(platform::MsgKind::Warning, warnings, caption);
  window.setWindowTitle(widgets::qs(caption));
  widgets::runModal(window, "TF_ShowImg");
  return true;
}

}  // namespace viewers
