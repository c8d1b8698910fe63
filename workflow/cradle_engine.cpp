// CradleEngine: construction, who may run when, and the operations' outer
// steps. The monitor is cradle_monitor.cpp's, the transaction's read
// read_transaction.cpp's, its write and the read back write_transaction.cpp's.

#include "workflow/cradle_engine.h"

#include <algorithm>

#include "workflow/texts.h"

namespace sn {

namespace {

EngineObserver& Silent() {
    static EngineObserver silent;
    return silent;
}

}  // namespace

const char* TickText(TickOutcome outcome) {
    // In the order of TickOutcome: None, ListError, NotConnected, PortNotOpened,
    // NoPager, Ready, AlreadyNumbered.
    static constexpr const char* kTexts[] = {"",
                                             "",
                                             text::kNotConnected,
                                             "",
                                             text::kSeatPager,
                                             text::kEnterSerial,
                                             text::kAlreadyNumbered};
    return kTexts[static_cast<std::size_t>(outcome)];
}

const char* StageText(Stage stage) {
    // In the order of Stage: Gathering, Writing, ModelRefused,
    // AlreadyNumbered, Completed, Finished.
    static constexpr const char* kTexts[] = {text::kGathering,    text::kWriting,
                                             text::kModelRefused, text::kAlreadyNumbered,
                                             text::kCompleted,    ""};
    return kTexts[static_cast<std::size_t>(stage)];
}

std::uint8_t PagerArea::At(std::uint16_t address) const {
    if (address >= kMirrorAreaStart && mirror) {
        return (*mirror)[address - kMirrorAreaStart];
    }
    return info[address - kInfoAreaStart];
}

std::string PagerArea::Model() const {
    return PrintableText(ModelCodeOf(info));
}

std::string PagerArea::SerialBefore() const {
    std::string before;
    bool erased = true;
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        const std::uint8_t b = At(static_cast<std::uint16_t>(kSerialAddress + i));
        erased = erased && b == 0xFF;
        before.push_back(PrintableChar(b));
    }
    return erased ? std::string() : before;
}

CradleEngine::CradleEngine(CommLink& link, PortSource& ports, WorkflowClock& clock,
                           PortSelection& selection)
    : serialLink(link),
      ports_(ports),
      clock_(clock),
      selection_(selection),
      link_(link.State()),
      exchange_(link, clock, stopping_),
      observer_(&Silent()) {}

CradleEngine::~CradleEngine() {
    Shutdown();
}

void CradleEngine::SetObserver(EngineObserver* observer) {
    observer_ = observer != nullptr ? observer : &Silent();
}

std::string CradleEngine::LastPortName() const {
    std::lock_guard lock(stateMutex_);
    return lastPortName_;
}

// A write under way is never cut short: the pager would be left
// half-written. Only once it has ended do the pauses and waits end at once.
void CradleEngine::Shutdown() {
    {
        std::unique_lock lock(stateMutex_);
        closing_ = true;
        writeEnded_.wait(lock, [this] { return !writing_; });
    }
    stopping_ = true;
    clock_.Cancel();
    std::lock_guard operation(operation_);
    CloseIfOpen();
}

bool CradleEngine::Begin() {
    std::lock_guard lock(stateMutex_);
    return !closing_;
}

TickResult CradleEngine::Tick() {
    std::lock_guard operation(operation_);
    return Begin() ? CheckCradle() : TickResult{};
}

PagerResult CradleEngine::Read() {
    std::lock_guard operation(operation_);
    return Begin() ? ReadAreaAndMirror() : PagerResult{};
}

PagerResult CradleEngine::Write(const Serial& serial, bool verify) {
    return Transact(serial, false, verify);
}

PagerResult CradleEngine::Resume(const Serial& serial, bool verify) {
    return Transact(serial, true, verify);
}

// The transaction for the Write button (and for a resume): the reservation,
// the read of the information area, the model check and the write, the
// read back, the settlement.
PagerResult CradleEngine::Transact(const Serial& serial, bool resume, bool verify) {
    std::lock_guard operation(operation_);
    {
        std::lock_guard lock(stateMutex_);
        if (closing_) {
            return {};
        }
        writing_ = true;
    }
    observer_->OnStage(Stage::Gathering);
    TransactionRecord record{serial, LastPortName(), resume};
    const auto bytes = serial.Bytes();
    std::copy(bytes.begin(), bytes.end(), pagerImage.begin() + kSerialAddress);
    readArea_.reset();
    PagerResult result;
    result.refusal = hooks_ != nullptr ? hooks_->BeforeFirstFrame(record) : std::nullopt;
    if (result.refusal) {
        result.outcome = Outcome::Refused;
    } else {
        if (resume && serialLink.IsOpen() == 0) {
            OpenCradlePort(serialLink, record.port);
        }
        ReadPagerInfo(record);
        if (record.outcome == Outcome::Written && verify) {
            VerifyWritten(record, result);
        }
        result.outcome = record.outcome;
        result.error = record.error;
        result.area = readArea_;
        result.blockWriteSent = record.blockWriteSent;
        result.recorded = hooks_ == nullptr || hooks_->TransactionEnded(record);
    }
    {
        std::lock_guard lock(stateMutex_);
        writing_ = false;
    }
    writeEnded_.notify_all();
    return result;
}

PagerArea CradleEngine::InfoArea() const {
    PagerArea area;
    std::copy_n(pagerImage.begin() + kInfoAreaStart, kInfoAreaSize, area.info.begin());
    return area;
}

void CradleEngine::Pause(int ms) {
    clock_.Sleep(std::chrono::milliseconds(ms));
}

void CradleEngine::CloseIfOpen() {
    if (serialLink.IsOpen() != 0) {
        serialLink.Close();
    }
}

bool CradleEngine::OpenLastPort() {
    return serialLink.IsOpen() != 0 || OpenCradlePort(serialLink, LastPortName()) != 0;
}

}  // namespace sn
