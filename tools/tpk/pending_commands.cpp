// Commands whose reader or signer support has not been wired in yet.
#include "tpk/command_line.h"
#include "tpk/commands.h"

namespace tpk {

int runSign(const std::vector<std::string>&) { return report(statusFailed, "sign: not available yet"); }
int runKeygen(const std::vector<std::string>&) { return report(statusFailed, "keygen: not available yet"); }

}  // namespace tpk
