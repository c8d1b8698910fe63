// A production journal read for the report: in 1 MiB chunks through the
// journal's splitter, each row handed on as views into the chunk, so that
// no row is copied and the file is never held whole.

#include <filesystem>
#include <fstream>

#include "report/report_source.h"

namespace sn {

namespace {

constexpr std::size_t kChunk = 1 << 20;

void AddRecord(const CsvRecord& record, ReportBuilder& builder, std::int64_t& skipped) {
    const RecordReading reading = ReadRecord(record.fields);
    if (reading.kind != RecordKind::Row) {
        const bool note =
            reading.kind == RecordKind::Torn || reading.kind == RecordKind::Unreadable;
        skipped += note ? 1 : 0;
        return;
    }
    const auto f = record.fields;
    const std::string_view o = UnescapeFormula(f[6]);
    const std::string_view allowed = outcome::kDuplicateAllowed;
    const std::string_view bare = o.ends_with(allowed) ? o.substr(0, o.size() - allowed.size()) : o;
    builder.Add(ReportRowView{
        UnescapeFormula(f[0]), UnescapeFormula(f[1]), UnescapeFormula(f[2]), UnescapeFormula(f[3]),
        f.size() > 8 ? UnescapeFormula(f[8]) : std::string_view(), reading.serial, reading.effect,
        bare == outcome::kVerified, o == outcome::kAlreadyNumbered || o == outcome::kModelRefused});
}

// Adds a journal's rows. False, with the ledger's wording, when the file
// cannot be opened or read.
bool AddJournalFile(const std::string& path, ReportBuilder& builder, std::string& error,
                    std::int64_t& skippedLines) {
    std::error_code ec;
    const std::string why = std::filesystem::is_regular_file(path, ec) ? "it cannot be read"
                            : std::filesystem::exists(path, ec)        ? "it is not a file"
                                                                       : "it does not exist";
    std::ifstream in(path, std::ios::binary);
    if (!in || !std::filesystem::is_regular_file(path, ec)) {
        error = "The production log " + path + " cannot be opened: " + why + ".";
        return false;
    }
    CsvSplitter splitter;
    std::string buffer;
    std::size_t held = 0;  // bytes of an unfinished record at the buffer's start
    for (;;) {
        buffer.resize(held + kChunk);
        in.read(buffer.data() + held, static_cast<std::streamsize>(kChunk));
        const auto got = static_cast<std::size_t>(in.gcount());
        const bool final = got < kChunk;
        if (in.bad()) {
            error = "The production log " + path + " cannot be read.";
            return false;
        }
        const std::string_view text(buffer.data(), held + got);
        const std::size_t used = splitter.Split(text, final, [&](const CsvRecord& record) {
            AddRecord(record, builder, skippedLines);
        });
        held = text.size() - used;
        buffer.erase(0, used);
        if (final) {
            return true;
        }
    }
}

}  // namespace

JournalReportSource::JournalReportSource(std::vector<std::string> paths, bool missingIsEmpty)
    : paths_(std::move(paths)), missingIsEmpty_(missingIsEmpty) {}

bool JournalReportSource::Build(const ReportOptions& options, Report& report, std::string& error) {
    ReportBuilder builder(options);
    notes_.clear();
    for (const std::string& path : paths_) {
        std::error_code ec;
        if (missingIsEmpty_ && !std::filesystem::exists(path, ec)) {
            continue;
        }
        std::int64_t skipped = 0;
        const bool read = AddJournalFile(path, builder, error, skipped);
        if (skipped > 0) {
            notes_.push_back(path + ": " + std::to_string(skipped) +
                             (skipped == 1 ? " line is" : " lines are") +
                             " not a row (torn or damaged) and not counted");
        }
        if (!read) {
            return false;
        }
    }
    report = builder.Finish();
    return true;
}

}  // namespace sn
