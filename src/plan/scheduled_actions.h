// Settling the scheduled actions of the installed set into a consistent whole
// and carrying them out.
#pragma once

#include <vector>

#include "console/console.h"
#include "model/package.h"
#include "plan/flash_effects.h"

// Non-owning: the records stay in the Console's PackageDb.
using RecordList = std::vector<InstalledPackage*>;

// Settles every record's action: members follow their bundle, what an enabled
// record needs stays or becomes enabled, conflicting enablings are resolved,
// records whose dependencies go are uninstalled or disabled, a bundle whose
// members remain only disabled is disabled and one without members goes. Then
// prepends the records to disable or uninstall to removals and those to enable
// to enables, dependents before what they depend on. A plan that would leave
// nothing enabled is cancelled: every action is reset and both lists stay
// untouched. report: 0 silent, 1 with warnings. Changes only action fields.
void planActions(Console& console, RecordList& removals, RecordList& enables, int report);

// In list order: a record with action Uninstall has its files and database
// entry removed and is taken out of the PackageDb and destroyed (bundle members
// too), silently; any other record is recorded as disabled, with a status
// line and "disabled ..." when reporting. The pointers of uninstalled records
// are dangling afterwards. Files change through effects only; a state that
// cannot be recorded gets "could not record ... as disabled" in place of
// "disabled ...", whatever report says.
void executeRemovals(Console& console, FlashEffects& effects, const RecordList& removals,
                     int report);

// In list order, records each record as enabled, with a status line and
// "enabled ..." when reporting; through effects, like executeRemovals.
void executeEnables(Console& console, FlashEffects& effects, const RecordList& enables, int report);
