// The window as built on Qt, in the offscreen platform: design-time values on the control objects and their
// widgets, the timers, and the view kept in step with the objects both ways. The window is not loaded here
// (no port scan, no Art-Net node): only what exists from creation.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <chrono>
#include <memory>

#include "platform/qt/control_views.h"
#include "platform/qt/form1_window.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;

class Form1OnQt : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        setenv("VANTOR_SERIAL_PORTS", "", 1);  // no device: nothing here may reach a real port
        window = std::make_unique<Form1Window>();
    }
    Form1& form() { return window->Form(); }
    template <typename Widget>
    Widget* View(const std::string& name) {
        return dynamic_cast<Widget*>(window->View().ViewOf(name));
    }
    std::unique_ptr<Form1Window> window;
};

struct TextCase {
    const char* name;
    const char* text;
};

const TextCase kTexts[] = {
    {"Frame1", "Device Manager"},
    {"Command2", "Search"},
    {"Command5", "Show Ports"},
    {"Label5", "Current Port:"},
    {"Label1", " "},
    {"Command4", "UPD"},
    {"Label2", " "},
    {"Label3", " "},
    {"Label4", " "},
    {"cfg_request", "Refresh"},
    {"Command3", "Apply"},
    {"Frame2", "Control"},
    {"senddmxbutton", "Art-Net To DMX"},
    {"Command1", "DMX To Art-Net"},
    {"LabelTest", "Label10"},
    {"ArtUnivLbl", "Universe 0"},
    {"ArtDetectedLbl", "Label10"},
};

QString TextOf(QWidget* view) {
    if (auto* label = dynamic_cast<QLabel*>(view)) return label->text();
    if (auto* button = dynamic_cast<QPushButton*>(view)) return button->text();
    if (auto* group = dynamic_cast<QGroupBox*>(view)) return group->title();
    return QStringLiteral("<no text>");
}

TEST_F(Form1OnQt, EveryCaptionedControlShowsItsDesignText) {
    for (const auto& row : kTexts) {
        QWidget* view = window->View().ViewOf(row.name);
        ASSERT_NE(view, nullptr) << row.name;
        EXPECT_EQ(TextOf(view).toStdString(), row.text) << row.name;
        EXPECT_EQ(view->objectName().toStdString(), row.name);
    }
}

TEST_F(Form1OnQt, EveryControlButTheTimersHasAView) {
    int views = 0;
    for (Control* control : form().AllControls()) {
        const bool isTimer = dynamic_cast<Timer*>(control) != nullptr;
        EXPECT_EQ(window->View().ViewOf(control->Name) != nullptr, !isTimer) << control->Name;
        views += isTimer ? 0 : 1;
    }
    EXPECT_EQ(views, 22 + kMonitorChannels + 1);
}

struct RangeCase {
    const char* name;
    int min, max, value;
};

TEST_F(Form1OnQt, ScrollBarsHaveTheirRangesAndValues) {
    const RangeCase rows[] = {
        {"HScroll1", 9, 127, 9}, {"HScroll2", 1, 127, 1}, {"HScroll3", 1, 40, 1}, {"ArtUniv", 0, 255, 0}};
    for (const auto& row : rows) {
        auto* view = View<QScrollBar>(row.name);
        ASSERT_NE(view, nullptr) << row.name;
        EXPECT_EQ(view->minimum(), row.min) << row.name;
        EXPECT_EQ(view->maximum(), row.max) << row.name;
        EXPECT_EQ(view->value(), row.value) << row.name;
        EXPECT_EQ(view->orientation(), Qt::Horizontal);
    }
}

TEST_F(Form1OnQt, TimersHaveTheirIntervalsAndStartingStates) {
    const struct {
        Timer* timer;
        int interval;
        bool enabled;
    } rows[] = {{&form().Timer1, 2, true},   {&form().Timer2, 100, true}, {&form().timOutput, 20, false},
                {&form().Timer3, 25, false}, {&form().Timer4, 25, false}, {&form().timeout, 10000, false}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.timer->Interval(), row.interval) << row.timer->Name;
        EXPECT_EQ(row.timer->Enabled(), row.enabled) << row.timer->Name;
    }
    EXPECT_EQ(form().LinkOpen, kFalse);
    EXPECT_EQ(form().SendMode, kFalse);
}

