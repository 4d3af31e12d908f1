#include "platform/qt/monitor_view.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <cstring>

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

// A rectangle of the view in device pixels.
QRect DeviceRect(const QRect& rect, qreal ratio) {
    const QPoint topLeft(qRound(rect.left() * ratio), qRound(rect.top() * ratio));
    const QPoint end(qRound((rect.right() + 1) * ratio), qRound((rect.bottom() + 1) * ratio));
    return QRect(topLeft, end - QPoint(1, 1));
}

// The level a caption shows ("0" to "255", as the monitor writes it), or -1 for any other text.
int LevelOf(const std::string& caption) {
    if (caption.empty() || caption.size() > 3 || (caption.size() > 1 && caption[0] == '0')) return -1;
    int level = 0;
    for (char digit : caption) {
        if (digit < '0' || digit > '9') return -1;
        level = level * 10 + (digit - '0');
    }
    return level <= 255 ? level : -1;
}

// Other looks kept at most; past it they are drawn afresh.
constexpr std::size_t kMaxLooks = 1024;

const QEvent::Type kUpdateMarked = QEvent::User;

}  // namespace

MonitorView::MonitorView(std::vector<std::unique_ptr<Label>>& labels, QWidget* parent)
    : QWidget(parent), labels_(labels), marked_(labels.size()) {
    setObjectName(QStringLiteral("Label8"));
    // Every pixel belongs to a cell, and each paint covers what it was asked to.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QRect bounds;
    for (const auto& label : labels_) bounds |= PixelRect(label->Rect);
    setGeometry(bounds);
    for (const auto& label : labels_) cells_.push_back(PixelRect(label->Rect).translated(-bounds.topLeft()));
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        QRect shown = cells_[index];
        for (std::size_t later = index + 1; later < cells_.size(); ++later) {
            const QRect& above = cells_[later];
            if (!shown.intersects(above)) continue;
            if (above.left() > shown.left()) shown.setRight(above.left() - 1);
            if (above.top() > shown.top()) shown.setBottom(above.top() - 1);
        }
        shown_.push_back(shown);
    }
    // The parent view releases these hooks before this widget, its child, goes.
    for (std::size_t index = 0; index < labels_.size(); ++index)
        labels_[index]->Changed = [this, index] { Mark(index); };
}

void MonitorView::Mark(std::size_t index) {
    marked_[index] = true;
    if (updatePosted_) return;
    updatePosted_ = true;
    QCoreApplication::postEvent(this, new QEvent(kUpdateMarked));
}

void MonitorView::customEvent(QEvent* event) {
    if (event->type() != kUpdateMarked) return;
    updatePosted_ = false;
    update(DrawMarkedCells());
}

QRect MonitorView::DrawMarkedCells() {
    const bool drawnAfresh = EnsureGrid();
    QRect changed = drawnAfresh ? rect() : QRect();
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        if (!marked_[index]) continue;
        marked_[index] = false;
        if (!drawnAfresh) changed |= DrawCell(index);
    }
    return changed;
}

bool MonitorView::EnsureGrid() {
    const qreal ratio = devicePixelRatioF();
    if (!grid_.isNull() && grid_.devicePixelRatio() == ratio) return false;
    looks_.clear();
    levelLooks_.fill(QImage());
    grid_ = QImage(DeviceRect(rect(), ratio).size(), QImage::Format_RGB32);
    grid_.setDevicePixelRatio(ratio);
    for (std::size_t index = 0; index < cells_.size(); ++index) DrawCell(index);
    return true;
}

QRect MonitorView::DrawCell(std::size_t index) {
    const QImage& look = LookOf(*labels_[index], cells_[index].size());
    const qreal ratio = grid_.devicePixelRatio();
    const QRect to = DeviceRect(shown_[index], ratio);
    const QPoint from = to.topLeft() - DeviceRect(cells_[index], ratio).topLeft();
    const int rows = std::min(to.height(), look.height() - from.y());
    const auto rowBytes = static_cast<std::size_t>(std::min(to.width(), look.width() - from.x())) * 4;
    const qsizetype targetStride = grid_.bytesPerLine();
    const qsizetype sourceStride = look.bytesPerLine();
    uchar* target = grid_.bits() + to.top() * targetStride + to.left() * 4;
    const uchar* source = look.constBits() + from.y() * sourceStride + from.x() * 4;
    for (int row = 0; row < rows; ++row, target += targetStride, source += sourceStride)
        std::memcpy(target, source, rowBytes);
    return shown_[index];
}

std::size_t MonitorView::LookHash::operator()(const Look& look) const {
    std::size_t hash = std::hash<std::string>()(look.caption);
    for (std::size_t part : {std::size_t{look.back}, std::size_t{look.fore},
                             static_cast<std::size_t>(look.width << 16 | look.height)})
        hash = hash * 31 + part;
    return hash;
}

const QImage& MonitorView::LookOf(const Label& label, QSize size) {
    const int level = LevelOf(label.Caption());
    if (level >= 0 && label.BackColor() == RGB(level, 0, 0) && label.ForeColor() == kWhite &&
        size == cells_.front().size()) {
        QImage& look = levelLooks_[static_cast<std::size_t>(level)];
        if (look.isNull()) look = Drawn(label, size);
        return look;
    }
    Look look{label.Caption(), Packed(label.BackColor()), Packed(label.ForeColor()), size.width(),
              size.height()};
    auto found = looks_.find(look);
    if (found != looks_.end()) return found->second;
    if (looks_.size() >= kMaxLooks) looks_.clear();
    return looks_.emplace(std::move(look), Drawn(label, size)).first->second;
}

// The text sits at the left, centred in the cell's height, where a label puts it.
QImage MonitorView::Drawn(const Label& label, QSize size) const {
    const qreal ratio = grid_.devicePixelRatio();
    QImage image(DeviceRect(QRect(QPoint(0, 0), size), ratio).size(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setFont(font());
    painter.fillRect(QRect(QPoint(0, 0), size), ToQColor(label.BackColor()));
    painter.setPen(ToQColor(label.ForeColor()));
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(label.Caption()));
    painter.end();
    return image;
}

// Whatever asks for a paint sees the labels as they are now, marked cells included; marked cells outside
// this paint are painted next.
void MonitorView::paintEvent(QPaintEvent* event) {
    const QRegion missed = QRegion(DrawMarkedCells()) - event->region();
    if (!missed.isEmpty()) update(missed);
    QPainter painter(this);
    const qreal ratio = grid_.devicePixelRatio();
    for (const QRect& part : event->region()) painter.drawImage(part, grid_, DeviceRect(part, ratio));
}
