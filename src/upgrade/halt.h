// The end of a run that left the device without any package.
#pragma once

// Prints the failure on standard output and never returns: the process stays
// alive and idle (it sleeps until a signal ends it), so that nothing after
// this point, the marker or the message log, is written.
[[noreturn]] void haltForGood();
