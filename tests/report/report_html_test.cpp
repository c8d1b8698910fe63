// The report's page: built from hand-made reports (one station for an hour,
// eight for a week, none at all), it must show the numbers, keep every text
// from a pager or a person inert, fetch nothing, and parse as XML.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/report_html_internal.h"
#include "report/report_time.h"

namespace sn {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kQuiet = " >NUL 2>&1";
#else
constexpr const char* kQuiet = " >/dev/null 2>&1";
#endif

constexpr const char* kScriptStation = "<script>alert(1)</script>";
constexpr std::int64_t kMonday = 1796601600;  // 2026-12-07 00:00 UTC

// A whole local hour near `utc`, as the report's hours are.
std::int64_t LocalHour(std::int64_t utc) {
    const std::int64_t wall = utc + LocalOffset(utc);
    return utc - ((wall % 3600) + 3600) % 3600;
}

ReportCounts Counts(std::int64_t numbered, std::int64_t failed, std::int64_t refused,
                    std::int64_t released, std::int64_t inDoubt) {
    ReportCounts c;
    c.numbered = numbered;
    c.verified = numbered / 2;
    c.firstPass = numbered;
    c.failed = failed;
    c.refused = refused;
    c.released = released;
    c.inDoubt = inDoubt;
    c.tried = numbered + failed + refused + released + inDoubt;
    return c;
}

void Add(ReportCounts& sum, const ReportCounts& c) {
    sum.tried += c.tried;
    sum.numbered += c.numbered;
    sum.verified += c.verified;
    sum.firstPass += c.firstPass;
    sum.failed += c.failed;
    sum.refused += c.refused;
    sum.released += c.released;
    sum.inDoubt += c.inDoubt;
}

// `stations` stations busy for `hours` hours, a quiet night in each day.
Report MakeReport(const std::vector<std::string>& stations, int hours) {
    Report report;
    const std::int64_t first = LocalHour(kMonday + 6 * 3600);
    for (std::size_t s = 0; s < stations.size(); ++s) {
        ReportRow row{stations[s], {}};
        for (int h = 0; h < hours; ++h) {
            const int busy = (h % 24 < 16 ? 20 : 2) + static_cast<int>(s) * 3 + h % 5;
            const ReportCounts c = Counts(busy, h % 7 == 0 ? 1 : 0, h % 11 == 0 ? 2 : 0,
                                          h % 13 == 0 ? 1 : 0, h == 40 ? 1 : 0);
            report.hours.push_back({stations[s], first + h * 3600, c});
            Add(row.counts, c);
        }
        Add(report.total, row.counts);
        report.rows.push_back(row);
    }
    return report;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

struct PageCase {
    const char* name;
    std::vector<std::string> stations;
    int hours;
    std::size_t minHourLabels;
    std::size_t maxHourLabels;
};

class ReportHtmlTest : public testing::TestWithParam<PageCase> {};

TEST_P(ReportHtmlTest, ShowsTheNumbersAndFetchesNothing) {
    const PageCase& param = GetParam();
    Report report = MakeReport(param.stations, param.hours);
    report.unfinished.push_back({"00012345", "2026-12-07T14:02:11+01:00", kScriptStation,
                                 "COM3 & <b>", "=1+1", "in doubt", "<script>"});
    ReportOptions options;
    options.since = kMonday;
    options.until = kMonday + 7 * 86400;
    const std::string page = ReportHtml(report, options);

    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<meta charset=\"utf-8\"/>"), std::string::npos);
    for (const char* outside : {"<script", "http:", "https:", "src=", "@import", "url(", "<link",
                                "<img", "<iframe", "<object"}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
    EXPECT_NE(page.find("<td>=1+1</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>COM3 &amp; &lt;b&gt;</td><td>=1+1</td><td>&lt;script&gt;</td>"),
              std::string::npos);
    for (const ReportRow& row : report.rows) {
        const std::string cells = "<td class=\"n\">" + std::to_string(row.counts.tried) +
                                  "</td><td class=\"n\">" + std::to_string(row.counts.numbered) +
                                  "</td><td class=\"n\">" + std::to_string(row.counts.verified) +
                                  "</td>";
        EXPECT_NE(page.find("<td>" + detail::HtmlEscape(row.group) + "</td>" + cells),
                  std::string::npos)
            << row.group;
    }
    EXPECT_NE(page.find("<th>Total</th><td class=\"n\">" + std::to_string(report.total.tried)),
              std::string::npos);
    EXPECT_EQ(Occurrences(page, "class=\"station\""), param.stations.size());
    EXPECT_EQ(Occurrences(page, "<g><title>"), param.stations.size() * param.hours);
    const std::size_t hourLabels = Occurrences(page, "class=\"hour\"");
    EXPECT_GE(hourLabels, param.minHourLabels);
    EXPECT_LE(hourLabels, param.maxHourLabels);
}

TEST_P(ReportHtmlTest, ParsesAsXml) {
    if (std::system((std::string("xmllint --version") + kQuiet).c_str()) != 0) {
        GTEST_SKIP() << "xmllint is not installed (Debian: libxml2-utils)";
    }
    const PageCase& param = GetParam();
    Report report = MakeReport(param.stations, param.hours);
    report.unfinished.push_back(
        {"7", "2026-12-08T02:00:00+01:00", "vm", "/dev/ttyUSB0", "=1+1", "broken off", "A7"});
    const fs::path file =
        fs::temp_directory_path() / (std::string("sntool-report-") + param.name + ".html");
    std::ofstream(file, std::ios::binary) << ReportHtml(report, ReportOptions{});
    const int status = std::system(("xmllint --noout \"" + file.string() + "\"").c_str());
    EXPECT_EQ(status, 0) << file.string() << " is not well-formed";
    if (status == 0) {
        fs::remove(file);
    }
}

const std::vector<std::string> kEight = {
    "vm",      kScriptStation, "line-3", "line-4 \"north\"",
    "o'brien", "a&b",          "line-7", "station-eight-with-a-long-name"};

INSTANTIATE_TEST_SUITE_P(Pages, ReportHtmlTest,
                         testing::Values(PageCase{"OneStationOneHour", {"vm"}, 1, 2, 2},
                                         PageCase{"OneStationADay", {kScriptStation}, 24, 8, 9},
                                         PageCase{"EightStationsAWeek", kEight, 168, 13, 15},
                                         PageCase{"EightStationsAnHour", kEight, 1, 2, 2}),
                         [](const testing::TestParamInfo<PageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ReportHtmlEscapeTest, EveryMarkupCharacterBecomesAReference) {
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"vm", "vm"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"=1+1", "=1+1"},
        {"a&b \"c\" 'd'", "a&amp;b &quot;c&quot; &#39;d&#39;"},
        {"K\xc3\xa4the", "K\xc3\xa4the"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detail::HtmlEscape(c.text), c.escaped) << c.text;
    }
}

TEST(ReportHtmlEmptyTest, NoPagerAndNoUnfinishedNumberAreSaid) {
    ReportOptions options;
    options.by = ReportGroup::Operator;
    const std::string page = ReportHtml(Report{}, options);
    EXPECT_NE(page.find("<th>Operator</th>"), std::string::npos);
    EXPECT_NE(page.find("No pager in this window."), std::string::npos);
    EXPECT_NE(page.find("No serial number is in doubt or broken off."), std::string::npos);
    EXPECT_EQ(page.find("<svg"), std::string::npos);
}

}  // namespace
}  // namespace sn
