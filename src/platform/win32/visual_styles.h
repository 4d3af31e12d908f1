#pragma once

#include "platform/win32/win32_headers.h"

// The common controls of version 6, which draw in the system's visual styles, chosen by the manifest this
// module carries as its resource 2: the host's own program may have no such manifest, and then every control
// it creates is a classic one. A module without the manifest gets the classic controls.
class VisualStyles {
public:
    // The manifest's resource number in a DLL (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
    static constexpr int kManifestResource = 2;

    VisualStyles();
    VisualStyles(const VisualStyles&) = delete;
    VisualStyles& operator=(const VisualStyles&) = delete;
    ~VisualStyles();

    // While a Scope lives, the windows created on this thread are version 6 controls.
    class Scope {
    public:
        explicit Scope(const VisualStyles& styles);
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope();

    private:
        ULONG_PTR cookie_ = 0;
        bool active_ = false;
    };

private:
    HANDLE context_;
};
