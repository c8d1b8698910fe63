#pragma once
// The production log: one CSV row (RFC 4180, CR LF line ends, a header row
// first) for every pager the tool acts on, and the guard against giving two
// pagers the same serial number. Several logs may be named: the guard reads
// them all (other stations' logs, copied over), rows go to the first.

#include <optional>
#include <string>
#include <vector>

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
};

namespace outcome {
inline constexpr const char* kWritten = "written";
inline constexpr const char* kVerified = "verified";
inline constexpr const char* kVerifyMismatch = "verify mismatch";
inline constexpr const char* kModelRefused = "model refused";
inline constexpr const char* kAlreadyNumbered = "already numbered";
// Added to written or verified when --allow-duplicate let a number through.
inline constexpr const char* kDuplicateAllowed = " (duplicate allowed)";
}  // namespace outcome

inline constexpr const char* kLogHeader =
    "time,station,port,model,serial before,serial written,outcome,tool version";

// One row as it goes into the file, CR LF included.
std::string FormatCsvRow(const LogRow& row);

struct ParsedLog {
    std::vector<LogRow> rows;
    // Lines that are not rows: a torn last line (a write cut off by a power
    // cut), or a line with the wrong number of fields. Each says where.
    std::vector<std::string> problems;
};
// Reads a log, header rows (also in the middle, where logs were
// concatenated) skipped. Never fails: what cannot be read is a problem.
ParsedLog ParseCsvLog(const std::string& content);

// True for an outcome that says the number went into a pager.
bool IsWriteOutcome(const std::string& outcomeText);

struct Refusal {
    enum class Kind { LogUnusable, Duplicate } kind;
    std::string message;
};

class ProductionLog {
  public:
    explicit ProductionLog(std::vector<std::string> paths);

    // At start-up: every log opened and read. Returns the problems found
    // (torn lines), each naming the file; `error` is set and false returned
    // when a log cannot be opened.
    bool Open(std::vector<std::string>& problems, std::string& error);
    // Before any frame: the first log can take a row, and `serial` is not in
    // any log as written (case does not matter) unless `allowDuplicate`.
    std::optional<Refusal> Check(const std::string& serial, bool allowDuplicate) const;
    // Appends the row to the first log; false with the reason in `error`.
    bool Record(const LogRow& row, std::string& error) const;
    const std::string& FirstPath() const { return paths_.front(); }

  private:
    bool ReadLog(std::size_t index, ParsedLog& parsed, std::string& error) const;

    std::vector<std::string> paths_;
};

// A row with the time, station and version filled in.
LogRow NewLogRow();

}  // namespace sn
