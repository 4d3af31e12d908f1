#pragma once

#include <string>

// A message box with one OK button. Show returns when the user has closed it (or at once where no person
// can answer it, in which case the text goes to the log).
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text) = 0;
    // True while a box shown by this service is still open; a nested event loop may run meanwhile.
    virtual bool IsOpen() const = 0;
};
