// The channel monitor as one painted widget, rendered offscreen, and the window built without widgets where
// no one can see it.

#include <gtest/gtest.h>

#include <QLabel>
#include <cstdlib>

#include "platform/qt/form1_window.h"
#include "platform/qt/headless.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;

// How a label with that caption and those colours looks, drawn by Qt's own label.
QImage LabelImage(const QString& caption, const QColor& back, const QFont& font, QSize size) {
    QLabel label;
    label.setFont(font);
    label.setText(caption);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::WindowText, Qt::white);
    label.setPalette(palette);
    label.setAutoFillBackground(true);
    label.resize(size);
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct CellCase {
    int index;
    const char* caption;
    QColor back;
};

TEST(PaintedMonitor, EachCellShowsItsCaptionOnItsColourAsALabelWould) {
    EnsureQtApplication();
    setenv("VANTOR_SERIAL_PORTS", "", 1);
    Form1Window window;
    Form1& form = window.Form();
    QWidget* monitor = window.View().ViewOf("Label8(0)");
    ASSERT_NE(monitor, nullptr);
    // Neighbouring cells overlap by a pixel; each cell is compared without its last column and row.
    const QSize cell(24, 16);
    auto check = [&](const CellCase& row) {
        const QImage painted = monitor->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint at((row.index % kMonitorColumns) * 24, (row.index / kMonitorColumns) * 16);
        const QImage expected = LabelImage(row.caption, row.back, monitor->font(), QSize(25, 17));
        EXPECT_EQ(painted.copy(QRect(at, cell)), expected.copy(QRect(QPoint(0, 0), cell)))
            << "cell " << row.index << " \"" << row.caption << "\"";
    };

    for (const CellCase& row :
         {CellCase{0, "001", Qt::black}, CellCase{1, " 001", Qt::black}, CellCase{131, " 001", Qt::black}})
        check(row);

    auto& levels = form.prowidget.OutputPacket.Levels;
    levels[1] = 255;
    levels[14] = 128;
    levels[132] = 7;
    form.Timer3_Timer();
    for (const CellCase& row : {CellCase{0, "255", QColor(255, 0, 0)}, CellCase{13, "128", QColor(128, 0, 0)},
                                CellCase{131, "7", QColor(7, 0, 0)}, CellCase{2, "0", Qt::black}})
        check(row);
}

TEST(HeadlessWindow, ControlsRunWithoutASingleWidget) {
    EnsureQtApplication();
    ASSERT_TRUE(IsHeadless());
    setenv("VANTOR_SERIAL_PORTS", "", 1);
    const auto widgetsBefore = QApplication::allWidgets().size();
    Form1Window window(!IsHeadless());  // as the plug-in builds it
    window.Show();
    EXPECT_FALSE(window.HasView());
    EXPECT_EQ(QApplication::allWidgets().size(), widgetsBefore);
    // The status display still ticks on its timer.
    EXPECT_TRUE(RunEventsUntil([&] { return window.Form().StatusBar1.SimpleText() == "0 Ready"; }, 2s));
    EXPECT_EQ(window.Form().LabelTest.Caption(), "PRO Recieve Mode");
}

}  // namespace
