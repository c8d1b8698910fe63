// sntool report: the pagers the journals (or the production database)
// record, counted by station, operator, day, hour or shift, as a table, CSV
// or a page.

#include <fstream>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "database/odbc_report.h"
#include "report/report_source.h"
#include "report/report_time.h"

namespace sn::cli {

namespace {

std::optional<ReportGroup> GroupNamed(const std::string& name) {
    static const std::pair<const char*, ReportGroup> kGroups[] = {
        {"station", ReportGroup::Station},
        {"operator", ReportGroup::Operator},
        {"day", ReportGroup::Day},
        {"hour", ReportGroup::Hour},
        {"shift", ReportGroup::Shift}};
    for (const auto& [text, group] : kGroups) {
        if (name == text) {
            return group;
        }
    }
    return std::nullopt;
}

bool ReadTime(const std::optional<std::string>& text, const char* option,
              std::optional<std::int64_t>& time, std::string& why) {
    if (!text) {
        return true;
    }
    time = ParseTimeArgument(*text);
    if (!time) {
        why = std::string(option) + " " + *text +
              " is not a time: give 2026-12-07 or 2026-12-07T14:00, local time, or either "
              "with an offset (2026-12-07T14:00+01:00, Z)";
    }
    return time.has_value();
}

// The report's options from the command line's; false with the reason.
bool ReportChoices(const Options& o, ReportOptions& r, std::string& why) {
    if (!ReadTime(o.since, "--since", r.since, why) ||
        !ReadTime(o.until, "--until", r.until, why)) {
        return false;
    }
    if (r.since && r.until && *r.since >= *r.until) {
        why = "--since " + *o.since + " is not before --until " + *o.until;
        return false;
    }
    const auto group = GroupNamed(o.reportBy);
    if (!group) {
        why = "--by " + o.reportBy + " is not one of station, operator, day, hour, shift";
        return false;
    }
    r.by = *group;
    if (o.shifts) {
        const auto starts = ParseShiftStarts(*o.shifts);
        if (!starts) {
            why = "--shifts " + *o.shifts +
                  " is not a list of shift starts: give the times of day in order, "
                  "such as 06:00,14:00,22:00";
            return false;
        }
        r.shiftStarts = *starts;
    }
    if (o.reportFormat != "text" && o.reportFormat != "csv" && o.reportFormat != "html") {
        why = "--format " + o.reportFormat + " is not one of text, csv, html";
        return false;
    }
    return true;
}

// Where the report's rows are: the database the options name, its password
// from its file, else the journals. None, with the reason, when the
// password cannot be read.
std::unique_ptr<ReportSource> Source(const Options& o, std::string& why) {
    if (o.db.empty()) {
        return std::make_unique<JournalReportSource>(o.logs);
    }
    LedgerOptions where;
    if (!ChooseLedger({}, o.db, o.dbPasswordFile, o.operatorName, where, why)) {
        return nullptr;
    }
    return std::make_unique<OdbcReportSource>(where.db, where.dbPassword);
}

// The report in the format asked, to the file asked or the output.
int WriteReport(const sn::Report& report, const ReportOptions& options, const Options& o,
                std::ostream& out, std::ostream& err) {
    const std::string text = o.reportFormat == "csv"    ? ReportCsv(report, options)
                             : o.reportFormat == "html" ? ReportHtml(report, options)
                                                        : ReportText(report, options);
    if (o.reportOut.empty()) {
        out << text;
        return kExitDone;
    }
    std::ofstream file(o.reportOut, std::ios::binary);
    file << text;
    if (!file.flush()) {
        err << "sntool: cannot write the report to " << o.reportOut << "\n";
        return kExitOther;
    }
    return kExitDone;
}

}  // namespace

int Session::Report() {
    if (o_.logs.empty() == o_.db.empty()) {
        err_ << "sntool: report needs the production log (--log FILE) or the database "
                "(--db CONNECTION), one of them\n";
        return kExitUsage;
    }
    ReportOptions options;
    std::string why;
    if (!ReportChoices(o_, options, why)) {
        err_ << "sntool: " << why << "\n";
        return kExitUsage;
    }
    const std::unique_ptr<ReportSource> source = Source(o_, why);
    sn::Report report;
    const bool built = source && source->Build(options, report, why);
    for (const std::string& note : source ? source->Notes() : std::vector<std::string>()) {
        err_ << "sntool: " << note << "\n";
    }
    if (!built) {
        err_ << "sntool: " << why << "\n";
        return kExitLedger;
    }
    return WriteReport(report, options, o_, out_, err_);
}

}  // namespace sn::cli
