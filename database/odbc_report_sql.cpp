// The production report's count on the server: the rows of sn_rows turned
// into pagers and counted there, so that a million rows never cross the
// connection. The server groups the pagers by station (and operator), by
// what became of them and by the quarter hour (the minute, for shifts that
// start off the quarter) of their first attempt in UTC; only the pagers in
// doubt or broken off come back one by one. A long history is counted in
// parts of the number range at once. The local days, hours and shifts are
// odbc_report.cpp's.

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <thread>

#include "database/odbc_ledger_internal.h"
#include "database/odbc_report_internal.h"
#include "report/report_time.h"

namespace sn::detail {

namespace {

using odbc::Diag;

// Every row with its neighbours in its number's history, taken from the
// history index in number order (no sort). Most numbers hold a reservation
// and then its settlement, nothing else: the reservation (k = 1) stands for
// a pager numbered on its first try, counted here by station (and
// operator), quarter hour and class; its settlement (k = 2) and a pager
// outside the times asked for are left out. Any other number's rows (k = 0)
// name it once in `slow`, to be formed into pagers row by row below.
const char* const kFast =
    "WITH o AS (SELECT ?::bigint AS slot, ?::int AS byop, ?::int AS bounded,"
    " ?::bigint AS since, ?::bigint AS until),"
    " fast AS MATERIALIZED (SELECT CASE WHEN k = 1 THEN station END AS st,"
    " CASE WHEN k = 1 THEN CASE WHEN byop = 1 THEN op ELSE '' END END AS op,"
    " CASE WHEN k = 1 THEN utc - mod(mod(utc, slot) + slot, slot) END AS slot,"
    " CASE WHEN k = 1 THEN (nx = 3)::int END AS cls, CASE WHEN k = 0 THEN sn END AS slow,"
    " count(*) AS n FROM (SELECT x.*, o.slot, o.byop, CASE WHEN px IS NULL AND step = 1"
    " AND nx >= 2 AND nx2 IS NULL AND octet_length(sn) = 10"
    " AND ltrim(sn, '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz*') = ''"
    " THEN CASE WHEN o.bounded = 0 OR (utc >= o.since AND utc < o.until) THEN 1 ELSE 2 END"
    " WHEN nx IS NULL AND px = 1 AND step >= 2 AND px2 IS NULL THEN 2 ELSE 0 END AS k"
    " FROM (SELECT serial_written AS sn, station, operator AS op, utc, step,"
    " lag(step) OVER w AS px, lead(step) OVER w AS nx, lag(step, 2) OVER w AS px2,"
    " lead(step, 2) OVER w AS nx2 FROM sn_rows WHERE true%RANGE%"
    " WINDOW w AS (PARTITION BY serial_written ORDER BY id)) x, o OFFSET 0) y"
    " WHERE k < 2 GROUP BY 1, 2, 3, 4, 5),";

// A row's effect, as OutcomeEffect reads its outcome: R reserves, F
// finishes the pager's write, B breaks it off (the number used), X releases
// the number; no effect: a row the report leaves out. `w` is the outcome
// without "(duplicate allowed)".
const char* const kRows =
    " v AS (SELECT id, serial_written AS sn, time, utc, station, port, model, operator AS op,"
    " w = 'verified' AS ver, outcome IN ('already numbered', 'model refused') AS ref,"
    " CASE WHEN outcome = 'reserved' THEN 'R' WHEN outcome IN ('verified', 'written') THEN 'F'"
    " WHEN outcome IN ('model refused', 'already numbered') THEN 'X'"
    " WHEN outcome = 'not finished' THEN 'B'"
    " WHEN outcome ~ '^Read Error #[0-9]+$' THEN 'X'"
    " WHEN outcome ~ '^Write Error #[0-9]+ [(]nothing written[)]$' THEN 'X'"
    " WHEN outcome = 'Write Error #1' THEN 'X'"
    " WHEN outcome ~ '^Write Error #[0-9]+$' THEN 'B'"
    " WHEN outcome = 'not finished (nothing written)' THEN 'X'"
    " WHEN w IN ('written', 'verified') THEN 'F' WHEN w = 'verify mismatch' THEN 'B'"
    " WHEN w LIKE 'written (verify: %)' AND length(w) > 18 THEN 'F' END AS e"
    " FROM (SELECT *, CASE WHEN right(outcome, 20) = ' (duplicate allowed)'"
    " THEN left(outcome, -20) ELSE outcome END AS w FROM sn_rows"
    " WHERE serial_written ~ '^[0-9A-Za-z*]{10}$'"
    " AND serial_written = ANY (ARRAY(SELECT slow FROM fast WHERE slow IS NOT NULL))) r),";

// The attempts: a settlement with the reservation just before it (its first
// row), a settlement alone, a reservation another followed (U) and one that
// was never settled (D).
const char* const kAttempts =
    " a AS (SELECT v.*, lag(e) OVER w AS pe, lead(e) OVER w AS ne, lag(utc) OVER w AS putc,"
    " lag(station) OVER w AS pstation, lag(op) OVER w AS pop"
    " FROM v WHERE e IS NOT NULL WINDOW w AS (PARTITION BY sn ORDER BY id)),"
    " b AS (SELECT sn, id, ver, ref,"
    " CASE WHEN e <> 'R' THEN e WHEN ne IS NULL THEN 'D' ELSE 'U' END AS k,"
    " CASE WHEN e <> 'R' AND pe = 'R' THEN putc ELSE utc END AS fu,"
    " CASE WHEN e <> 'R' AND pe = 'R' THEN pstation ELSE station END AS fstation,"
    " CASE WHEN e <> 'R' AND pe = 'R' THEN pop ELSE op END AS fop,"
    " time AS ltime, station AS lstation, port AS lport, op AS lop, model AS lmodel"
    " FROM a WHERE e <> 'R' OR coalesce(ne, 'R') = 'R'),"
    " c AS (SELECT b.*, coalesce(lag(k) OVER w, 'F') = 'F' AND (k = 'F' OR lead(k) OVER w IS NULL)"
    " AS alone, coalesce(sum(CASE WHEN k = 'F' THEN 1 END)"
    " OVER (w ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING), 0) AS pager"
    " FROM b WHERE k <> 'X' WINDOW w AS (PARTITION BY sn ORDER BY id)),";

// The pagers of those numbers: a release alone, an attempt alone, and the
// few of several attempts (first pass: numbered on the only attempt).
// Classes: 0 numbered, 1 verified, 2 broken off, 3 refused, 4 released, 5 in doubt.
const char* const kPagers =
    " p AS (SELECT sn, fu, fstation, fop, CASE WHEN ref THEN 3 ELSE 4 END AS cls, false AS fp,"
    " ltime, lstation, lport, lop, lmodel FROM b WHERE k = 'X'"
    " UNION ALL SELECT sn, fu, fstation, fop, CASE k WHEN 'F' THEN ver::int WHEN 'D' THEN 5"
    " ELSE 2 END, k = 'F', ltime, lstation, lport, lop, lmodel FROM c WHERE alone"
    " UNION ALL SELECT sn, f[1][1]::bigint, f[1][2], f[1][3], CASE l[1][1] WHEN 'F' THEN"
    " (l[1][2] = 'true')::int WHEN 'D' THEN 5 ELSE 2 END, false, l[1][3], l[1][4], l[1][5],"
    " l[1][6], l[1][7] FROM"
    " (SELECT sn, (array_agg(ARRAY[fu::text, fstation, fop] ORDER BY id))[1:1] AS f,"
    " (array_agg(ARRAY[k, ver::text, ltime, lstation, lport, lop, lmodel] ORDER BY id DESC))"
    "[1:1] AS l FROM c WHERE NOT alone GROUP BY sn, pager) m)";

// The counts by first station (and operator), slot, class and first pass;
// a pager in doubt or broken off on a line of its own, with its last row.
const char* const kCounts =
    " SELECT st, op, slot, cls, 1, n, NULL, NULL, NULL, NULL, NULL, NULL FROM fast"
    " WHERE slow IS NULL"
    " UNION ALL SELECT fstation, CASE WHEN o.byop = 1 THEN fop ELSE '' END,"
    " fu - mod(mod(fu, o.slot) + o.slot, o.slot), cls, fp::int, count(*),"
    " CASE WHEN cls IN (2, 5) THEN sn END, CASE WHEN cls IN (2, 5) THEN ltime END,"
    " CASE WHEN cls IN (2, 5) THEN lstation END, CASE WHEN cls IN (2, 5) THEN lport END,"
    " CASE WHEN cls IN (2, 5) THEN lop END, CASE WHEN cls IN (2, 5) THEN lmodel END"
    " FROM p, o WHERE o.bounded = 0 OR (fu >= o.since AND fu < o.until)"
    " GROUP BY 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12";

std::int64_t Number(const std::optional<std::string>& text) {
    std::int64_t n = kNoTime;
    if (text) {
        std::from_chars(text->data(), text->data() + text->size(), n);
    }
    return n;
}

// The slot the server counts in: a quarter hour holds one local hour, day
// and shift (offsets and shift starts on the quarter), else a minute.
std::int64_t SlotSeconds(const ReportOptions& options) {
    const bool quarters = std::all_of(options.shiftStarts.begin(), options.shiftStarts.end(),
                                      [](int start) { return start % 15 == 0; });
    return options.by != ReportGroup::Shift || quarters ? 900 : 60;
}

// Built one by one: copying numbers out of an initializer list of variants
// makes g++ 12 (optimising) warn of the string alternative they never hold.
std::vector<odbc::Value> Parameters(const ReportOptions& options) {
    std::vector<odbc::Value> params;
    params.reserve(5);
    params.emplace_back(SlotSeconds(options));
    params.emplace_back(std::int64_t{options.by == ReportGroup::Operator ? 1 : 0});
    params.emplace_back(std::int64_t{options.since || options.until ? 1 : 0});
    params.emplace_back(options.since.value_or(INT64_MIN));
    params.emplace_back(options.until.value_or(INT64_MAX));
    return params;
}

// A pager in doubt or broken off, keyed by its last row's time.
std::pair<std::int64_t, UnfinishedPager> UnfinishedLine(odbc::Statement& st, int cls, Diag& diag) {
    UnfinishedPager u;
    const std::string serial = Get(st, 7, diag);
    const auto canonical = Serial::Parse(serial);
    u.serial = canonical ? canonical->Text() : serial;
    u.time = Get(st, 8, diag);
    std::int64_t utc = kNoTime;
    if (const auto t = ParseRowTime(u.time)) {
        utc = t->utc;
        u.time = FormatIso(t->utc, t->offsetMinutes);
    }
    u.station = Get(st, 9, diag);
    u.port = Get(st, 10, diag);
    u.operatorName = Get(st, 11, diag);
    u.state = cls == 2 ? "broken off" : "in doubt";
    u.model = Get(st, 12, diag);
    return {utc, std::move(u)};
}

// The numbers from `from` (inclusive) to `to` (exclusive); unset: no end.
struct SerialRange {
    std::optional<std::string> from, to;
};

std::string PartSql(const SerialRange& range) {
    std::string sql = std::string(kFast) + kRows + kAttempts + kPagers + kCounts;
    const std::string bounds = std::string(range.from ? " AND serial_written >= ?" : "") +
                               (range.to ? " AND serial_written < ?" : "");
    return sql.replace(sql.find("%RANGE%"), 7, bounds);
}

// The database's counts for the numbers in `range`, on connection `c`.
bool CountPart(odbc::Connection& c, const ReportOptions& options, const SerialRange& range,
               std::vector<ReportLine>& lines, Diag& d) {
    std::vector<odbc::Value> params = Parameters(options);
    for (const auto& bound : {range.from, range.to}) {
        if (bound) {
            params.emplace_back(*bound);
        }
    }
    odbc::Statement st(c);
    // Compiling the plan costs more than it saves on a query this size. The
    // planner cannot know how few groups half a million pagers make and would
    // sort them; the history index already gives the rows in number order.
    bool ok = Exec(c, "SET LOCAL jit = off", {}, d) &&
              Exec(c, "SET LOCAL work_mem = '256MB'", {}, d) &&
              Exec(c, "SET LOCAL enable_sort = off", {}, d) && st.Run(PartSql(range), params, d);
    while (ok && st.Fetch(d)) {
        // A braced list reads the columns in order, as the driver wants them.
        ReportLine line{Get(st, 1, d),
                        Get(st, 2, d),
                        Number(st.Text(3, d)),
                        static_cast<int>(Number(st.Text(4, d))),
                        Number(st.Text(5, d)) == 1,
                        Number(st.Text(6, d)),
                        std::nullopt};
        if (line.cls == 2 || line.cls == 5) {
            line.unfinished = UnfinishedLine(st, line.cls, d);
        }
        lines.push_back(std::move(line));
    }
    return ok && d.state.empty();
}

// A long history is counted in parts, each on a connection of its own, so
// that the server's cores share the work (one core forms about a million
// rows a second into pagers). A number's rows all fall in one part; the
// parts' bounds are quantiles of a sample of about 20,000 rows' numbers.
constexpr int kParts = 4;
constexpr double kSampleRows = 20000;

bool SplitNumbers(odbc::Connection& c, double splitFrom, std::vector<SerialRange>& ranges,
                  Diag& d) {
    ranges.assign(1, SerialRange{});
    odbc::Statement size(c);
    // The server's estimate, -1 until the table was first analysed.
    if (!size.Run("SELECT reltuples FROM pg_class WHERE oid = 'sn_rows'::regclass", {}, d) ||
        !size.Fetch(d)) {
        return d.state.empty();
    }
    const auto rows = size.Text(1, d);
    const double n = rows ? std::strtod(rows->c_str(), nullptr) : -1;
    if (n < 0 || n < splitFrom) {
        return d.state.empty();
    }
    odbc::Statement st(c);
    const bool ok = st.Run(
        "SELECT unnest(percentile_disc(ARRAY(SELECT k::float8 / ? FROM generate_series(1, ? - 1) "
        "k))"
        " WITHIN GROUP (ORDER BY serial_written)) FROM sn_rows TABLESAMPLE SYSTEM (?::float8)",
        {std::int64_t{kParts}, std::int64_t{kParts},
         std::to_string(std::min(100.0, 100.0 * kSampleRows / std::max(n, 1.0)))},
        d);
    while (ok && st.Fetch(d)) {
        const auto bound = st.Text(1, d);
        if (bound && bound != ranges.back().from) {
            ranges.back().to = bound;
            ranges.push_back(SerialRange{bound, std::nullopt});
        }
    }
    return ok && d.state.empty();
}

// The first part on `c`, the others each on a new connection to `connection`.
// Each part sees the rows as they were when its own count began.
bool CountParts(odbc::Connection& c, const std::string& connection, const ReportOptions& options,
                const std::vector<SerialRange>& ranges, std::vector<std::vector<ReportLine>>& lines,
                Diag& d) {
    lines.assign(ranges.size(), {});
    std::vector<Diag> diags(ranges.size());
    std::vector<char> ok(ranges.size(), 0);
    {
        std::vector<std::jthread> others;
        for (std::size_t i = 1; i < ranges.size(); ++i) {
            others.emplace_back([&, i] {
                odbc::Connection own;
                ok[i] = own.Connect(connection, diags[i]) &&
                        CountPart(own, options, ranges[i], lines[i], diags[i]);
                own.Rollback();
            });
        }
        ok[0] = CountPart(c, options, ranges[0], lines[0], d);
    }
    for (std::size_t i = 1; i < ranges.size() && ok[0]; ++i) {
        if (!ok[i]) {
            d = diags[i];
            return false;
        }
    }
    return ok[0] != 0;
}

}  // namespace

bool CountReportLines(odbc::Connection& c, const std::string& connection,
                      const ReportOptions& options, double splitFrom,
                      std::vector<ReportLine>& lines, Diag& d) {
    std::vector<SerialRange> ranges;
    std::vector<std::vector<ReportLine>> parts;
    if (!SplitNumbers(c, splitFrom, ranges, d) ||
        !CountParts(c, connection, options, ranges, parts, d)) {
        return false;
    }
    for (auto& part : parts) {
        std::move(part.begin(), part.end(), std::back_inserter(lines));
    }
    return true;
}

}  // namespace sn::detail
