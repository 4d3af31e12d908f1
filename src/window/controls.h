#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The window's controls as the system's logic sees them: a few properties and an event each. A view (or a
// timer engine) follows an object through its Changed hook; the logic never touches the view.

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb RGB(int r, int g, int b) {
    return Rgb{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}
inline constexpr Rgb kBlack = RGB(0, 0, 0);
inline constexpr Rgb kWhite = RGB(255, 255, 255);
inline constexpr Rgb kDarkGrey = RGB(64, 64, 64);

// Position and size in twips, from the top-left of the client area or of the containing group box.
struct TwipRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

class Control {
public:
    explicit Control(std::string name) : Name(std::move(name)) {}
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    const std::string Name;
    TwipRect Rect;
    const Control* Container = nullptr;
    // Raised after any property changes, for the view.
    std::function<void()> Changed;

protected:
    void NotifyChanged() {
        if (Changed) Changed();
    }
};

class Label : public Control {
public:
    using Control::Control;
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    Rgb BackColor() const { return back_; }
    void SetBackColor(Rgb colour);
    Rgb ForeColor() const { return fore_; }
    void SetForeColor(Rgb colour);

private:
    std::string caption_;
    Rgb back_ = kBlack;
    Rgb fore_ = kWhite;
};

class GroupBox : public Control {
public:
    using Control::Control;
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);

private:
    std::string caption_;
};

class Button : public Control {
public:
    using Control::Control;
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    std::function<void()> Click;
    // What a user's click does.
    void PerformClick() {
        if (Click) Click();
    }

private:
    std::string caption_;
};

class ScrollBar : public Control {
public:
    using Control::Control;
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Value() const { return value_; }
    void SetRange(int min, int max);
    // Raises Change once when the value really changes; a value outside Min..Max is refused (thrown).
    void SetValue(int value);
    std::function<void()> Change;

private:
    int min_ = 0, max_ = 32767, value_ = 0;
};

class ListBox : public Control {
public:
    using Control::Control;
    const std::vector<std::string>& Items() const { return items_; }
    void Clear();
    void AddItem(const std::string& item);
    int ListIndex() const { return index_; }
    // Selecting an entry (by mouse or keyboard) raises Click when the selection changes.
    void SetListIndex(int index);
    // The selected entry's text, "" when none is selected.
    std::string Text() const;
    std::function<void()> Click;

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

class StatusBar : public Control {
public:
    using Control::Control;
    const std::string& SimpleText() const { return text_; }
    void SetSimpleText(const std::string& text);
    // Raised with the new text on every real change, for a host that follows the status (the view follows
    // through Changed).
    std::function<void(const std::string& text)> TextChanged;

private:
    std::string text_;
};

// A timer as the logic sees it; the platform's timer engine follows Enabled and Interval through Changed and
// calls Fire on every period.
class Timer : public Control {
public:
    using Control::Control;
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled_; }
    // Enabling a running timer restarts its count.
    void SetEnabled(bool enabled);
    std::function<void()> Tick;
    void Fire() {
        if (enabled_ && Tick) Tick();
    }
    // Bumped by every SetEnabled(true), so an engine can tell a restart from no change.
    unsigned Starts() const { return starts_; }
    // A tick that has work only when input waits, and whose owner calls Fire when input arrives: the engine
    // then ticks it once an interval after each start (for input that came while it was stopped) instead of
    // on every period.
    bool TicksOnInput() const { return ticksOnInput_; }
    void SetTicksOnInput(bool onInput);

private:
    int interval_ = 0;
    bool enabled_ = false;
    unsigned starts_ = 0;
    bool ticksOnInput_ = false;
};
