#include "driver/listing.h"

#include <cstdio>
#include <iomanip>

#include "model/utc_time.h"

std::string buildTimeText(std::uint32_t buildTime) {
  const UtcTime t = utcTime(buildTime);
  char text[64];
  std::snprintf(text, sizeof text, "%s/%02u/%04u %02u:%02u:%02u", monthAbbreviation(t.month),
                t.day, t.year, t.hour, t.minute, t.second);
  return text;
}

void printListing(const Console& console, std::ostream& out) {
  out << std::setw(16) << "Name" << "    " << std::setw(13) << "Version" << " " << std::setw(20)
      << "Built" << std::setw(40) << "Note" << '\n';
  out << std::string(94, '-') << '\n';
  for (const auto& record : console.packages) {
    const InstalledPackage& pkg = *record;
    out << std::setw(16) << pkg.name << " " << std::setw(1) << (pkg.disabled ? "X" : " ")
        << std::setw(2) << (pkg.bundle.name.empty() ? "  " : "B ") << std::setw(13)
        << versionText(pkg.version) << " " << std::setw(20) << buildTimeText(pkg.buildTime) << " "
        << std::setw(40) << pkg.note << '\n';
  }
  out.flush();
}
