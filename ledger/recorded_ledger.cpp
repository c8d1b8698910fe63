#include "ledger/recorded_ledger.h"

namespace sn {

RecordedLedger::RecordedLedger(std::unique_ptr<Ledger> ledger,
                               std::unique_ptr<JournalLedger> record)
    : ledger_(std::move(ledger)), record_(std::move(record)) {}

bool RecordedLedger::Open(std::vector<std::string>& notes, std::string& error) {
    if (!ledger_->Open(notes, error)) {
        return false;
    }
    std::string recordError;
    if (!record_->Open(notes, recordError)) {
        notes.push_back(recordError + " It is a record only: the database decides.");
    }
    return true;
}

std::optional<Refusal> RecordedLedger::Check(const Serial& serial, ReserveMode mode) {
    return ledger_->Check(serial, mode);
}

std::optional<Refusal> RecordedLedger::Reserve(Reservation& reservation, ReserveMode mode) {
    auto refusal = ledger_->Reserve(reservation, mode);
    if (refusal) {
        return refusal;
    }
    Reservation recorded{reservation.serial, reservation.port};
    if (!record_->Reserve(recorded, ReserveMode::AllowDuplicate)) {
        std::lock_guard lock(mutex_);
        recorded_.insert_or_assign(reservation.serial, recorded);
    }
    return std::nullopt;
}

bool RecordedLedger::Settle(const Reservation& reservation, const LogRow& row, std::string& error) {
    const bool settled = ledger_->Settle(reservation, row, error);
    std::optional<Reservation> recorded;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = recorded_.find(reservation.serial); it != recorded_.end()) {
            recorded = it->second;
            recorded_.erase(it);
        }
    }
    if (recorded) {
        std::string ignored;  // the record's own trouble decides nothing
        record_->Settle(*recorded, row, ignored);
    }
    return settled;
}

std::optional<Serial> RecordedLedger::NextFree(const Serial& from, std::string& why) {
    return ledger_->NextFree(from, why);
}

LedgerEntry RecordedLedger::Lookup(const Serial& serial) {
    return ledger_->Lookup(serial);
}

std::vector<LedgerEntry> RecordedLedger::Unfinished() {
    return ledger_->Unfinished();
}

}  // namespace sn
