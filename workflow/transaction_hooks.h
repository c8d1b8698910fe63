#pragma once
// TransactionHooks: what a production run adds to the form's transaction
// (the ledger: a reservation before the first frame, a settlement after the
// last; the next number). Without hooks the form behaves as it always has.

#include <string>

namespace sn {

// Why a ledger would not give a number.
struct Refusal {
    enum class Kind {
        Unusable,      // it cannot be read or cannot record: nothing may be written
        Duplicate,     // the number is used or in doubt
        NotResumable,  // resume: the number is not one whose write broke off
    } kind;
    std::string message;  // complete, for the operator
    // The message without its closing "Nothing was sent to the pager.", for
    // a number that is let through all the same (--allow-duplicate).
    std::string reason;
};

// How a transaction ended: what exit codes, the ledger's outcomes and a
// batch's next step are decided on.
enum class TransactionEnd {
    None,     // not run to an end (cut short)
    Refused,  // the hooks refused it before its first frame
    Written,
    ModelRefused,
    AlreadyNumbered,
    ReadError,   // a box "Read Error #n": the area was not read, or not closed
    WriteError,  // a box "Write Error #n"
};

struct TransactionRecord {
    TransactionEnd end = TransactionEnd::None;
    std::string boxTitle;  // the error box's title, "Write Error #2": the ledger's text
    std::string port;
    std::string model;         // once the information area was read
    std::string serialBefore;  // likewise; "" for an erased field
    std::string serialWritten;
    // A block-write frame went out: from then on the pager may hold the number.
    bool blockWriteSent = false;
};

class TransactionHooks {
  public:
    TransactionHooks() = default;
    TransactionHooks(const TransactionHooks&) = delete;
    TransactionHooks& operator=(const TransactionHooks&) = delete;
    virtual ~TransactionHooks() = default;

    // On the worker thread, before the transaction's first frame, with the
    // port and the number to write in `record`: false refuses it. Nothing is
    // sent then; the hook has told the operator, the field stays for
    // correction.
    virtual bool BeforeFirstFrame(const TransactionRecord& record) = 0;
    // On the worker thread, once a transaction that was not refused has
    // ended, and before the monitor runs again.
    virtual void TransactionEnded(const TransactionRecord& record) = 0;
    // On the monitor's thread: the text the field gets when the monitor
    // finds a pager ready.
    virtual std::string SerialForReadyPager() = 0;
};

}  // namespace sn