TEST_F(Form1OnQt, ArmedTimeoutFiresOnceAndStaysOff) {
    int fired = 0;
    auto handler = form().timeout.Tick;
    form().timeout.Tick = [&] {
        ++fired;
        handler();
    };
    form().timeout.SetInterval(20);  // the 10 s of the real one would only slow the test
    form().timeout.SetEnabled(true);
    ASSERT_TRUE(RunEventsUntil([&] { return !form().timeout.Enabled(); }, 3s));
    RunEventsFor(100ms);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(form().timeout.Enabled());
}

TEST_F(Form1OnQt, LabelsAreWhiteOnBlackExceptTheDarkGreyValueLabels) {
    auto background = [&](const char* name) { return View<QLabel>(name)->palette().color(QPalette::Window); };
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "ArtUnivLbl"})
        EXPECT_EQ(background(name), QColor(64, 64, 64)) << name;
    for (const char* name : {"Label5", "LabelTest", "ArtDetectedLbl"}) {
        EXPECT_EQ(background(name), QColor(Qt::black)) << name;
        EXPECT_EQ(View<QLabel>(name)->palette().color(QPalette::WindowText), QColor(Qt::white)) << name;
    }
    EXPECT_EQ(View<QGroupBox>("Frame1")->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(Form1OnQt, LayoutFollowsTheTwipsAtFifteenToAPixel) {
    EXPECT_EQ(View<QGroupBox>("Frame1")->geometry(), QRect(8, 8, 185, 297));
    EXPECT_EQ(View<QGroupBox>("Frame2")->geometry(), QRect(200, 8, 289, 105));
    auto* list = View<QListWidget>("DevList");
    EXPECT_EQ(list->parentWidget(), View<QGroupBox>("Frame1"));
    EXPECT_EQ(list->geometry(), QRect(8, 24, 169, 108));
    EXPECT_EQ(View<QPushButton>("senddmxbutton")->geometry(), QRect(16, 16, 113, 25));
    auto* status = View<QStatusBar>("StatusBar1");
    EXPECT_EQ(status->geometry().bottom(), window->View().height() - 1);
    EXPECT_EQ(status->width(), window->View().width());
}

TEST_F(Form1OnQt, CaptionsUseVerdanaOrSansSerifAtEightPointTwoFive) {
    const QFont font = View<QPushButton>("Command2")->font();
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    EXPECT_TRUE(font.family() == "Verdana" || font.styleHint() == QFont::SansSerif)
        << font.family().toStdString();
}

TEST_F(Form1OnQt, ChangesMadeByTheLogicShowAtOnce) {
    form().Label5.SetCaption("Current Port: 3");
    form().Label1.SetBackColor(RGB(0, 128, 0));
    form().StatusBar1.SetSimpleText("Ready");
    form().ArtUniv.SetValue(12);
    form().DevList.AddItem("Com:  1");
    form().DevList.AddItem("Com:  2");
    form().Command1.SetCaption("Receiving");
    EXPECT_EQ(View<QLabel>("Label5")->text(), "Current Port: 3");
    EXPECT_EQ(View<QLabel>("Label1")->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_EQ(View<QStatusBar>("StatusBar1")->findChild<QLabel*>()->text(), "Ready");
    EXPECT_EQ(View<QScrollBar>("ArtUniv")->value(), 12);
    EXPECT_EQ(View<QListWidget>("DevList")->count(), 2);
    EXPECT_EQ(View<QPushButton>("Command1")->text(), "Receiving");
    form().DevList.Clear();
    EXPECT_EQ(View<QListWidget>("DevList")->count(), 0);
}

TEST_F(Form1OnQt, ButtonClickRunsItsHandler) {
    View<QPushButton>("Command5")->click();  // "Show Ports"
    ASSERT_EQ(form().DevList.Items().size(), 16u);
    EXPECT_EQ(form().DevList.Items()[11], "Com:  12");
    EXPECT_EQ(View<QListWidget>("DevList")->count(), 16);
}

TEST_F(Form1OnQt, ChoosingAListEntryRunsTheListHandler) {
    View<QPushButton>("Command5")->click();
    View<QListWidget>("DevList")->setCurrentRow(2);
    EXPECT_EQ(form().DevList.ListIndex(), 2);
    EXPECT_EQ(form().Label5.Caption(), "Current Port: 3");
}

TEST_F(Form1OnQt, ListTakingTheFocusChoosesNothing) {
    View<QPushButton>("Command5")->click();
    window->Show();
    View<QListWidget>("DevList")->setFocus();
    RunEventsFor(20ms);
    EXPECT_EQ(form().DevList.ListIndex(), -1);
    EXPECT_EQ(form().Label5.Caption(), "Current Port:");
}

TEST_F(Form1OnQt, ScrollBarArrowsAndPagesChangeTheValueAtOnce) {
    int changes = 0;
    auto handler = form().ArtUniv.Change;
    form().ArtUniv.Change = [&] {
        ++changes;
        handler();
    };
    auto* bar = View<QScrollBar>("ArtUniv");
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(form().ArtUniv.Value(), 1);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form().ArtUniv.Value(), 1 + bar->pageStep());
    EXPECT_EQ(changes, 2);
}

// A key as a person presses it, to whichever widget has the focus.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, modifiers), release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(focus, &press);
    QCoreApplication::sendEvent(focus, &release);
}

