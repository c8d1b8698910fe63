// The report's chart: pagers per hour, stacked by outcome, one row of bars
// per station. The width is fixed so the page prints and mails the same for
// an hour and for a week; the bars share it, and the hour labels are thinned
// to what fits under them.

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <vector>

#include "report/report_html_internal.h"
#include "report/report_time.h"

namespace sn::detail {

namespace {

constexpr double kWidth = 960;
constexpr double kLeft = 140;  // station names and the scale
constexpr double kRight = 20;
constexpr double kPlot = kWidth - kLeft - kRight;
constexpr double kLegend = 34;
constexpr double kRowGap = 16;
constexpr double kAxis = 46;
constexpr double kHourLabel = 40;  // room for "14:00"
constexpr double kDateLabel = 96;  // room for "Mon 2026-12-07", bold
constexpr std::int64_t kHour = 3600;

// The local clock at an hour's start: the OS's calendar, UTC beyond it.
std::tm Clock(std::int64_t utc) {
    std::tm tm{};
    if (!LocalCalendar(utc, tm)) {
        const std::int64_t days = utc / 86400;
        tm.tm_hour = static_cast<int>(utc % 86400 / 3600);
        tm.tm_wday = static_cast<int>((days + 4) % 7);  // 1970-01-01: a Thursday
    }
    return tm;
}

struct Outcome {
    const char* name;
    const char* cls;
    std::int64_t ReportCounts::*count;
};

// Bottom to top: what went well first, what needs a look on top.
constexpr std::array<Outcome, 5> kOutcomes = {{
    {"numbered", "numbered", &ReportCounts::numbered},
    {"failed", "failed", &ReportCounts::failed},
    {"refused", "refused", &ReportCounts::refused},
    {"released", "released", &ReportCounts::released},
    {"in doubt", "doubt", &ReportCounts::inDoubt},
}};

struct StationRow {
    std::string name;
    std::vector<const HourBar*> bars;
};

struct Layout {
    std::int64_t first = 0;  // the first hour's start
    std::int64_t hours = 1;  // from the first hour to the last, gaps included
    double slot = kPlot;
    double bar = 0;
    double rowHeight = 0;
    std::int64_t top = 1;  // the y-scale's maximum, pagers per hour
    std::vector<StationRow> rows;
};

std::string Num(double v) {
    char out[32];
    std::snprintf(out, sizeof out, "%.1f", v);
    std::string s = out;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) {
        s.resize(s.size() - 2);
    }
    return s;
}

std::string Line(const char* cls, double x1, double y1, double x2, double y2) {
    return std::string("<line class=\"") + cls + "\" x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) +
           "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\"/>\n";
}

std::string Text(const char* cls, double x, double y, const char* anchor, const std::string& s) {
    return std::string("<text class=\"") + cls + "\" x=\"" + Num(x) + "\" y=\"" + Num(y) +
           "\" text-anchor=\"" + anchor + "\">" + s + "</text>\n";
}

std::int64_t Stacked(const ReportCounts& c) {
    std::int64_t sum = 0;
    for (const Outcome& o : kOutcomes) {
        sum += c.*o.count;
    }
    return sum;
}

// A round maximum (15, 20, 250, ...) reads at a glance; below ten the
// largest count itself is round enough.
std::int64_t NiceCeiling(std::int64_t m) {
    if (m <= 10) {
        return std::max<std::int64_t>(m, 1);
    }
    std::int64_t scale = 1;
    while (scale * 10 < m) {
        scale *= 10;
    }
    for (const int tenths : {15, 20, 25, 30, 40, 50, 60, 80, 100}) {
        if (scale * tenths / 10 >= m) {
            return scale * tenths / 10;
        }
    }
    return scale * 10;
}

std::vector<StationRow> ByStation(const Report& report) {
    std::vector<StationRow> rows;
    for (const HourBar& bar : report.hours) {
        auto it = std::find_if(rows.begin(), rows.end(),
                               [&](const StationRow& r) { return r.name == bar.station; });
        if (it == rows.end()) {
            it = rows.insert(rows.end(), StationRow{bar.station, {}});
        }
        it->bars.push_back(&bar);
    }
    return rows;
}

Layout MakeLayout(const Report& report) {
    Layout l;
    l.rows = ByStation(report);
    std::int64_t last = report.hours.front().hourStart;
    l.first = last;
    std::int64_t most = 0;
    for (const HourBar& bar : report.hours) {
        l.first = std::min(l.first, bar.hourStart);
        last = std::max(last, bar.hourStart);
        most = std::max(most, Stacked(bar.counts));
    }
    l.hours = (last - l.first) / kHour + 1;
    l.slot = kPlot / static_cast<double>(l.hours);
    // A lone hour is a bar, not a wall; narrow slots keep a hairline apart.
    const double gap = l.slot >= 8 ? l.slot * 0.2 : (l.slot >= 3 ? 1 : 0);
    l.bar = std::min(l.slot - gap, 64.0);
    const double n = static_cast<double>(l.rows.size());
    l.rowHeight = std::clamp(420 / n, 60.0, 180.0);
    l.top = NiceCeiling(most);
    return l;
}

// Station names longer than the margin are cut (at a character, not inside
// one); the bars' titles keep them whole.
std::string ShortName(const std::string& name) {
    constexpr std::size_t kMaxChars = 16;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(name[i]) & 0xC0) != 0x80;
        if (starts && ++chars > kMaxChars) {
            return name.substr(0, i) + "\xe2\x80\xa6";  // an ellipsis
        }
    }
    return name;
}

