#pragma once
// The production journal's format: one CSV row (RFC 4180, CR LF line ends, a
// header row first) for every step of a serial number's life, a file that a
// spreadsheet opens.
//
// A number's rows: `reserved` before the first frame of its write, then the
// settlement, the outcome of the pager it was meant for. What an outcome
// means for the number:
// - used: written, verified (also "written (verify: ...)"), verify mismatch,
//   a write error after the first block-write frame, not finished;
// - released (may be given again): model refused, already numbered, a read
//   error, "Write Error #1", and a write error marked "(nothing written)";
// - a reservation without a settlement is in doubt, and so used.
// Logs written before reservations existed read the same way.
//
// Every field that a spreadsheet would take for a formula is written with a
// leading apostrophe and read back without it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/serial.h"

namespace sn {

struct LogRow {
    std::string time;  // ISO 8601 with the UTC offset
    std::string station;
    std::string port;
    std::string model;
    std::string serialBefore;
    std::string serialWritten;
    std::string outcome;  // see the outcome texts below
    std::string version;
    std::string operatorName;  // who ran the station (--operator, else the logged-in user)
};

namespace outcome {
inline constexpr const char* kReserved = "reserved";
inline constexpr const char* kWritten = "written";
inline constexpr const char* kVerified = "verified";
inline constexpr const char* kVerifyMismatch = "verify mismatch";
inline constexpr const char* kModelRefused = "model refused";
inline constexpr const char* kAlreadyNumbered = "already numbered";
inline constexpr const char* kNotFinished = "not finished";
// Added to written, verified or verify mismatch when --allow-duplicate let a
// used number through.
inline constexpr const char* kDuplicateAllowed = " (duplicate allowed)";
// Added to an error's title when no block-write frame went out.
inline constexpr const char* kNothingWritten = " (nothing written)";
}  // namespace outcome

inline constexpr const char* kLogHeader =
    "time,station,port,model,serial before,serial written,outcome,tool version,operator";
inline constexpr std::size_t kLogFields = 9;
// Rows written before the operator column was added; they read as they did.
inline constexpr std::size_t kOldLogFields = 8;

// What a row does to its number.
enum class RowEffect : std::uint8_t {
    Reserve,      // reserved: in doubt until settled
    UseFinished,  // the number went into a pager whose write completed
    UseBroken,    // the number went into a pager whose write broke off
    Release,      // no block write went out: the number may be given again
};

// Nothing for an outcome text the tool never writes.
std::optional<RowEffect> OutcomeEffect(std::string_view outcomeText);
// True for the start of an outcome text that a torn row may end with.
bool IsOutcomePrefix(std::string_view partial);

// One row as it goes into the file, CR LF included; `fields` kOldLogFields
// leaves the operator out, for a journal begun by 1.0.1 under its header.
std::string FormatCsvRow(const LogRow& row, std::size_t fields = kLogFields);
// A field as written (formula escape, then CSV quoting), and the escape's undoing.
std::string CsvField(const std::string& value);
std::string_view UnescapeFormula(std::string_view field);

// How a record of the file reads.
enum class RecordKind {
    Row,         // a row the tool wrote (or an old version did)
    Header,      // the header, also a torn one and one in the middle
    Empty,       // an empty line
    Torn,        // the start of a row whose write was cut off
    Unreadable,  // a complete line that is none of these
};

struct RecordReading {
    RecordKind kind = RecordKind::Empty;
    std::uint64_t serial = 0;  // Row: its number, packed
    RowEffect effect = RowEffect::Reserve;
    std::string why;  // Unreadable: what is wrong
};
// `fields` as the splitter gives them (formula escapes still on).
RecordReading ReadRecord(std::span<const std::string_view> fields);

// Splits CSV text into records, in chunks: a record ends with a line end
// outside quotes. A quote in the middle of a field opens a quoted part, as in
// the files older versions wrote.
struct CsvRecord {
    std::span<const std::string_view> fields;  // quotes undone (UnescapeFormula does the rest)
    std::size_t size = 0;                      // bytes, line end included
    int lines = 0;                             // line ends it spans
    bool terminated = true;
    bool endsInQuotes = false;  // an unterminated record cut inside quotes
    bool endsWithCr = false;    // an unterminated record cut between CR and LF
};

class CsvSplitter {
  public:
    // Calls `onRecord(const CsvRecord&)` for every complete record at the
    // start of `text` and returns the bytes they take; with `final`, the
    // rest is handed over too, as an unterminated record.
    template <typename F>
    std::size_t Split(std::string_view text, bool final, F&& onRecord);

  private:
    // The record in `text`, which ends at `end` (after its line end, or at
    // the end of the text when unterminated).
    const CsvRecord& Parse(std::string_view text, bool quoted, bool terminated);
    std::size_t FindEnd(std::string_view text, std::size_t from, bool& quoted) const;

    std::vector<std::string_view> views_;
    std::vector<std::string> owned_;
    CsvRecord record_;
};

// A whole log in memory (tests, small files): its rows, and the lines that
// are not rows, each with its line number.
struct ParsedLog {
    std::vector<LogRow> rows;
    std::vector<std::string> torn;        // "line 7"
    std::vector<std::string> unreadable;  // "line 9: it has 9 fields instead of 8"
};
ParsedLog ParseCsvLog(std::string_view content);
// A Row's fields as a LogRow, formula escapes undone.
LogRow RowFromFields(std::span<const std::string_view> fields);

template <typename F>
std::size_t CsvSplitter::Split(std::string_view text, bool final, F&& onRecord) {
    std::size_t start = 0;
    while (start < text.size()) {
        bool quoted = false;
        const std::size_t end = FindEnd(text, start, quoted);
        if (end == std::string_view::npos) {
            if (!final) {
                break;
            }
            onRecord(Parse(text.substr(start), quoted, false));
            return text.size();
        }
        onRecord(Parse(text.substr(start, end - start), quoted, true));
        start = end;
    }
    return start;
}

}  // namespace sn
