// The production journal from any bytes. The input's first byte picks where
// the file is cut; the ledger reads the part before the cut, then the rest
// once it has been appended, and must then know exactly what a ledger that
// reads the whole file at once knows: the same refusals (down to the line an
// unreadable row is on) and the same unfinished numbers. Every row the tool
// writes, whatever its fields hold, must read back as written.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "ledger/journal.h"
#include "ledger/journal_ledger.h"

namespace {

using sn::fuzz::Require;

void Write(const std::string& path, const std::string& text, bool append) {
    std::ofstream(path, append ? std::ios::binary | std::ios::app : std::ios::binary) << text;
}

// The ten-character runs of letters and digits: the numbers to ask about.
std::set<sn::Serial> Candidates(const std::string& text) {
    std::set<sn::Serial> out;
    std::size_t run = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool typable = i < text.size() && sn::Serial::IsCharacter(text[i]);
        run = typable ? run + 1 : 0;
        if (run >= 10 && out.size() < 16) {
            out.insert(*sn::Serial::Parse(text.substr(i + 1 - 10, 10)));
        }
    }
    out.insert(*sn::Serial::Parse("AB12CD0001"));
    return out;
}

std::string Knowledge(sn::JournalLedger& ledger, const std::set<sn::Serial>& serials) {
    std::string said;
    for (const sn::Serial& s : serials) {
        const auto refusal = ledger.Check(s, sn::ReserveMode::Fresh);
        said += s.Text() + ":" +
                (refusal ? std::to_string(static_cast<int>(refusal->kind)) + refusal->message
                         : std::string("free")) +
                "\n";
    }
    for (const sn::LedgerEntry& e : ledger.Unfinished()) {
        said += e.serial + " " + sn::StateName(e.state) + " " + e.row.outcome + "\n";
    }
    return said;
}

void RowsReadBack(const std::string& text) {
    sn::LogRow row{"2026-12-07T10:00:00+01:00", "", "", "", "", "AB12CD0001", "written", "", ""};
    std::string* fields[] = {&row.station, &row.port, &row.model, &row.serialBefore, &row.version};
    std::size_t f = 0;
    for (char c : text.substr(0, 200)) {
        if (c == '\x01') {
            f = (f + 1) % 5;
        } else {
            fields[f]->push_back(c);
        }
    }
    const sn::ParsedLog parsed = sn::ParseCsvLog(sn::FormatCsvRow(row));
    Require(parsed.rows.size() == 1 && parsed.torn.empty() && parsed.unreadable.empty());
    const sn::LogRow& back = parsed.rows[0];
    Require(back.station == row.station && back.port == row.port && back.model == row.model &&
            back.serialBefore == row.serialBefore && back.version == row.version);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) {
        return 0;
    }
    static sn::fuzz::ScratchDir dir("journal-fuzz");
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    RowsReadBack(text);
    const std::size_t cut = text.empty() ? 0 : data[0] % (text.size() + 1);
    const std::string whole = (dir.Path() / "whole.csv").string();
    const std::string grown = (dir.Path() / "grown.csv").string();
    Write(whole, text, false);
    Write(grown, text.substr(0, cut), false);
    sn::JournalLedger once({whole});
    sn::JournalLedger twice({grown});
    std::vector<std::string> notes;
    std::string error;
    twice.Open(notes, error);
    Write(grown, text.substr(cut), true);
    const std::set<sn::Serial> serials = Candidates(text);
    std::string expected = Knowledge(once, serials);
    std::string got = Knowledge(twice, serials);
    const auto named = [&](std::string s, const std::string& path) {
        for (std::size_t at; (at = s.find(path)) != std::string::npos;) {
            s.replace(at, path.size(), "LOG");
        }
        return s;
    };
    Require(named(expected, whole) == named(got, grown));
    return 0;
}
