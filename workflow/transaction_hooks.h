#pragma once
// TransactionHooks: what a production run adds to a pager's transaction (the
// ledger: a reservation before the first frame, a settlement after the last;
// the next number for a pager found ready). Without hooks the engine behaves
// as it always has. The workflow sees the ledger only through them.

#include <optional>
#include <string>

#include "protocol/serial.h"
#include "workflow/pager_error.h"

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

// What became of a pager: the engine's operations end with one of these.
enum class Outcome {
    NotFinished,        // cut short before any end (shutting down)
    Refused,            // the hooks refused the number before the first frame
    Read,               // Read: the area and its mirror were read
    Written,            // the write completed
    Verified,           // written, and read back as written
    VerifyMismatch,     // written, but read back otherwise
    WrittenUnverified,  // written, but the read back failed (its error says how)
    ModelRefused,       // a listed model: nothing written
    AlreadyNumbered,    // the pager held a number: nothing written
    ReadError,
    WriteError,
};

// One transaction as the ledger records it.
struct TransactionRecord {
    Serial serial;
    std::string port{};
    bool resume = false;  // finishing a pager whose write broke off
    Outcome outcome = Outcome::NotFinished;
    PagerError error = PagerError::None;  // ReadError, WriteError, WrittenUnverified
    std::string model{};                  // once the information area was read
    std::string serialBefore{};           // likewise; "" for an erased field
    // A block-write frame went out: from then on the pager may hold the number.
    bool blockWriteSent = false;
};

class TransactionHooks {
  public:
    TransactionHooks() = default;
    TransactionHooks(const TransactionHooks&) = delete;
    TransactionHooks& operator=(const TransactionHooks&) = delete;
    virtual ~TransactionHooks() = default;

    // On the transaction's thread, before its first frame, with the number
    // and the port in `record`: a refusal stops it, and nothing is sent.
    virtual std::optional<Refusal> BeforeFirstFrame(const TransactionRecord& record) = 0;
    // On the transaction's thread, once a transaction that was not refused
    // has ended: false when its outcome could not be recorded.
    virtual bool TransactionEnded(const TransactionRecord& record) = 0;
    // The number to offer for a pager the monitor found ready, if any.
    virtual std::optional<Serial> SerialForReadyPager() = 0;
};

}  // namespace sn
