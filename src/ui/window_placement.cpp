#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace window_placement {
namespace {

constexpr const char* kGroup = "Windows";

// The part of a rectangle that must lie on the screen for it to count as
// still there: its title bar's width, a few rows high.
constexpr int kVisibleHeight = 40;

}  // namespace

QRect Fit(const QSize& wanted, const QSize& minimum, const QRect& available,
          const QRect& remembered) {
  const QSize largest(static_cast<int>(available.width() * kScreenShare),
                      static_cast<int>(available.height() * kScreenShare));
  QSize size = remembered.isNull() ? wanted.boundedTo(largest)
                                   : remembered.size().boundedTo(available.size());
  // The minimum wins over the share, but not over the screen itself.
  size = size.expandedTo(minimum).boundedTo(available.size()).expandedTo(QSize(1, 1));
  QRect rect(QPoint(), size);
  const QRect top(remembered.topLeft(), QSize(remembered.width(), kVisibleHeight));
  if (!remembered.isNull() && available.intersected(top).width() >= remembered.width() / 2 &&
      available.contains(remembered.topLeft())) {
    rect.moveTopLeft(remembered.topLeft());
    // Pulled back in where the (perhaps larger) window would stick out.
    rect.moveRight(std::min(rect.right(), available.right()));
    rect.moveBottom(std::min(rect.bottom(), available.bottom()));
  } else {
    rect.moveCenter(available.center());
  }
  rect.moveLeft(std::max(rect.left(), available.left()));
  rect.moveTop(std::max(rect.top(), available.top()));
  return rect;
}

void Place(QWidget& window, QSettings* settings, const char* key, const QSize& wanted) {
  QRect remembered;
  if (settings) remembered = settings->value(QString(kGroup) + "/" + key).toRect();
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QSize want = wanted.isValid() ? wanted : window.sizeHint();
  window.setGeometry(Fit(want, window.minimumSizeHint(), screen->availableGeometry(), remembered));
}

void Remember(const QWidget& window, QSettings* settings, const char* key) {
  if (!settings) return;
  settings->setValue(QString(kGroup) + "/" + key, window.normalGeometry());
}

}  // namespace window_placement
