#pragma once

#include <QWidget>
#include <map>

#include "window/form1.h"

class MonitorView;

// The window as a person sees it: one widget per control object of Form1, placed by its twip layout, but for
// the channel monitor's labels, which one widget paints.
class Form1View : public QWidget {
public:
    static constexpr const char* kTitle = "Vantor DMX Output";

    explicit Form1View(Form1& form);
    ~Form1View() override;

    // The widget that shows a control, by the control's name (nullptr for timers and unknown names); for a
    // monitor label, the monitor.
    QWidget* ViewOf(const std::string& controlName) const;

private:
    QWidget* MakeView(Control& control, QWidget* parent);

    Form1& form_;
    std::map<std::string, QWidget*> views_;
    MonitorView* monitor_ = nullptr;
};
