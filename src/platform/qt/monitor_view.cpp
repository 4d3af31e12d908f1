#include "platform/qt/monitor_view.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>

#include "platform/qt/control_views.h"

namespace {

QRect PixelRect(const TwipRect& rect) {
    return QRect(TwipsToPixels(rect.Left), TwipsToPixels(rect.Top), TwipsToPixels(rect.Width),
                 TwipsToPixels(rect.Height));
}

QColor ToQColor(Rgb colour) {
    return QColor(colour.r, colour.g, colour.b);
}

std::uint32_t Packed(Rgb colour) {
    return static_cast<std::uint32_t>(colour.r << 16 | colour.g << 8 | colour.b);
}

// Looks kept at most; past it the cache starts afresh (the monitor's levels need 256).
constexpr std::size_t kMaxLooks = 1024;

const QEvent::Type kUpdateMarked = QEvent::User;

}  // namespace

MonitorView::MonitorView(std::vector<std::unique_ptr<Label>>& labels, int columns, QWidget* parent)
    : QWidget(parent),
      labels_(labels),
      columns_(static_cast<std::size_t>(columns)),
      marked_(labels.size()),
      shown_(labels.size()) {
    setObjectName(QStringLiteral("Label8"));
    // Every pixel belongs to a cell, and each paint covers what it was asked to.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QRect bounds;
    for (const auto& label : labels_) bounds |= PixelRect(label->Rect);
    setGeometry(bounds);
    // The parent view releases these hooks before this widget, its child, goes.
    for (std::size_t index = 0; index < labels_.size(); ++index) {
        cells_.push_back(PixelRect(labels_[index]->Rect).translated(-bounds.topLeft()));
        labels_[index]->Changed = [this, index] { Mark(index); };
    }
}

void MonitorView::Mark(std::size_t index) {
    marked_[index] = true;
    shown_[index] = nullptr;
    if (updatePosted_) return;
    updatePosted_ = true;
    QCoreApplication::postEvent(this, new QEvent(kUpdateMarked));
}

// Each run of marked cells in a row becomes one rectangle of the update.
void MonitorView::customEvent(QEvent* event) {
    if (event->type() != kUpdateMarked) return;
    updatePosted_ = false;
    QRegion region;
    for (std::size_t rowStart = 0; rowStart < cells_.size(); rowStart += columns_) {
        const std::size_t rowEnd = std::min(rowStart + columns_, cells_.size());
        for (std::size_t index = rowStart; index < rowEnd; ++index) {
            if (!marked_[index]) continue;
            QRect run = cells_[index];
            while (index + 1 < rowEnd && marked_[index + 1]) run |= cells_[++index];
            region += run;
        }
    }
    std::fill(marked_.begin(), marked_.end(), false);
    update(region);
}

std::size_t MonitorView::LookHash::operator()(const Look& look) const {
    std::size_t hash = std::hash<std::string>()(look.caption);
    for (std::size_t part : {std::size_t{look.back}, std::size_t{look.fore},
                             static_cast<std::size_t>(look.width << 16 | look.height)})
        hash = hash * 31 + part;
    return hash;
}

void MonitorView::ForgetLooks() {
    looks_.clear();
    std::fill(shown_.begin(), shown_.end(), nullptr);
}

// The text sits at the left, centred in the cell's height, where a label puts it.
const QImage& MonitorView::ImageOf(const Label& label, QSize size, qreal ratio) {
    Look look{label.Caption(), Packed(label.BackColor()), Packed(label.ForeColor()), size.width(),
              size.height()};
    auto found = looks_.find(look);
    if (found != looks_.end()) return found->second;
    if (looks_.size() >= kMaxLooks) ForgetLooks();
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setFont(font());
    painter.fillRect(QRect(QPoint(0, 0), size), ToQColor(label.BackColor()));
    painter.setPen(ToQColor(label.ForeColor()));
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(label.Caption()));
    painter.end();
    return looks_.emplace(std::move(look), std::move(image)).first->second;
}

// Cells overlap by a pixel, as the labels did; painting them in index order keeps the later one on top.
void MonitorView::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    if (ratio != looksRatio_) {
        ForgetLooks();
        looksRatio_ = ratio;
    }
    QPainter painter(this);
    const QRegion& region = event->region();
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        const QRect& cell = cells_[index];
        if (!region.intersects(cell)) continue;
        if (!shown_[index]) shown_[index] = &ImageOf(*labels_[index], cell.size(), ratio);
        painter.drawImage(cell.topLeft(), *shown_[index]);
    }
}
