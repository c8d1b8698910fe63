// The production log, the duplicate guard and the serial-number sequence:
// real files in a temporary folder, the form's transaction in virtual time
// against the substitute pager.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "protocol/frames.h"
#include "tests/support/workflow_harness.h"
#include "workflow/production_hooks.h"
#include "workflow/production_log.h"
#include "workflow/serial_sequence.h"

namespace sn {
namespace {

namespace fs = std::filesystem;
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

LogRow Row(const std::string& serial, const std::string& outcomeText,
           const std::string& station = "line-1") {
    return {"2026-12-07T10:00:00+01:00",
            station,
            "/dev/ttyUSB0",
            "KTN4070C",
            "",
            serial,
            outcomeText,
            "0.1.0"};
}

const std::string kHeader = std::string(kLogHeader) + "\r\n";

TEST(CsvTest, FieldsSurviveQuotingAndReadBack) {
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogRow row = Row("AB12CD0001", "written");
        row.model = c.value;
        const std::string line = FormatCsvRow(row);
        EXPECT_EQ(line, "2026-12-07T10:00:00+01:00,line-1,/dev/ttyUSB0," + c.encoded +
                            ",,AB12CD0001,written,0.1.0\r\n");
        const ParsedLog parsed = ParseCsvLog(kHeader + line + line);
        ASSERT_EQ(parsed.rows.size(), 2u);
        EXPECT_EQ(parsed.rows[1].model, c.value);
        EXPECT_EQ(parsed.rows[1].serialWritten, "AB12CD0001");
        EXPECT_TRUE(parsed.problems.empty());
    }
    LogRow noTime = Row("AB12CD0001", "written");
    noTime.time.clear();
    EXPECT_EQ(FormatCsvRow(noTime).rfind(",line-1,/dev/ttyUSB0,", 0), 0u) << "an empty first field";
}

TEST(CsvTest, TornAndBadLinesAreReportedNeverFatal) {
    const std::string good = FormatCsvRow(Row("AB12CD0001", "written"));
    struct Case {
        const char* what;
        std::string content;
        std::size_t rows;
        std::string problem;  // "" for none
    };
    const Case cases[] = {
        {"whole", kHeader + good, 1, ""},
        {"plain field torn", kHeader + good + "2026-12-07T10:01:00+01:00,line-1,/dev", 1,
         "line 3 is torn"},
        {"quoted field torn", kHeader + good + "2026-12-07T10:01:00+01:00,\"line", 1,
         "line 3 is torn"},
        {"header only torn", "time,stat", 0, "line 1 is torn"},
        {"short line", kHeader + "a,b,c\r\n" + good, 1, "line 2 has 3 fields instead of 8"},
        {"lf only", std::string(kLogHeader) + "\n" + good.substr(0, good.size() - 2) + "\n", 1, ""},
        {"empty", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ParsedLog parsed = ParseCsvLog(c.content);
        EXPECT_EQ(parsed.rows.size(), c.rows);
        if (c.problem.empty()) {
            EXPECT_TRUE(parsed.problems.empty());
        } else {
            ASSERT_EQ(parsed.problems.size(), 1u);
            EXPECT_EQ(parsed.problems[0].rfind(c.problem, 0), 0u) << parsed.problems[0];
        }
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
        const auto got = NextSerial(from);
        ASSERT_EQ(got.has_value(), next != nullptr);
        if (next != nullptr) {
            EXPECT_EQ(*got, next);
        }
    }
    SerialSequence s("AB12CD9998");
    EXPECT_TRUE(s.Advance());
    EXPECT_EQ(s.Current(), "AB12CD9999");
    EXPECT_FALSE(s.Advance());
    EXPECT_TRUE(s.Ended());
    EXPECT_EQ(s.EndMessage(),
              "The sequence ends at AB12CD9999: the number after it would need another digit.");
}

TEST(ProductionLogTest, GuardReadsEveryLogAndAppendsToTheFirstOnly) {
    TempDir dir;
    const std::string mine = dir.File("line-1.csv");
    const std::string theirs = dir.File("both.csv");
    // Two stations' logs concatenated: a header in the middle, a torn line.
    WriteText(theirs, kHeader + FormatCsvRow(Row("ab12cd0001", "verified", "line-2")) + kHeader +
                          FormatCsvRow(Row("AB12CD0002", "Write Error #2", "line-3")) +
                          FormatCsvRow(Row("AB12CD0003", "written (duplicate allowed)", "line-3")) +
                          "2026-12-07T11:00:00+01:00,line-3,/dev/ttyUSB1,KTN4070C,,AB12CD0004,ver");
    ProductionLog log({mine, theirs});
    std::vector<std::string> problems;
    std::string error;
    ASSERT_TRUE(log.Open(problems, error)) << error;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], theirs +
                               ": line 6 is torn (a row whose write did not finish); it is "
                               "left out.");
    struct Case {
        const char* serial;
        bool refused;
    };
    const Case cases[] = {
        {"AB12CD0001", true}, {"Ab12cD0001", true},  {"AB12CD0002", false},
        {"AB12CD0003", true}, {"AB12CD0004", false}, {"AB12CD0005", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        const auto refusal = log.Check(c.serial, false);
        ASSERT_EQ(refusal.has_value(), c.refused);
        EXPECT_FALSE(log.Check(c.serial, true).has_value());
    }
    EXPECT_EQ(log.Check("ab12cd0001", false)->message,
              "The serial number AB12CD0001 was already written on 2026-12-07T10:00:00+01:00 at "
              "station line-2 (port /dev/ttyUSB0), as the production log " +
                  theirs + " records. Nothing was sent to the pager.");

    const std::string before = ReadText(theirs);
    ASSERT_TRUE(log.Record(Row("AB12CD0005", "written"), error)) << error;
    EXPECT_EQ(ReadText(theirs), before);
    EXPECT_EQ(ReadText(mine), kHeader + FormatCsvRow(Row("AB12CD0005", "written")));
    EXPECT_EQ(log.Check("AB12CD0005", false)->kind, Refusal::Kind::Duplicate);
}

TEST(ProductionLogTest, RowAfterATornLineStaysReadable) {
    TempDir dir;
    const std::string path = dir.File("log.csv");
    for (const std::string torn : {"2026-12-07T11:00:00+01:00,line-1,/dev", "2026,\"line\r\n-1"}) {
        SCOPED_TRACE(torn);
        WriteText(path, kHeader + torn);
        ProductionLog log({path});
        std::string error;
        ASSERT_TRUE(log.Record(Row("AB12CD0007", "written"), error)) << error;
        const ParsedLog parsed = ParseCsvLog(ReadText(path));
        ASSERT_EQ(parsed.rows.size(), 1u);
        EXPECT_EQ(parsed.rows[0].serialWritten, "AB12CD0007");
        EXPECT_EQ(parsed.problems.size(), 1u);  // the torn line, now a short one
    }
}

// The OS's reason differs from one system to the next; the file is named and
// the reason given, whatever its words.
TEST(ProductionLogTest, UnusableLogNamesTheFileAndTheReason) {
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
        ProductionLog log(paths);
        const auto refusal = log.Check("AB12CD0001", true);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->kind, Refusal::Kind::LogUnusable);
        const std::string head = "The production log " + named + " cannot be opened: ";
        const std::string& m = refusal->message;
        ASSERT_GT(m.size(), head.size() + tail.size());
        EXPECT_EQ(m.substr(0, head.size()), head);
        EXPECT_EQ(m.substr(m.size() - tail.size()), tail);
    }
}

