// The production ledger: the journal's rows, what they make of a number, and
// the form's transactions against it, judged by the frames the substitute
// pager received. Real files in a temporary folder, the form in virtual time.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "database/odbc_ledger.h"
#include "ledger/journal_ledger.h"
#include "ledger/ledger_hooks.h"
#include "ledger/serial_sequence.h"
#include "protocol/frames.h"
#include "tests/support/workflow_harness.h"
#include "workflow/pager_reader.h"

namespace sn {
namespace {

namespace fs = std::filesystem;
using sim::Fault;
using testing::WorkflowHarness;

class TempDir {
  public:
    TempDir() {
        path_ =
            fs::temp_directory_path() /
            ("sntool-prod-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

Serial S(std::string_view text) {
    return *Serial::Parse(text);
}

std::optional<std::string> Text(const std::optional<Serial>& serial) {
    return serial ? std::optional<std::string>(serial->Text()) : std::nullopt;
}

// Reserves `serial` for `port` into `r`.
std::optional<Refusal> Reserve(Ledger& ledger, std::string_view serial, const std::string& port,
                               ReserveMode mode, std::optional<Reservation>& r) {
    r.emplace(Reservation{S(serial), port});
    return ledger.Reserve(*r, mode);
}

LogRow Row(const std::string& serial, const std::string& outcomeText,
           const std::string& station = "line-1") {
    return {"2026-12-07T10:00:00+01:00",
            station,
            "/dev/ttyUSB0",
            "KTN4070C",
            "",
            serial,
            outcomeText,
            "1.0.1",
            ""};
}

std::string Rows(std::initializer_list<std::pair<const char*, const char*>> rows) {
    std::string text;
    for (const auto& [serial, outcomeText] : rows) {
        text += FormatCsvRow(Row(serial, outcomeText));
    }
    return text;
}

const std::string kHeader = std::string(kLogHeader) + "\r\n";

NumberState StateIn(const std::string& path, const std::string& serial) {
    JournalLedger ledger({path});
    return ledger.Lookup(S(serial)).state;
}

TEST(CsvTest, FieldsSurviveQuotingAndFormulaEscapes) {
    struct Case {
        const char* what;
        std::string value;
        std::string encoded;
    };
    const Case cases[] = {
        {"plain", "Write Error #2", "Write Error #2"},
        {"comma", "written (verify: a, b)", "\"written (verify: a, b)\""},
        {"quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line feed", "a\nb", "\"a\nb\""},
        {"cr lf", "a\r\nb", "\"a\r\nb\""},
        {"empty", "", ""},
        // What a spreadsheet would compute shows as text.
        {"formula", "=2+5*9", "'=2+5*9"},
        {"plus", "+1", "'+1"},
        {"minus", "-1", "'-1"},
        {"at", "@SUM(A1)", "'@SUM(A1)"},
        {"tab", "\tx", "'\tx"},
        {"cr", "\r=1", "\"'\r=1\""},
        {"apostrophe", "'=x", "''=x"},
        {"formula with comma", "=A1,B1", "\"'=A1,B1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogRow row = Row("AB12CD0001", "written");
        row.model = c.value;
        const std::string line = FormatCsvRow(row);
        EXPECT_EQ(line, "2026-12-07T10:00:00+01:00,line-1,/dev/ttyUSB0," + c.encoded +
                            ",,AB12CD0001,written,1.0.1,\r\n");
        const ParsedLog parsed = ParseCsvLog(kHeader + line + line);
        ASSERT_EQ(parsed.rows.size(), 2u);
        EXPECT_EQ(parsed.rows[1].model, c.value);
        EXPECT_TRUE(parsed.torn.empty() && parsed.unreadable.empty());
    }
    LogRow noTime = Row("AB12CD0001", "written");
    noTime.time.clear();
    EXPECT_EQ(FormatCsvRow(noTime).rfind(",line-1,/dev/ttyUSB0,", 0), 0u) << "an empty first field";
}

// What each kind of line is, to the parser and to a ledger reserving over
// it: a row; a torn row (left out, never fatal, also with rows behind it); a
// complete line that cannot be read, which stops every reservation, naming
// the file and the line, until it is mended. A row appended after a torn end
// starts a line of its own and has the file's columns.
TEST(LedgerTest, RowsTornLinesAndUnreadableLines) {
    const std::string good = FormatCsvRow(Row("AB12CD0001", "written"));
    const std::string other = FormatCsvRow(Row("AB12CD0002", "verified"));
    const std::string bare = good.substr(0, good.size() - 2);
    const std::string torn = good.substr(0, 40);  // cut in the port
    struct Case {
        const char* what;
        std::string content;
        std::size_t rows;
        std::vector<std::string> torn;
        std::vector<std::string> unreadable;
        std::size_t columns = kLogFields;  // of a row appended
    };
    const Case cases[] = {
        {"whole", kHeader + good, 1, {}, {}},
        {"lf only", std::string(kLogHeader) + "\n" + bare + "\n", 1, {}, {}},
        {"empty", "", 0, {}, {}},
        {"1.0.1's eight columns",
         "time,station,port,model,serial before,serial written,outcome,tool version\r\n" +
             FormatCsvRow(Row("AB12CD0001", "written"), kOldLogFields),
         1,
         {},
         {},
         kOldLogFields},
        {"torn in a field", kHeader + good + torn, 1, {"line 3"}, {}},
        {"torn in quotes", kHeader + good + "2026-12-07T10:01:00+01:00,\"line", 1, {"line 3"}, {}},
        {"torn header", "time,stat", 0, {}, {}},
        {"torn between cr and lf", kHeader + other + bare + "\r", 2, {}, {}},
        {"cr-torn row mended by an older version", kHeader + bare + "\r\r\n" + other, 2, {}, {}},
        {"torn row pushed onto its own line", kHeader + torn + "\r\n" + other, 1, {"line 2"}, {}},
        {"torn quoted row closed and pushed on",
         kHeader + "2026-12-07T10:01:00+01:00,\"li\"\r\n" + other,
         1,
         {"line 2"},
         {}},
        {"short", kHeader + "a,b,c\r\n" + good, 1, {}, {"line 2: it has 3 fields instead of 9"}},
        {"semicolons",
         kHeader + "2026-12-07T10:00:00+01:00;line-1;/dev/ttyUSB0;KTN4070C;;"
                   "AB12CD0001;written;1.0.1\r\n",
         0,
         {},
         {"line 2: it has 1 field instead of 9"}},
        {"blanks",
         kHeader + good +
             " 2026-12-07T10:00:00+01:00 , line-1 , /dev/ttyUSB0 , KTN4070C ,  , "
             "AB12CD0002 , written , 1.0.1 \r\n",
         1,
         {},
         {"line 3: its serial number \" AB12CD0002 \" is not ten letters, digits or '*'"}},
        {"tenth column",
         kHeader + bare + ",extra\r\n" + other,
         1,
         {},
         {"line 2: it has 10 fields instead of 9"}},
        {"unknown outcome",
         kHeader + FormatCsvRow(Row("AB12CD0001", "sold")),
         0,
         {},
         {"line 2: its outcome \"sold\" is not one the tool writes"}},
    };
    TempDir dir;
    const std::string path = dir.File("log.csv");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ParsedLog parsed = ParseCsvLog(c.content);
        EXPECT_EQ(parsed.rows.size(), c.rows);
        EXPECT_EQ(parsed.torn, c.torn);
        EXPECT_EQ(parsed.unreadable, c.unreadable);
        WriteText(path, c.content);
        JournalLedger ledger({path});
        std::optional<Reservation> r;
        const auto refusal = Reserve(ledger, "AB12CD0003", "COM3", ReserveMode::Fresh, r);
        if (c.unreadable.empty()) {
            ASSERT_FALSE(refusal) << refusal->message;
            for (const LogRow& row : parsed.rows) {
                EXPECT_EQ(ledger.Lookup(S(row.serialWritten)).state, NumberState::Used);
            }
            EXPECT_FALSE(Reserve(ledger, "AB12CD0004", "COM3", ReserveMode::Fresh, r));
            const ParsedLog after = ParseCsvLog(ReadText(path));
            EXPECT_EQ(after.rows.size(), c.rows + 2);
            EXPECT_TRUE(after.unreadable.empty());
            std::size_t columns = 0;
            CsvSplitter().Split(ReadText(path), true,
                                [&](const CsvRecord& record) { columns = record.fields.size(); });
            EXPECT_EQ(columns, c.columns);
            continue;
        }
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->kind, Refusal::Kind::Unusable);
        EXPECT_EQ(refusal->reason, "The production log " + path + " cannot be read at " +
                                       c.unreadable[0] +
                                       ". No pager is written until that line is mended or "
                                       "removed.");
        EXPECT_EQ(ReadText(path), c.content) << "nothing recorded";
        // The line mended (taken out): the same ledger writes again.
        WriteText(path, kHeader + good);
        EXPECT_FALSE(Reserve(ledger, "AB12CD0003", "COM3", ReserveMode::Fresh, r));
    }
}

// What the rows make of a number, also in logs written before reservations.
struct StateCase {
    std::vector<const char*> outcomes;
    NumberState state;
};
using N = NumberState;
const StateCase kStateCases[] = {
    {{}, N::Free},
    {{"reserved"}, N::InDoubt},
    {{"reserved", "written"}, N::Used},
    {{"reserved", "verified"}, N::Used},
    {{"reserved", "written (verify: Read Error #5)"}, N::Used},
    {{"reserved", "verify mismatch"}, N::BrokenOff},
    {{"reserved", "Write Error #2"}, N::BrokenOff},
    {{"reserved", "Write Error #5"}, N::BrokenOff},
    {{"reserved", "not finished"}, N::BrokenOff},
    {{"reserved", "Write Error #5 (nothing written)"}, N::Free},
    {{"reserved", "Write Error #1"}, N::Free},
    {{"reserved", "Read Error #3"}, N::Free},
    {{"reserved", "model refused"}, N::Free},
    {{"reserved", "already numbered"}, N::Free},
    // a reservation never settled, then taken again (a resume)
    {{"reserved", "reserved"}, N::InDoubt},
    {{"reserved", "reserved", "Read Error #5"}, N::BrokenOff},
    {{"reserved", "Write Error #2", "reserved", "written"}, N::Used},
    {{"reserved", "written", "reserved", "model refused"}, N::Used},
    // older logs
    {{"written"}, N::Used},
    {{"verified (duplicate allowed)"}, N::Used},
    {{"Write Error #2"}, N::BrokenOff},
    {{"Read Error #5"}, N::Free},
};

std::string Trace(const StateCase& c) {
    std::string trace;
    for (const char* o : c.outcomes) {
        trace += std::string(o) + "; ";
    }
    return trace;
}

TEST(LedgerTest, RowsDecideUsedReleasedAndInDoubt) {
    TempDir dir;
    const std::string path = dir.File("log.csv");
    for (const StateCase& c : kStateCases) {
        SCOPED_TRACE(Trace(c));
        std::string text = kHeader;
        for (const char* o : c.outcomes) {
            text += FormatCsvRow(Row("AB12CD0001", o));
        }
        WriteText(path, text);
        EXPECT_EQ(StateIn(path, "ab12cd0001"), c.state);
    }
}

// The same table through a ledger's own reservations and settlements: a
// "reserved" takes the number as --allow-duplicate or resume would, and each
// outcome settles the last reservation. Every ledger decides alike.
void ReservationsDecideAlike(Ledger& ledger) {
    int n = 100;
    for (const StateCase& c : kStateCases) {
        if (!c.outcomes.empty() && std::string(c.outcomes[0]) != outcome::kReserved) {
            continue;  // a log older than reservations: the journal's alone
        }
        SCOPED_TRACE(Trace(c));
        const std::string serial = "AB12CD0" + std::to_string(n++);
        std::optional<Reservation> r;
        for (const char* o : c.outcomes) {
            if (std::string(o) == outcome::kReserved) {
                const auto refusal =
                    Reserve(ledger, serial, "COM3", ReserveMode::AllowDuplicate, r);
                ASSERT_FALSE(refusal) << refusal->message;
                continue;
            }
            std::string error;
            ASSERT_TRUE(ledger.Settle(*r, Row(serial, o), error)) << error;
        }
        EXPECT_EQ(StateName(ledger.Lookup(S(serial)).state), StateName(c.state));
    }
}

// Refusals and what a reservation says of the number, for every ledger;
// `source` is how its messages name it.
void RefusalsAreAlike(Ledger& ledger, const std::string& source) {
    using K = Refusal::Kind;
    struct Case {
        std::vector<const char*> outcomes;
        ReserveMode mode;
        std::optional<K> kind;
        std::string message;  // the start of it; {} for the number
        bool reusing = false;
    };
    const std::string tail = " Nothing was sent to the pager.";
    const Case cases[] = {
        {{"reserved"}, ReserveMode::Fresh, K::Duplicate, "The serial number {} was reserved on "},
        {{"reserved", "verify mismatch"},
         ReserveMode::Fresh,
         K::Duplicate,
         "The serial number {} went into a pager on "},
        {{"reserved", "written"},
         ReserveMode::Fresh,
         K::Duplicate,
         "The serial number {} was already written on 2026-12-07T10:00:00+01:00 at station line-1 "
         "(port /dev/ttyUSB0), " +
             source + "." + tail},
        {{"reserved", "written"},
         ReserveMode::Resume,
         K::NotResumable,
         "The serial number {} is used, not one whose write broke off; there is nothing to "
         "resume."},
        {{}, ReserveMode::Resume, K::NotResumable, "The serial number {} is free, not one whose "},
        {{"reserved", "written"}, ReserveMode::AllowDuplicate, {}, "", true},
        {{"reserved", "Write Error #2"}, ReserveMode::Resume, {}, "", true},
        {{"reserved", "model refused"}, ReserveMode::Fresh, {}, ""},
    };
    int n = 200;
    for (const Case& c : cases) {
        const std::string serial = "AB12CD0" + std::to_string(n++);
        SCOPED_TRACE(serial);
        std::optional<Reservation> r;
        for (const char* o : c.outcomes) {
            std::string error;
            ASSERT_TRUE(std::string(o) == outcome::kReserved
                            ? !Reserve(ledger, serial, "COM3", ReserveMode::AllowDuplicate, r)
                            : ledger.Settle(*r, Row(serial, o), error));
        }
        const auto refusal = Reserve(ledger, serial, "COM4", c.mode, r);
        ASSERT_EQ(refusal.has_value(), c.kind.has_value());
        if (!refusal) {
            EXPECT_EQ(r->reusing, c.reusing);
            continue;
        }
        EXPECT_EQ(refusal->kind, *c.kind);
        std::string expected = c.message;
        expected.replace(expected.find("{}"), 2, serial);
        EXPECT_EQ(refusal->message.substr(0, expected.size()), expected);
        if (refusal->kind == K::Duplicate) {
            EXPECT_NE(refusal->message.find(source), std::string::npos) << refusal->message;
            EXPECT_EQ(refusal->reason + tail, refusal->message);
        }
    }
}

TEST(LedgerTest, ReservationsDecideAlike) {
    TempDir dir;
    JournalLedger ledger({dir.File("log.csv")});
    ReservationsDecideAlike(ledger);
    RefusalsAreAlike(ledger, "as the production log " + dir.File("log.csv") + " records");
}

TEST(LedgerTest, GuardReadsEveryLogAndAppendsToTheFirstOnly) {
    TempDir dir;
    const std::string mine = dir.File("line-1.csv");
    const std::string theirs = dir.File("both.csv");
    // Two stations' logs concatenated: a header in the middle, a torn line.
    WriteText(theirs, kHeader + FormatCsvRow(Row("ab12cd0001", "verified", "line-2")) + kHeader +
                          FormatCsvRow(Row("AB12CD0002", "Read Error #3", "line-3")) +
                          FormatCsvRow(Row("AB12CD0003", "written (duplicate allowed)", "line-3")) +
                          "2026-12-07T11:00:00+01:00,line-3,/dev/ttyUSB1,KTN4070C,,AB12CD0004,ver");
    JournalLedger ledger({mine, theirs});
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(ledger.Open(notes, error)) << error;
    EXPECT_EQ(notes, std::vector<std::string>{theirs + ": line 6 is torn (a row whose write did "
                                                       "not finish); it is left out."});
    for (const auto& [serial, refused] :
         std::vector<std::pair<const char*, bool>>{{"AB12CD0001", true},
                                                   {"Ab12cD0001", true},
                                                   {"AB12CD0002", false},
                                                   {"AB12CD0003", true},
                                                   {"AB12CD0004", false}}) {
        SCOPED_TRACE(serial);
        EXPECT_EQ(ledger.Check(S(serial), ReserveMode::Fresh).has_value(), refused);
        EXPECT_FALSE(ledger.Check(S(serial), ReserveMode::AllowDuplicate).has_value());
    }
    EXPECT_EQ(ledger.Check(S("ab12cd0001"), ReserveMode::Fresh)->message,
              "The serial number AB12CD0001 was already written on 2026-12-07T10:00:00+01:00 at "
              "station line-2 (port /dev/ttyUSB0), as the production log " +
                  theirs + " records. Nothing was sent to the pager.");

    const std::string before = ReadText(theirs);
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(ledger, "ab12cd0005", "COM3", ReserveMode::Fresh, r));
    EXPECT_EQ(ReadText(theirs), before);
    const ParsedLog parsed = ParseCsvLog(ReadText(mine));
    ASSERT_EQ(parsed.rows.size(), 1u);
    EXPECT_EQ(parsed.rows[0].serialWritten, "AB12CD0005");
    EXPECT_EQ(parsed.rows[0].outcome, "reserved");
    EXPECT_EQ(parsed.rows[0].port, "COM3");
    // Another process reading the same journal sees it in doubt.
    const auto refusal = JournalLedger({mine}).Check(S("AB12CD0005"), ReserveMode::Fresh);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->message.find("was reserved on "), std::string::npos) << refusal->message;
}

// The OS's reason differs from one system to the next; the file is named and
// the reason given, whatever its words.
TEST(LedgerTest, UnusableLogNamesTheFileAndTheReason) {
    TempDir dir;
    const std::string missing = dir.File("no/such/folder/log.csv");
    const std::string folder = dir.File("");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{missing}, missing},
        {{folder}, folder},
        {{dir.File("ok.csv"), dir.File("other.csv")}, dir.File("other.csv")},
    };
    const std::string tail = ". Nothing was sent to the pager.";
    for (const auto& [paths, named] : cases) {
        SCOPED_TRACE(named);
        JournalLedger ledger(paths);
        std::optional<Reservation> r;
        const auto refusal = Reserve(ledger, "AB12CD0001", "COM3", ReserveMode::Fresh, r);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->kind, Refusal::Kind::Unusable);
        const std::string head = "The production log " + named + " cannot be opened: ";
        const std::string& m = refusal->message;
        ASSERT_GT(m.size(), head.size() + tail.size());
        EXPECT_EQ(m.substr(0, head.size()), head);
        EXPECT_EQ(m.substr(m.size() - tail.size()), tail);
    }
}

