#include "app/toolbar_art.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace app {

namespace {

struct Art {
  const char* caption;
  int width;
};

Art artOf(ToolCommand c) {
  switch (c) {
    case ToolCommand::New: return {"New", 66};
    case ToolCommand::Open: return {"Open", 54};
    case ToolCommand::Run: return {"Run", 54};
    case ToolCommand::View: return {"View", 54};
    case ToolCommand::Extract: return {"Extract", 54};
    case ToolCommand::Add: return {"Add", 54};
    case ToolCommand::Delete: return {"Delete", 44};
    case ToolCommand::Close: return {"Exit", 59};
  }
  return {"", 54};
}

// A small symbol for each command in a 16 x 16 box at (x, y).
void drawSymbol(QPainter& p, ToolCommand c, QPointF o, const QColor& ink, const QColor& accent) {
  p.save();
  p.translate(o);
  p.setPen(QPen(ink, 1.4));
  p.setBrush(Qt::NoBrush);
  switch (c) {
    case ToolCommand::New:
      p.drawRect(QRectF(3, 1, 10, 14));
      p.setBrush(accent);
      p.drawEllipse(QPointF(13, 3), 3, 3);
      break;
    case ToolCommand::Open:
      p.drawRect(QRectF(1, 5, 14, 10));
      p.drawLine(QPointF(1, 5), QPointF(5, 2));
      p.drawLine(QPointF(5, 2), QPointF(9, 2));
      p.setBrush(accent);
      p.drawRect(QRectF(3, 8, 10, 5));
      break;
    case ToolCommand::Run: {
      p.setBrush(accent);
      QPolygonF tri{QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)};
      p.drawPolygon(tri);
      break;
    }
    case ToolCommand::View:
      p.drawEllipse(QPointF(7, 7), 5, 5);
      p.setPen(QPen(accent, 2.5));
      p.drawLine(QPointF(11, 11), QPointF(15, 15));
      break;
    case ToolCommand::Extract:
      p.drawRect(QRectF(2, 9, 12, 6));
      p.setPen(QPen(accent, 2));
      p.drawLine(QPointF(8, 1), QPointF(8, 11));
      p.drawLine(QPointF(4, 7), QPointF(8, 11));
      p.drawLine(QPointF(12, 7), QPointF(8, 11));
      break;
    case ToolCommand::Add:
      p.drawRect(QRectF(2, 9, 12, 6));
      p.setPen(QPen(accent, 2));
      p.drawLine(QPointF(8, 1), QPointF(8, 9));
      p.drawLine(QPointF(4, 5), QPointF(12, 5));
      break;
    case ToolCommand::Delete:
      p.setPen(QPen(accent, 2.2));
      p.drawLine(QPointF(3, 3), QPointF(13, 13));
      p.drawLine(QPointF(13, 3), QPointF(3, 13));
      break;
    case ToolCommand::Close:
      p.drawRect(QRectF(2, 1, 9, 14));
      p.setPen(QPen(accent, 2));
      p.drawLine(QPointF(7, 8), QPointF(15, 8));
      p.drawLine(QPointF(12, 5), QPointF(15, 8));
      p.drawLine(QPointF(12, 11), QPointF(15, 8));
      break;
  }
  p.restore();
}

}  // namespace

int toolPictureWidth(ToolCommand c) { return artOf(c).width; }

QPixmap toolPicture(ToolCommand c, bool second) {
  Art art = artOf(c);
  QPixmap pm(art.width, kToolPictureHeight);
  // The toolbar is black; the second look lights the button up.
  pm.fill(second ? QColor(0, 96, 96) : QColor(Qt::black));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QColor ink = second ? QColor(Qt::white) : QColor(200, 200, 200);
  QColor accent = second ? QColor(255, 220, 80) : QColor(0, 170, 170);
  drawSymbol(p, c, QPointF((art.width - 16) / 2.0, 2), ink, accent);
  QFont f(QStringLiteral("Sans Serif"));
  f.setPixelSize(10);
  p.setFont(f);
  p.setPen(ink);
  p.drawText(QRect(0, 19, art.width, 14), Qt::AlignHCenter | Qt::AlignVCenter, QString::fromLatin1(art.caption));
  if (second) {
    p.setPen(QColor(0, 200, 200));
    p.drawRect(0, 0, art.width - 1, kToolPictureHeight - 1);
  }
  return pm;
}

}  // namespace app
