// JournalLedger's decisions: what the journals say of a number (its state,
// the row behind it), whether it may be reserved, the rows that reserve and
// settle it, the next free one, and the numbers left unfinished. Reading and
// appending to the journals is journal_ledger_io.cpp's.

#include "ledger/journal_ledger.h"

#include <algorithm>
#include <tuple>

#include "ledger/refusals.h"
#include "ledger/serial_sequence.h"

namespace sn {

namespace {

constexpr std::uint8_t kNoFile = 0xFF;

}  // namespace

const char* StateName(NumberState state) {
    switch (state) {
        case NumberState::Free:
            return "free";
        case NumberState::InDoubt:
            return "in doubt";
        case NumberState::BrokenOff:
            return "broken off";
        case NumberState::Used:
            return "used";
    }
    return "?";
}

namespace {

std::mutex operatorMutex;
std::optional<std::string> operatorName;

}  // namespace

void SetOperatorName(std::string name) {
    std::lock_guard lock(operatorMutex);
    operatorName = std::move(name);
}

std::string OperatorName() {
    std::lock_guard lock(operatorMutex);
    return operatorName ? *operatorName : LoggedInUser();
}

LogRow NewLogRow() {
    LogRow row;
    row.time = LocalTimestamp();
    row.station = StationName();
    row.version = SNTOOL_VERSION;
    row.operatorName = OperatorName();
    return row;
}

JournalLedger::JournalLedger(std::vector<std::string> paths)
    : paths_(std::move(paths)), files_(paths_.size()) {}

// ---- what the ledger knows of a number

std::uint8_t JournalLedger::Flags(std::uint64_t key) {
    const auto entry = index_.Find(key);
    std::uint8_t flags = entry ? entry->flags : 0;
    for (const FileState& st : files_) {
        if (st.tail.key == key) {
            flags = LedgerIndex::Apply(flags, st.tail.effect);
        }
    }
    return flags;
}

LedgerEntry JournalLedger::Describe(std::uint64_t key, JournalFile& first) {
    LedgerEntry entry;
    entry.serial = Serial::FromKey(key)->Text();
    entry.state = LedgerIndex::State(Flags(key));
    if (InMemory()) {
        if (const auto it = memoryRows_.find(key); it != memoryRows_.end()) {
            entry.row = it->second;
        }
        entry.where = "this run";
        return entry;
    }
    std::optional<std::size_t> file;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (files_[i].tail.key == key) {
            file = i;
            offset = files_[i].offset;
        }
    }
    if (!file) {
        if (const auto found = index_.Find(key); found && found->file != kNoFile) {
            file = found->file;
            offset = found->offset;
        }
    }
    if (file) {
        entry.row = RowAt(*file, offset, first).value_or(LogRow{});
        entry.where = paths_[*file];
    }
    return entry;
}

std::string JournalLedger::Source(const std::string& where) const {
    return InMemory() ? "as this run records" : "as the production log " + where + " records";
}

std::string JournalLedger::ProblemMessage() const {
    return "The production log " + paths_[problem_->file] + " cannot be read at line " +
           std::to_string(problem_->line) + ": " + problem_->why +
           ". No pager is written until that line is mended or removed.";
}

std::optional<Refusal> JournalLedger::Decide(const Serial& serial, ReserveMode mode,
                                             JournalFile& first, bool& reusing) {
    if (problem_) {
        return RefuseNothingSent(Refusal::Kind::Unusable, ProblemMessage());
    }
    const std::uint64_t key = serial.Key();
    const NumberState state = LedgerIndex::State(Flags(key));
    reusing = state != NumberState::Free;
    switch (mode) {
        case ReserveMode::Fresh: {
            if (state == NumberState::Free) {
                return std::nullopt;
            }
            const LedgerEntry entry = Describe(key, first);
            return RefuseDuplicate(entry, Source(entry.where));
        }
        case ReserveMode::AllowDuplicate:
            return std::nullopt;
        case ReserveMode::Resume:
            if (state == NumberState::InDoubt || state == NumberState::BrokenOff) {
                return std::nullopt;
            }
            return RefuseNotResumable(serial, state);
    }
    return std::nullopt;
}

// ---- the ledger's operations

