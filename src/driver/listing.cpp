#include "driver/listing.h"

#include <ctime>
#include <iomanip>

std::string buildTimeText(std::uint32_t buildTime) {
  const std::time_t seconds = static_cast<std::time_t>(buildTime);
  std::tm broken{};
  if (!gmtime_r(&seconds, &broken)) return {};
  // strftime's %b follows LC_TIME; the process never calls setlocale, so it
  // stays in the POSIX locale and gives the English abbreviations.
  char text[128];
  const std::size_t length = std::strftime(text, sizeof text, "%b/%d/%Y %H:%M:%S", &broken);
  return std::string(text, length);
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
