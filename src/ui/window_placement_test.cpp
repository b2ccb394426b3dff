// Where windows open: within 90% of the free screen area at any scale, at
// their remembered place while it is on the screen.
#include "ui/window_placement.h"

#include <QtTest>

class WindowPlacementTest : public QObject {
  Q_OBJECT

 private slots:
  // The free area of a 1366x768 screen at 100% and of a 2560x1440 screen
  // at 200% (in the device-independent pixels Qt lays out in), each with a
  // panel of 28 (56 physical) pixels.
  void firstOpeningTakesAtMostNinetyPercent_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("1366x768 at 100%") << QRect(0, 28, 1366, 740) << QRect(193, 65, 980, 666);
    QTest::newRow("2560x1440 at 200%") << QRect(0, 28, 1280, 692) << QRect(150, 63, 980, 622);
    QTest::newRow("roomy") << QRect(0, 0, 1920, 1050) << QRect(470, 165, 980, 720);
  }
  void firstOpeningTakesAtMostNinetyPercent() {
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(window_placement::Fit(QSize(980, 720), QSize(700, 500), available, QRect()), expected);
  }

  void minimumWinsOverTheShareButNotOverTheScreen() {
    const QRect available(0, 0, 800, 600);
    QCOMPARE(window_placement::Fit(QSize(980, 720), QSize(760, 580), available, QRect()),
             QRect(20, 10, 760, 580));
    QCOMPARE(window_placement::Fit(QSize(980, 720), QSize(900, 700), available, QRect()),
             QRect(0, 0, 800, 600));
  }

  void rememberedPlaceWhileItIsOnTheScreen() {
    const QRect available(0, 28, 1366, 740);
    const QSize wanted(980, 720), minimum(700, 500);
    // Kept, also larger than the share of a first opening.
    QCOMPARE(window_placement::Fit(wanted, minimum, available, QRect(100, 40, 1200, 700)),
             QRect(100, 40, 1200, 700));
    // Too large for this screen now: as large as it allows, pulled back in.
    QCOMPARE(window_placement::Fit(wanted, minimum, available, QRect(300, 200, 1600, 900)),
             QRect(0, 28, 1366, 740));
    QCOMPARE(window_placement::Fit(wanted, minimum, available, QRect(900, 300, 800, 600)),
             QRect(566, 168, 800, 600));
    // Left on a screen that is gone: the middle of this one.
    QCOMPARE(window_placement::Fit(wanted, minimum, available, QRect(2000, 100, 800, 600)),
             QRect(283, 98, 800, 600));
    QCOMPARE(window_placement::Fit(wanted, minimum, available, QRect(-700, 100, 800, 600)),
             QRect(283, 98, 800, 600));
  }
};

QTEST_MAIN(WindowPlacementTest)
#include "window_placement_test.moc"