TEST(SequenceTest, RightmostDigitsCountUpKeepingTheirWidth) {
    const std::pair<const char*, const char*> cases[] = {
        {"AB12CD0009", "AB12CD0010"}, {"AB12CD0000", "AB12CD0001"}, {"0000000009", "0000000010"},
        {"AB12CD34EF", "AB12CD35EF"}, {"AB19CDXXXX", "AB20CDXXXX"}, {"AB12CD9999", nullptr},
        {"9999999999", nullptr},      {"ABCDEFGHIJ", nullptr},      {"AB99CD**EF", nullptr},
    };
    for (const auto& [from, next] : cases) {
        SCOPED_TRACE(from);
        EXPECT_EQ(Text(NextSerial(S(from))),
                  next ? std::optional<std::string>(next) : std::nullopt);
    }
    EXPECT_EQ(SequenceEndMessage(S("AB12CD9999")),
              "The sequence ends at AB12CD9999: the number after it would need another digit.");

    // The next free number passes over used and in-doubt ones, not released ones.
    TempDir dir;
    WriteText(dir.File("log.csv"), kHeader + Rows({{"AB12CD9997", "written"},
                                                   {"AB12CD9998", "reserved"},
                                                   {"AB12CD9999", "Read Error #3"}}));
    JournalLedger ledger({dir.File("log.csv")});
    std::string why;
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD9997"), why)), "AB12CD9999");
    WriteText(dir.File("log.csv"), kHeader + Rows({{"AB12CD9999", "verify mismatch"}}));
    EXPECT_FALSE(ledger.NextFree(S("ab12cd9999"), why));
    EXPECT_EQ(why,
              "The sequence ends at AB12CD9999: the number after it would need another digit.");
}

