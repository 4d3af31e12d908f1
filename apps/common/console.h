#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// "3.2 s"
std::string SecondsText(std::chrono::steady_clock::duration span);

// Where the host tells a person what is going on. On a terminal, one line is kept current in place and
// lasting lines appear above it; elsewhere (a pipe, a file, the journal) there are plain lines only.
class Console {
public:
    // quiet: nothing at all is written.
    Console(std::FILE* out, bool quiet);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool Quiet() const { return quiet_; }
    bool OnTerminal() const { return terminal_; }
    // Replaces the line kept current; only on a terminal.
    void Show(const std::string& text);
    // A line that stays: printed above the current line on a terminal, a plain log line elsewhere.
    void Print(const std::string& text);
    // A complaint about the host's input, on standard error even when quiet.
    void Warn(const std::string& text);
    // Leaves the current line as it stands and moves below it.
    void Finish();

    // The plug-in's own log lines go to standard error; on the same terminal each must first clear the
    // current line, or it would run on from it. Call before the plug-in is loaded.
    void PrepareForPluginLog() const;

private:
    void Clear();
    int Columns() const;

    std::FILE* out_;
    bool quiet_;
    bool terminal_;
    bool showing_ = false;
    std::string shown_;
};
