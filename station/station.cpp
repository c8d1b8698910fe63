#include "station/station.h"

#include "ports/explicit_port_source.h"
#include "ports/system_port_source.h"
#include "sim/substitute_pager.h"

namespace sn {

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
    return true;
}

CVexloView& CStation::MakeView(FormView& form) {
    view_ = std::make_unique<CVexloView>(form, link_, *source_, clock_, selection_);
    return *view_;
}

ProductionHooks& CStation::UseLedger(FormView& form, std::vector<std::string> logs,
                                     std::optional<std::string> nextFrom) {
    ledger_ = std::make_unique<JournalLedger>(std::move(logs));
    hooks_ = std::make_unique<ProductionHooks>(form, *ledger_, std::move(nextFrom));
    view_->SetHooks(hooks_.get());
    return *hooks_;
}

std::function<void()> CStation::TickOnThread() {
    runner_ = std::make_unique<TickRunner>([this] { view_->OnTimer(CVexloView::kTimerId); });
    return [this] { runner_->Post(); };
}

void CStation::Shutdown() {
    if (shutDown_ || !view_) {
        return;
    }
    shutDown_ = true;
    view_->BeginClose();
    // A transaction still running finishes with its waits and pauses intact;
    // only then is the clock cancelled for a tick that may still wait.
    view_->WaitForTransaction();
    clock_.Cancel();
    if (runner_) {
        runner_->Stop();
    }
    view_->Shutdown();
    hooks_.reset();  // its reading thread ends once its boxes have returned
}

}  // namespace sn