// The form with the ledger, in virtual time against the substitute pager.
class ProductionFormTest : public ::testing::Test, public WorkflowHarness {
  protected:
    ProductionFormTest() : ledger({dir.File("log.csv")}) {}
    void Hook(std::optional<std::string> first) {
        hooks.emplace(
            ledger,
            [this](const std::string& text, BoxIcon icon) {
                form.MessageBox(text, text::kCaption, icon);
            },
            first ? Serial::Parse(*first) : std::nullopt);
        view.Engine().SetHooks(&*hooks);
    }
    std::vector<LogRow> LogRows() { return ParseCsvLog(ReadText(dir.File("log.csv"))).rows; }
    // What a ledger that only reads the file says of `serial`.
    NumberState FromTheFile(const std::string& serial) {
        return StateIn(dir.File("log.csv"), serial);
    }
    bool BlockWriteSent() const {
        for (const auto& e : pager.Log()) {
            if (e.request.command == kCmdWriteBlock) {
                return true;
            }
        }
        return false;
    }

    TempDir dir;
    JournalLedger ledger;
    std::optional<LedgerHooks> hooks;
};

// The number is used exactly when a block-write frame reached the line,
// whatever happened after it, and released when none did.
struct FrameCase {
    const char* what;
    std::uint8_t command;
    std::vector<Fault> faults;  // the command's next requests
    const char* outcome;
};