std::string BarTitle(const HourBar& bar) {
    std::string text = bar.station + ", " + FormatLocal(bar.hourStart) + ": " +
                       std::to_string(bar.counts.tried) + " tried";
    for (const Outcome& o : kOutcomes) {
        if (bar.counts.*o.count != 0) {
            text += ", " + std::to_string(bar.counts.*o.count) + " " + o.name;
        }
    }
    return HtmlEscape(text);
}

void AppendBar(std::string& out, const Layout& l, const HourBar& bar, double base) {
    const double slotIndex = static_cast<double>((bar.hourStart - l.first) / kHour);
    const double x = kLeft + slotIndex * l.slot + (l.slot - l.bar) / 2;
    out += "<g><title>" + BarTitle(bar) + "</title>";
    double y = base;
    for (const Outcome& o : kOutcomes) {
        const std::int64_t n = bar.counts.*o.count;
        if (n == 0) {
            continue;
        }
        // One pager among hundreds still shows as a sliver.
        const double h =
            std::max(1.0, l.rowHeight * static_cast<double>(n) / static_cast<double>(l.top));
        y -= h;
        out += "<rect class=\"" + std::string(o.cls) + "\" x=\"" + Num(x) + "\" y=\"" + Num(y) +
               "\" width=\"" + Num(l.bar) + "\" height=\"" + Num(h) + "\"/>";
    }
    out += "</g>\n";
}

void AppendRow(std::string& out, const Layout& l, const StationRow& row, double top) {
    const double base = top + l.rowHeight;
    out += "<g class=\"row\"><title>" + HtmlEscape(row.name) + "</title>\n";
    out += Line("top", kLeft, top, kWidth - kRight, top);
    out += Text("scale", kLeft - 6, top + 4, "end", std::to_string(l.top) + "/h");
    out += Text("station", kLeft - 6, top + l.rowHeight / 2 + 5, "end",
                HtmlEscape(ShortName(row.name)));
    for (const HourBar* bar : row.bars) {
        AppendBar(out, l, *bar, base);
    }
    out += Line("base", kLeft, base, kWidth - kRight, base) + "</g>\n";
}

void AppendLegend(std::string& out) {
    double x = kLeft;
    for (const Outcome& o : kOutcomes) {
        out += "<rect class=\"" + std::string(o.cls) + "\" x=\"" + Num(x) +
               "\" y=\"8\" width=\"14\" height=\"14\"/>\n";
        out += Text("legend", x + 19, 19, "start", o.name);
        x += 104;
    }
}

// The smallest step of 1, 3, 6, 12 or 24 hours whose labels do not touch.
int TickStep(double slot) {
    for (const int step : {1, 3, 6, 12}) {
        if (slot * step >= kHourLabel) {
            return step;
        }
    }
    return 24;
}