// The form with a log: a refused number sends nothing; every transaction
// leaves its row; the next number is offered to the next pager.
class ProductionFormTest : public ::testing::Test, public WorkflowHarness {
  protected:
    ProductionFormTest() : log({dir.File("log.csv")}) {}
    void Hook(std::optional<std::string> first) {
        hooks.emplace(form, &log, std::move(first));
        view.SetHooks(&*hooks);
    }
    std::vector<LogRow> Rows() { return ParseCsvLog(ReadText(dir.File("log.csv"))).rows; }

    TempDir dir;
    ProductionLog log;
    std::optional<ProductionHooks> hooks;
};

TEST_F(ProductionFormTest, DuplicateOrUnusableLogIsRefusedBeforeAnyFrame) {
    WriteText(dir.File("log.csv"), kHeader + FormatCsvRow(Row("ab12cd0001", "verified")));
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
    EXPECT_EQ(Rows().size(), 1u);

    fs::remove(dir.File("log.csv"));
    fs::create_directory(dir.File("log.csv"));
    Enter("AB12CD0002");
    PressWrite();
    EXPECT_TRUE(pager.Log().empty());
    ASSERT_EQ(form.Boxes().size(), 2u);
    EXPECT_NE(form.Boxes()[1].text.find("cannot be opened: "), std::string::npos);
}

TEST_F(ProductionFormTest, EveryEndIsLoggedAndOnlyAWriteMovesTheSequenceOn) {
    Hook("AB12CD0009");
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0009");
    EXPECT_EQ(form.Status(), text::kClickWrite);
    view.OnSerialKillFocus();
    PressWrite();

    pager.SetNumbered(false);
    pager.SetStandingFault(kCmdWriteStart, sim::Fault::Nak);
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0010");
    view.OnSerialKillFocus();
    PressWrite();

    pager.ClearFaults();
    pager.SetModelCode("KTM2201C");
    StartReady();
    EXPECT_EQ(form.SerialText(), "AB12CD0010");  // offered again
    view.OnSerialKillFocus();
    PressWrite();

    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].serialWritten, "AB12CD0009");
    EXPECT_EQ(rows[0].outcome, "written");
    EXPECT_EQ(rows[0].model, "KTN4070C");
    EXPECT_EQ(rows[0].port, "COM3");
    EXPECT_EQ(rows[1].outcome, "Write Error #1");
    EXPECT_EQ(rows[1].serialBefore, "");
    EXPECT_EQ(rows[2].outcome, "model refused");
    EXPECT_EQ(rows[2].model, "KTM2201C");
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

}  // namespace
}  // namespace sn
