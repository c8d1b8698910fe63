// The commands that number one pager (write, resume), and their ledger.

#include <cstdio>
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

namespace {

// The exit code a single write gives for how its transaction ended; a pager
// found numbered here was seated after the monitor had found one ready.
int EndExit(TransactionEnd end) {
    static constexpr std::pair<TransactionEnd, int> kExits[] = {
        {TransactionEnd::Written, kExitDone},
        {TransactionEnd::ModelRefused, kExitModelRefused},
        {TransactionEnd::AlreadyNumbered, kExitNumbered},
        {TransactionEnd::ReadError, kExitReadError},
        {TransactionEnd::WriteError, kExitWriteError},
    };
    for (const auto& [e, code] : kExits) {
        if (e == end) {
            return code;
        }
    }
    return kExitOther;
}

}  // namespace

// Every number goes through the ledger: the journal named by --log, or one
// kept in memory for this run.
bool Session::OpenLedger() {
    LedgerOptions where;
    std::string error;
    if (!LedgerChoice(where, error)) {
        err_ << "sntool: " << error << " Nothing was sent to the pager.\n";
        return false;
    }
    LedgerHooks& hooks = station_.UseLedger(form_, where);
    std::vector<std::string> notes;
    const bool ok = station_.Ledger()->Open(notes, error);
    for (const std::string& note : notes) {
        err_ << "sntool: " << note << "\n";
    }
    if (!ok) {
        err_ << "sntool: " << error << " Nothing was sent to the pager.\n";
        return false;
    }
    hooks.SetReserveMode(o_.command == "resume" ? ReserveMode::Resume
                         : o_.allowDuplicate    ? ReserveMode::AllowDuplicate
                                                : ReserveMode::Fresh);
    hooks.HoldWrittenForVerify(o_.verify);
    return true;
}

// Before waiting for a pager: a number the ledger would refuse is refused
// at once. The reservation itself comes with the Write button.
std::optional<int> Session::Guard(const std::string& serial) {
    const auto refusal = station_.Ledger()->Check(*Serial::Parse(serial), ReserveMode::Fresh);
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

PagerResult Session::Transact(const std::function<void()>& start) {
    start();
    View().WaitForTransaction();
    PagerResult r;
    r.record = View().LastTransaction();
    if (r.record.end == TransactionEnd::Refused) {
        const auto refusal = Hooks().LastRefusal();
        r.code = refusal ? RefusalExit(*refusal) : kExitOther;
        return r;  // nothing was sent, nothing settled
    }
    r.code = EndExit(r.record.end);
    if (r.record.end == TransactionEnd::Written && o_.verify) {
        const std::size_t boxes = form_.BoxTitles().size();
        r.code = Verify();
        Hooks().SettleHeld(r.code == kExitDone ? outcome::kVerified
                           : r.code == kExitVerifyMismatch
                               ? outcome::kVerifyMismatch
                               : std::string(outcome::kWritten) +
                                     " (verify: " + form_.BoxTitles().at(boxes) + ")");
    }
    r.outcome = Hooks().LastOutcome();
    if (!Hooks().LastSettleError().empty() && r.code == kExitDone) {
        r.code = kExitOther;  // written, but its row is missing: the number stays in doubt
    }
    return r;
}

// The operator's steps on a pager found ready: type, leave the field, press
// the button.
PagerResult Session::WriteSeated(const std::string& serial) {
    return Transact([&] {
        form_.SetSerialText(serial);
        View().OnSerialKillFocus();
        View().OnWriteButton();
    });
}

int Session::Write() {
    const std::string serial = UpperSerial(o_.serial);
    if (const auto refused = Guard(serial)) {
        return *refused;
    }
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready) {
        return TimeoutExit(outcome);
    }
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = WriteSeated(serial);
    EndWriting();
    return r.code;
}

// The pager in the cradle holds a number whose write broke off: the same
// number is written into it again, all four blocks.
int Session::Resume() {
    const TickOutcome outcome = WaitForPager();
    if (outcome == TickOutcome::Ready) {
        err_ << "sntool: the pager holds no serial number; there is nothing to resume "
                "(give it one with sntool write)\n";
        return kExitOther;
    }
    if (outcome != TickOutcome::AlreadyNumbered) {
        return TimeoutExit(outcome);
    }
    const BlockReadResult area = ReadArea();
    if (!area.errorText.empty()) {
        form_.MessageBox(area.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    const std::size_t at = kSerialAddress - kInfoAreaStart;
    const std::string held(area.bytes.begin() + static_cast<long>(at),
                           area.bytes.begin() + static_cast<long>(at + kSerialLength));
    const auto parsed = Serial::Parse(held);
    const auto serial = parsed ? std::optional<std::string>(parsed->Text()) : std::nullopt;
    const LedgerEntry entry = parsed ? station_.Ledger()->Lookup(*parsed) : LedgerEntry{};
    const bool broken =
        area.bytes[kMarkByteAddress - kInfoAreaStart] == kMarkNumbered && serial == held &&
        (entry.state == NumberState::InDoubt || entry.state == NumberState::BrokenOff);
    if (!broken) {
        form_.Say(PlainLines(std::string(text::kAlreadyNumbered).substr(1)));
        err_ << "sntool: the pager's serial number is not one whose write broke off, as the "
                "production log records; it stays as it is\n";
        return kExitNumbered;
    }
    form_.Say("Resuming " + *serial + ": " + StateName(entry.state) + " since " + entry.row.time +
              " (" + entry.row.outcome + ", station " + entry.row.station + ", port " +
              entry.row.port + ").");
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = Transact([&] { View().ResumeWrite(*serial); });
    EndWriting();
    return r.code;
}

}  // namespace sn::cli