std::string DateText(const std::tm& c) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char out[32];
    std::snprintf(out, sizeof out, "%s %04d-%02d-%02d", kDays[c.tm_wday % 7], c.tm_year + 1900,
                  c.tm_mon + 1, c.tm_mday);
    return out;
}

std::string HourText(const std::tm& c) {
    char out[16];
    std::snprintf(out, sizeof out, "%02d:%02d", c.tm_hour, c.tm_min);
    return out;
}

// The day a stretch of hours belongs to is named at its midnight; the first
// day is named at the left edge when its midnight lies before the window.
bool DateFits(const Layout& l, std::int64_t i, double x, double lastDateX) {
    if (i == l.hours || x - lastDateX < kDateLabel || x + kDateLabel > kWidth) {
        return false;
    }
    if (i > 0) {
        return true;
    }
    const int hour = Clock(l.first).tm_hour;
    return (24 - hour) * l.slot >= kDateLabel || hour == 0;
}

void AppendAxis(std::string& out, const Layout& l, double gridTop, double axisY) {
    const int step = TickStep(l.slot);
    double lastDateX = -kDateLabel;
    for (std::int64_t i = 0; i <= l.hours; ++i) {
        const std::tm c = Clock(l.first + i * kHour);
        const double x = kLeft + static_cast<double>(i) * l.slot;
        const bool midnight = c.tm_hour == 0 && c.tm_min == 0;
        const bool tick = c.tm_min == 0 && c.tm_hour % step == 0;
        if (tick) {
            out += Line(midnight ? "midnight" : "grid", x, gridTop, x, axisY + 4);
            if (step < 24) {
                out += Text("hour", x, axisY + 16, "middle", HourText(c));
            }
        }
        if ((midnight || i == 0) && DateFits(l, i, x, lastDateX)) {
            out += Text("date", x + 2, axisY + 32, "start", DateText(c));
            lastDateX = x;
        }
    }
}

std::string ZoneText(const Layout& l) {
    const int before = LocalOffset(l.first) / 60;
    const int after = LocalOffset(l.first + l.hours * kHour) / 60;
    std::string zone = "UTC" + OffsetText(before);
    return before == after ? zone : zone + " / " + OffsetText(after);
}

std::string ChartTitle(const Layout& l) {
    return "<title id=\"chart-title\">Pagers per hour, by station</title>\n"
           "<desc id=\"chart-desc\">Pagers per hour from " +
           FormatLocal(l.first) + " to " + FormatLocal(l.first + l.hours * kHour) +
           ", one row of bars for each of " + std::to_string(l.rows.size()) +
           " stations, stacked by outcome: numbered, failed, refused, released, in doubt; "
           "the scale goes up to " +
           std::to_string(l.top) + " pagers per hour.</desc>\n";
}

}  // namespace

std::string ReportChartSvg(const Report& report) {
    if (report.hours.empty()) {
        return "<p>No pager in this window.</p>\n";
    }
    const Layout l = MakeLayout(report);
    const double rowStep = l.rowHeight + kRowGap;
    const double gridTop = kLegend + 8;
    const double axisY = gridTop + static_cast<double>(l.rows.size()) * rowStep - kRowGap;
    const std::string height = Num(axisY + kAxis);
    std::string out = "<svg width=\"" + Num(kWidth) + "\" height=\"" + height +
                      "\" viewBox=\"0 0 " + Num(kWidth) + " " + height +
                      "\" role=\"img\" aria-labelledby=\"chart-title chart-desc\">\n";
    out += ChartTitle(l);
    AppendLegend(out);
    AppendAxis(out, l, gridTop, axisY);
    for (std::size_t i = 0; i < l.rows.size(); ++i) {
        AppendRow(out, l, l.rows[i], gridTop + static_cast<double>(i) * rowStep);
    }
    // Left of the first hour's label, which is centred on the chart's edge.
    out += Text("zone", kLeft - 24, axisY + 16, "end", "local time");
    out += Text("zone", kLeft - 24, axisY + 32, "end", ZoneText(l));
    return out + "</svg>\n";
}

}  // namespace sn::detail
