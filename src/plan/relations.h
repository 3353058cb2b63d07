// How package records relate to each other (requires, provides, conflicts,
// bundle membership, better release) and the lookups over the installed set
// that the checks and the planner share. Nothing here changes a record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "model/package.h"

// What a list of installed providers amounts to in this run. The values of
// Gone and DisabledOnly are those of the action the planner gives a dependent
// whose dependency is in that state (Uninstall, Disable).
enum class ProviderState : std::uint32_t {
  Active = 0,        // one of them is or becomes enabled
  Gone = 1,          // none stays installed (or the list is empty)
  DisabledOnly = 3,  // none is enabled, but one stays installed disabled
};

// A record without a real release (version and build time all ones): it
// conflicts with nothing and provides nothing.
bool isPlaceholder(const Package& package);

// Some entry of package.provides overlaps the dependency's range.
bool providesMatch(const Package& package, const Dependency& dependency);
// The record answers the dependency: it is no placeholder and satisfies or
// provides it.
bool isProviderOf(const Package& record, const Dependency& dependency);
// The package is called name, or one of its members (one level) is.
bool isOrContains(const Package& package, const std::string& name);
// a requires b, directly, through b's members or through a's members.
bool dependsOn(const Package& a, const Package& b);
// a refuses to run beside b. Not symmetric; see the rule order in the source.
bool conflictsWith(const Package& a, const Package& b);
// compareRelease(a, b), negated when olderWins.
int compareCandidates(const Package& a, const Package& b, bool olderWins);

// Installed records (no placeholders) that satisfy or provide the dependency,
// in PackageDb order; disabled ones only with includeDisabled.
std::vector<InstalledPackage*> findProviders(Console& console, const Dependency& dependency,
                                             bool includeDisabled);
// Active when a record is enabled with no action or is scheduled for enabling;
// otherwise DisabledOnly when one stays disabled, else Gone.
ProviderState groupState(const std::vector<InstalledPackage*>& providers);
// The first enabled installed record that conflicts with package, or nullptr.
InstalledPackage* findConflicting(Console& console, const Package& package);
// Among the records called name or providing it, the first enabled one; when
// all are disabled, the last of them; nullptr when none matches.
InstalledPackage* findActive(Console& console, const std::string& name);
