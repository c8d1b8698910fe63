// sntool report: the pagers the journals record, counted by station,
// operator, day, hour or shift, as a table, CSV or a page.

#include <fstream>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "production/report.h"
#include "production/report_time.h"

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

}  // namespace

int Session::Report() {
    if (!o_.db.empty()) {
        err_ << "sntool: report over --db is not built yet\n";
        return kExitUsage;
    }
    if (o_.logs.empty()) {
        err_ << "sntool: report needs the production log: --log FILE\n";
        return kExitUsage;
    }
    ReportOptions options;
    std::string why;
    if (!ReportChoices(o_, options, why)) {
        err_ << "sntool: " << why << "\n";
        return kExitUsage;
    }
    ReportBuilder builder(options);
    for (const std::string& path : o_.logs) {
        std::int64_t skipped = 0;
        if (!AddJournalFile(path, builder, why, skipped)) {
            err_ << "sntool: " << why << "\n";
            return kExitLedger;
        }
        if (skipped > 0) {
            err_ << "sntool: " << path << ": " << skipped
                 << (skipped == 1 ? " line is" : " lines are")
                 << " not a row (torn or damaged) and not counted\n";
        }
    }
    const sn::Report report = builder.Finish();
    const std::string text = o_.reportFormat == "csv"    ? ReportCsv(report, options)
                             : o_.reportFormat == "html" ? ReportHtml(report, options)
                                                         : ReportText(report, options);
    if (o_.reportOut.empty()) {
        out_ << text;
        return kExitDone;
    }
    std::ofstream file(o_.reportOut, std::ios::binary);
    file << text;
    if (!file.flush()) {
        err_ << "sntool: cannot write the report to " << o_.reportOut << "\n";
        return kExitOther;
    }
    return kExitDone;
}

}  // namespace sn::cli
