#pragma once

// The open-file dialog module: placeholder until it lands.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
};
