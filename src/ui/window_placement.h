#pragma once

#include <QRect>

class QSettings;
class QWidget;

// Where a window opens: never larger than kScreenShare of the screen's
// available area (so its buttons stay on screen at any scale factor), never
// smaller than its minimum size, and where the user left it last time when
// that place still lies on the screen.
namespace window_placement {

// The share of the available area a window takes at most when it opens.
inline constexpr double kScreenShare = 0.9;

// The geometry for a window that would like wanted, needs at least minimum,
// and was last at remembered (null: never) on a screen whose free area is
// available. A remembered size is kept as far as the screen allows; a place
// that is no longer on the screen is given up for the centre.
QRect Fit(const QSize& wanted, const QSize& minimum, const QRect& available,
          const QRect& remembered);

// Gives window its geometry on the screen it opens on: Fit with its size
// hint as wanted (or wanted when given), and the geometry stored under key in
// settings (nullptr: none).
void Place(QWidget& window, QSettings* settings, const char* key, const QSize& wanted = {});
// Stores the window's geometry under key for the next Place.
void Remember(const QWidget& window, QSettings* settings, const char* key);

}  // namespace window_placement
