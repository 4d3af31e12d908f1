#pragma once

#include <string>

// Where the node tells a person what goes on. On a terminal the status table stays at the bottom, kept
// current, and each journal line appears above it; elsewhere (the journal) there are plain lines only, on
// standard error.
class StatusScreen {
public:
    StatusScreen();
    bool OnTerminal() const { return terminal_; }
    void Print(const std::string& line);
    void ShowTable(const std::string& table);
    // Leaves the table as it stands.
    void Finish();

private:
    void Erase();

    bool terminal_;
    std::string table_;
    int tableLines_ = 0;
};
