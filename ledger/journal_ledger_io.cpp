// JournalLedger and its journals on the disk: what was appended to each since
// the last look, read as a stream into the index (a journal replaced or cut
// short is read anew), a row read back at its offset, and a row appended to
// the first journal. What the ledger decides from them is journal_ledger.cpp's.

#include <algorithm>
#include <cstring>
#include <memory>

#include "ledger/journal_ledger.h"

namespace sn {

namespace {

constexpr std::size_t kChunk = 1 << 20;
// No row is anywhere near this long: a longer line is damage, not a row.
constexpr std::size_t kLongestRecord = 64 * 1024;
constexpr std::size_t kFingerprint = 32;
constexpr std::size_t kMaxNotes = 20;
// No row is much shorter: room for a number a row, whatever the journal's age.
constexpr std::uint64_t kBytesPerNumber = 64;

void NoteTorn(std::vector<std::string>& notes, const std::string& path, int line) {
    if (notes.size() < kMaxNotes) {
        notes.push_back(path + ": line " + std::to_string(line) +
                        " is torn (a row whose write did not finish); it is left out.");
    }
}

// Fills `bytes` with the bytes just before `end`: what shows at the next look
// that the file was not rewritten in between.
bool ReadBefore(JournalFile& file, std::uint64_t end, std::string& bytes, std::string& error) {
    return bytes.empty() || file.ReadAt(end - bytes.size(), bytes.data(), bytes.size(), error) ==
                                static_cast<long long>(bytes.size());
}

}  // namespace

void JournalLedger::Forget() {
    index_.Clear();
    files_.assign(paths_.size(), FileState{});
    problem_.reset();
    notes_.clear();
}

void JournalLedger::TakeRecord(std::size_t i, const CsvRecord& record, std::uint64_t at) {
    FileState& st = files_[i];
    const RecordReading reading = ReadRecord(record.fields);
    const std::size_t n = record.fields.size();
    const bool headerOrRow = reading.kind == RecordKind::Header || reading.kind == RecordKind::Row;
    if (st.columns == 0 && record.terminated && headerOrRow &&
        (n == kLogFields || n == kOldLogFields)) {
        st.columns = n;
    }
    if (!record.terminated) {
        // The last line of the file, without its line end: a write cut off.
        st.tail = Tail{record.size, st.line, record.endsInQuotes, record.endsWithCr, {}, {}};
        if (reading.kind == RecordKind::Row) {
            st.tail.key = reading.serial;
            st.tail.effect = reading.effect;
        } else if (reading.kind != RecordKind::Empty) {
            NoteTorn(notes_, paths_[i], st.line);
        }
        return;
    }
    switch (reading.kind) {
        case RecordKind::Row:
            index_.Record(reading.serial, reading.effect, static_cast<std::uint8_t>(i), at);
            break;
        case RecordKind::Torn:
            NoteTorn(notes_, paths_[i], st.line);
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
bool JournalLedger::ReadChunks(std::size_t i, JournalFile& file, std::uint64_t size,
                               std::string& error) {
    FileState& st = files_[i];
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
            return true;
        }
        if (kept > kLongestRecord) {
            if (!problem_) {
                problem_ = Problem{i, st.line, "it does not end within 64 KiB"};
            }
            return true;
        }
    }
}

bool JournalLedger::ReadFrom(std::size_t i, JournalFile& file, std::uint64_t size,
                             std::string& error) {
    FileState& st = files_[i];
    st.tail = Tail{};
    index_.Expect(index_.Size() + (size - st.offset) / kBytesPerNumber);
    if (!ReadChunks(i, file, size, error)) {
        return false;
    }
    st.before.assign(static_cast<std::size_t>(std::min<std::uint64_t>(st.offset, kFingerprint)),
                     '\0');
    return ReadBefore(file, st.offset, st.before, error);
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
        const bool same = identity == st.identity && size >= st.offset &&
                          ReadBefore(file, st.offset, now, error) && now == st.before;
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
        // Only the first is written to: the others are read under a shared lock.
        JournalFile other;
        JournalFile& file = i == 0 ? first : other;
        const bool exclusive = i == 0 && access == Access::Write;
        std::string reason;
        if (!file.Open(paths_[i], i == 0, reason) ||
            !file.Lock(exclusive ? JournalFile::LockMode::Exclusive : JournalFile::LockMode::Shared,
                       reason)) {
            error = "The production log " + paths_[i] + " cannot be opened: " + reason + ".";
            return false;
        }
        if (!CatchUp(i, file, replaced, reason)) {
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
    // Under 1.0.1's header a ninth field would shift a spreadsheet's columns.
    bytes += FormatCsvRow(row, st.columns == 0 ? kLogFields : st.columns);
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

}  // namespace sn
