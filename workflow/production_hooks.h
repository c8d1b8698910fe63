#pragma once
// ProductionHooks: the production log, the duplicate guard and the next
// number for a form (the window). Refusals and log failures are told in a
// box; the field keeps its text for correction.

#include <mutex>
#include <optional>
#include <string>

#include "workflow/form.h"
#include "workflow/production_log.h"
#include "workflow/serial_sequence.h"
#include "workflow/transaction_hooks.h"

namespace sn {

// The outcome column for a transaction's end ("written", "Write Error #2").
std::string OutcomeText(const TransactionRecord& record);
// A log row for a transaction, with `outcomeText` as its outcome.
LogRow RowFor(const TransactionRecord& record, const std::string& outcomeText);

class ProductionHooks final : public TransactionHooks {
  public:
    // `log` may be null (a sequence without a log); so may `firstSerial`.
    ProductionHooks(FormView& form, const ProductionLog* log,
                    std::optional<std::string> firstSerial);

    bool AllowWrite(const std::string& serial) override;
    void TransactionEnded(const TransactionRecord& record) override;
    std::string SerialForReadyPager() override;

  private:
    FormView& form_;
    const ProductionLog* log_;
    std::mutex mutex_;
    std::optional<SerialSequence> sequence_;
};

}  // namespace sn
