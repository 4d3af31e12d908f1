#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "window/controls.h"

// The channel monitor's labels painted by one widget: each cell shows its label's caption on its background
// colour, at the label's place, as a label would. Changes only mark their cells. Once the handler that made
// them has returned, the marked cells are copied into an image of the whole grid and handed to Qt as one
// update, which Qt paints once by copying from that image. Each look of a cell (caption and colours: a
// level, in practice) is drawn with text once, then only copied.
class MonitorView : public QWidget {
public:
    // The labels sit in the parent's client area; the view covers them all.
    MonitorView(std::vector<std::unique_ptr<Label>>& labels, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    struct Look {
        std::string caption;
        std::uint32_t back, fore;
        int width, height;
        bool operator==(const Look&) const = default;
    };
    struct LookHash {
        std::size_t operator()(const Look& look) const;
    };

    void Mark(std::size_t index);
    // A grid image at the current device pixel ratio, every cell drawn into it; true when drawn afresh.
    bool EnsureGrid();
    // Brings the grid image up to date with the marked cells; returns the part of the view that changed.
    QRect DrawMarkedCells();
    // Copies the cell's look into the grid image; returns the part of the view that changed.
    QRect DrawCell(std::size_t index);
    const QImage& LookOf(const Label& label, QSize size);
    QImage Drawn(const Label& label, QSize size) const;

    std::vector<std::unique_ptr<Label>>& labels_;
    std::vector<QRect> cells_;
    // The part of each cell that shows: cells overlap their right and lower neighbours by a pixel, as the
    // labels did, and the later cell is on top.
    std::vector<QRect> shown_;
    std::vector<bool> marked_;
    bool updatePosted_ = false;
    QImage grid_;
    // The monitor's own looks, a level's number in white on its shade of red, by level; any other in looks_.
    std::array<QImage, 256> levelLooks_;
    std::unordered_map<Look, QImage, LookHash> looks_;
};
