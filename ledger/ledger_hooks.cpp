#include "ledger/ledger_hooks.h"

#include <vector>

#include "ledger/journal_ledger.h"
#include "ledger/serial_sequence.h"
#include "workflow/texts.h"

namespace sn {

namespace {

bool UsesNumber(const std::string& outcomeText) {
    const auto effect = OutcomeEffect(outcomeText);
    return effect == RowEffect::UseFinished || effect == RowEffect::UseBroken;
}

}  // namespace

std::string OutcomeText(const TransactionRecord& record) {
    const char* nothing = record.blockWriteSent ? "" : outcome::kNothingWritten;
    switch (record.end) {
        case TransactionEnd::Written:
            return outcome::kWritten;
        case TransactionEnd::ModelRefused:
            return outcome::kModelRefused;
        case TransactionEnd::AlreadyNumbered:
            return outcome::kAlreadyNumbered;
        case TransactionEnd::ReadError:
            return record.boxTitle;
        case TransactionEnd::WriteError:
            return record.boxTitle + nothing;
        case TransactionEnd::Refused:
        case TransactionEnd::None:
            break;
    }
    return std::string(outcome::kNotFinished) + nothing;
}

LedgerHooks::LedgerHooks(FormView& form, Ledger& ledger, std::optional<std::string> firstSerial)
    : form_(form), ledger_(ledger), next_(std::move(firstSerial)) {}

LedgerHooks::~LedgerHooks() {
    if (preload_.joinable()) {
        preload_.join();
    }
}

void LedgerHooks::SetReserveMode(ReserveMode mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

void LedgerHooks::HoldWrittenForVerify(bool hold) {
    std::lock_guard lock(mutex_);
    holdForVerify_ = hold;
}

void LedgerHooks::Preload() {
    preload_ = std::thread([this] {
        std::vector<std::string> notes;
        std::string error;
        const bool ok = ledger_.Open(notes, error);
        Tell(nullptr);  // before a box holds this thread
        for (const std::string& note : notes) {
            form_.MessageBox(note, text::kCaption, BoxIcon::Information);
        }
        if (!ok) {
            const bool said = ledger_.HasUnreadableLine();  // its message says it
            form_.MessageBox(error + (said ? "" : " No pager is written until it can be used."),
                             text::kCaption, BoxIcon::Stop);
        }
    });
}

bool LedgerHooks::BeforeFirstFrame(const TransactionRecord& record) {
    ReserveMode mode = ReserveMode::Fresh;
    {
        std::lock_guard lock(mutex_);
        mode = mode_;
        reservation_.reset();
        held_.reset();
    }
    const auto serial = Serial::Parse(record.serialWritten);
    Reservation reservation{serial.value_or(*Serial::FromKey(1)), record.port};
    const auto refusal =
        serial
            ? ledger_.Reserve(reservation, mode)
            : std::optional<Refusal>(Refusal{Refusal::Kind::Duplicate, "not a serial number", ""});
    {
        std::lock_guard lock(mutex_);
        refusal_ = refusal;
        if (!refusal) {
            reservation_ = reservation;
        }
    }
    if (refusal) {
        form_.MessageBox(refusal->message, text::kCaption, BoxIcon::Stop);
        return false;
    }
    return true;
}

void LedgerHooks::TransactionEnded(const TransactionRecord& record) {
    {
        std::lock_guard lock(mutex_);
        if (holdForVerify_ && record.end == TransactionEnd::Written) {
            held_ = record;
            return;
        }
    }
    Settle(record, OutcomeText(record));
}

bool LedgerHooks::SettleHeld(const std::string& outcomeText) {
    std::optional<TransactionRecord> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    if (held) {
        Settle(*held, outcomeText);
    }
    return LastSettleError().empty();
}

void LedgerHooks::Settle(const TransactionRecord& record, std::string outcomeText) {
    std::optional<Reservation> reservation;
    bool duplicateAllowed = false;
    {
        std::lock_guard lock(mutex_);
        reservation.swap(reservation_);
        duplicateAllowed = mode_ == ReserveMode::AllowDuplicate;
    }
    if (!reservation) {
        return;
    }
    const bool used = UsesNumber(outcomeText);
    if (used && duplicateAllowed && reservation->reusing) {
        outcomeText += outcome::kDuplicateAllowed;
    }
    LogRow row = NewLogRow();
    row.port = record.port;
    row.model = record.model;
    row.serialBefore = record.serialBefore;
    row.outcome = outcomeText;
    std::string error;
    const bool recorded = ledger_.Settle(*reservation, row, error);
    std::string ended;
    {
        std::lock_guard lock(mutex_);
        lastOutcome_ = outcomeText;
        settleError_ = recorded ? std::string() : error;
        // The sequence goes on after the number that went into the pager,
        // also when the operator changed the one offered; a released number
        // is offered again.
        if (next_ && !next_->empty() && used) {
            if (const auto next = sn::NextSerial(reservation->serial)) {
                next_ = next->Text();
            } else {
                ended = SequenceEndMessage(reservation->serial);
                next_ = std::string();
                endTold_ = true;
            }
        }
    }
    row.serialWritten = reservation->serial.Text();
    Tell(&row);  // before a box holds this thread
    if (!recorded) {
        form_.MessageBox(error + " The pager's outcome (" + outcomeText +
                             ") is missing from it: " + reservation->serial.Text() +
                             " stays reserved there, in doubt, and is not given again.",
                         text::kCaption, BoxIcon::Stop);
    }
    if (!ended.empty()) {
        form_.MessageBox(ended, text::kCaption, BoxIcon::Information);
    }
}

std::string LedgerHooks::SerialForReadyPager() {
    std::optional<std::string> from;
    {
        std::lock_guard lock(mutex_);
        from = next_;
    }
    if (!from || from->empty()) {
        return std::string();
    }
    std::string why;
    if (const auto free = ledger_.NextFree(*Serial::Parse(*from), why)) {
        return free->Text();
    }
    {
        std::lock_guard lock(mutex_);
        if (endTold_) {
            return std::string();
        }
        endTold_ = true;
    }
    form_.MessageBox(why, text::kCaption, BoxIcon::Information);
    return std::string();
}

void LedgerHooks::OnSettled(std::function<void(const LogRow*)> observer) {
    std::lock_guard lock(observerMutex_);
    onSettled_ = std::move(observer);
}

void LedgerHooks::Tell(const LogRow* row) {
    std::lock_guard lock(observerMutex_);
    if (onSettled_) {
        onSettled_(row);
    }
}

std::optional<std::string> LedgerHooks::NextSerial() const {
    std::lock_guard lock(mutex_);
    return next_;
}

std::optional<Refusal> LedgerHooks::LastRefusal() const {
    std::lock_guard lock(mutex_);
    return refusal_;
}

std::string LedgerHooks::LastOutcome() const {
    std::lock_guard lock(mutex_);
    return lastOutcome_;
}

std::string LedgerHooks::LastSettleError() const {
    std::lock_guard lock(mutex_);
    return settleError_;
}

}  // namespace sn
