#include "station/station.h"

#include <filesystem>
#include <fstream>

#include "database/odbc_ledger.h"
#include "database/odbc_report.h"
#include "ledger/journal_file.h"
#include "ledger/recorded_ledger.h"
#include "ports/explicit_port_source.h"
#include "ports/system_port_source.h"
#include "sim/substitute_pager.h"
#include "workflow/texts.h"

namespace sn {

namespace {

OdbcLedger* Database(Ledger& ledger) {
    if (auto* recorded = dynamic_cast<RecordedLedger*>(&ledger)) {
        return dynamic_cast<OdbcLedger*>(&recorded->Deciding());
    }
    return dynamic_cast<OdbcLedger*>(&ledger);
}

}  // namespace

bool ChooseLedger(std::vector<std::string> logs, std::string db, const std::string& passwordFile,
                  const std::optional<std::string>& operatorName, LedgerOptions& options,
                  std::string& error) {
    options.logs = std::move(logs);
    options.db = std::move(db);
    if (operatorName) {
        SetOperatorName(*operatorName);
    }
    if (passwordFile.empty()) {
        return true;
    }
    std::ifstream in(passwordFile, std::ios::binary);
    if (!in || !std::getline(in, options.dbPassword)) {
        error = "The database password cannot be read from " + passwordFile + ".";
        return false;
    }
    if (!options.dbPassword.empty() && options.dbPassword.back() == '\r') {
        options.dbPassword.pop_back();
    }
    return true;
}

std::unique_ptr<Ledger> MakeLedger(const LedgerOptions& options) {
    if (options.db.empty()) {
        return std::make_unique<JournalLedger>(options.logs);
    }
    DbLedgerOptions db;
    db.connection = options.db;
    db.password = options.dbPassword;
    db.station = StationName();
    db.operatorName = OperatorName();
    db.spoolPath = options.spoolPath.empty()
                       ? (std::filesystem::path(UserDataFolder()) / "spool.csv").string()
                       : options.spoolPath;
    auto ledger = std::make_unique<OdbcLedger>(std::move(db));
    if (options.logs.empty()) {
        return ledger;
    }
    return std::make_unique<RecordedLedger>(std::move(ledger),
                                            std::make_unique<JournalLedger>(options.logs));
}

int SpooledSettlements(Ledger& ledger) {
    OdbcLedger* db = Database(ledger);
    return db != nullptr ? db->SpoolWaiting() : 0;
}

std::string IdleText(int spooled) {
    if (spooled <= 0) {
        return "Ready";
    }
    return "Ready (" + std::to_string(spooled) +
           (spooled == 1 ? " settlement waits" : " settlements wait") + " for the database)";
}

bool DeliverSpool(Ledger& ledger, int& delivered, std::string& error) {
    OdbcLedger* db = Database(ledger);
    delivered = 0;
    return db == nullptr || db->Sync(delivered, error);
}

CStation::CStation(LinkReporter* reporter)
    : link_(state_, reporter, [this] { return MakePort(); }) {}

CStation::~CStation() {
    Shutdown();
}

std::unique_ptr<SerialPort> CStation::MakePort() {
    std::unique_ptr<SerialPort> port = cradle_ ? cradle_->MakePort() : nullptr;
    return port ? std::move(port) : MakeSystemSerialPort();
}

bool CStation::SetUpCradle(CradleOptions options, std::string& error) {
    if (options.source) {
        source_ = std::move(options.source);
    } else if (options.simulate) {
        const std::string model = options.simModel.empty()
                                      ? std::string(sim::SubstitutePager::kDefaultModel)
                                      : options.simModel;
        cradle_ = sim::StartSimulatedCradle(model, options.simNumbered, error);
        if (!cradle_) {
            return false;
        }
        if (options.swapAfter) {
            cradle_->EnableSwap(*options.swapAfter);
        }
        source_ = cradle_->MakeSource();
    } else if (!options.port.empty()) {
        source_ = std::make_unique<ExplicitPortSource>(options.port);
    } else {
        source_ = MakeSystemPortSource();
    }
    engine_ = std::make_unique<CradleEngine>(link_, *source_, clock_, selection_);
    return true;
}

CVexloView& CStation::MakeView(FormView& form) {
    view_ = std::make_unique<CVexloView>(form, *engine_);
    return *view_;
}

LedgerHooks& CStation::UseLedger(LedgerHooks::Notice notice, const LedgerOptions& options,
                                 std::optional<Serial> nextFrom) {
    ledger_ = MakeLedger(options);
    hooks_ = std::make_unique<LedgerHooks>(*ledger_, std::move(notice), std::move(nextFrom));
    engine_->SetHooks(hooks_.get());
    return *hooks_;
}

bool CStation::UseProduction(FormView& form, const ProductionOptions& options, std::string& error) {
    view_->SetEnterWrites(options.enterWrites);
    if (options.logs.empty() && options.db.empty() && !options.nextFrom) {
        return true;
    }
    LedgerOptions ledger;
    if (!ChooseLedger(options.logs, options.db, options.dbPasswordFile, options.operatorName,
                      ledger, error)) {
        return false;
    }
    UseLedger([&form](const std::string& text,
                      BoxIcon icon) { form.MessageBox(text, text::kCaption, icon); },
              ledger, options.nextFrom);
    preload_ = !options.logs.empty() || !options.db.empty();
    CountShift(ledger);
    return true;
}

void CStation::CountShift(const LedgerOptions& options) {
    ShiftCountsSource source;
    source.station = StationName();
    // With a database the stations' rows are there; the journals beside it
    // hold only this station's record of them.
    if (!options.db.empty()) {
        source.rows = std::make_unique<OdbcReportSource>(options.db, options.dbPassword);
    } else if (!options.logs.empty()) {
        source.rows = std::make_unique<JournalReportSource>(options.logs, true);
    }
    source.ledger = ledger_.get();
    LedgerHooks* hooks = hooks_.get();
    source.next = [hooks] { return hooks->NextSerial(); };
    counts_ = std::make_unique<ShiftCounts>(std::move(source));
    ShiftCounts* counts = counts_.get();
    hooks_->OnSettled([counts](const LogRow* row) { counts->Settled(row); });
}

std::string CStation::StatusText() const {
    const int spooled = ledger_ ? SpooledSettlements(*ledger_) : 0;
    const std::string counts = counts_ ? counts_->Text() : std::string();
    return counts.empty() ? IdleText(spooled) : WithSpool(counts, spooled);
}

void CStation::PreloadLedger() {
    if (preload_ && hooks_) {
        hooks_->Preload();
    }
}

std::function<void()> CStation::TickOnThread() {
    runner_ = std::make_unique<TickRunner>([this] { view_->OnTimer(CVexloView::kTimerId); });
    return [this] { runner_->Post(); };
}

void CStation::Shutdown() {
    if (shutDown_ || !engine_) {
        return;
    }
    shutDown_ = true;
    if (view_) {
        view_->BeginClose();
        view_->WaitForTransaction();
    }
    // A transaction still running finishes with its waits and pauses intact;
    // only then do a tick's pauses and waits end at once.
    engine_->Shutdown();
    if (runner_) {
        runner_->Stop();
    }
    if (view_) {
        view_->Shutdown();
    }
    if (hooks_) {
        hooks_->OnSettled(nullptr);
    }
    counts_.reset();
    hooks_.reset();  // its reading thread ends once its boxes have returned
}

}  // namespace sn
