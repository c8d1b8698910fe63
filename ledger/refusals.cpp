#include "ledger/refusals.h"

namespace sn {

namespace {
const char* const kNothingSent = " Nothing was sent to the pager.";
}  // namespace

Refusal RefuseNothingSent(Refusal::Kind kind, const std::string& reason) {
    return Refusal{kind, reason + kNothingSent, reason};
}

Refusal RefusePlain(Refusal::Kind kind, const std::string& message) {
    return Refusal{kind, message, message};
}

Refusal RefuseDuplicate(const LedgerEntry& e, const std::string& source) {
    const LogRow& r = e.row;
    const std::string at = " on " + r.time + " at station " + r.station + " (port " + r.port + ")";
    std::string reason;
    switch (e.state) {
        case NumberState::InDoubt:
            reason = "The serial number " + e.serial + " was reserved" + at +
                     " and no outcome was recorded, " + source +
                     ": it may be in a pager, and counts as used.";
            break;
        case NumberState::BrokenOff:
            reason = "The serial number " + e.serial + " went into a pager" + at +
                     " whose write broke off (" + r.outcome + "), " + source +
                     "; sntool resume finishes that pager.";
            break;
        default:
            reason =
                "The serial number " + e.serial + " was already written" + at + ", " + source + ".";
            break;
    }
    return RefuseNothingSent(Refusal::Kind::Duplicate, reason);
}

Refusal RefuseNotResumable(const Serial& serial, NumberState state) {
    return RefusePlain(Refusal::Kind::NotResumable,
                       "The serial number " + serial.Text() + " is " + StateName(state) +
                           ", not one whose write broke off; there is nothing to resume.");
}

}  // namespace sn
