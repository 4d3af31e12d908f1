#include "window/controls.h"

#include <stdexcept>

void Label::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    NotifyChanged();
}

void Label::SetBackColor(Rgb colour) {
    if (back_ == colour) return;
    back_ = colour;
    NotifyChanged();
}

void Label::SetForeColor(Rgb colour) {
    if (fore_ == colour) return;
    fore_ = colour;
    NotifyChanged();
}

void GroupBox::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    NotifyChanged();
}

void Button::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    NotifyChanged();
}

void ScrollBar::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    NotifyChanged();
}

void ScrollBar::SetValue(int value) {
    if (value < min_ || value > max_) throw std::out_of_range("Invalid property value");
    if (value == value_) return;
    value_ = value;
    NotifyChanged();
    if (Change) Change();
}

void ListBox::Clear() {
    items_.clear();
    index_ = -1;
    NotifyChanged();
}

void ListBox::AddItem(const std::string& item) {
    items_.push_back(item);
    NotifyChanged();
}

void ListBox::SetListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size()))
        throw std::out_of_range("Invalid property value");
    if (index == index_) return;
    index_ = index;
    NotifyChanged();
    if (index_ >= 0 && Click) Click();
}

std::string ListBox::Text() const {
    return index_ >= 0 ? items_[static_cast<std::size_t>(index_)] : std::string();
}

void StatusBar::SetSimpleText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    NotifyChanged();
    if (TextChanged) TextChanged(text_);
}

void Timer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    NotifyChanged();
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) ++starts_;
    NotifyChanged();
}

void Timer::SetTicksOnInput(bool onInput) {
    if (ticksOnInput_ == onInput) return;
    ticksOnInput_ = onInput;
    NotifyChanged();
}
