// The production report as text (a table for the terminal) and as CSV (the
// same table for a spreadsheet). The HTML page is report_html.cpp's.

#include <array>
#include <cstdio>

#include "report/report.h"
#include "report/report_time.h"

namespace sn {

namespace {

// A person's or a pager's text for the terminal: its characters as they are,
// but a control character (C0, DEL, C1 in UTF-8) as '?', so that no escape
// sequence reaches the terminal.
std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            out += '?';
            i += c1 ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The columns a text takes: one for each character (UTF-8 lead byte).
std::size_t Columns(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

using Line = std::vector<std::string>;

// Fixed-width columns, two spaces apart; the first column left-aligned, the
// others (numbers) right-aligned when `numbers` is set.
std::string Table(const std::vector<Line>& lines, bool numbers) {
    std::vector<std::size_t> widths;
    for (const Line& line : lines) {
        widths.resize(std::max(widths.size(), line.size()));
        for (std::size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], Columns(line[i]));
        }
    }
    std::string out;
    for (const Line& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const std::string pad(widths[i] - Columns(line[i]), ' ');
            const bool right = numbers && i > 0;
            text += (i > 0 ? "  " : "") + (right ? pad + line[i] : line[i] + pad);
        }
        out += text.substr(0, text.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

std::string Percent(std::optional<double> value, const char* none, const char* unit) {
    if (!value) {
        return none;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%s", *value, unit);
    return text;
}

Line CountCells(std::string group, const ReportCounts& c, const char* none, const char* unit) {
    return {std::move(group),
            std::to_string(c.tried),
            std::to_string(c.numbered),
            std::to_string(c.verified),
            std::to_string(c.failed),
            std::to_string(c.refused),
            std::to_string(c.released),
            std::to_string(c.inDoubt),
            Percent(FirstPassYield(c), none, unit),
            Percent(FinalYield(c), none, unit)};
}

constexpr std::array<const char*, 9> kCountTitles = {"tried",    "numbered",         "verified",
                                                     "failed",   "refused",          "released",
                                                     "in doubt", "first-pass yield", "final yield"};

std::string Window(const ReportOptions& o) {
    std::string text;
    if (o.since) {
        text += " from " + FormatLocal(*o.since);
    }
    if (o.until) {
        text += " until " + FormatLocal(*o.until);
    }
    return text;
}

std::string UnfinishedText(const Report& report) {
    if (report.unfinished.empty()) {
        return "No serial number is in doubt or broken off.\n";
    }
    std::vector<Line> lines = {{"serial", "time", "state", "station", "port", "operator", "model"}};
    for (const UnfinishedPager& u : report.unfinished) {
        lines.push_back({u.serial, Printable(u.time), u.state, Printable(u.station),
                         Printable(u.port), Printable(u.operatorName), Printable(u.model)});
    }
    const std::size_t n = report.unfinished.size();
    return (n == 1 ? std::string("1 number is in doubt or broken off")
                   : std::to_string(n) + " numbers are in doubt or broken off") +
           " (find the pager and finish it with sntool resume):\n" + Table(lines, false);
}

}  // namespace

const char* GroupTitle(ReportGroup by) {
    static constexpr std::array<const char*, 5> kTitles = {"station", "operator", "day", "hour",
                                                           "shift"};
    return kTitles[static_cast<std::size_t>(by)];
}

std::optional<double> FirstPassYield(const ReportCounts& counts) {
    if (counts.tried == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(counts.firstPass) / static_cast<double>(counts.tried);
}

std::optional<double> FinalYield(const ReportCounts& counts) {
    if (counts.tried == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(counts.numbered) / static_cast<double>(counts.tried);
}

std::string ReportText(const Report& report, const ReportOptions& options) {
    std::vector<Line> lines = {{GroupTitle(options.by)}};
    lines[0].insert(lines[0].end(), kCountTitles.begin(), kCountTitles.end());
    for (const ReportRow& row : report.rows) {
        lines.push_back(CountCells(Printable(row.group), row.counts, "-", "%"));
    }
    lines.push_back(CountCells("total", report.total, "-", "%"));
    return std::string("Pagers by ") + GroupTitle(options.by) + Window(options) + ":\n" +
           Table(lines, true) + "\n" + UnfinishedText(report);
}

std::string ReportCsv(const Report& report, const ReportOptions& options) {
    // Only the yields carry a unit: "first-pass yield %".
    std::string out = GroupTitle(options.by);
    for (std::size_t i = 0; i < kCountTitles.size(); ++i) {
        out += ',';
        out += kCountTitles[i];
        out += i >= 7 ? " %" : "";
    }
    out += "\r\n";
    auto add = [&out](const Line& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out += i > 0 ? "," : "";
            out += CsvField(cells[i]);
        }
        out += "\r\n";
    };
    for (const ReportRow& row : report.rows) {
        add(CountCells(row.group, row.counts, "", ""));
    }
    add(CountCells("total", report.total, "", ""));
    return out;
}

}  // namespace sn
