#include "driver/exit_status.h"

int exitStatus(InstallOutcome outcome) { return static_cast<int>(outcome); }
