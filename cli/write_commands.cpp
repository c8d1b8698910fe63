// The commands that number one pager (write, resume), and their ledger.

#include <utility>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "ledger/journal.h"
#include "workflow/texts.h"

namespace sn::cli {

int RefusalExit(const Refusal& refusal) {
    switch (refusal.kind) {
        case Refusal::Kind::Duplicate:
            return kExitDuplicate;
        case Refusal::Kind::Unusable:
            return kExitLedger;
        case Refusal::Kind::NotResumable:
            return kExitNumbered;
    }
    return kExitOther;
}

// A pager found numbered by a write was seated after the monitor had found
// one ready.
int OutcomeExit(const PagerResult& result) {
    static constexpr std::pair<Outcome, int> kExits[] = {
        {Outcome::Read, kExitDone},
        {Outcome::Written, kExitDone},
        {Outcome::Verified, kExitDone},
        {Outcome::VerifyMismatch, kExitVerifyMismatch},
        {Outcome::WrittenUnverified, kExitReadError},
        {Outcome::ModelRefused, kExitModelRefused},
        {Outcome::AlreadyNumbered, kExitNumbered},
        {Outcome::ReadError, kExitReadError},
        {Outcome::WriteError, kExitWriteError},
    };
    if (result.outcome == Outcome::Refused) {
        return RefusalExit(*result.refusal);
    }
    for (const auto& [outcome, code] : kExits) {
        if (outcome == result.outcome) {
            return code;
        }
    }
    return kExitOther;
}

// Every number goes through the ledger: the journal named by --log, or one
// kept in memory for this run.
bool Session::OpenLedger() {
    LedgerOptions where;
    std::string error;
    if (!LedgerChoice(where, error)) {
        err_ << "sntool: " << error << " Nothing was sent to the pager.\n";
        return false;
    }
    LedgerHooks& hooks =
        station_.UseLedger([this](const std::string& text, BoxIcon) { console_.Box(text); }, where);
    std::vector<std::string> notes;
    const bool ok = station_.Ledger()->Open(notes, error);
    for (const std::string& note : notes) {
        err_ << "sntool: " << note << "\n";
    }
    if (!ok) {
        err_ << "sntool: " << error << " Nothing was sent to the pager.\n";
        return false;
    }
    hooks.SetReserveMode(o_.allowDuplicate ? ReserveMode::AllowDuplicate : ReserveMode::Fresh);
    return true;
}

// Before waiting for a pager: a number the ledger would refuse is refused
// at once. The reservation itself comes with the write.
std::optional<int> Session::Guard(const Serial& serial) {
    const auto refusal = station_.Ledger()->Check(serial, ReserveMode::Fresh);
    if (!refusal) {
        return std::nullopt;
    }
    if (refusal->kind == Refusal::Kind::Duplicate && o_.allowDuplicate) {
        // Said once, recorded in the row, and let through.
        if (!duplicateNoted_) {
            err_ << "sntool: --allow-duplicate: " << refusal->reason << "\n";
        }
        duplicateNoted_ = true;
        return std::nullopt;
    }
    err_ << "sntool: " << refusal->message << "\n";
    return RefusalExit(*refusal);
}

PagerResult Session::Transact(const Serial& serial, bool resume) {
    const PagerResult r =
        resume ? Engine().Resume(serial, o_.verify) : Engine().Write(serial, o_.verify);
    if (r.refusal) {
        console_.Box(r.refusal->message);
    } else if (r.error != PagerError::None) {
        console_.ShowError(r.error);
    } else if (r.mismatch) {
        err_ << MismatchLine(*r.mismatch) << "\n";
    } else if (r.outcome == Outcome::Verified && o_.command != "batch") {
        console_.Say("Verify: blocks 4, 5, 240 and 241 read back as written.");
    }
    return r;
}

// Written, but its row is missing: the number stays in doubt, and the
// command does not end as done.
int Session::WriteExit(const PagerResult& r) {
    const int code = OutcomeExit(r);
    return code == kExitDone && !r.recorded ? kExitOther : code;
}

int Session::Write() {
    if (const auto refused = Guard(*o_.serial)) {
        return *refused;
    }
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready) {
        return TimeoutExit(outcome);
    }
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = Transact(*o_.serial, false);
    EndWriting();
    return WriteExit(r);
}

// The pager in the cradle holds a number whose write broke off: the same
// number is written into it again, all four blocks. A pager may set its
// has-serial bit only with the write-finish command, so after a write that
// broke off before it the status says "ready": the area decides, whatever
// the status says.
int Session::Resume() {
    int code = kExitDone;
    const auto area = SeatedArea(code);
    if (!area) {
        return code;
    }
    if (area->At(kMarkByteAddress) != kMarkNumbered) {
        err_ << "sntool: the pager holds no serial number; there is nothing to resume "
                "(give it one with sntool write)\n";
        return kExitOther;
    }
    std::string held;
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        held.push_back(static_cast<char>(area->At(static_cast<std::uint16_t>(kSerialAddress + i))));
    }
    const auto serial = Serial::Parse(held);
    const LedgerEntry entry = serial ? station_.Ledger()->Lookup(*serial) : LedgerEntry{};
    if (!serial || serial->Text() != held ||
        (entry.state != NumberState::InDoubt && entry.state != NumberState::BrokenOff)) {
        console_.Say(PlainLines(std::string(text::kAlreadyNumbered).substr(1)));
        err_ << "sntool: the pager's serial number is not one whose write broke off, as the "
                "production log records; it stays as it is\n";
        return kExitNumbered;
    }
    console_.Say("Resuming " + serial->Text() + ": " + StateName(entry.state) + " since " +
                 entry.row.time + " (" + entry.row.outcome + ", station " + entry.row.station +
                 ", port " + entry.row.port + ").");
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = Transact(*serial, true);
    EndWriting();
    return WriteExit(r);
}

}  // namespace sn::cli