TEST_F(ProductionFormTest, UsedOrReleasedFollowsTheFramesSent) {
    const std::vector<Fault> nak5(5, Fault::Nak);
    const auto at = [](std::size_t k, Fault f, std::size_t n = 1) {
        std::vector<Fault> v(k, Fault::None);
        v.insert(v.end(), n, f);
        return v;
    };
    std::vector<FrameCase> cases = {
        {"write start refused", kCmdWriteStart, nak5, "Write Error #1 (nothing written)"},
        {"pulled at the write start", kCmdWriteStart, at(0, Fault::Silence),
         "Write Error #5 (nothing written)"},
        {"write finish refused", kCmdWriteFinish, nak5, "Write Error #3"},
        {"pulled at the write finish", kCmdWriteFinish, at(0, Fault::Silence), "Write Error #5"},
        {"closing refused", kCmdClosing, nak5, "Write Error #4"},
        {"pulled at the closing", kCmdClosing, at(0, Fault::Silence), "Write Error #5"},
        {"model refused", 0, {}, "model refused"},
        {"read finish refused", kCmdReadFinish, nak5, "Read Error #3"},
    };
    for (std::size_t block = 0; block < 4; ++block) {
        cases.push_back(
            {"block refused", kCmdWriteBlock, at(block, Fault::Nak, 11), "Write Error #2"});
        cases.push_back(
            {"pulled at a block", kCmdWriteBlock, at(block, Fault::Silence), "Write Error #5"});
    }
    Hook(std::nullopt);
    int n = 0;
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + std::to_string(n));
        const std::string serial = "AB12CD00" + std::to_string(10 + n++);
        pager.Reset();
        pager.SetModelCode(c.command == 0 ? "KTM2201C" : "KTN4070C");
        pager.ScriptFaults(c.command, c.faults);
        StartReady();
        pager.ClearLog();
        Enter(serial);
        PressWrite();
        EXPECT_EQ(LogRows().back().outcome, c.outcome);
        const NumberState state = FromTheFile(serial);
        EXPECT_EQ(state != NumberState::Free, BlockWriteSent()) << StateName(state);
        EXPECT_EQ(state == NumberState::BrokenOff, BlockWriteSent());
    }
}

