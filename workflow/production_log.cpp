// The production log: CSV rows in, CSV rows out, and the duplicate guard.

#include "workflow/production_log.h"

#include <algorithm>
#include <cctype>

#include "workflow/log_file.h"

namespace sn {

namespace {

constexpr std::size_t kFields = 8;

std::string CsvField(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + '"';
}

std::string Upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::vector<std::string> Fields(const LogRow& r) {
    return {r.time,         r.station,       r.port,    r.model,
            r.serialBefore, r.serialWritten, r.outcome, r.version};
}

LogRow FromFields(const std::vector<std::string>& f) {
    return {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]};
}

// Splits CSV text into records. `lines[i]` is the line on which record i
// starts; `lastTerminated` says whether the text ended with a line end
// outside quotes.
struct Records {
    std::vector<std::vector<std::string>> records;
    std::vector<int> lines;
    bool lastTerminated = true;
    bool lastInQuotes = false;
};

Records SplitRecords(const std::string& text) {
    Records out;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    bool any = false;  // the current record has begun
    int line = 1;
    int startLine = 1;
    const auto endRecord = [&] {
        record.push_back(field);
        out.records.push_back(record);
        out.lines.push_back(startLine);
        record.clear();
        field.clear();
        any = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!any) {
            startLine = line;
            any = true;
        }
        if (c == '\n') {
            ++line;
        }
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the '\n' ends the record
        } else if (c == '\n') {
            endRecord();
        } else {
            field += c;
        }
    }
    if (any) {
        out.lastTerminated = false;
        out.lastInQuotes = quoted;
        endRecord();
    }
    return out;
}

// What goes in front of a row so that a torn last line stays a line of its
// own: its open quote closed, and a line end.
std::string MendTornEnd(const std::string& current) {
    if (current.empty() || current.back() == '\n') {
        return "";
    }
    return SplitRecords(current).lastInQuotes ? "\"\r\n" : "\r\n";
}

}  // namespace

std::string FormatCsvRow(const LogRow& row) {
    std::string line;
    const char* separator = "";
    for (const std::string& f : Fields(row)) {
        line += separator;
        line += CsvField(f);
        separator = ",";
    }
    return line + "\r\n";
}

ParsedLog ParseCsvLog(const std::string& content) {
    ParsedLog parsed;
    const Records split = SplitRecords(content);
    const std::vector<std::string> header = SplitRecords(kLogHeader).records.front();
    for (std::size_t i = 0; i < split.records.size(); ++i) {
        const auto& fields = split.records[i];
        const bool last = i + 1 == split.records.size();
        const std::string where = "line " + std::to_string(split.lines[i]);
        if (last && !split.lastTerminated) {
            parsed.problems.push_back(
                where + " is torn (a row whose write did not finish); it is left out");
        } else if (fields == header) {
            continue;
        } else if (fields.size() == 1 && fields.front().empty()) {
            continue;  // an empty line
        } else if (fields.size() != kFields) {
            parsed.problems.push_back(where + " has " + std::to_string(fields.size()) +
                                      " fields instead of " + std::to_string(kFields) +
                                      "; it is left out");
        } else {
            parsed.rows.push_back(FromFields(fields));
        }
    }
    return parsed;
}

bool IsWriteOutcome(const std::string& o) {
    return o.rfind(outcome::kWritten, 0) == 0 || o.rfind(outcome::kVerified, 0) == 0;
}

ProductionLog::ProductionLog(std::vector<std::string> paths) : paths_(std::move(paths)) {}

bool ProductionLog::ReadLog(std::size_t index, ParsedLog& parsed, std::string& error) const {
    LogFile file;
    std::string reason;
    std::string content;
    if (!file.Open(paths_[index], index == 0, reason) || !file.ReadAll(content, reason)) {
        error = "The production log " + paths_[index] + " cannot be opened: " + reason + ".";
        return false;
    }
    parsed = ParseCsvLog(content);
    return true;
}

bool ProductionLog::Open(std::vector<std::string>& problems, std::string& error) {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        ParsedLog parsed;
        if (!ReadLog(i, parsed, error)) {
            return false;
        }
        for (const std::string& p : parsed.problems) {
            problems.push_back(paths_[i] + ": " + p + ".");
        }
    }
    return true;
}

std::optional<Refusal> ProductionLog::Check(const std::string& serial, bool allowDuplicate) const {
    const std::string wanted = Upper(serial);
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        ParsedLog parsed;
        std::string error;
        if (!ReadLog(i, parsed, error)) {
            return Refusal{Refusal::Kind::LogUnusable, error + " Nothing was sent to the pager."};
        }
        if (allowDuplicate) {
            continue;
        }
        const auto hit = std::find_if(parsed.rows.begin(), parsed.rows.end(), [&](const LogRow& r) {
            return IsWriteOutcome(r.outcome) && Upper(r.serialWritten) == wanted;
        });
        if (hit != parsed.rows.end()) {
            return Refusal{Refusal::Kind::Duplicate,
                           "The serial number " + wanted + " was already written on " + hit->time +
                               " at station " + hit->station + " (port " + hit->port +
                               "), as the production log " + paths_[i] +
                               " records. Nothing was sent to the pager."};
        }
    }
    return std::nullopt;
}

bool ProductionLog::Record(const LogRow& row, std::string& error) const {
    LogFile file;
    std::string reason;
    const std::string line = FormatCsvRow(row);
    const bool ok = file.Open(paths_.front(), true, reason) &&
                    file.Append(
                        [&](const std::string& current) {
                            if (current.empty()) {
                                return std::string(kLogHeader) + "\r\n" + line;
                            }
                            return MendTornEnd(current) + line;
                        },
                        reason);
    if (!ok) {
        error = "The production log " + paths_.front() + " cannot be written: " + reason + ".";
    }
    return ok;
}

LogRow NewLogRow() {
    LogRow row;
    row.time = LocalTimestamp();
    row.station = StationName();
    row.version = SNTOOL_VERSION;
    return row;
}

}  // namespace sn
