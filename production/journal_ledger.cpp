#include "production/journal_ledger.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

#include "production/serial_sequence.h"

namespace sn {

namespace {

constexpr std::size_t kChunk = 1 << 20;
// No row is anywhere near this long: a longer line is damage, not a row.
constexpr std::size_t kLongestRecord = 64 * 1024;
constexpr std::size_t kFingerprint = 32;
constexpr std::size_t kMaxNotes = 20;
constexpr std::uint8_t kNoFile = 0xFF;
// No row is much shorter: room for a number a row, whatever the journal's age.
constexpr std::uint64_t kBytesPerNumber = 64;

const char* const kNothingSent = " Nothing was sent to the pager.";

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

LogRow NewLogRow() {
    LogRow row;
    row.time = LocalTimestamp();
    row.station = StationName();
    row.version = SNTOOL_VERSION;
    return row;
}

JournalLedger::JournalLedger(std::vector<std::string> paths)
    : paths_(std::move(paths)), files_(paths_.size()) {}

// ---- reading

void JournalLedger::Forget() {
    index_.Clear();
    files_.assign(paths_.size(), FileState{});
    problem_.reset();
    notes_.clear();
}

void JournalLedger::TakeRecord(std::size_t i, const CsvRecord& record, std::uint64_t at) {
    FileState& st = files_[i];
    const RecordReading reading = ReadRecord(record.fields);
    if (!record.terminated) {
        // The last line of the file, without its line end: a write cut off.
        st.tail = Tail{record.size, st.line, record.endsInQuotes, record.endsWithCr, {}, {}};
        if (reading.kind == RecordKind::Row) {
            st.tail.key = reading.serial;
            st.tail.effect = reading.effect;
        } else if (reading.kind != RecordKind::Empty && notes_.size() < kMaxNotes) {
            notes_.push_back(paths_[i] + ": line " + std::to_string(st.line) +
                             " is torn (a row whose write did not finish); it is left out.");
        }
        return;
    }
    switch (reading.kind) {
        case RecordKind::Row:
            index_.Record(reading.serial, reading.effect, static_cast<std::uint8_t>(i), at);
            break;
        case RecordKind::Torn:
            if (notes_.size() < kMaxNotes) {
                notes_.push_back(paths_[i] + ": line " + std::to_string(st.line) +
                                 " is torn (a row whose write did not finish); it is left out.");
            }
            break;
        case RecordKind::Unreadable:
            if (!problem_) {
                problem_ = Problem{i, st.line, reading.why};
            }
            break;
        case RecordKind::Header:
        case RecordKind::Empty:
            break;
    }
    st.line += record.lines;
}

// Reads from the file's offset to `size`, record by record, in chunks.
bool JournalLedger::ReadFrom(std::size_t i, JournalFile& file, std::uint64_t size,
                             std::string& error) {
    FileState& st = files_[i];
    st.tail = Tail{};
    index_.Expect(index_.Size() + (size - st.offset) / kBytesPerNumber);
    CsvSplitter splitter;
    const std::size_t capacity = kChunk + kLongestRecord;
    const auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::uint64_t readAt = st.offset;
    std::size_t kept = 0;  // bytes of a record begun in the last chunk
    while (true) {
        const long long got = file.ReadAt(readAt, buffer.get() + kept, capacity - kept, error);
        if (got < 0) {
            return false;
        }
        readAt += static_cast<std::uint64_t>(got);
        const std::string_view text(buffer.get(), kept + static_cast<std::size_t>(got));
        const bool final = got == 0 || readAt >= size;
        const std::uint64_t base = st.offset;  // where the buffer starts in the file
        std::uint64_t at = base;
        splitter.Split(text, final, [&](const CsvRecord& r) {
            TakeRecord(i, r, at);
            if (r.terminated) {
                at += r.size;
            }
        });
        st.offset = at;
        kept = text.size() - static_cast<std::size_t>(at - base);
        std::memmove(buffer.get(), buffer.get() + (at - base), kept);
        if (final) {
            break;
        }
        if (kept > kLongestRecord) {
            if (!problem_) {
                problem_ = Problem{i, st.line, "it does not end within 64 KiB"};
            }
            break;
        }
    }
    // What the next look compares, to see the file was not rewritten in between.
    st.before.assign(static_cast<std::size_t>(std::min<std::uint64_t>(st.offset, kFingerprint)),
                     '\0');
    if (!st.before.empty() &&
        file.ReadAt(st.offset - st.before.size(), st.before.data(), st.before.size(), error) !=
            static_cast<long long>(st.before.size())) {
        return false;
    }
    return true;
}

bool JournalLedger::CatchUp(std::size_t i, JournalFile& file, bool& replaced, std::string& error) {
    FileIdentity identity;
    std::uint64_t size = 0;
    if (!file.Stat(identity, size, error)) {
        return false;
    }
    FileState& st = files_[i];
    if (st.seen) {
        std::string now(st.before.size(), '\0');
        const bool same =
            identity == st.identity && size >= st.offset &&
            (now.empty() || file.ReadAt(st.offset - now.size(), now.data(), now.size(), error) ==
                                static_cast<long long>(now.size())) &&
            now == st.before;
        if (!same) {
            replaced = true;
            return true;
        }
    }
    st.seen = true;
    st.identity = identity;
    return ReadFrom(i, file, size, error);
}

bool JournalLedger::ReadAll(JournalFile& first, Access access, std::string& error) {
    bool replaced = false;
    for (std::size_t i = 0; i < paths_.size() && !replaced; ++i) {
        std::string reason;
        if (i == 0) {
            if (!first.Open(paths_[0], true, reason) ||
                !first.Lock(access == Access::Write ? JournalFile::LockMode::Exclusive
                                                    : JournalFile::LockMode::Shared,
                            reason)) {
                error = "The production log " + paths_[0] + " cannot be opened: " + reason + ".";
                return false;
            }
            if (!CatchUp(0, first, replaced, reason)) {
                error = "The production log " + paths_[0] + " cannot be read: " + reason + ".";
                return false;
            }
            continue;
        }
        JournalFile other;
        if (!other.Open(paths_[i], false, reason) ||
            !other.Lock(JournalFile::LockMode::Shared, reason)) {
            error = "The production log " + paths_[i] + " cannot be opened: " + reason + ".";
            return false;
        }
        if (!CatchUp(i, other, replaced, reason)) {
            error = "The production log " + paths_[i] + " cannot be read: " + reason + ".";
            return false;
        }
    }
    if (replaced) {
        // Rewritten since the last look: everything is read anew.
        first.Unlock();
        Forget();
        return ReadAll(first, access, error);
    }
    return true;
}

bool JournalLedger::Refresh(JournalFile& first, Access access, std::string& error) {
    if (InMemory()) {
        return true;
    }
    if (problem_) {
        Forget();  // read anew each time, so that a mended line is seen
    }
    return ReadAll(first, access, error);
}

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

// The first journal is read through the caller's handle: on Windows its lock
// keeps every other handle out.
std::optional<LogRow> JournalLedger::RowAt(std::size_t i, std::uint64_t offset,
                                           JournalFile& first) {
    JournalFile other;
    std::string error;
    if (i == 0 ? !first.IsOpen() : !other.Open(paths_[i], false, error)) {
        return std::nullopt;
    }
    JournalFile& file = i == 0 ? first : other;
    std::string text(4096, '\0');
    const long long got = file.ReadAt(offset, text.data(), text.size(), error);
    if (got <= 0) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(got));
    std::optional<LogRow> row;
    CsvSplitter splitter;
    splitter.Split(text, true, [&](const CsvRecord& r) {
        if (!row) {
            row = RowFromFields(r.fields);
        }
    });
    return row;
}

LedgerEntry JournalLedger::Describe(std::uint64_t key, JournalFile& first) {
    LedgerEntry entry;
    entry.serial = UnpackSerial(key);
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

std::string JournalLedger::DuplicateMessage(const LedgerEntry& e) const {
    const LogRow& r = e.row;
    const std::string at = " on " + r.time + " at station " + r.station + " (port " + r.port + ")";
    switch (e.state) {
        case NumberState::InDoubt:
            return "The serial number " + e.serial + " was reserved" + at +
                   " and no outcome was recorded, " + Source(e.where) +
                   ": it may be in a pager, and counts as used." + kNothingSent;
        case NumberState::BrokenOff:
            return "The serial number " + e.serial + " went into a pager" + at +
                   " whose write broke off (" + r.outcome + "), " + Source(e.where) +
                   "; sntool resume finishes that pager." + kNothingSent;
        default:
            return "The serial number " + e.serial + " was already written" + at + ", " +
                   Source(e.where) + "." + kNothingSent;
    }
}

std::string JournalLedger::ProblemMessage() const {
    return "The production log " + paths_[problem_->file] + " cannot be read at line " +
           std::to_string(problem_->line) + ": " + problem_->why +
           ". No pager is written until that line is mended or removed." + kNothingSent;
}

std::optional<Refusal> JournalLedger::Decide(std::uint64_t key, const std::string& serial,
                                             ReserveMode mode, JournalFile& first, bool& reusing) {
    if (problem_) {
        return Refusal{Refusal::Kind::Unusable, ProblemMessage()};
    }
    const NumberState state = LedgerIndex::State(Flags(key));
    reusing = state != NumberState::Free;
    switch (mode) {
        case ReserveMode::Fresh:
            if (state == NumberState::Free) {
                return std::nullopt;
            }
            return Refusal{Refusal::Kind::Duplicate, DuplicateMessage(Describe(key, first))};
        case ReserveMode::AllowDuplicate:
            return std::nullopt;
        case ReserveMode::Resume:
            if (state == NumberState::InDoubt || state == NumberState::BrokenOff) {
                return std::nullopt;
            }
            return Refusal{Refusal::Kind::NotResumable,
                           "The serial number " + serial + " is " + StateName(state) +
                               ", not one whose write broke off; there is nothing to resume."};
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
std::optional<Refusal> JournalLedger::Judge(const std::string& serial, ReserveMode mode,
                                            Access access, JournalFile& first,
                                            std::string& canonical, bool& reusing) {
    const auto key = PackSerial(serial);
    if (!key) {
        return Refusal{Refusal::Kind::Duplicate, "\"" + serial + "\" is not a serial number."};
    }
    canonical = UnpackSerial(*key);
    std::string error;
    if (!Refresh(first, access, error)) {
        return Refusal{Refusal::Kind::Unusable, error + kNothingSent};
    }
    return Decide(*key, canonical, mode, first, reusing);
}

std::optional<Refusal> JournalLedger::Check(const std::string& serial, ReserveMode mode) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string canonical;
    bool reusing = false;
    return Judge(serial, mode, Access::Read, first, canonical, reusing);
}

bool JournalLedger::Append(JournalFile& first, const LogRow& row, std::string& error) {
    const FileState& st = files_[0];
    // A torn last line is closed first, so that this row starts a line of its own.
    std::string bytes;
    if (st.tail.size > 0) {
        bytes = st.tail.inQuotes ? "\"\r\n" : st.tail.endsWithCr ? "\n" : "\r\n";
    }
    if (st.offset + st.tail.size == 0) {
        bytes += std::string(kLogHeader) + "\r\n";
    }
    bytes += FormatCsvRow(row);
    std::string reason;
    if (!first.AppendFlushed(bytes, reason)) {
        error = "The production log " + paths_[0] + " cannot be written: " + reason + ".";
        return false;
    }
    bool replaced = false;
    if (!CatchUp(0, first, replaced, reason) || replaced) {
        Forget();  // read anew at the next look
    }
    return true;
}

void JournalLedger::RecordInMemory(const LogRow& row) {
    const auto key = PackSerial(row.serialWritten);
    const auto effect = OutcomeEffect(row.outcome);
    if (key && effect) {
        index_.Record(*key, *effect, kNoFile, 0);
        memoryRows_[*key] = row;
    }
}

std::optional<Refusal> JournalLedger::Reserve(const std::string& serial, const std::string& port,
                                              ReserveMode mode, Reservation& reservation) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string canonical;
    bool reusing = false;
    if (auto refusal = Judge(serial, mode, Access::Write, first, canonical, reusing)) {
        return refusal;
    }
    LogRow row = NewLogRow();
    row.port = port;
    row.serialWritten = canonical;
    row.outcome = outcome::kReserved;
    std::string error;
    if (InMemory()) {
        RecordInMemory(row);
    } else if (!Append(first, row, error)) {
        return Refusal{Refusal::Kind::Unusable, error + kNothingSent};
    }
    reservation = Reservation{canonical, port, reusing};
    return std::nullopt;
}

bool JournalLedger::Settle(const Reservation& reservation, const LogRow& row, std::string& error) {
    std::lock_guard lock(mutex_);
    LogRow settled = row;
    settled.serialWritten = reservation.serial;
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

std::optional<std::string> JournalLedger::NextFree(const std::string& from, std::string& why) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);  // unreadable: offered all the same, refused at Write
    auto candidate = CanonicalSerial(from);
    while (candidate) {
        if (LedgerIndex::State(Flags(*PackSerial(*candidate))) == NumberState::Free) {
            return candidate;
        }
        const auto next = NextSerial(*candidate);
        if (!next) {
            SerialSequence ended(*candidate);
            ended.Advance();
            why = ended.EndMessage();
        }
        candidate = next;
    }
    if (why.empty()) {
        why = "\"" + from + "\" is not a serial number.";
    }
    return std::nullopt;
}

LedgerEntry JournalLedger::Lookup(const std::string& serial) {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);
    const auto key = PackSerial(serial);
    if (!key) {
        return LedgerEntry{serial, NumberState::Free, {}, {}};
    }
    return Describe(*key, first);
}

std::vector<LedgerEntry> JournalLedger::Unfinished() {
    std::lock_guard lock(mutex_);
    JournalFile first;
    std::string error;
    Refresh(first, Access::Read, error);
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
    std::vector<LedgerEntry> entries;
    for (std::uint64_t key : keys) {
        entries.push_back(Describe(key, first));
    }
    std::sort(entries.begin(), entries.end(), [](const LedgerEntry& a, const LedgerEntry& b) {
        return std::tie(a.row.time, a.serial) < std::tie(b.row.time, b.serial);
    });
    return entries;
}

}  // namespace sn
