#include "workflow/production_hooks.h"

#include "workflow/texts.h"

namespace sn {

std::string OutcomeText(const TransactionRecord& record) {
    switch (record.end) {
        case TransactionEnd::Written:
            return outcome::kWritten;
        case TransactionEnd::ModelRefused:
            return outcome::kModelRefused;
        case TransactionEnd::AlreadyNumbered:
            return outcome::kAlreadyNumbered;
        case TransactionEnd::ErrorBox:
            return record.boxTitle;
        case TransactionEnd::None:
            break;
    }
    return "not finished";
}

LogRow RowFor(const TransactionRecord& record, const std::string& outcomeText) {
    LogRow row = NewLogRow();
    row.port = record.port;
    row.model = record.model;
    row.serialBefore = record.serialBefore;
    row.serialWritten = record.serialWritten;
    row.outcome = outcomeText;
    return row;
}

ProductionHooks::ProductionHooks(FormView& form, const ProductionLog* log,
                                 std::optional<std::string> firstSerial)
    : form_(form), log_(log) {
    if (firstSerial) {
        sequence_.emplace(*firstSerial);
    }
}

bool ProductionHooks::AllowWrite(const std::string& serial) {
    if (log_ == nullptr) {
        return true;
    }
    if (const auto refusal = log_->Check(serial, false)) {
        form_.MessageBox(refusal->message, text::kCaption, BoxIcon::Stop);
        return false;
    }
    return true;
}

void ProductionHooks::TransactionEnded(const TransactionRecord& record) {
    std::string error;
    if (log_ != nullptr && !log_->Record(RowFor(record, OutcomeText(record)), error)) {
        form_.MessageBox(error + " The pager's row is missing from it.", text::kCaption,
                         BoxIcon::Stop);
    }
    std::string ended;
    {
        std::lock_guard lock(mutex_);
        // The next number follows the one written, also when the operator
        // changed the one offered; a failed write offers the same again.
        if (sequence_ && record.end == TransactionEnd::Written) {
            sequence_.emplace(record.serialWritten);
            if (!sequence_->Advance()) {
                ended = sequence_->EndMessage();
            }
        }
    }
    if (!ended.empty()) {
        form_.MessageBox(ended, text::kCaption, BoxIcon::Information);
    }
}

std::string ProductionHooks::SerialForReadyPager() {
    std::lock_guard lock(mutex_);
    return sequence_ ? sequence_->Current() : std::string();
}

}  // namespace sn
