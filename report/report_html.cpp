// The production report as one page a supervisor can mail or carry on a USB
// stick: XHTML-compatible markup (so an XML parser reads it too), an inline
// style and an inline SVG chart, and nothing fetched from anywhere else.

#include <cstdio>

#include "report/report.h"
#include "report/report_html_internal.h"
#include "report/report_time.h"

namespace sn {

namespace detail {

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string OffsetText(int offsetMinutes) {
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int m = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char out[16];
    std::snprintf(out, sizeof out, "%c%02d:%02d", sign, m / 60, m % 60);
    return out;
}

}  // namespace detail

namespace {

using detail::HtmlEscape;

// Plain system fonts and colours a printer renders too; the outcome colours
// are told apart by people who see red and green alike.
constexpr const char* kStyle = R"(
body { font-family: system-ui, "Segoe UI", "DejaVu Sans", sans-serif; color: #222;
       margin: 24px; max-width: 1000px; }
h1 { font-size: 22px; margin: 0 0 4px 0; }
h2 { font-size: 17px; margin: 28px 0 8px 0; }
p.window { color: #555; margin: 0 0 16px 0; }
table { border-collapse: collapse; font-size: 14px; }
th, td { padding: 4px 10px; border-bottom: 1px solid #ddd; text-align: left; }
thead th { border-bottom: 2px solid #888; vertical-align: bottom; white-space: nowrap; }
tfoot th, tfoot td { border-top: 2px solid #888; font-weight: bold; }
.n { text-align: right; font-variant-numeric: tabular-nums; }
svg { display: block; font-size: 11px; }
svg text { fill: #333; }
svg .station { font-size: 13px; font-weight: bold; }
svg .scale, svg .zone { fill: #777; }
svg .date { font-weight: bold; }
svg .grid { stroke: #e4e4e4; stroke-width: 1; }
svg .midnight { stroke: #b8b8b8; stroke-width: 1; }
svg .top { stroke: #ccc; stroke-width: 1; stroke-dasharray: 3 3; }
svg .base { stroke: #888; stroke-width: 1; }
.numbered { fill: #009e73; }
.failed { fill: #d55e00; }
.refused { fill: #e69f00; }
.released { fill: #999999; }
.doubt { fill: #cc79a7; }
@media print { body { margin: 0; } }
)";

std::string GroupingText(const ReportOptions& options) {
    std::string text = std::string("by ") + GroupTitle(options.by);
    if (options.by != ReportGroup::Shift || options.shiftStarts.empty()) {
        return text;
    }
    text += " (starting ";
    for (std::size_t i = 0; i < options.shiftStarts.size(); ++i) {
        char hhmm[16];
        const int m = options.shiftStarts[i];
        std::snprintf(hhmm, sizeof hhmm, "%s%02d:%02d", i == 0 ? "" : ", ", m / 60, m % 60);
        text += hhmm;
    }
    return text + ")";
}

std::string WindowText(const ReportOptions& options) {
    if (options.since && options.until) {
        return "from " + FormatLocal(*options.since) + " to " + FormatLocal(*options.until);
    }
    if (options.since) {
        return "from " + FormatLocal(*options.since) + " on";
    }
    if (options.until) {
        return "until " + FormatLocal(*options.until);
    }
    return "all rows recorded";
}

std::string YieldText(std::optional<double> yield) {
    if (!yield) {
        return "\xe2\x80\x94";  // an em dash: no pager tried
    }
    char out[16];
    std::snprintf(out, sizeof out, "%.1f%%", *yield);
    return out;
}

std::string CountCells(const ReportCounts& c, const char* tag) {
    std::string out;
    const std::int64_t counts[] = {c.tried,   c.numbered, c.verified, c.failed,
                                   c.refused, c.released, c.inDoubt};
    const std::string open = std::string("<") + tag + " class=\"n\">";
    const std::string close = std::string("</") + tag + ">";
    for (const std::int64_t n : counts) {
        out += open + std::to_string(n) + close;
    }
    out += open + YieldText(FirstPassYield(c)) + close;
    out += open + YieldText(FinalYield(c)) + close;
    return out;
}

void AppendTable(std::string& out, const Report& report, const ReportOptions& options) {
    std::string group = GroupTitle(options.by);
    group[0] = static_cast<char>(group[0] - 'a' + 'A');
    out += "<table>\n<thead><tr><th>" + group + "</th>";
    for (const char* head : {"Tried", "Numbered", "Verified", "Failed", "Refused", "Released",
                             "In doubt", "First-pass yield", "Final yield"}) {
        out += std::string("<th class=\"n\">") + head + "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const ReportRow& row : report.rows) {
        out +=
            "<tr><td>" + HtmlEscape(row.group) + "</td>" + CountCells(row.counts, "td") + "</tr>\n";
    }
    if (report.rows.empty()) {
        out += "<tr><td colspan=\"10\">No pager in this window.</td></tr>\n";
    }
    out += "</tbody>\n<tfoot><tr><th>Total</th>" + CountCells(report.total, "td") +
           "</tr></tfoot>\n</table>\n";
}

void AppendUnfinished(std::string& out, const Report& report) {
    out += "<h2>Numbers in doubt or broken off</h2>\n";
    if (report.unfinished.empty()) {
        out += "<p>No serial number is in doubt or broken off.</p>\n";
        return;
    }
    out +=
        "<table>\n<thead><tr><th>Serial</th><th>Time</th><th>State</th><th>Station</th>"
        "<th>Port</th><th>Operator</th><th>Model</th></tr></thead>\n<tbody>\n";
    for (const UnfinishedPager& p : report.unfinished) {
        out += "<tr>";
        for (const std::string* field :
             {&p.serial, &p.time, &p.state, &p.station, &p.port, &p.operatorName, &p.model}) {
            out += "<td>" + HtmlEscape(*field) + "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
}

}  // namespace

std::string ReportHtml(const Report& report, const ReportOptions& options) {
    const std::string grouping = GroupingText(options);
    const std::string window = WindowText(options);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
    out += "<title>Production report, " + HtmlEscape(grouping) + ", " + HtmlEscape(window) +
           "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    out += "<h1>Production report " + HtmlEscape(grouping) + "</h1>\n";
    out += "<p class=\"window\">" + HtmlEscape(window) +
           "; times in this computer&#39;s local time.</p>\n";
    AppendTable(out, report, options);
    out += "<h2>Pagers per hour</h2>\n" + detail::ReportChartSvg(report);
    AppendUnfinished(out, report);
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace sn
