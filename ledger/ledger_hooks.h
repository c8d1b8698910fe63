#pragma once
// LedgerHooks: the ledger's side of a form's transactions, for the
// windows and for sntool alike. Before the first frame the number is
// reserved (a refusal is told in a box, the field keeps its text); once the
// transaction has ended it is settled with the pager's outcome; the monitor
// offers the next free number of a sequence.
//
// Thread safety: the TransactionHooks calls come from the worker and the
// monitor's thread, the rest from the face's; all of them may overlap.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ledger/ledger.h"
#include "workflow/form.h"
#include "workflow/transaction_hooks.h"

namespace sn {

// The journal's outcome for a transaction's end ("written", "Write Error #2",
// "Write Error #5 (nothing written)").
std::string OutcomeText(const TransactionRecord& record);

class LedgerHooks final : public TransactionHooks {
  public:
    // `firstSerial`: offer numbers from there on (the window's --next-from).
    LedgerHooks(FormView& form, Ledger& ledger, std::optional<std::string> firstSerial);
    ~LedgerHooks() override;

    // How the next reservation takes its number (sntool --allow-duplicate,
    // resume).
    void SetReserveMode(ReserveMode mode);
    // A verify read follows every written pager: its settlement waits for
    // SettleHeld, with the verify's outcome.
    void HoldWrittenForVerify(bool hold);
    // Reads the ledger on a thread of its own, telling the operator of the
    // rows left out and of a ledger that cannot be used (a window's start).
    void Preload();

    bool BeforeFirstFrame(const TransactionRecord& record) override;
    void TransactionEnded(const TransactionRecord& record) override;
    std::string SerialForReadyPager() override;

    // Why the last transaction was refused before its first frame.
    std::optional<Refusal> LastRefusal() const;
    // Settles the written pager held for its verify.
    bool SettleHeld(const std::string& outcomeText);
    // The outcome text the last settlement recorded (or tried to).
    std::string LastOutcome() const;
    // Empty when the last settlement was recorded; else what went wrong.
    std::string LastSettleError() const;
    // Told, off the face's thread, of every settlement (its row) and, with
    // no row, once Preload has read the ledger: the operator's counts follow.
    void OnSettled(std::function<void(const LogRow*)> observer);
    // Where the offered sequence goes on ("" once it has ended; none: no
    // sequence).
    std::optional<std::string> NextSerial() const;

  private:
    void Settle(const TransactionRecord& record, std::string outcomeText);
    void Tell(const LogRow* row);

    FormView& form_;
    Ledger& ledger_;
    mutable std::mutex mutex_;
    ReserveMode mode_ = ReserveMode::Fresh;
    bool holdForVerify_ = false;
    std::optional<Reservation> reservation_;
    std::optional<TransactionRecord> held_;
    std::optional<Refusal> refusal_;
    std::string lastOutcome_;
    std::string settleError_;
    std::optional<std::string> next_;  // where the sequence goes on
    bool endTold_ = false;
    std::mutex observerMutex_;  // held while it is told: none is told once it is cleared
    std::function<void(const LogRow*)> onSettled_;
    std::thread preload_;
};

}  // namespace sn
