// What installing one package file came to.
#pragma once

// Every outcome of installing a package or bundle from its file:
//   Installed          the package is in; for a bundle, its members and record
//   NotInstalled       nothing was installed: the header could not be read, the
//                      package failed to install, or the bundle's record could
//                      not be written
//   Refused            the bundle may not replace a package installed, or its
//                      checks refused it; nothing changed
//   NoMemberInstalled  the bundle had no member that went in; the bundle's
//                      installed record stays
//   MemberFailed       a member began to install and failed; the members not
//                      reached keep their installed releases
// The values are the exit statuses a stream-mode run ends with.
enum class InstallOutcome {
  Installed = 0,
  NotInstalled = 1,
  Refused = 2,
  NoMemberInstalled = 3,
  MemberFailed = 4,
};
