// The installer's transactions: scheduled actions, the clean-up run and
// installing one package or bundle from a package stream.
#pragma once

#include <istream>
#include <map>
#include <streambuf>
#include <string>

#include "console/console.h"
#include "model/run_flags.h"

// Package name -> 1 disabled, 0 enabled: states the user forced.
using UserStates = std::map<std::string, unsigned char>;

// Plans and executes the scheduled actions; report 0 silent, 1 with messages.
// Returns whether the plan held anything to execute.
bool applyScheduledActions(Console& console, int report);

// The --cleanup run.
void cleanup();

// Installs the one package or bundle the input holds; every byte read is also
// written to tee when there is one. Returns 0 on success, non-zero on failure.
int installFromStream(std::istream& input, RunFlags runFlags, const UserStates& userStates,
                      std::streambuf* tee, std::string* imageDir, bool* withBootImage);