// A verify mismatch uses the number; a settlement that cannot be recorded
// leaves it in doubt, and a ledger reading the file never gives it again.
TEST_F(ProductionFormTest, VerifyMismatchAndALostSettlement) {
    Hook(std::nullopt);
    pager.ScriptFaults(kCmdWriteBlock, {Fault::AckWithoutStore});
    StartReady();
    const PagerResult verified = view.Engine().Write(S("AB12CD0001"), true);
    EXPECT_EQ(verified.outcome, Outcome::VerifyMismatch);
    ASSERT_TRUE(verified.mismatch);
    EXPECT_EQ(verified.mismatch->address, kSerialAddress);  // block 4 was never stored
    EXPECT_EQ(LogRows().back().outcome, "verify mismatch");
    EXPECT_EQ(FromTheFile("AB12CD0001"), NumberState::BrokenOff);

    // The journal goes away while the blocks are written.
    pager.Reset();
    StartReady();
    pager.ClearLog();
    Enter("AB12CD0002");
    const std::string log = dir.File("log.csv");
    clock.onSleep = [&](std::chrono::milliseconds) {
        if (BlockWriteSent() && !fs::exists(log + ".away")) {
            fs::rename(log, log + ".away");
            fs::create_directory(log);
        }
    };
    PressWrite();
    clock.onSleep = nullptr;
    EXPECT_EQ(form.Status(), text::kCompleted);
    ASSERT_FALSE(form.Boxes().empty());
    EXPECT_NE(form.Boxes().back().text.find("AB12CD0002 stays reserved there, in doubt"),
              std::string::npos)
        << form.Boxes().back().text;
    fs::remove(log);
    fs::rename(log + ".away", log);
    EXPECT_EQ(FromTheFile("AB12CD0002"), NumberState::InDoubt);
    std::string why;
    EXPECT_EQ(Text(JournalLedger({log}).NextFree(S("AB12CD0001"), why)), "AB12CD0003");
}

