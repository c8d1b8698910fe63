#pragma once
// The production ledger: the one place that decides whether a serial number
// may go into a pager. A number is reserved before the first frame of its
// write (the reservation is on the disk before Reserve returns), and settled
// with the pager's outcome afterwards:
// - used from the moment its first block-write frame went out, whatever
//   happened next (written, verified, a verify mismatch, a write error after
//   that frame, a write cut short);
// - released, and so free again, only when no block-write frame went out
//   (already numbered, model refused, a read error, a write start the pager
//   never acknowledged);
// - in doubt while a reservation has no settlement (a crash, kill -9, a power
//   cut, or another station writing it right now): in doubt is used, and is
//   never given again by itself.
// `resume` finishes a pager whose write broke off, with the number it holds.
//
// Threads: see docs/threads.md (the ledger). Processes sharing a ledger see
// each other's rows.

#include <optional>
#include <string>
#include <vector>

#include "ledger/journal.h"
#include "protocol/serial.h"
#include "workflow/transaction_hooks.h"

namespace sn {

enum class NumberState {
    Free,       // never used, or released
    InDoubt,    // reserved, never settled
    BrokenOff,  // used by a write that did not complete
    Used,       // used by a write that completed
};

// What the ledger knows of one number.
struct LedgerEntry {
    std::string serial;
    NumberState state = NumberState::Free;
    LogRow row;         // the last row recorded for it
    std::string where;  // which journal holds that row
};

// A reservation to settle: the number and the port it is for, given to
// Reserve, which sets the rest. `reusing`: --allow-duplicate let a used number
// through; a resume reserves a number whose write broke off.
struct Reservation {
    Serial serial;
    std::string port{};
    bool reusing = false;
    // The database ledger's id of this reservation: a settlement changes the
    // number only while its row is still this reservation's.
    std::string token{};
};

enum class ReserveMode {
    Fresh,           // the number must be free
    AllowDuplicate,  // any number; a used one is marked in its rows
    Resume,          // the number must be in doubt or broken off
};

class Ledger {
  public:
    Ledger() = default;
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;
    virtual ~Ledger() = default;

    // Reads the ledger. Notes (torn rows left out) go to `notes`; false, with
    // `error` set, when it cannot be read or has a row that cannot be read.
    virtual bool Open(std::vector<std::string>& notes, std::string& error) = 0;
    // After a failed Open: a complete row could not be read (the message
    // says how the ledger is mended), while what was read around it is known.
    virtual bool HasUnreadableLine() const { return false; }
    // Whether Reserve would refuse `serial` now; records nothing.
    virtual std::optional<Refusal> Check(const Serial& serial, ReserveMode mode) = 0;
    // Reserves the reservation's number for the pager on its port: checked
    // and recorded as one step.
    virtual std::optional<Refusal> Reserve(Reservation& reservation, ReserveMode mode) = 0;
    // Records the pager's row; its outcome says what became of the number.
    // False, with `error` set, when it cannot be recorded: the number then
    // stays in doubt.
    virtual bool Settle(const Reservation& reservation, const LogRow& row, std::string& error) = 0;
    // The lowest number at or after `from` (its rightmost digits counted up)
    // that is free; nothing, with `why` set, when the digits run out first.
    virtual std::optional<Serial> NextFree(const Serial& from, std::string& why) = 0;
    virtual LedgerEntry Lookup(const Serial& serial) = 0;
    // Every number in doubt or broken off, by time.
    virtual std::vector<LedgerEntry> Unfinished() = 0;
};

const char* StateName(NumberState state);

}  // namespace sn
