#include "com_sacn.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include "com_call.h"
#include "window_actions.h"

namespace {

SacnBridge& Sacn() {
    return SacnSide(TheModule().Plugin());
}

// Runs one method of this interface. An argument out of range fails as automation callers expect of one,
// E_INVALIDARG, with the reason as its description; any other failure as the other interfaces' do.
template <typename Action>
HRESULT SacnCall(std::initializer_list<const void*> outs, Action&& action) {
    std::string outOfRange;
    const HRESULT result = Guarded(IID_IVantorSacn, Reach::PluginState, outs, [&] {
        try {
            action();
        } catch (const std::out_of_range& bad) {
            outOfRange = bad.what();
        }
    });
    if (!outOfRange.empty()) return ReportFailure(IID_IVantorSacn, E_INVALIDARG, outOfRange);
    return result;
}

}  // namespace

HRESULT ComSacn::SetProtocol(LONG Protocol) {
    return SacnCall({}, [&] { ChooseProtocol(TheModule().Plugin(), Protocol); });
}

HRESULT ComSacn::SetPriority(LONG Priority) {
    return SacnCall({}, [&] { Sacn().SetPriority(Priority); });
}

HRESULT ComSacn::SetTtl(LONG Ttl) {
    return SacnCall({}, [&] { Sacn().SetTtl(Ttl); });
}

HRESULT ComSacn::get_Protocol(LONG* result) {
    return SacnCall({result}, [&] { *result = static_cast<LONG>(ChosenProtocol(TheModule().Plugin())); });
}

HRESULT ComSacn::get_SourceCount(LONG* result) {
    return SacnCall({result}, [&] { *result = static_cast<LONG>(Sacn().Receiver().Sources().size()); });
}

HRESULT ComSacn::get_Winner(BSTR* result) {
    return SacnCall({result}, [&] {
        const SacnReceiver& receiver = Sacn().Receiver();
        const auto winner = receiver.Winner();
        *result = AllocatedText(winner ? std::string(receiver.Sources()[*winner].Name()) : std::string());
    });
}

HRESULT ComSacn::get_Merging(VARIANT_BOOL* result) {
    return SacnCall({result}, [&] { *result = Sacn().Receiver().Merging() ? VARIANT_TRUE : VARIANT_FALSE; });
}

HRESULT ComSacn::get_IgnoredCount(LONG* result) {
    return SacnCall({result}, [&] {
        std::uint64_t ignored = 0;
        for (std::size_t reason = 0; reason < kSacnIgnoredReasons; ++reason)
            ignored += Sacn().Receiver().Ignored(static_cast<SacnIgnored>(reason));
        // An automation long; a count past it stays at its largest.
        *result = static_cast<LONG>(std::min<std::uint64_t>(ignored, LONG_MAX));
    });
}

HRESULT ComSacn::get_Universe(LONG* result) {
    return SacnCall({result}, [&] { *result = ChosenUniverse(TheModule().Plugin()); });
}
