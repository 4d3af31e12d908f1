#include "platform/qt/form1_view.h"

#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <algorithm>

#include "platform/qt/control_views.h"
#include "platform/qt/monitor_view.h"

namespace {

constexpr int kMarginTwips = 120;

}  // namespace

Form1View::Form1View(Form1& form) : form_(form) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setFont(WindowFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);

    monitor_ = new MonitorView(form_.Label8, this);
    for (const auto& label : form_.Label8) views_[label->Name] = monitor_;

    // Containers first, so that their children have a parent to sit in.
    std::vector<Control*> controls = form_.AllControls();
    std::stable_partition(controls.begin(), controls.end(),
                          [](Control* c) { return c->Container == nullptr; });
    int right = 0, bottom = 0;
    for (Control* control : controls) {
        if (views_.count(control->Name)) continue;
        QWidget* parent = this;
        if (control->Container) {
            const auto container = views_.find(control->Container->Name);
            if (container != views_.end()) parent = container->second;
        }
        QWidget* view = MakeView(*control, parent);
        if (!view) continue;
        PlaceView(view, control->Rect);
        views_[control->Name] = view;
        if (!control->Container) {
            right = std::max(right, control->Rect.Left + control->Rect.Width);
            bottom = std::max(bottom, control->Rect.Top + control->Rect.Height);
        }
    }
    // The status bar runs along the bottom edge, the whole width of the window.
    const int width = TwipsToPixels(right + kMarginTwips);
    const int height = TwipsToPixels(bottom);
    if (QWidget* status = ViewOf(form_.StatusBar1.Name)) {
        status->setGeometry(0, height - status->height(), width, status->height());
    }
    setFixedSize(width, height);
}

Form1View::~Form1View() {
    for (Control* control : form_.AllControls())
        if (views_.count(control->Name)) ReleaseView(*control);
}

QWidget* Form1View::ViewOf(const std::string& controlName) const {
    const auto found = views_.find(controlName);
    return found == views_.end() ? nullptr : found->second;
}

QWidget* Form1View::MakeView(Control& control, QWidget* parent) {
    if (auto* label = dynamic_cast<Label*>(&control)) return MakeLabelView(*label, parent);
    if (auto* group = dynamic_cast<GroupBox*>(&control)) return MakeGroupBoxView(*group, parent);
    if (auto* button = dynamic_cast<Button*>(&control)) return MakeButtonView(*button, parent);
    if (auto* bar = dynamic_cast<ScrollBar*>(&control)) return MakeScrollBarView(*bar, parent);
    if (auto* list = dynamic_cast<ListBox*>(&control)) return MakeListBoxView(*list, parent);
    if (auto* status = dynamic_cast<StatusBar*>(&control)) return MakeStatusBarView(*status, parent);
    return nullptr;  // timers have no view
}
