// sntool batch: one pager after another, each given the next free number.

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "ledger/journal.h"
#include "ledger/serial_sequence.h"

namespace sn::cli {

int Session::Batch() {
    console_.SetQuiet(true);
    Serial position = *o_.serial;
    BatchTally tally;
    int code = kExitDone;
    for (int numbered = 0; numbered < o_.count && code == kExitDone;) {
        code = BatchPager(position, tally, numbered);
    }
    if (interrupted_.load()) {
        code = Interrupted();
    }
    const int pagers = tally.written + tally.skipped + tally.failed;
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.2f", pagers > 0 ? tally.seconds / pagers : 0.0);
    console_.Say("Batch: " + std::to_string(tally.written) + " written, " +
                 std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.failed) +
                 " failed; " + mean + " s per pager on average.");
    return code;
}

void Session::BatchLine(const Serial& serial, const std::string& model, const std::string& outcome,
                        const char* note, double seconds) {
    char line[200];
    std::snprintf(line, sizeof line, "%s  %-8s  %s%s  %.2f s", serial.Text().c_str(),
                  model.empty() ? "-" : model.c_str(), outcome.c_str(), note, seconds);
    console_.Say(line);
}

// A pager the monitor found numbered: nothing is sent, nothing recorded.
int Session::BatchSkip(const Serial& position, BatchTally& tally) {
    const double seconds = std::chrono::duration<double>(Clock::now() - lastTickStart_).count();
    ++tally.skipped;
    tally.seconds += seconds;
    BatchLine(position, "", outcome::kAlreadyNumbered, "", seconds);
    return WaitForNextPager(true) ? kExitDone : kExitOther;
}

// One pager of a batch: wait for it, give it the next free number (or skip
// it), print its line, and wait for the next one.
int Session::BatchPager(Serial& position, BatchTally& tally, int& numbered) {
    const TickOutcome seated = TickUntil(
        [](TickOutcome o) { return o == TickOutcome::Ready || o == TickOutcome::AlreadyNumbered; });
    if (interrupted_.load()) {
        return kExitInterrupted;
    }
    if (seated == TickOutcome::AlreadyNumbered) {
        return BatchSkip(position, tally);
    }
    if (seated != TickOutcome::Ready) {
        return TimeoutExit(seated);
    }
    const auto t0 = lastTickStart_;
    std::string why;
    const auto serial = station_.Ledger()->NextFree(position, why);
    if (!serial) {
        err_ << "sntool: " << why << "\n";
        return kExitOther;
    }
    if (*serial != position) {
        err_ << "sntool: " << position.Text()
             << (NextSerial(position) == serial ? " is" : " and on are")
             << " used already; the batch goes on with " << serial->Text() << "\n";
        position = *serial;
    }
    if (!BeginWriting()) {
        return kExitInterrupted;
    }
    const PagerResult r = Transact(*serial, false);
    EndWriting();
    const int code = WriteExit(r);
    if (r.outcome == Outcome::Refused) {
        // Another station took the number meanwhile: the next free one follows.
        return code == kExitDuplicate ? kExitDone : code;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    // A block write went out: the number is in a pager, whatever else happened.
    const bool used = r.blockWriteSent;
    const bool written = code == kExitDone || (used && code == kExitReadError);
    const bool skipped = code == kExitNumbered || code == kExitModelRefused;
    (written ? tally.written : skipped ? tally.skipped : tally.failed) += 1;
    tally.seconds += seconds;
    BatchLine(*serial, r.area ? r.area->Model() : std::string(), Hooks().LastOutcome(),
              written || skipped ? ""
              : used             ? " (number used: sntool resume finishes the pager)"
                                 : " (number offered again)",
              seconds);
    if (!r.recorded) {
        return kExitOther;  // the ledger could not record it: nothing more is numbered
    }
    numbered += written ? 1 : 0;
    if (used) {
        // The number is in a pager: the next one goes on after it.
        if (const auto next = NextSerial(*serial)) {
            position = *next;
        } else if (numbered < o_.count) {
            err_ << "sntool: " << SequenceEndMessage(*serial) << "\n";
            return kExitOther;
        }
    }
    if (numbered == o_.count) {
        return kExitDone;  // the last pager is done; it may stay in the cradle
    }
    return WaitForNextPager(used || code == kExitNumbered) ? kExitDone : kExitOther;
}

// The next pager: once this one has left the cradle, or at once when an
// unnumbered pager answers where a numbered one sat (swapped within a tick).
bool Session::WaitForNextPager(bool numberedNow) {
    const TickOutcome next = TickUntil([numberedNow](TickOutcome o) {
        return o == TickOutcome::NoPager || o == TickOutcome::NotConnected ||
               (numberedNow && o == TickOutcome::Ready);
    });
    if (interrupted_.load()) {
        return true;  // the batch ends with its summary
    }
    if (next != TickOutcome::NoPager && next != TickOutcome::NotConnected &&
        next != TickOutcome::Ready) {
        err_ << "sntool: the pager was not taken out of the cradle within " << o_.timeoutSeconds
             << " s\n";
        return false;
    }
    return true;
}

}  // namespace sn::cli
