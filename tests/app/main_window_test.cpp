// The main window's fixed layout and its refresh path.
#include <QAccessible>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <functional>
#include <memory>

#include "command_ids.h"
#include "main_window.h"
#include "switch_button.h"

using namespace tolvek;

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Engine> engine;
    std::unique_ptr<MainWindow> window;

    // Lets the block poll see the counter and the paint run.
    void settle() {
        QTest::qWait(3 * blockPollMs);
        QApplication::processEvents();
    }
    void newBlock() {
        engine->shared.blocksDone.fetch_add(1, std::memory_order_release);
        settle();
    }
    // A grab at the client's logical size, whatever the screen's scale.
    static QImage logical(const QImage& grabbed) {
        return grabbed.scaled(grabbed.deviceIndependentSize().toSize()).convertToFormat(QImage::Format_RGB32);
    }
    // Pixels of the overload text's red around its place.
    static int redIn(const QImage& grabbed) {
        const QImage shown = logical(grabbed);
        int n = 0;
        for (int y = 145; y < 170; ++y)
            for (int x = 200; x < 440; ++x) n += (shown.pixel(x, y) & 0xffffff) == 0xff0000;
        return n;
    }

  private slots:
    void init() {
        engine = std::make_unique<Engine>();
        window = std::make_unique<MainWindow>(*engine);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        window.reset();
        engine.reset();
    }

    void windowFrame() {
        QCOMPARE(window->windowTitle(), QString("Tolvek Filter"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->width(), 990);
        QVERIFY(window->height() >= 585);
        // The client lies below the menu bar and holds the whole layout.
        QCOMPARE(window->client()->mapTo(window.get(), QPoint(0, 0)).y(), window->menuBar()->height());
        QVERIFY(window->client()->width() >= 990);
        QVERIFY(window->client()->height() >= 525);
        for (QWidget* child : window->client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(window->client()->rect().contains(child->geometry()), qPrintable(child->objectName()));
        window->resize(600, 400);  // the layout is fixed: nothing moves
        QApplication::processEvents();
        QCOMPARE(window->pauseButton()->geometry(), QRect(880, 503, 50, 18));
    }

    void controlGeometry_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("image");  // start image, or the button caption
        QTest::newRow("Capture") << cmd::capture << QRect(810, 503, 60, 18) << "Capture";
        QTest::newRow("Pause") << cmd::pause << QRect(880, 503, 50, 18) << "Pause";
        QTest::newRow("Noise Blanker") << cmd::blanker << QRect(170, 500, 117, 23) << "IMG_BITMAP_NB_OFF";
        QTest::newRow("LMS Filter") << cmd::lms << QRect(50, 500, 117, 23) << "IMG_BITMAP_LMS_OFF";
        QTest::newRow("Comb Filter") << cmd::comb << QRect(290, 500, 117, 23) << "IMG_BITMAP_COMB_OFF";
        QTest::newRow("AGC") << cmd::agc << QRect(410, 500, 117, 23) << "IMG_BITMAP_AGC_ON";
        QTest::newRow("Pass") << cmd::pass << QRect(594, 500, 58, 24) << "IMG_BITMAP_PASS_OFF";
        QTest::newRow("Pass All") << cmd::passAll << QRect(716, 500, 58, 24) << "IMG_BITMAP_ALL_ON";
        QTest::newRow("Reject") << cmd::reject << QRect(655, 500, 58, 24) << "IMG_BITMAP_REJECT_OFF";
    }
    void controlGeometry() {
        QFETCH(int, id);
        QFETCH(QRect, rect);
        QFETCH(QString, image);
        QWidget* w = window->switchButton(id);
        if (id == cmd::capture) w = window->captureButton();
        if (id == cmd::pause) w = window->pauseButton();
        QCOMPARE(w->geometry(), rect);
        // What a screen reader says for the control: the row's name.
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), QTest::currentDataTag());
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(b->text(), image);
        } else {
            QCOMPARE(static_cast<SwitchButton*>(w)->imageName(), image);
            QCOMPARE(QImage(":/" + image).size(), rect.size());
        }
    }

    // The level sliders sit in place and feed their settings at every move
    // (brightness stays in the window).
    void sliders_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("start");
        QTest::newRow("input level") << 0 << QRect(940, 35, 20, 230) << 100 << 90;
        QTest::newRow("brightness") << 1 << QRect(30, 300, 20, 190) << 100 << 80;
        QTest::newRow("output level") << 2 << QRect(940, 300, 20, 190) << 200 << 100;
    }
    void sliders() {
        QFETCH(int, which);
        QFETCH(QRect, rect);
        QFETCH(int, maximum);
        QFETCH(int, start);
        MainWindow& w = *window;
        QSlider* slider = QList{w.inputLevelSlider(), w.brightnessSlider(), w.outputLevelSlider()}[which];
        QCOMPARE(slider->geometry(), rect);
        QCOMPARE(slider->maximum(), maximum);
        QCOMPARE(slider->value(), start);
        ProcessingSettings& s = engine->settings;
        std::atomic<int32_t>* setting = QList<std::atomic<int32_t>*>{&s.inputLevel, nullptr, &s.outputLevel}[which];
        if (setting) QCOMPARE(get(*setting), start);
        // 0 at the top: Up lowers the value, Page Down adds a page; the
        // keyboard focus goes back to the window, so F1 keeps working.
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        for (auto [key, expected] : {std::pair{Qt::Key_Up, start - 1}, {Qt::Key_PageDown, start + 9}}) {
            slider->setFocus();
            QTest::keyClick(slider, key);
            QCOMPARE(slider->value(), expected);
            QVERIFY(window->client()->hasFocus());
            if (setting) QCOMPARE(get(*setting), expected);
        }
    }

    void menuBarEntries() {
        QStringList titles;
        for (QAction* a : window->menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Tools", "View", "Controls", "Notch", "Capture", "&Help"}));
        QCOMPARE(window->action(cmd::helpContents)->shortcut(), QKeySequence(Qt::Key_F1));
    }

    void refreshRectCoversEveryChangingColumn() {
        const QRect r = blockRefreshRect();
        QCOMPARE(QList({r.left(), r.top(), r.bottom()}), QList({50, 0, 499}));
        QVERIFY(r.right() >= 922);  // the waterfall's and the trace's last column
    }

    // Each block seen adds one waterfall row; paints add none.
    void finishedBlocksDriveThePaint() {
        settle();
        QCOMPARE(window->paintCount().rows, 0);  // exposure paints add no rows
        for (int rows : {1, 2}) {
            const int paints = window->paintCount().paints;
            engine->shared.blocksDone.fetch_add(1, std::memory_order_release);
            settle();
            QCOMPARE(window->paintCount().rows, rows);
            QVERIFY(window->paintCount().paints > paints);
        }
        const int paints = window->paintCount().paints;
        settle();
        QCOMPARE(window->paintCount().paints, paints);  // no new block: nothing is painted
        window->client()->repaint();
        QCOMPARE(window->paintCount().rows, 2);
    }

    // The overload text holds for its block: a partial repaint (under a
    // slider) or a grab in between does not swallow it.
    void overloadHoldsForItsBlock() {
        settle();
        for (int overload : {1, 0}) {
            put(engine->shared.overloadFlag, overload);
            newBlock();
            window->client()->repaint(window->inputLevelSlider()->geometry());
            for (int k = 0; k < 2; ++k) QCOMPARE(redIn(window->client()->grab().toImage()) > 20, overload == 1);
        }
    }

    // Blocks that finish while the window is hidden each leave their own row.
    void waterfallRowsWhileHiddenAreTheirBlocks() {
        window->hide();
        for (float m : {5.0f, 12.0f, 25.0f}) {  // dim to bright at brightness 80
            for (auto& v : engine->shared.filteredSpectrum) v.store(m);
            newBlock();
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QImage shown = logical(window->client()->grab().toImage());
        const int newest = qRed(shown.pixel(100, 305)), middle = qRed(shown.pixel(100, 306));
        const int oldest = qRed(shown.pixel(100, 307));
        QVERIFY2(newest > middle && middle > oldest && oldest > 0,
                 qPrintable(QString("%1 %2 %3").arg(newest).arg(middle).arg(oldest)));
    }

    // While paused, a drag, a notch and a wheel turn show at once, without rows.
    void pausedChangesRepaintWithoutRows() {
        window->command(cmd::pause);
        settle();
        QWindow* win = window->windowHandle();
        const QPoint origin = window->client()->mapTo(window.get(), QPoint(0, 0));
        const std::function<void()> changes[] = {
            [&] {
                QTest::mousePress(win, Qt::LeftButton, {}, origin + QPoint(252, 150));
                QTest::mouseMove(win, origin + QPoint(262, 150));
                QTest::mouseRelease(win, Qt::LeftButton, {}, origin + QPoint(262, 150));
            },
            [&] { window->command(cmd::notch1); },
            [&] {
                QWheelEvent turn({400, 100}, window->client()->mapToGlobal(QPointF(400, 100)), {}, {0, 120},
                                 Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(window->client(), &turn);
            },
        };
        for (const auto& change : changes) {
            const PaintCount before = window->paintCount();
            change();
            settle();
            QVERIFY(window->paintCount().paints > before.paints);
            QCOMPARE(window->paintCount().rows, before.rows);
        }
    }

    // The client hands presses, moves and the wheel to the spectrum logic.
    void pointerReachesTheSpectrum() {
        QWindow* win = window->windowHandle();
        const QPoint origin = window->client()->mapTo(window.get(), QPoint(0, 0));
        QTest::mousePress(win, Qt::LeftButton, {}, origin + QPoint(252, 150));
        QTest::mouseMove(win, origin + QPoint(262, 150));
        QCOMPARE(get(engine->settings.lowerCutoff), 17361.328125f);
        QCOMPARE(window->client()->cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseRelease(win, Qt::LeftButton, {}, origin + QPoint(262, 150));

        const float upper = get(engine->settings.upperCutoff);
        QWheelEvent down(QPointF(400, 400), window->client()->mapToGlobal(QPointF(400, 400)), {}, {0, -120},
                         Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window->client(), &down);
        QCOMPARE(get(engine->settings.upperCutoff), upper - 1000.0f);
    }

    // A turn over a slider never moves the markers, also at the slider's
    // end, where the slider leaves it unused and it comes on to the client.
    void wheelOverASliderLeavesTheMarkers() {
        const float lower = get(engine->settings.lowerCutoff);
        for (QSlider* slider : {window->inputLevelSlider(), window->brightnessSlider(), window->outputLevelSlider()})
            for (int delta : {120, 5}) {
                const QPointF at = slider->geometry().center();  // as the client sees a turn passed on
                QWheelEvent turn(at, window->client()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {},
                                 Qt::NoScrollPhase, false);
                for (int i = 0; i < 24; ++i) QApplication::sendEvent(window->client(), &turn);
            }
        QCOMPARE(get(engine->settings.lowerCutoff), lower);
    }

    // The picture on the screen is paintMainWindow's: the graph's frame grey.
    void clientShowsThePaintedPicture() {
        settle();
        const QImage shown = logical(window->client()->grab().toImage());
        QCOMPARE(shown.pixelColor(54, 100), QColor(128, 128, 128));  // outer frame, left edge
        QCOMPARE(shown.pixelColor(5, 5), QColor(0, 0, 0));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
