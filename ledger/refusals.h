#pragma once
// The ledgers' refusals in the operator's words, written once for the
// journal and the database alike.

#include <string>

#include "ledger/ledger.h"

namespace sn {

// A refusal before anything was sent: the message ends by saying so.
Refusal RefuseNothingSent(Refusal::Kind kind, const std::string& reason);
// A refusal whose message says everything itself.
Refusal RefusePlain(Refusal::Kind kind, const std::string& message);
// A number that is used or in doubt; `source` says whose record that is
// ("as the production log pagers.csv records").
Refusal RefuseDuplicate(const LedgerEntry& entry, const std::string& source);
// A resume of a number whose write did not break off.
Refusal RefuseNotResumable(const Serial& serial, NumberState state);

}  // namespace sn
