#include "sacn/cid_store.h"

#include <random>

#include "stuff/trimmed.h"

namespace {

constexpr std::size_t kUuidTextLength = 36;

bool IsDashAt(std::size_t at) {
    return at == 8 || at == 13 || at == 18 || at == 23;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

SacnCid MakeRandomCid() {
    std::random_device entropy;
    SacnCid cid{};
    for (std::size_t at = 0; at < cid.size(); at += 4) {
        const std::uint32_t word = entropy();
        for (std::size_t i = 0; i < 4; ++i) cid[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    cid[6] = static_cast<std::uint8_t>((cid[6] & 0x0F) | 0x40);
    cid[8] = static_cast<std::uint8_t>((cid[8] & 0x3F) | 0x80);
    return cid;
}

std::string CidText(const SacnCid& cid) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(kUuidTextLength);
    for (std::size_t i = 0; i < cid.size(); ++i) {
        if (IsDashAt(text.size())) text += '-';
        text += kDigits[cid[i] >> 4];
        text += kDigits[cid[i] & 0x0F];
    }
    return text;
}

std::optional<SacnCid> ParseCidText(std::string_view text) {
    text = Trimmed(text);
    if (text.size() != kUuidTextLength) return std::nullopt;
    SacnCid cid{};
    std::size_t byte = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (IsDashAt(at)) {
            if (text[at] != '-') return std::nullopt;
            ++at;
            continue;
        }
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        cid[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        at += 2;
    }
    return cid;
}

SacnCidChoice LoadOrMakeCid(CidStore& store) {
    std::string stored;
    try {
        stored = store.Load();
    } catch (const CidStoreError& error) {
        return {MakeRandomCid(),
                "cannot read the sACN CID from " + store.Where() + ": " + error.what() +
                    "; using a new one for this run",
                true};
    }
    if (const auto cid = ParseCidText(stored)) return {*cid, {}, false};

    SacnCidChoice choice{MakeRandomCid(), {}, false};
    const std::string why = Trimmed(stored).empty() ? "none stored" : "the stored one is not a UUID";
    try {
        store.Save(CidText(choice.Cid));
        choice.Note = "new sACN CID " + CidText(choice.Cid) + " (" + why + ") kept in " + store.Where();
    } catch (const CidStoreError& error) {
        choice.Note = "cannot keep the sACN CID in " + store.Where() + ": " + error.what() + "; " +
                      CidText(choice.Cid) + " holds for this run only";
        choice.Warning = true;
    }
    return choice;
}
