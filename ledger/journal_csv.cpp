// The production journal as CSV text: a row's fields written with their
// formula escapes and quotes, the text split back into records, and a whole
// log read in memory. What a record means is journal.cpp's.

#include <algorithm>
#include <array>
#include <cstring>

#include "ledger/journal.h"

namespace sn {

namespace {

constexpr std::string_view kFormulaStarts = "=+-@\t\r";

bool StartsLikeFormula(char c) {
    return kFormulaStarts.find(c) != std::string_view::npos || c == '\'';
}

// A record without a quote: its fields are cut at the commas.
void SplitAtCommas(std::string_view body, std::vector<std::string_view>& fields) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(body.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            return;
        }
        start = comma + 1;
    }
}

// A record with quoted parts: its fields are built with the quotes undone,
// counting the line ends inside them.
void UnquoteFields(std::string_view body, CsvRecord& record, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool inQuotes = false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\n') {
            ++record.lines;
        }
        if (inQuotes) {
            if (c == '"' && i + 1 < body.size() && body[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\r' && i + 1 == body.size()) {
            record.endsWithCr = !record.terminated;  // the CR of the line end
        } else {
            fields.back() += c;
        }
    }
    record.lines += record.terminated ? 1 : 0;
    record.endsInQuotes = !record.terminated && inQuotes;
}

}  // namespace

std::string CsvField(const std::string& value) {
    // A spreadsheet computes a cell that begins like a formula: such a field
    // (and one that begins with the apostrophe itself) gets an apostrophe.
    const bool escape = !value.empty() && StartsLikeFormula(value[0]);
    const std::string text = escape ? "'" + value : value;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + '"';
}

std::string_view UnescapeFormula(std::string_view field) {
    if (field.size() >= 2 && field[0] == '\'' && StartsLikeFormula(field[1])) {
        return field.substr(1);
    }
    return field;
}

std::string FormatCsvRow(const LogRow& row, std::size_t fields) {
    const std::array<const std::string*, kLogFields> all = {
        &row.time,          &row.station, &row.port,    &row.model,       &row.serialBefore,
        &row.serialWritten, &row.outcome, &row.version, &row.operatorName};
    std::string line;
    for (std::size_t i = 0; i < std::min(fields, all.size()); ++i) {
        line += i == 0 ? "" : ",";
        line += CsvField(*all[i]);
    }
    return line + "\r\n";
}

std::size_t CsvSplitter::FindEnd(std::string_view text, std::size_t from, bool& quoted) const {
    const char* base = text.data();
    const std::size_t n = text.size();
    // Most rows hold no quote: the line end is the record's end.
    const void* nl = std::memchr(base + from, '\n', n - from);
    const std::size_t lineEnd = nl != nullptr ? static_cast<const char*>(nl) - base : n;
    if (std::memchr(base + from, '"', lineEnd - from) == nullptr) {
        quoted = false;
        return nl != nullptr ? lineEnd + 1 : std::string_view::npos;
    }
    quoted = true;
    bool inQuotes = false;
    for (std::size_t i = from; i < n; ++i) {
        if (base[i] == '"') {
            inQuotes = !inQuotes;  // "" inside quotes toggles twice
        } else if (base[i] == '\n' && !inQuotes) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

const CsvRecord& CsvSplitter::Parse(std::string_view text, bool quoted, bool terminated) {
    views_.clear();
    record_ = CsvRecord{};
    record_.size = text.size();
    record_.terminated = terminated;
    std::string_view body = text;
    if (terminated) {
        body.remove_suffix(1);  // the '\n'
    }
    if (quoted) {
        // Quoted parts: the fields are built, then seen.
        UnquoteFields(body, record_, owned_);
        views_.assign(owned_.begin(), owned_.end());
    } else {
        record_.lines = terminated ? 1 : 0;
        if (!body.empty() && body.back() == '\r') {
            body.remove_suffix(1);
            record_.endsWithCr = !terminated;
        }
        SplitAtCommas(body, views_);
    }
    record_.fields = views_;
    return record_;
}

LogRow RowFromFields(std::span<const std::string_view> f) {
    LogRow row;
    std::array<std::string*, kLogFields> to = {&row.time,    &row.station,      &row.port,
                                               &row.model,   &row.serialBefore, &row.serialWritten,
                                               &row.outcome, &row.version,      &row.operatorName};
    for (std::size_t i = 0; i < f.size() && i < kLogFields; ++i) {
        to[i]->assign(UnescapeFormula(f[i]));
    }
    return row;
}

ParsedLog ParseCsvLog(std::string_view content) {
    ParsedLog parsed;
    CsvSplitter splitter;
    int line = 1;
    splitter.Split(content, true, [&](const CsvRecord& r) {
        const RecordReading reading = ReadRecord(r.fields);
        const std::string where = "line " + std::to_string(line);
        if (reading.kind == RecordKind::Row) {
            parsed.rows.push_back(RowFromFields(r.fields));
        } else if (reading.kind == RecordKind::Torn ||
                   (!r.terminated && reading.kind == RecordKind::Unreadable)) {
            parsed.torn.push_back(where);
        } else if (reading.kind == RecordKind::Unreadable) {
            parsed.unreadable.push_back(where + ": " + reading.why);
        }
        line += r.lines;
    });
    return parsed;
}

}  // namespace sn
