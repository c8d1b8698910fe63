// The production report's model: the journal's rows turned into pagers, one
// serial number at a time, and the pagers counted in their groups. Only the
// numbers still open are kept, so that a journal of millions of rows reads in
// little memory.

#include "report/report.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "report/report_time.h"

namespace sn {

namespace {

constexpr std::int64_t kNoTime = INT64_MIN;

// Station, operator, port and model texts, each kept once.
class Interner {
  public:
    std::uint32_t Id(std::string_view text, std::uint32_t& last) {
        if (last < texts_.size() && texts_[last] == text) {
            return last;  // the same station as the row before, most of the time
        }
        const auto it = ids_.find(text);
        if (it != ids_.end()) {
            return last = it->second;
        }
        last = static_cast<std::uint32_t>(texts_.size());
        texts_.emplace_back(text);
        ids_.emplace(texts_.back(), last);
        return last;
    }
    const std::string& Text(std::uint32_t id) const { return texts_[id]; }

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::vector<std::string> texts_;
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> ids_;
};

// Where and when a row was recorded.
struct Ref {
    std::int64_t utc = kNoTime;  // kNoTime: the time does not read; `timeText` holds it
    std::int32_t offsetMinutes = 0;
    std::uint32_t timeText = 0;
    std::uint32_t station = 0, port = 0, op = 0, model = 0;
};

struct Pager {
    Ref first;
    Ref last;
    int attempts = 0;
};

// A number's rows so far: a reservation not yet settled, and the pager whose
// write broke off, waiting for its resume.
struct SerialState {
    bool pending = false;
    bool open = false;
    Ref reservation;
    Pager pager;
};

enum class End { Numbered, Verified, Failed, Refused, Released, InDoubt };

void Tally(ReportCounts& c, End end, bool firstPass) {
    ++c.tried;
    c.numbered += end == End::Numbered || end == End::Verified ? 1 : 0;
    c.verified += end == End::Verified ? 1 : 0;
    c.firstPass += firstPass ? 1 : 0;
    c.failed += end == End::Failed ? 1 : 0;
    c.refused += end == End::Refused ? 1 : 0;
    c.released += end == End::Released ? 1 : 0;
    c.inDoubt += end == End::InDoubt ? 1 : 0;
}

}  // namespace

struct ReportBuilder::State {
    ReportOptions options;
    Interner texts;
    std::uint32_t lastStation = UINT32_MAX, lastPort = UINT32_MAX, lastOp = UINT32_MAX,
                  lastModel = UINT32_MAX, lastTime = UINT32_MAX;
    LocalOffsets offsets;
    std::unordered_map<std::uint64_t, SerialState> serials;
    std::map<std::int64_t, ReportCounts> groups;
    std::map<std::pair<std::uint32_t, std::int64_t>, ReportCounts> hours;
    ReportCounts total;
    std::vector<std::pair<Pager, std::uint64_t>> unfinished;  // with its number
    std::vector<std::string> unfinishedStates;

