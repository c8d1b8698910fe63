#pragma once
// JournalLedger: the ledger of one station, kept in CSV journals. Rows go to
// the first journal; every journal named guards (other stations' journals,
// copied over). With no journal at all it keeps its rows in memory, for a
// run that saves nothing but must still never give a used number twice.
//
// The journals are read as a stream into an index of the numbers they name,
// never held whole; each later look reads only what was appended since the
// last one, so the rows of other processes are seen. A journal replaced or
// cut short under its name is read again from its start.
//
// A complete row that cannot be read stops every reservation (the message
// names the file and the line) until it is mended: a blind spot could give
// a used number again. A torn last line (a write cut off by a power cut) is
// left out, also once later rows stand behind it: with reservations it is a
// reservation whose pager was never touched, or a settlement whose
// reservation is intact.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ledger/journal_file.h"
#include "ledger/ledger.h"
#include "ledger/ledger_index.h"

namespace sn {

class JournalLedger final : public Ledger {
  public:
    explicit JournalLedger(std::vector<std::string> paths);

    bool Open(std::vector<std::string>& notes, std::string& error) override;
    std::optional<Refusal> Check(const Serial& serial, ReserveMode mode) override;
    std::optional<Refusal> Reserve(Reservation& reservation, ReserveMode mode) override;
    bool Settle(const Reservation& reservation, const LogRow& row, std::string& error) override;
    std::optional<Serial> NextFree(const Serial& from, std::string& why) override;
    LedgerEntry Lookup(const Serial& serial) override;
    std::vector<LedgerEntry> Unfinished() override;

    const std::vector<std::string>& Paths() const { return paths_; }
    bool HasUnreadableLine() const override {
        std::lock_guard lock(mutex_);
        return problem_.has_value();
    }

  private:
    struct Tail {
        std::uint64_t size = 0;  // bytes of an unterminated last record
        int line = 0;
        bool inQuotes = false;
        bool endsWithCr = false;
        std::optional<std::uint64_t> key;  // when it reads as a whole row
        RowEffect effect = RowEffect::Reserve;
    };
    struct FileState {
        bool seen = false;
        FileIdentity identity;
        std::uint64_t offset = 0;  // after the last complete record read
        int line = 1;              // the line that starts there
        std::string before;        // the bytes just before `offset`
        // The columns of the file's first header or row, which appended rows
        // keep (1.0.1 wrote 8); 0: none read yet.
        std::size_t columns = 0;
        Tail tail;
    };
    struct Problem {
        std::size_t file;
        int line;
        std::string why;
    };
    enum class Access { Read, Write };

    bool InMemory() const { return paths_.empty(); }
    // Reads what was appended to every journal; the first is held open in
    // `first`, locked for `access`, for the caller to append to.
    bool Refresh(JournalFile& first, Access access, std::string& error);
    bool ReadAll(JournalFile& first, Access access, std::string& error);
    bool CatchUp(std::size_t i, JournalFile& file, bool& replaced, std::string& error);
    bool ReadFrom(std::size_t i, JournalFile& file, std::uint64_t size, std::string& error);
    bool ReadChunks(std::size_t i, JournalFile& file, std::uint64_t size, std::string& error);
    void TakeRecord(std::size_t i, const CsvRecord& record, std::uint64_t at);
    void Forget();
    std::uint8_t Flags(std::uint64_t key);
    LedgerEntry Describe(std::uint64_t key, JournalFile& first);
    std::optional<LogRow> RowAt(std::size_t file, std::uint64_t offset, JournalFile& first);
    std::optional<Refusal> Decide(const Serial& serial, ReserveMode mode, JournalFile& first,
                                  bool& reusing);
    std::optional<Refusal> Judge(const Serial& serial, ReserveMode mode, Access access,
                                 JournalFile& first, bool& reusing);
    std::string Source(const std::string& where) const;
    bool Append(JournalFile& first, const LogRow& row, std::string& error);
    void RecordInMemory(const LogRow& row);
    std::string ProblemMessage() const;
    std::vector<std::uint64_t> UnfinishedKeys();

    std::vector<std::string> paths_;
    mutable std::mutex mutex_;
    std::vector<FileState> files_;
    LedgerIndex index_;
    std::optional<Problem> problem_;
    std::vector<std::string> notes_;
    std::map<std::uint64_t, LogRow> memoryRows_;  // no journal: the last row of each number
};

// A row with the time, station, operator and version filled in.
LogRow NewLogRow();
// The operator every new row names from now on (--operator); by default the
// user logged in.
void SetOperatorName(std::string name);
std::string OperatorName();

}  // namespace sn