TEST_F(ProductionFormTest, DuplicateOrUnusableLogIsRefusedBeforeAnyFrame) {
    WriteText(dir.File("log.csv"), kHeader + Rows({{"ab12cd0001", "verified"}}));
    Hook(std::nullopt);
    StartReady();
    pager.ClearLog();
    Enter("AB12CD0001");
    PressWrite();
    EXPECT_TRUE(pager.Log().empty());
    ASSERT_EQ(form.Boxes().size(), 1u);
    EXPECT_EQ(form.Boxes()[0].text.rfind("The serial number AB12CD0001 was already written", 0),
              0u);
    EXPECT_EQ(form.SerialText(), "AB12CD0001");  // kept for correction
    EXPECT_EQ(form.Status(), text::kClickWrite);
    EXPECT_TRUE(form.WriteEnabled());
    EXPECT_EQ(LogRows().size(), 1u);

    fs::remove(dir.File("log.csv"));
    fs::create_directory(dir.File("log.csv"));
    Enter("AB12CD0002");
    PressWrite();
    EXPECT_TRUE(pager.Log().empty());
    ASSERT_EQ(form.Boxes().size(), 2u);
    EXPECT_NE(form.Boxes()[1].text.find("cannot be opened: "), std::string::npos);
}

// Every pager's rows, the model code as the pager holds it (a formula shows
// as text), and the next number after the one that went into the pager.
TEST_F(ProductionFormTest, EveryPagerIsRecordedAndTheSequenceFollowsTheWrittenNumber) {
    Hook("AB12CD0009");
    pager.SetModelCode("=2+5*9");
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0009");
    EXPECT_EQ(form.Status(), text::kClickWrite);
    Enter("AB12CD0042");  // the operator's own number
    PressWrite();
    EXPECT_NE(ReadText(dir.File("log.csv")).find(",'=2+5*9,,AB12CD0042,written,"),
              std::string::npos);

    pager.Reset();
    pager.SetStandingFault(kCmdWriteStart, Fault::Nak);
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0043");
    view.OnSerialKillFocus();
    PressWrite();

    pager.Reset();
    pager.ScriptFaults(kCmdWriteBlock, std::vector<Fault>(11, Fault::Nak));
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0043");  // released: offered again
    view.OnSerialKillFocus();
    PressWrite();

    pager.Reset();
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0044");  // used: never again

    const auto rows = LogRows();
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"AB12CD0042", "reserved"}, {"AB12CD0042", "written"},
        {"AB12CD0043", "reserved"}, {"AB12CD0043", "Write Error #1 (nothing written)"},
        {"AB12CD0043", "reserved"}, {"AB12CD0043", "Write Error #2"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(std::make_pair(rows[i].serialWritten, rows[i].outcome), expected[i]) << i;
    }
    EXPECT_EQ(rows[1].model, "=2+5*9");
    EXPECT_EQ(rows[1].port, "COM3");
    EXPECT_EQ(rows[0].time.size(), std::string("2026-12-07T10:00:00+01:00").size());
}

