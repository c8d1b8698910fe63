#include "ledger/ledger_hooks.h"

#include <vector>

#include "ledger/journal_ledger.h"
#include "ledger/serial_sequence.h"

namespace sn {

namespace {

bool UsesNumber(const std::string& outcomeText) {
    const auto effect = OutcomeEffect(outcomeText);
    return effect == RowEffect::UseFinished || effect == RowEffect::UseBroken;
}

}  // namespace

std::string OutcomeText(const TransactionRecord& record) {
    const char* nothing = record.blockWriteSent ? "" : outcome::kNothingWritten;
    switch (record.outcome) {
        case Outcome::Written:
            return outcome::kWritten;
        case Outcome::Verified:
            return outcome::kVerified;
        case Outcome::VerifyMismatch:
            return outcome::kVerifyMismatch;
        case Outcome::WrittenUnverified:
            return std::string(outcome::kWritten) + " (verify: " + ErrorTitle(record.error) + ")";
        case Outcome::ModelRefused:
            return outcome::kModelRefused;
        case Outcome::AlreadyNumbered:
            return outcome::kAlreadyNumbered;
        case Outcome::ReadError:
            return ErrorTitle(record.error);
        case Outcome::WriteError:
            return ErrorTitle(record.error) + nothing;
        case Outcome::Read:
        case Outcome::Refused:
        case Outcome::NotFinished:
            break;
    }
    return std::string(outcome::kNotFinished) + nothing;
}

LedgerHooks::LedgerHooks(Ledger& ledger, Notice notice, std::optional<Serial> firstSerial)
    : ledger_(ledger), notice_(std::move(notice)), next_(std::move(firstSerial)) {}

LedgerHooks::~LedgerHooks() {
    if (preload_.joinable()) {
        preload_.join();
    }
}

void LedgerHooks::SetReserveMode(ReserveMode mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

void LedgerHooks::Preload() {
    preload_ = std::thread([this] {
        std::vector<std::string> notes;
        std::string error;
        const bool ok = ledger_.Open(notes, error);
        Tell(nullptr);  // before a box holds this thread
        for (const std::string& note : notes) {
            notice_(note, BoxIcon::Information);
        }
        if (!ok) {
            const bool said = ledger_.HasUnreadableLine();  // its message says it
            notice_(error + (said ? "" : " No pager is written until it can be used."),
                    BoxIcon::Stop);
        }
    });
}

std::optional<Refusal> LedgerHooks::BeforeFirstFrame(const TransactionRecord& record) {
    ReserveMode mode = ReserveMode::Resume;
    {
        std::lock_guard lock(mutex_);
        mode = record.resume ? ReserveMode::Resume : mode_;
        reservation_.reset();
    }
    Reservation reservation{record.serial, record.port};
    const auto refusal = ledger_.Reserve(reservation, mode);
    if (!refusal) {
        std::lock_guard lock(mutex_);
        reservation_ = reservation;
    }
    return refusal;
}

std::string LedgerHooks::Advance(const Serial& used) {
    if (const auto next = sn::NextSerial(used)) {
        next_ = next;
        return std::string();
    }
    next_.reset();
    endTold_ = true;
    return SequenceEndMessage(used);
}

bool LedgerHooks::TransactionEnded(const TransactionRecord& record) {
    std::optional<Reservation> reservation;
    bool duplicateAllowed = false;
    {
        std::lock_guard lock(mutex_);
        reservation.swap(reservation_);
        duplicateAllowed = mode_ == ReserveMode::AllowDuplicate;
    }
    if (!reservation) {
        return true;
    }
    std::string outcomeText = OutcomeText(record);
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
        // The sequence goes on after the number that went into the pager,
        // also when the operator changed the one offered; a released number
        // is offered again.
        if (next_ && used) {
            ended = Advance(reservation->serial);
        }
    }
    row.serialWritten = reservation->serial.Text();
    Tell(&row);  // before a box holds this thread
    if (!recorded) {
        notice_(error + " The pager's outcome (" + outcomeText +
                    ") is missing from it: " + reservation->serial.Text() +
                    " stays reserved there, in doubt, and is not given again.",
                BoxIcon::Stop);
    }
    if (!ended.empty()) {
        notice_(ended, BoxIcon::Information);
    }
    return recorded;
}

std::optional<Serial> LedgerHooks::NextSerial() const {
    std::lock_guard lock(mutex_);
    return next_;
}

std::optional<Serial> LedgerHooks::SerialForReadyPager() {
    std::optional<Serial> from;
    {
        std::lock_guard lock(mutex_);
        from = next_;
    }
    if (!from) {
        return std::nullopt;
    }
    std::string why;
    if (auto free = ledger_.NextFree(*from, why)) {
        return free;
    }
    {
        std::lock_guard lock(mutex_);
        if (endTold_) {
            return std::nullopt;
        }
        endTold_ = true;
    }
    notice_(why, BoxIcon::Information);
    return std::nullopt;
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

std::string LedgerHooks::LastOutcome() const {
    std::lock_guard lock(mutex_);
    return lastOutcome_;
}

}  // namespace sn
