#pragma once
// LedgerHooks: the ledger's side of every transaction, for the windows and
// for sntool alike. Before the first frame the number is reserved; once the
// transaction has ended it is settled with the pager's outcome; a pager the
// monitor finds ready is offered the next free number of a sequence.
//
// Threads: see docs/threads.md. The TransactionHooks calls come from the
// transaction's and the monitor's threads, the rest from the face's; all of
// them may overlap.

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
    // The ledger's own messages (a settlement that could not be recorded,
    // a sequence at its end, a ledger that cannot be used): a window's box,
    // sntool's standard error.
    using Notice = std::function<void(const std::string& text, BoxIcon icon)>;

    // `firstSerial`: offer numbers from there on (the window's --next-from).
    LedgerHooks(Ledger& ledger, Notice notice, std::optional<Serial> firstSerial);
    ~LedgerHooks() override;

    // How a write takes its number: Fresh, or AllowDuplicate (sntool
    // --allow-duplicate). A resume always takes a number whose write broke off.
    void SetReserveMode(ReserveMode mode);
    // Reads the ledger on a thread of its own, telling the operator of the
    // rows left out and of a ledger that cannot be used (a window's start).
    void Preload();

    std::optional<Refusal> BeforeFirstFrame(const TransactionRecord& record) override;
    bool TransactionEnded(const TransactionRecord& record) override;
    std::optional<Serial> SerialForReadyPager() override;

    // The outcome text the last settlement recorded (or tried to).
    std::string LastOutcome() const;
    // Told, off the face's thread, of every settlement (its row) and, with
    // no row, once Preload has read the ledger: the operator's counts follow.
    void OnSettled(std::function<void(const LogRow*)> observer);
    // Where the offered sequence goes on; none without one, or once it ended.
    std::optional<Serial> NextSerial() const;

  private:
    void Tell(const LogRow* row);
    // The sequence after `used` went into a pager; the end's message, if it ends.
    std::string Advance(const Serial& used);

    Ledger& ledger_;
    Notice notice_;
    mutable std::mutex mutex_;
    ReserveMode mode_ = ReserveMode::Fresh;
    std::optional<Reservation> reservation_;
    std::string lastOutcome_;
    std::optional<Serial> next_;  // where the sequence goes on; none once it has ended
    bool endTold_ = false;
    std::mutex observerMutex_;  // held while it is told: none is told once it is cleared
    std::function<void(const LogRow*)> onSettled_;
    std::thread preload_;
};

}  // namespace sn
