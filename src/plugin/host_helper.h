#pragma once

// The host's helper object as the plug-in holds it: making one takes a reference on the host's object and
// destroying it releases that reference. Nothing else of the object is ever used.
class HostHelperReference {
public:
    HostHelperReference() = default;
    HostHelperReference(const HostHelperReference&) = delete;
    HostHelperReference& operator=(const HostHelperReference&) = delete;
    virtual ~HostHelperReference() = default;
};