TEST_F(ProductionFormTest, WithoutHooksNothingIsOfferedOrSaved) {
    StartReady();
    EXPECT_EQ(form.SerialText(), "");
    EXPECT_EQ(form.Status(), text::kEnterSerial);
    Enter("AB12CD0001");
    PressWrite();
    EXPECT_EQ(form.Status(), text::kCompleted);
    EXPECT_FALSE(fs::exists(dir.File("log.csv")));
}

// ---- the database ledger, against the server SNTOOL_TEST_DB names (a
// scratch one: tests/db/run_with_pg.sh); skipped without it.

class DbLedgerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* db = std::getenv("SNTOOL_TEST_DB");
        if (db == nullptr || *db == '\0') {
            GTEST_SKIP() << "SNTOOL_TEST_DB names no database";
        }
        connection = db;
        ASSERT_TRUE(Sql("DROP TABLE IF EXISTS sn_numbers, sn_rows, sn_cursor"));
        std::string grants;
        std::string error;
        ASSERT_TRUE(OdbcLedger::Init(connection, "", "station", grants, error)) << error;
    }
    DbLedgerOptions Options(const std::string& conn = {}) const {
        return {conn.empty() ? connection : conn, "", "", "", dir.File("spool/pending.csv")};
    }
    // The tests' own statements, on a connection of their own.
    bool Sql(const std::string& sql, std::string* first = nullptr) {
        odbc::Connection c;
        odbc::Diag d;
        if (!c.Connect(connection, d)) {
            ADD_FAILURE() << d.state << " " << d.message;
            return false;
        }
        odbc::Statement run(c);
        if (!run.Run(sql, {}, d)) {
            ADD_FAILURE() << d.state << " " << d.message;
            return false;
        }
        if (first != nullptr && run.Fetch(d)) {
            *first = run.Text(1, d).value_or("NULL");
        }
        return c.Commit(d);
    }

    std::string connection;
    TempDir dir;
};

TEST_F(DbLedgerTest, ReservationsDecideAlike) {
    OdbcLedger ledger(Options());
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(ledger.Open(notes, error)) << error;
    ReservationsDecideAlike(ledger);
    RefusalsAreAlike(ledger, "as the production database records");
}

TEST_F(DbLedgerTest, NamesAreStoredVerbatim) {
    const std::string hostile = "'; DROP TABLE sn_numbers; --";
    DbLedgerOptions o = Options();
    o.station = "O'Brien's \"line\" " + hostile;
    o.operatorName = hostile + " \\ ?";
    OdbcLedger ledger(o);
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(ledger, "ab12cd0001", hostile, ReserveMode::Fresh, r));
    std::string error;
    LogRow row = Row("x", "written");
    row.model = hostile;
    ASSERT_TRUE(ledger.Settle(*r, row, error)) << error;
    const LedgerEntry e = ledger.Lookup(S("AB12CD0001"));
    EXPECT_EQ(e.state, NumberState::Used);
    EXPECT_EQ(e.row.station, o.station);
    EXPECT_EQ(e.row.operatorName, o.operatorName);
    EXPECT_EQ(e.row.model, hostile);
    std::string count;
    ASSERT_TRUE(
        Sql("SELECT count(*) FROM sn_rows WHERE port = '''; DROP TABLE sn_numbers; --'", &count));
    EXPECT_EQ(count, "1");
}

TEST_F(DbLedgerTest, NextFreeSkipsTakenNumbersAndGivesReleasedOnesFirst) {
    OdbcLedger ledger(Options());
    const auto take = [&](const std::string& serial, const char* outcomeText) {
        std::optional<Reservation> r;
        ASSERT_FALSE(Reserve(ledger, serial, "COM3", ReserveMode::Fresh, r));
        if (outcomeText != nullptr) {
            std::string error;
            ASSERT_TRUE(ledger.Settle(*r, Row(serial, outcomeText), error)) << error;
        }
    };
    std::string why;
    for (int i = 1; i <= 70; ++i) {  // more than one batch of the walk
        take("AB12CD" + std::string(i < 10 ? "000" : "00") + std::to_string(i), "written");
    }
    take("AB12CD0071", nullptr);            // in doubt
    take("AB12CD0072", "verify mismatch");  // broken off
    take("AB12CD0073", "Read Error #3");    // released
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0001"), why)), "AB12CD0073");
    take("AB12CD0073", "written");
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0001"), why)), "AB12CD0074");
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0075"), why)), "AB12CD0075");
    // A used number taken again and released stays used.
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(ledger, "AB12CD0074", "COM3", ReserveMode::Fresh, r));
    ASSERT_FALSE(Reserve(ledger, "AB12CD0040", "COM3", ReserveMode::AllowDuplicate, r));
    std::string error;
    ASSERT_TRUE(ledger.Settle(*r, Row("AB12CD0040", "model refused"), error));
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0001"), why)), "AB12CD0075");
    // A number released below the cursor is given again first.
    take("AB12CD0076", "written");
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0076"), why)), "AB12CD0077");
    take("AB12CD0075", "Write Error #1");
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD0001"), why)), "AB12CD0075");
    // The digits run out.
    take("AB12CD9999", "written");
    EXPECT_FALSE(ledger.NextFree(S("AB12CD9999"), why));
    EXPECT_EQ(why,
              "The sequence ends at AB12CD9999: the number after it would need another digit.");
    EXPECT_EQ(Text(ledger.NextFree(S("AB12CD9998"), why)), "AB12CD9998");
}

