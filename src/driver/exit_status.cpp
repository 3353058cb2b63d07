#include "driver/exit_status.h"

int exitStatus(const StreamOutcome& outcome) {
  if (outcome.image != StreamImage::Usable) return -1;
  return static_cast<int>(outcome.install);
}
