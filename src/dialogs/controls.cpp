#include "dialogs/controls.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace dialogs {

QPushButton* FlatButton(const char* name, const char* caption, const char* hint) {
  auto* b = Named(new QPushButton(QString::fromUtf8(caption)), name);
  b->setFlat(true);
  if (hint && *hint) b->setToolTip(QString::fromUtf8(hint));
  return b;
}

QLabel* Banner(const char* text) {
  auto* banner = Named(new QLabel(QString::fromUtf8(text)), "pa_Banner");
  banner->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
  banner->setAutoFillBackground(true);
  QPalette p = banner->palette();
  // White on the button face, darkened where the style's face is too light for
  // white text to be read.
  QColor face = p.color(QPalette::Button);
  if (face.lightness() > 160) face = p.color(QPalette::Dark);
  p.setColor(QPalette::Window, face);
  p.setColor(QPalette::WindowText, Qt::white);
  banner->setPalette(p);
  banner->setContentsMargins(8, 4, 8, 4);
  return banner;
}

}  // namespace dialogs
