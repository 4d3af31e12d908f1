#include "platform/qt/control_views.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <algorithm>
#include <exception>

#include "platform/qt/logging.h"

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr double kFontPoints = 8.25;

QColor ToQColor(Rgb colour) {
    return QColor(colour.r, colour.g, colour.b);
}
QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

void SetColours(QWidget* view, Rgb fore, Rgb back) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, ToQColor(back));
    palette.setColor(QPalette::WindowText, ToQColor(fore));
    view->setPalette(palette);
    view->setAutoFillBackground(true);
}

// A user's action runs the system's handler; a failure there must not unwind through Qt's event loop.
template <typename Action>
void RunHandler(const Control& control, Action&& action) {
    try {
        action();
    } catch (const std::exception& failure) {
        qCWarning(lcWindow).noquote() << QString::fromStdString(control.Name) << failure.what();
    }
}

}  // namespace

int TwipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QFont WindowFont() {
    QFont font;
    if (QFontDatabase::families().contains(QStringLiteral("Verdana"))) {
        font.setFamily(QStringLiteral("Verdana"));
    } else {
        font.setFamily(QStringLiteral("sans-serif"));
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSizeF(kFontPoints);
    return font;
}

void PlaceView(QWidget* view, const TwipRect& rect) {
    view->setGeometry(TwipsToPixels(rect.Left), TwipsToPixels(rect.Top), TwipsToPixels(rect.Width),
                      TwipsToPixels(rect.Height));
}

void ReleaseView(Control& control) {
    control.Changed = nullptr;
}

QWidget* MakeLabelView(Label& label, QWidget* parent) {
    auto* view = new QLabel(parent);
    view->setObjectName(ToQString(label.Name));
    QPointer<QLabel> guard(view);
    auto follow = [&label, guard] {
        if (!guard) return;
        guard->setText(ToQString(label.Caption()));
        SetColours(guard, label.ForeColor(), label.BackColor());
    };
    label.Changed = follow;
    follow();
    return view;
}

namespace {

// On the black background the style's own frame does not show: a light line, broken by the title, as the
// system's group boxes have. Painted here rather than by a style sheet, which would reach every control
// inside.
class FramedGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int lineY = metrics.height() / 2;
        const int titleLeft = 6;
        const int titleWidth = title().isEmpty() ? 0 : metrics.horizontalAdvance(title()) + 4;
        painter.setPen(QColor(192, 192, 192));
        const QRect frame(0, lineY, width() - 1, height() - lineY - 1);
        painter.drawLine(frame.topLeft(), QPoint(titleLeft, lineY));
        painter.drawLine(QPoint(titleLeft + titleWidth, lineY), frame.topRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
        painter.drawLine(frame.bottomRight(), frame.bottomLeft());
        painter.drawLine(frame.bottomLeft(), frame.topLeft());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(titleLeft + 2, 0, titleWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, title());
    }
};

// As on the system's windows, Enter presses the focused button, not only Space.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        static_cast<QPushButton*>(watched)->click();
        return true;
    }
};

// The arrow, page and Home/End keys on a focused scroll bar act as its arrows and track do: one step, one
// change at once. Qt's own key handling moves only the slider's position while tracking is off.
class KeysStepScrollBar : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        struct KeyAction {
            int key;
            QAbstractSlider::SliderAction action;
        };
        static constexpr KeyAction kActions[] = {
            {Qt::Key_Left, QAbstractSlider::SliderSingleStepSub},
            {Qt::Key_Right, QAbstractSlider::SliderSingleStepAdd},
            {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub},
            {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd},
            {Qt::Key_Home, QAbstractSlider::SliderToMinimum},
            {Qt::Key_End, QAbstractSlider::SliderToMaximum},
        };
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto found = std::find_if(std::begin(kActions), std::end(kActions),
                                        [key](const KeyAction& entry) { return entry.key == key; });
        if (found == std::end(kActions)) return false;
        static_cast<QScrollBar*>(watched)->triggerAction(found->action);
        return true;
    }
};

