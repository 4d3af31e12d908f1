#include "platform/qt/monitor_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

#include "platform/qt/control_views.h"

namespace {

QRect PixelRect(const TwipRect& rect) {
    return QRect(TwipsToPixels(rect.Left), TwipsToPixels(rect.Top), TwipsToPixels(rect.Width),
                 TwipsToPixels(rect.Height));
}

}  // namespace

MonitorView::MonitorView(std::vector<std::unique_ptr<Label>>& labels, QWidget* parent)
    : QWidget(parent), labels_(labels) {
    setObjectName(QStringLiteral("Label8"));
    // Every pixel belongs to a cell, and each paint covers what it was asked to.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QRect bounds;
    for (const auto& label : labels_) bounds |= PixelRect(label->Rect);
    setGeometry(bounds);
    QPointer<MonitorView> guard(this);
    for (std::size_t index = 0; index < labels_.size(); ++index) {
        cells_.push_back(PixelRect(labels_[index]->Rect).translated(-bounds.topLeft()));
        labels_[index]->Changed = [guard, index] {
            if (guard) guard->update(guard->cells_[index]);
        };
    }
}

// Cells overlap by a pixel, as the labels did; painting them in index order keeps the later one on top.
void MonitorView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRegion& region = event->region();
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        const QRect& cell = cells_[index];
        if (!region.intersects(cell)) continue;
        const Label& label = *labels_[index];
        const Rgb back = label.BackColor();
        const Rgb fore = label.ForeColor();
        painter.fillRect(cell, QColor(back.r, back.g, back.b));
        painter.setPen(QColor(fore.r, fore.g, fore.b));
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(label.Caption()));
    }
}