    Ref MakeRef(const ReportRowView& row);
    std::int64_t GroupKey(const Ref& first);
    std::int64_t ShiftStart(std::int64_t utc);
    void Close(const Pager& p, std::uint64_t serial, End end);
    void Settle(SerialState& s, const Ref& ref, const ReportRowView& row);
    std::string GroupLabel(std::int64_t key) const;
    std::vector<UnfinishedPager> UnfinishedList() const;
};

Ref ReportBuilder::State::MakeRef(const ReportRowView& row) {
    Ref r;
    if (const auto t = ParseRowTime(row.time)) {
        r.utc = t->utc;
        r.offsetMinutes = t->offsetMinutes;
    } else {
        r.timeText = texts.Id(row.time, lastTime);
    }
    r.station = texts.Id(row.station, lastStation);
    r.port = texts.Id(row.port, lastPort);
    r.op = texts.Id(row.operatorName, lastOp);
    r.model = texts.Id(row.model, lastModel);
    return r;
}

// The local start of the shift `utc` falls in: the last start before it that
// day, else the previous day's last shift, which runs past midnight.
std::int64_t ReportBuilder::State::ShiftStart(std::int64_t utc) {
    return ShiftStartAt(utc, offsets.At(utc), options.shiftStarts);
}

std::int64_t ReportBuilder::State::GroupKey(const Ref& first) {
    switch (options.by) {
        case ReportGroup::Station:
            return first.station;
        case ReportGroup::Operator:
            return first.op;
        default:
            break;
    }
    if (first.utc == kNoTime) {
        return kNoTime;
    }
    const int offset = offsets.At(first.utc);
    if (options.by == ReportGroup::Day) {
        return FloorDiv(first.utc + offset, 86400);
    }
    if (options.by == ReportGroup::Hour) {
        return FloorDiv(first.utc + offset, 3600) * 3600 - offset;
    }
    return ShiftStart(first.utc);
}

// A pager's end, counted when its first attempt is in the window.
void ReportBuilder::State::Close(const Pager& p, std::uint64_t serial, End end) {
    const std::int64_t t = p.first.utc;
    const bool bounded = options.since || options.until;
    if (bounded && (t == kNoTime || (options.since && t < *options.since) ||
                    (options.until && t >= *options.until))) {
        return;
    }
    const bool firstPass = (end == End::Numbered || end == End::Verified) && p.attempts == 1;
    Tally(total, end, firstPass);
    Tally(groups[GroupKey(p.first)], end, firstPass);
    if (t != kNoTime) {
        const int offset = offsets.At(t);
        const std::int64_t hour = FloorDiv(t + offset, 3600) * 3600 - offset;
        Tally(hours[{p.first.station, hour}], end, firstPass);
    }
    if (end == End::Failed || end == End::InDoubt) {
        unfinished.emplace_back(p, serial);
        unfinishedStates.emplace_back(end == End::Failed ? "broken off" : "in doubt");
    }
}

// A settlement: the attempt of the reservation before it (or its own, in a
// journal from before reservations).
void ReportBuilder::State::Settle(SerialState& s, const Ref& ref, const ReportRowView& row) {
    const Ref first = s.pending ? s.reservation : ref;
    s.pending = false;
    if (row.effect == RowEffect::Release) {
        // The number was kept by no pager: this one is counted alone.
        Close(Pager{first, ref, 1}, row.serial, row.refused ? End::Refused : End::Released);
        return;
    }
    Pager p = s.open ? s.pager : Pager{first, ref, 0};
    ++p.attempts;
    p.last = ref;
    s.open = row.effect == RowEffect::UseBroken;
    if (s.open) {
        s.pager = p;  // its resume, or a write with the duplicate allowed, continues it
    } else {
        Close(p, row.serial, row.verified ? End::Verified : End::Numbered);
    }
}

ReportBuilder::ReportBuilder(const ReportOptions& options) : state_(std::make_unique<State>()) {
    state_->options = options;
    state_->serials.reserve(1024);
}

ReportBuilder::~ReportBuilder() = default;

void ReportBuilder::Add(const ReportRowView& row) {
    State& st = *state_;
    const Ref ref = st.MakeRef(row);
    const auto [it, fresh] = st.serials.try_emplace(row.serial);
    SerialState& s = it->second;
    if (row.effect != RowEffect::Reserve) {
        st.Settle(s, ref, row);
    } else {
        if (s.pending) {
            // A reservation never settled, then another: one pager whose
            // first write did not complete.
            Pager p = s.open ? s.pager : Pager{s.reservation, s.reservation, 0};
            ++p.attempts;
            p.last = s.reservation;
            s.pager = p;
            s.open = true;
        }
        s.pending = true;
        s.reservation = ref;
    }
    if (!s.pending && !s.open) {
        st.serials.erase(it);
    }
}

bool ReportBuilder::Add(const LogRow& row) {
    const auto effect = OutcomeEffect(row.outcome);
    const auto serial = Serial::KeyOf(row.serialWritten);
    if (!effect || !serial) {
        return false;
    }
    const std::string_view o = row.outcome;
    const std::string_view allowed = outcome::kDuplicateAllowed;
    const std::string_view bare = o.ends_with(allowed) ? o.substr(0, o.size() - allowed.size()) : o;
    Add(ReportRowView{row.time, row.station, row.port, row.model, row.operatorName, *serial,
                      *effect, bare == outcome::kVerified,
                      o == outcome::kAlreadyNumbered || o == outcome::kModelRefused});
    return true;
}

std::string ReportBuilder::State::GroupLabel(std::int64_t key) const {
    switch (options.by) {
        case ReportGroup::Station:
        case ReportGroup::Operator:
            return texts.Text(static_cast<std::uint32_t>(key));
        default:
            break;
    }
    if (key == kNoTime) {
        return "time unreadable";
    }
    if (options.by == ReportGroup::Day) {
        return FormatLocal(LocalToUtc(key * 86400 + 12 * 3600)).substr(0, 10);
    }
    return FormatLocal(key) + (options.by == ReportGroup::Shift ? " shift" : "");
}

// The pagers in doubt or broken off, by the time of their last row.
std::vector<UnfinishedPager> ReportBuilder::State::UnfinishedList() const {
    std::vector<UnfinishedPager> list;
    std::vector<std::size_t> order(unfinished.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return unfinished[a].first.last.utc < unfinished[b].first.last.utc;
    });
    for (std::size_t i : order) {
        const auto& [p, serial] = unfinished[i];
        const Ref& r = p.last;
        list.push_back(
            {Serial::FromKey(serial)->Text(),
             r.utc == kNoTime ? texts.Text(r.timeText) : FormatIso(r.utc, r.offsetMinutes),
             texts.Text(r.station), texts.Text(r.port), texts.Text(r.op), unfinishedStates[i],
             texts.Text(r.model)});
    }
    return list;
}

Report ReportBuilder::Finish() {
    State& st = *state_;
    for (auto& [serial, s] : st.serials) {
        if (s.pending) {
            Pager p = s.open ? s.pager : Pager{s.reservation, s.reservation, 0};
            ++p.attempts;
            p.last = s.reservation;
            st.Close(p, serial, End::InDoubt);
        } else if (s.open) {
            st.Close(s.pager, serial, End::Failed);
        }
    }
    st.serials.clear();
    Report report;
    report.total = st.total;
    for (const auto& [key, counts] : st.groups) {
        report.rows.push_back({st.GroupLabel(key), counts});
    }
    const bool byText =
        st.options.by == ReportGroup::Station || st.options.by == ReportGroup::Operator;
    if (byText) {
        std::stable_sort(report.rows.begin(), report.rows.end(),
                         [](const ReportRow& a, const ReportRow& b) { return a.group < b.group; });
    }
    for (const auto& [key, counts] : st.hours) {
        report.hours.push_back({st.texts.Text(key.first), key.second, counts});
    }
    std::stable_sort(report.hours.begin(), report.hours.end(),
                     [](const HourBar& a, const HourBar& b) { return a.station < b.station; });
    report.unfinished = st.UnfinishedList();
    return report;
}

Report BuildReport(const std::vector<LogRow>& rows, const ReportOptions& options) {
    ReportBuilder builder(options);
    for (const LogRow& row : rows) {
        builder.Add(row);
    }
    return builder.Finish();
}

}  // namespace sn
