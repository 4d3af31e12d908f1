#pragma once

#include <QRect>
#include <QWidget>
#include <memory>
#include <vector>

#include "window/controls.h"

// The channel monitor's labels painted by one widget: each cell shows its label's caption on its background
// colour, at the label's place. A change marks only its cell for repainting, and Qt paints what is marked
// once, when the event loop comes round, however many labels a tick changed.
class MonitorView : public QWidget {
public:
    // The labels sit in the parent's client area; the view covers them all.
    MonitorView(std::vector<std::unique_ptr<Label>>& labels, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::unique_ptr<Label>>& labels_;
    std::vector<QRect> cells_;
};
