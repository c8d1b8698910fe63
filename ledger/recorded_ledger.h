#pragma once
// RecordedLedger: a ledger whose rows also go to a local CSV journal, as a
// record only (sntool --db ... --log FILE). The first ledger decides; the
// journal takes every reservation it granted and every settlement, whatever
// the journal itself holds, and a journal that cannot record costs no pager.
//
// Threads: see docs/threads.md (the ledger).

#include <map>
#include <memory>
#include <mutex>

#include "ledger/journal_ledger.h"
#include "ledger/ledger.h"

namespace sn {

class RecordedLedger final : public Ledger {
  public:
    RecordedLedger(std::unique_ptr<Ledger> ledger, std::unique_ptr<JournalLedger> record);

    bool Open(std::vector<std::string>& notes, std::string& error) override;
    bool HasUnreadableLine() const override { return ledger_->HasUnreadableLine(); }
    std::optional<Refusal> Check(const Serial& serial, ReserveMode mode) override;
    std::optional<Refusal> Reserve(Reservation& reservation, ReserveMode mode) override;
    bool Settle(const Reservation& reservation, const LogRow& row, std::string& error) override;
    std::optional<Serial> NextFree(const Serial& from, std::string& why) override;
    LedgerEntry Lookup(const Serial& serial) override;
    std::vector<LedgerEntry> Unfinished() override;

    Ledger& Deciding() { return *ledger_; }

  private:
    std::unique_ptr<Ledger> ledger_;
    std::unique_ptr<JournalLedger> record_;
    std::mutex mutex_;
    std::map<Serial, Reservation> recorded_;  // by serial: the record's reservations
};

}  // namespace sn
