#include "ui/tree_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "project/page_node.h"

namespace {

// A folder shape in a box of width w and height h at (x, y).
void DrawFolder(QPainter& p, QRectF box, const QColor& fill, bool open) {
  const qreal x = box.x(), y = box.y(), w = box.width(), h = box.height();
  p.setPen(QPen(QColor(140, 100, 20), 1));
  p.setBrush(fill.darker(115));
  QPainterPath back;
  back.moveTo(x, y + h * 0.15);
  back.lineTo(x + w * 0.4, y + h * 0.15);
  back.lineTo(x + w * 0.5, y + h * 0.3);
  back.lineTo(x + w, y + h * 0.3);
  back.lineTo(x + w, y + h);
  back.lineTo(x, y + h);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(fill);
  if (open) {
    p.drawPolygon(QPolygonF({QPointF(x + w * 0.15, y + h * 0.45), QPointF(x + w, y + h * 0.45),
                             QPointF(x + w * 0.85, y + h), QPointF(x, y + h)}));
  } else {
    p.drawRect(QRectF(x, y + h * 0.4, w, h * 0.6));
  }
}

// A sheet of paper with a folded corner.
void DrawSheet(QPainter& p, const QColor& fill) {
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(fill);
  p.drawPolygon(QPolygonF({QPointF(2.5, 0.5), QPointF(10.5, 0.5), QPointF(13.5, 3.5),
                           QPointF(13.5, 15.5), QPointF(2.5, 15.5)}));
  p.drawLine(QPointF(10.5, 0.5), QPointF(10.5, 3.5));
  p.drawLine(QPointF(10.5, 3.5), QPointF(13.5, 3.5));
}

void DrawImage(QPainter& p, int base, bool selected) {
  const QColor accent = selected ? QColor(255, 255, 255) : QColor(250, 250, 245);
  switch (base) {
    case ImageRoot: {  // a globe: the site's root
      p.setPen(QPen(QColor(20, 70, 150), 1));
      p.setBrush(selected ? QColor(120, 190, 255) : QColor(70, 140, 220));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(5, 1.5, 6, 13));
      p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
      break;
    }
    case ImageFolder:
      DrawFolder(p, QRectF(0.5, 1.5, 15, 13), QColor(245, 200, 80), selected);
      break;
    case ImagePage:
      DrawSheet(p, accent);
      p.setPen(QPen(selected ? QColor(200, 60, 20) : QColor(30, 90, 180), 1));
      for (int y = 5; y <= 13; y += 2) p.drawLine(QPointF(4.5, y + 0.5), QPointF(11.5, y + 0.5));
      break;
    case ImageBinary: {  // a picture: sky, sun and a hill
      p.setPen(QPen(QColor(80, 80, 80), 1));
      p.setBrush(selected ? QColor(170, 220, 255) : QColor(130, 190, 240));
      p.drawRect(QRectF(0.5, 2.5, 15, 11));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(250, 210, 40));
      p.drawEllipse(QRectF(10, 4, 4, 4));
      p.setBrush(QColor(60, 150, 60));
      p.drawPolygon(QPolygonF({QPointF(1, 13), QPointF(6, 7), QPointF(11, 13)}));
      break;
    }
    case ImageApplet: {  // a cup of coffee
      p.setPen(QPen(QColor(90, 60, 30), 1));
      p.setBrush(selected ? QColor(200, 140, 90) : QColor(160, 100, 50));
      p.drawRect(QRectF(2.5, 6.5, 8, 7));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(10, 8, 4, 4));
      p.drawLine(QPointF(5, 1.5), QPointF(4.5, 4.5));
      p.drawLine(QPointF(8, 1.5), QPointF(7.5, 4.5));
      p.drawLine(QPointF(1.5, 14.5), QPointF(12.5, 14.5));
      break;
    }
    case ImageText:
    default: {
      DrawSheet(p, accent);
      QFont font = p.font();
      font.setPixelSize(9);
      font.setBold(true);
      p.setFont(font);
      p.setPen(selected ? QColor(200, 60, 20) : QColor(40, 40, 40));
      p.drawText(QRectF(2.5, 3, 11, 12), Qt::AlignCenter, "T");
      break;
    }
  }
}

}  // namespace

QPixmap TreeImagePixmap(int image) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawImage(p, image & ~1, (image & 1) != 0);
  return pixmap;
}

QIcon TreeIcon(int image) {
  const int base = image & ~1;
  QIcon icon;
  icon.addPixmap(TreeImagePixmap(base), QIcon::Normal);
  icon.addPixmap(TreeImagePixmap(base + 1), QIcon::Selected);
  return icon;
}

QPixmap NewFolderPixmap() {
  QPixmap pixmap(48, 40);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawFolder(p, QRectF(2.5, 8.5, 36, 28), QColor(245, 200, 80), false);
  // The star: something new.
  QPolygonF star;
  for (int i = 0; i < 10; ++i) {
    const double angle = -M_PI / 2 + i * M_PI / 5;
    const double r = (i % 2) ? 4.5 : 10.5;
    star << QPointF(36 + r * std::cos(angle), 12 + r * std::sin(angle));
  }
  p.setPen(QPen(QColor(190, 120, 0), 1));
  p.setBrush(QColor(255, 235, 60));
  p.drawPolygon(star);
  return pixmap;
}

QIcon AppIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);
  DrawImage(p, ImagePage, false);
  p.setPen(QPen(QColor(20, 120, 60), 1.5));
  p.drawText(QRectF(4, 6, 10, 9), Qt::AlignCenter, "C");
  return QIcon(pixmap);
}
