// The production journal's rows: what an outcome does to its number, how a
// record reads (a row, the header, a torn write, damage), and serial numbers
// packed for the index. The CSV text itself is journal_csv.cpp's.

#include "ledger/journal.h"

#include <array>

namespace sn {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// "Write Error #2", "Read Error #5": the number after the title's '#'.
std::optional<std::string_view> ErrorNumber(std::string_view s, std::string_view title) {
    if (!StartsWith(s, title) || !AllDigits(s.substr(title.size()))) {
        return std::nullopt;
    }
    return s.substr(title.size());
}

// What a written, verified or mismatched pager's outcome may carry.
std::optional<RowEffect> WriteOutcomeEffect(std::string_view s) {
    if (s == outcome::kWritten || s == outcome::kVerified) {
        return RowEffect::UseFinished;
    }
    if (s == outcome::kVerifyMismatch) {
        return RowEffect::UseBroken;
    }
    // The verify read failed after a complete write: "written (verify: Read Error #5)".
    constexpr std::string_view kVerifyNote = "written (verify: ";
    if (StartsWith(s, kVerifyNote) && EndsWith(s, ")") && s.size() > kVerifyNote.size() + 1) {
        return RowEffect::UseFinished;
    }
    return std::nullopt;
}

// Outcomes a torn row may have been cut from: its start must be one of these.
constexpr std::array<std::string_view, 10> kOutcomeStarts = {
    "reserved",         "written",      "verified",      "verify mismatch", "model refused",
    "already numbered", "Read Error #", "Write Error #", "not finished",    "written (verify: ",
};

// The time as the tool writes it: 2026-12-07T14:02:11+01:00.
constexpr std::string_view kTimeShape = "dddd-dd-ddTdd:dd:dd+dd:dd";

bool TimeShapeMatches(std::string_view s, bool whole) {
    if (s.size() > kTimeShape.size() || (whole && s.size() != kTimeShape.size())) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char want = kTimeShape[i];
        const bool ok = want == 'd'   ? IsDigit(s[i])
                        : want == '+' ? (s[i] == '+' || s[i] == '-')
                                      : s[i] == want;
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool SerialPrefix(std::string_view s) {
    if (s.size() > 10) {
        return false;
    }
    for (char c : s) {
        if (!Serial::IsCharacter(c)) {
            return false;
        }
    }
    return true;
}

// Whether `field` can stand in column `column` of a row cut off after it
// (`cut`: the field itself may be cut too).
bool FitsColumn(std::size_t column, std::string_view field, bool cut) {
    switch (column) {
        case 0:
            return TimeShapeMatches(field, !cut);
        case 5:
            return cut ? SerialPrefix(field) : Serial::KeyOf(field).has_value();
        case 6:
            return cut ? IsOutcomePrefix(UnescapeFormula(field))
                       : OutcomeEffect(UnescapeFormula(field)).has_value();
        default:
            return true;  // station, port, model, the serial before, the version, the operator
    }
}

bool IsHeaderPrefix(std::span<const std::string_view> fields) {
    static const std::array<std::string_view, kLogFields> kHeader = {
        "time",           "station", "port",         "model",   "serial before",
        "serial written", "outcome", "tool version", "operator"};
    if (fields.size() > kHeader.size()) {
        return false;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        if (last ? !StartsWith(kHeader[i], fields[i]) : kHeader[i] != fields[i]) {
            return false;
        }
    }
    return true;
}

bool Blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

std::string WrongFields(std::size_t n) {
    return "it has " + std::to_string(n) + (n == 1 ? " field" : " fields") + " instead of " +
           std::to_string(kLogFields);
}

// A record of all the fields: a row, when its number and outcome read.
RecordReading ReadWholeRow(std::span<const std::string_view> fields) {
    RecordReading r;
    const std::string_view outcomeText = UnescapeFormula(fields[6]);
    const auto effect = OutcomeEffect(outcomeText);
    const auto serial = Serial::KeyOf(fields[5]);
    if (!serial) {
        r.kind = RecordKind::Unreadable;
        r.why = "its serial number \"" + std::string(UnescapeFormula(fields[5])) +
                "\" is not ten letters, digits or '*'";
    } else if (!effect) {
        r.kind = RecordKind::Unreadable;
        r.why = "its outcome \"" + std::string(outcomeText) + "\" is not one the tool writes";
    } else {
        r.kind = RecordKind::Row;
        r.serial = *serial;
        r.effect = *effect;
    }
    return r;
}

// Fewer fields: the start of a row whose write was cut off, if every field
// fits its column.
RecordReading ReadCutRow(std::span<const std::string_view> fields) {
    RecordReading r;
    bool fits = fields.size() < kOldLogFields;
    for (std::size_t i = 0; fits && i < fields.size(); ++i) {
        fits = FitsColumn(i, fields[i], i + 1 == fields.size());
    }
    r.kind = fits ? RecordKind::Torn : RecordKind::Unreadable;
    if (!fits) {
        r.why = WrongFields(fields.size());
    }
    return r;
}

}  // namespace

std::optional<RowEffect> OutcomeEffect(std::string_view s) {
    if (s == outcome::kReserved) {
        return RowEffect::Reserve;
    }
    if (s == outcome::kVerified || s == outcome::kWritten) {
        return RowEffect::UseFinished;
    }
    if (s == outcome::kModelRefused || s == outcome::kAlreadyNumbered) {
        return RowEffect::Release;
    }
    if (s == outcome::kNotFinished) {
        return RowEffect::UseBroken;
    }
    if (ErrorNumber(s, "Read Error #")) {
        return RowEffect::Release;
    }
    const std::string_view nothing = outcome::kNothingWritten;
    const bool nothingWritten = EndsWith(s, nothing);
    const std::string_view bare = nothingWritten ? s.substr(0, s.size() - nothing.size()) : s;
    if (const auto n = ErrorNumber(bare, "Write Error #")) {
        // The write start was never acknowledged: no block went out.
        return nothingWritten || *n == "1" ? RowEffect::Release : RowEffect::UseBroken;
    }
    if (nothingWritten && bare == outcome::kNotFinished) {
        return RowEffect::Release;
    }
    const std::string_view allowed = outcome::kDuplicateAllowed;
    return WriteOutcomeEffect(EndsWith(s, allowed) ? s.substr(0, s.size() - allowed.size()) : s);
}

bool IsOutcomePrefix(std::string_view partial) {
    for (std::string_view start : kOutcomeStarts) {
        if (StartsWith(start, partial) || StartsWith(partial, start)) {
            return true;
        }
    }
    return false;
}

RecordReading ReadRecord(std::span<const std::string_view> fields) {
    RecordReading r;
    if (fields.size() == 1 && Blank(fields[0])) {
        r.kind = RecordKind::Empty;
    } else if (IsHeaderPrefix(fields)) {
        r.kind = RecordKind::Header;  // also the whole header, of as many fields as a row
    } else {
        const bool whole = fields.size() == kLogFields || fields.size() == kOldLogFields;
        r = whole ? ReadWholeRow(fields) : ReadCutRow(fields);
    }
    return r;
}

}  // namespace sn
