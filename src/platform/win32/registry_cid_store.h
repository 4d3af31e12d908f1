#pragma once

#include "sacn/cid_store.h"

// The bridge's CID in the user's registry: the value "CID" of HKEY_CURRENT_USER\Software\VantorDMX\sACN, the
// product's own key beside its uninstall entry "VantorDMX". Per user, as the plug-in runs in the user's host.
class RegistryCidStore : public CidStore {
public:
    std::string Load() override;
    void Save(const std::string& text) override;
    std::string Where() const override;
};