// The window's white text would draw the arrows white on a light button: a scroll bar has its own colours, as
// the system's have.
void SetScrollBarColours(QScrollBar* view) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor(160, 160, 160));
    palette.setColor(QPalette::Button, QColor(212, 208, 200));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::ButtonText, Qt::black);
    view->setPalette(palette);
}

}  // namespace

QWidget* MakeGroupBoxView(GroupBox& group, QWidget* parent) {
    auto* view = new FramedGroupBox(parent);
    view->setObjectName(ToQString(group.Name));
    SetColours(view, kWhite, kBlack);
    QPointer<QGroupBox> guard(view);
    auto follow = [&group, guard] {
        if (guard) guard->setTitle(ToQString(group.Caption()));
    };
    group.Changed = follow;
    follow();
    return view;
}

QPushButton* MakeButtonView(Button& button, QWidget* parent) {
    auto* view = new QPushButton(parent);
    view->setObjectName(ToQString(button.Name));
    QPointer<QPushButton> guard(view);
    auto follow = [&button, guard] {
        if (guard) guard->setText(ToQString(button.Caption()));
    };
    button.Changed = follow;
    follow();
    view->installEventFilter(new EnterPressesButton(view));
    QObject::connect(view, &QPushButton::clicked,
                     [&button] { RunHandler(button, [&] { button.PerformClick(); }); });
    return view;
}

QScrollBar* MakeScrollBarView(ScrollBar& bar, QWidget* parent) {
    auto* view = new QScrollBar(Qt::Horizontal, parent);
    view->setObjectName(ToQString(bar.Name));
    // Without tracking a drag reports only its released position; arrows and page steps report at once.
    view->setTracking(false);
    // A scroll bar takes the focus, so that its keys move it as on the system's windows; the focus goes
    // round the controls in the order they are made, which is the order they are seen in.
    view->setFocusPolicy(Qt::StrongFocus);
    view->installEventFilter(new KeysStepScrollBar(view));
    SetScrollBarColours(view);
    QPointer<QScrollBar> guard(view);
    auto follow = [&bar, guard] {
        if (!guard) return;
        const QSignalBlocker quiet(guard.data());
        guard->setRange(bar.Min(), bar.Max());
        guard->setValue(bar.Value());
    };
    bar.Changed = follow;
    follow();
    QObject::connect(view, &QScrollBar::valueChanged,
                     [&bar](int value) { RunHandler(bar, [&] { bar.SetValue(value); }); });
    return view;
}

QListWidget* MakeListBoxView(ListBox& list, QWidget* parent) {
    auto* view = new QListWidget(parent);
    view->setObjectName(ToQString(list.Name));
    QPointer<QListWidget> guard(view);
    auto follow = [&list, guard] {
        if (!guard) return;
        const QSignalBlocker quiet(guard.data());
        const auto& items = list.Items();
        bool same = guard->count() == static_cast<int>(items.size());
        for (int row = 0; same && row < guard->count(); ++row)
            same = guard->item(row)->text() == ToQString(items[static_cast<std::size_t>(row)]);
        if (!same) {
            guard->clear();
            for (const auto& item : items) guard->addItem(ToQString(item));
        }
        if (list.ListIndex() >= 0) {
            guard->setCurrentRow(list.ListIndex());
        } else {
            guard->clearSelection();
            guard->setCurrentRow(-1);
        }
    };
    list.Changed = follow;
    follow();
    // The selection, not the current row: Qt moves the current row by itself when the list takes the focus,
    // which is no choice of the user's.
    QObject::connect(view, &QListWidget::itemSelectionChanged, [&list, view] {
        const auto selected = view->selectedItems();
        if (selected.isEmpty()) return;
        const int row = view->row(selected.first());
        RunHandler(list, [&] { list.SetListIndex(row); });
    });
    return view;
}

QStatusBar* MakeStatusBarView(StatusBar& status, QWidget* parent) {
    auto* view = new QStatusBar(parent);
    view->setObjectName(ToQString(status.Name));
    view->setSizeGripEnabled(false);
    auto* text = new QLabel(view);
    view->addWidget(text, 1);
    QPointer<QLabel> guard(text);
    auto follow = [&status, guard] {
        if (guard) guard->setText(ToQString(status.SimpleText()));
    };
    status.Changed = follow;
    follow();
    return view;
}