TEST_F(Form1OnQt, TabAndShiftTabMoveTheFocusThroughTheControlsInTheirVisualOrder) {
    const char* const order[] = {"DevList",  "Command2",      "Command5", "Command4",
                                 "HScroll1", "HScroll2",      "HScroll3", "cfg_request",
                                 "Command3", "senddmxbutton", "Command1", "ArtUniv"};
    const std::size_t count = std::size(order);
    window->Show();
    QApplication::setActiveWindow(&window->View());
    View<QWidget>(order[0])->setFocus();
    for (std::size_t step = 1; step <= count; ++step) {
        Press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), View<QWidget>(order[step % count]))
            << "Tab to " << order[step % count];
    }
    for (std::size_t step = count; step-- > 0;) {
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), View<QWidget>(order[step])) << "Shift+Tab to " << order[step];
    }
}

// Each key leaves what a click leaves: Space or Enter on a button runs it, an arrow on a scroll bar moves it
// one step with one change event.
TEST_F(Form1OnQt, KeysOnAFocusedControlDoWhatAClickDoes) {
    int changes = 0;
    form().ArtUniv.Change = [&] { ++changes; };
    window->Show();
    QApplication::setActiveWindow(&window->View());
    View<QWidget>("Command5")->setFocus();
    Press(Qt::Key_Space);  // "Show Ports"
    EXPECT_EQ(form().DevList.Items().size(), 16u);
    View<QWidget>("Command2")->setFocus();
    Press(Qt::Key_Return);  // "Search" finds no widget here
    EXPECT_TRUE(form().DevList.Items().empty());
    View<QWidget>("ArtUniv")->setFocus();
    Press(Qt::Key_Right);
    EXPECT_EQ(form().ArtUniv.Value(), 1);
    Press(Qt::Key_Left);
    EXPECT_EQ(form().ArtUniv.Value(), 0);
    EXPECT_EQ(changes, 2);
}

TEST_F(Form1OnQt, DraggedThumbChangesTheValueOnlyWhenReleased) {
    int changes = 0;
    form().ArtUniv.Change = [&] { ++changes; };
    auto* bar = View<QScrollBar>("ArtUniv");
    bar->setSliderDown(true);
    for (int position : {10, 20, 30, 40}) bar->setSliderPosition(position);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(form().ArtUniv.Value(), 0);
    bar->setSliderDown(false);
    EXPECT_EQ(form().ArtUniv.Value(), 40);
    EXPECT_EQ(changes, 1);
}

TEST_F(Form1OnQt, ShowingTheWindowTwiceKeepsOneWindow) {
    window->Show();
    window->Show();
    EXPECT_TRUE(window->View().isVisible());
    EXPECT_FALSE(window->View().windowTitle().isEmpty());
    int forms = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) forms += top->objectName() == "Form1" ? 1 : 0;
    EXPECT_EQ(forms, 1);
}

}  // namespace