TEST_F(DbLedgerTest, InitTwiceChangesNothing) {
    OdbcLedger ledger(Options());
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(ledger, "AB12CD0001", "COM3", ReserveMode::Fresh, r));
    std::string grants;
    std::string error;
    ASSERT_TRUE(OdbcLedger::Init(connection, "", "line \"7\"", grants, error)) << error;
    EXPECT_NE(grants.find("GRANT SELECT, INSERT, UPDATE, DELETE ON sn_numbers, sn_cursor TO "
                          "\"line \"\"7\"\"\";"),
              std::string::npos)
        << grants;
    EXPECT_EQ(ledger.Lookup(S("AB12CD0001")).state, NumberState::InDoubt);
}

// The server cannot be reached: reservations are refused, naming it; a
// settlement waits in the spool and reaches the database later.
TEST_F(DbLedgerTest, SettlementsWaitInTheSpoolWhileTheServerIsAway) {
    OdbcLedger up(Options());
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(up, "AB12CD0001", "COM3", ReserveMode::Fresh, r));
    const std::string away =
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=postgres;Uid=sn;";
    OdbcLedger down(Options(away));
    std::optional<Reservation> other;
    const auto refusal = Reserve(down, "AB12CD0002", "COM3", ReserveMode::Fresh, other);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->kind, Refusal::Kind::Unusable);
    EXPECT_EQ(
        refusal->message.rfind("The production database at 127.0.0.1:1 cannot be reached: ", 0), 0u)
        << refusal->message;
    EXPECT_EQ(refusal->reason + " Nothing was sent to the pager.", refusal->message);
    std::string error;
    ASSERT_TRUE(down.Settle(*r, Row("AB12CD0001", "written"), error)) << error;
    EXPECT_EQ(down.SpoolWaiting(), 1);
    int delivered = 0;
    EXPECT_FALSE(down.Sync(delivered, error));
    EXPECT_EQ(up.Lookup(S("AB12CD0001")).state, NumberState::InDoubt) << "until delivered";

    const std::string spooled = ReadText(dir.File("spool/pending.csv"));
    OdbcLedger back(Options());
    EXPECT_EQ(back.SpoolWaiting(), 1);
    EXPECT_EQ(back.Lookup(S("AB12CD0001")).state, NumberState::Used);
    EXPECT_EQ(back.SpoolWaiting(), 0);
    EXPECT_TRUE(back.Sync(delivered, error)) << error;
    EXPECT_EQ(delivered, 0);

    // A delivery broken off before the spool was cleared sends its lines
    // again: the settlement is recorded once.
    WriteText(dir.File("spool/pending.csv"), spooled);
    OdbcLedger again(Options());
    EXPECT_TRUE(again.Sync(delivered, error)) << error;
    EXPECT_EQ(again.SpoolWaiting(), 0);
    std::string rows;
    ASSERT_TRUE(Sql("SELECT count(*) FROM sn_rows WHERE serial_written = 'AB12CD0001'", &rows));
    EXPECT_EQ(rows, "2") << "the reservation and one settlement";
}

// The server ends the session: the next operation connects again, unnoticed.
TEST_F(DbLedgerTest, ALostConnectionIsMadeAgain) {
    OdbcLedger ledger(Options());
    std::optional<Reservation> r;
    ASSERT_FALSE(Reserve(ledger, "AB12CD0001", "COM3", ReserveMode::Fresh, r));
    ASSERT_TRUE(
        Sql("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity"
            " WHERE pid <> pg_backend_pid() AND datname = current_database()"));
    std::string error;
    EXPECT_TRUE(ledger.Settle(*r, Row("AB12CD0001", "written"), error)) << error;
    EXPECT_EQ(ledger.SpoolWaiting(), 0);
    EXPECT_EQ(ledger.Lookup(S("AB12CD0001")).state, NumberState::Used);
}

}  // namespace
}  // namespace sn
