#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "window/controls.h"

// The channel monitor's labels painted by one widget: each cell shows its label's caption on its background
// colour, at the label's place, as a label would. Changes only mark their cells; once the handler that made
// them has returned, the marked cells are handed to Qt as one update, and Qt paints them once. Each look of a
// cell (caption and colours: a level, in practice) is drawn once and then only copied.
class MonitorView : public QWidget {
public:
    // The labels sit in the parent's client area; the view covers them all. columns: cells per row.
    MonitorView(std::vector<std::unique_ptr<Label>>& labels, int columns, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void Mark(std::size_t index);
    struct Look {
        std::string caption;
        std::uint32_t back, fore;
        int width, height;
        auto operator<=>(const Look&) const = default;
    };
    const QImage& ImageOf(const Label& label, QSize size);

    std::vector<std::unique_ptr<Label>>& labels_;
    const std::size_t columns_;
    std::vector<QRect> cells_;
    std::vector<bool> marked_;
    bool updatePosted_ = false;
    std::map<Look, QImage> looks_;
    qreal looksRatio_ = 0;  // the device pixel ratio the looks were drawn for
};