bool JournalLedger::Open(std::vector<std::string>& notes, std::string& error) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    if (!Refresh(first, Access::Read, error)) {
        return false;
    }
    notes.insert(notes.end(), notes_.begin(), notes_.end());
    if (problem_) {
        error = ProblemMessage();
        return false;
    }
    return true;
}

// The refusal, if any, for `serial` once the journals are read; the first is
// held in `first`, locked for `access`.
std::optional<Refusal> JournalLedger::Judge(const Serial& serial, ReserveMode mode, Access access,
                                            JournalFile& first, bool& reusing) {
    std::string error;
    if (!Refresh(first, access, error)) {
        return RefuseNothingSent(Refusal::Kind::Unusable, error);
    }
    return Decide(serial, mode, first, reusing);
}

std::optional<Refusal> JournalLedger::Check(const Serial& serial, ReserveMode mode) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    bool reusing = false;
    return Judge(serial, mode, Access::Read, first, reusing);
}

void JournalLedger::RecordInMemory(const LogRow& row) {
    const auto key = Serial::KeyOf(row.serialWritten);
    const auto effect = OutcomeEffect(row.outcome);
    if (key && effect) {
        index_.Record(*key, *effect, kNoFile, 0);
        memoryRows_[*key] = row;
    }
}

std::optional<Refusal> JournalLedger::Reserve(Reservation& reservation, ReserveMode mode) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    bool reusing = false;
    if (auto refusal = Judge(reservation.serial, mode, Access::Write, first, reusing)) {
        return refusal;
    }
    LogRow row = NewLogRow();
    row.port = reservation.port;
    row.serialWritten = reservation.serial.Text();
    row.outcome = outcome::kReserved;
    std::string error;
    if (InMemory()) {
        RecordInMemory(row);
    } else if (!Append(first, row, error)) {
        return RefuseNothingSent(Refusal::Kind::Unusable, error);
    }
    reservation.reusing = reusing;
    return std::nullopt;
}

bool JournalLedger::Settle(const Reservation& reservation, const LogRow& row, std::string& error) {
    std::lock_guard lock(mutex_);
    LogRow settled = row;
    settled.serialWritten = reservation.serial.Text();
    if (InMemory()) {
        RecordInMemory(settled);
        return true;
    }
    JournalFile first;
    if (!Refresh(first, Access::Write, error)) {
        return false;
    }
    return Append(first, settled, error);
}

std::optional<Serial> JournalLedger::NextFree(const Serial& from, std::string& why) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);  // unreadable: offered all the same, refused at Write
    for (std::optional<Serial> candidate = from; candidate;) {
        if (LedgerIndex::State(Flags(candidate->Key())) == NumberState::Free) {
            return candidate;
        }
        const auto next = NextSerial(*candidate);
        if (!next) {
            why = SequenceEndMessage(*candidate);
        }
        candidate = next;
    }
    return std::nullopt;
}

LedgerEntry JournalLedger::Lookup(const Serial& serial) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);
    return Describe(serial.Key(), first);
}

std::vector<std::uint64_t> JournalLedger::UnfinishedKeys() {
    std::vector<std::uint64_t> keys;
    const auto unfinished = [](std::uint8_t flags) {
        const NumberState s = LedgerIndex::State(flags);
        return s == NumberState::InDoubt || s == NumberState::BrokenOff;
    };
    index_.ForEach([&](std::uint64_t key, const LedgerIndex::Entry&) {
        if (unfinished(Flags(key))) {
            keys.push_back(key);
        }
    });
    for (const FileState& st : files_) {
        if (st.tail.key && !index_.Find(*st.tail.key) && unfinished(Flags(*st.tail.key))) {
            keys.push_back(*st.tail.key);
        }
    }
    return keys;
}

std::vector<LedgerEntry> JournalLedger::Unfinished() {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);
    std::vector<LedgerEntry> entries;
    for (std::uint64_t key : UnfinishedKeys()) {
        entries.push_back(Describe(key, first));
    }
    std::sort(entries.begin(), entries.end(), [](const LedgerEntry& a, const LedgerEntry& b) {
        return std::tie(a.row.time, a.serial) < std::tie(b.row.time, b.serial);
    });
    return entries;
}

}  // namespace sn
