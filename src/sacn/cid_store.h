#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sacn/sacn_packets.h"

// Where the bridge keeps its CID from one run to the next: a file under the state directory on Linux, the
// user's registry on Windows. The text is the CID as a UUID, e.g. "0f8d5e3a-8c1b-4d2e-9a7f-3b6c2d1e0a94".
class CidStore {
public:
    virtual ~CidStore() = default;
    // The stored text, "" when nothing is stored yet. A store that exists but cannot be read throws
    // CidStoreError with the reason.
    virtual std::string Load() = 0;
    // Keeps the text, replacing what was stored; CidStoreError with the reason when it cannot.
    virtual void Save(const std::string& text) = 0;
    // Where the CID lives, for messages: a path or a registry key.
    virtual std::string Where() const = 0;
};

class CidStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SacnCidChoice {
    SacnCid Cid{};
    // Empty when the stored CID was taken; otherwise what happened, to be said once.
    std::string Note;
    // The store could not be read or written: the CID holds for this run only.
    bool Warning = false;
};

// The stored CID; a fresh random one, kept in the store, when nothing valid is stored.
SacnCidChoice LoadOrMakeCid(CidStore& store);

// A random (version 4, variant 1) UUID.
SacnCid MakeRandomCid();
std::string CidText(const SacnCid& cid);
// The UUID in its 36-character form (either case), surrounding white space allowed; nullopt otherwise.
std::optional<SacnCid> ParseCidText(std::string_view text);
