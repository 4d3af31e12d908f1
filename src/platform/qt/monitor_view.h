#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
    const QImage& ImageOf(const Label& label, QSize size, qreal ratio);
    void ForgetLooks();

    std::vector<std::unique_ptr<Label>>& labels_;
    const std::size_t columns_;
    std::vector<QRect> cells_;
    std::vector<bool> marked_;
    bool updatePosted_ = false;
    std::unordered_map<Look, QImage, LookHash> looks_;
    qreal looksRatio_ = 0;  // the device pixel ratio the looks were drawn for
    // Each cell's look while its label stays unchanged.
    std::vector<const QImage*> shown_;
};
