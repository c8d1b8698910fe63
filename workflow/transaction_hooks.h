#pragma once
// TransactionHooks: what a production run adds to the form's transaction
// (the log, the duplicate guard, the next number). Without hooks the form
// behaves as it always has.

#include <string>

namespace sn {

// How a transaction ended.
enum class TransactionEnd {
    None,  // not run to an end (shut down)
    Written,
    ModelRefused,
    AlreadyNumbered,
    ErrorBox,
};

struct TransactionRecord {
    TransactionEnd end = TransactionEnd::None;
    std::string boxTitle;  // ErrorBox: "Write Error #2"
    std::string port;
    std::string model;         // once the information area was read
    std::string serialBefore;  // likewise; "" for an erased field
    std::string serialWritten;
};

class TransactionHooks {
  public:
    TransactionHooks() = default;
    TransactionHooks(const TransactionHooks&) = delete;
    TransactionHooks& operator=(const TransactionHooks&) = delete;
    virtual ~TransactionHooks() = default;

    // The Write button, on the UI thread, with `serial` taken from the field
    // and before any frame: false refuses it (the hook has told the operator,
    // the field stays for correction).
    virtual bool AllowWrite(const std::string& serial) = 0;
    // On the worker thread, once the transaction has ended and before the
    // monitor runs again.
    virtual void TransactionEnded(const TransactionRecord& record) = 0;
    // The text the field gets when the monitor finds a pager ready.
    virtual std::string SerialForReadyPager() = 0;
};

}  // namespace sn
