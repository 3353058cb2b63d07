#include "install/flash_platform.h"

#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "files/device_root.h"

namespace {

constexpr char mtdNode[] = "/dev/mtd0";
constexpr char flashNode[] = "/dev/flash";

// The flash driver's requests: the minimum-version record is read and written
// through its address (size field 4), the feature word needs no data.
constexpr unsigned long minimumVersionRequest = _IOWR('F', 38, std::uint32_t);
constexpr unsigned long featureWordRequest = _IO('F', 43);
constexpr unsigned long eraseInfoRequest = MEMGETINFO;

#if defined(__powerpc__)
static_assert(eraseInfoRequest == 0x40204d01);
static_assert(minimumVersionRequest == 0xc0044626);
static_assert(featureWordRequest == 0x2000462b);
#endif

// The record the minimum-version request fills in, in the device's own byte
// order.
struct MinimumVersionRecord {
  std::uint16_t length;      // bytes of the value asked for
  std::uint16_t identifier;  // which stored value
  std::uint32_t value;       // on return: the lowest accepted system version
};
static_assert(sizeof(MinimumVersionRecord) == 8);

constexpr std::uint16_t minimumVersionIdentifier = 37;

// A device node below the device root.
int openNode(const char* path, int flags) {
  const DevicePlace at = devicePlace(path);
  return ::openat(at.dir, at.name, flags);
}

class DeviceFlashPlatform final : public FlashPlatform {
public:
  std::optional<std::uint32_t> mtdEraseSize() override {
    const int node = openNode(mtdNode, O_RDONLY);
    if (node < 0) return std::nullopt;
    mtd_info_user info{};
    const int result = ::ioctl(node, eraseInfoRequest, &info);
    ::close(node);
    if (result < 0) return std::nullopt;
    return info.erasesize;
  }

  std::uint32_t minimumVersionValue() override {
    MinimumVersionRecord record{4, minimumVersionIdentifier, 0};
    const int node = openNode(flashNode, O_RDWR);
    if (node < 0) return 0;
    (void)::ioctl(node, minimumVersionRequest, &record);  // an unfilled record means no minimum
    ::close(node);
    return record.value;
  }

  std::optional<int> featureWord() override {
    const int node = openNode(flashNode, O_RDONLY);
    if (node < 0) return std::nullopt;
    const int word = ::ioctl(node, featureWordRequest);
    ::close(node);
    if (word == -1) return std::nullopt;
    return word;
  }

  std::uint32_t processorVersion() override {
#if defined(__powerpc__)
    std::uint32_t version;
    asm volatile("mfpvr %0" : "=r"(version));
    return version;
#else
    return 0;
#endif
  }
};

FlashPlatform* activePlatform = nullptr;

}  // namespace

FlashPlatform& deviceFlashPlatform() {
  static DeviceFlashPlatform platform;
  return platform;
}

FlashPlatform& flashPlatform() { return activePlatform ? *activePlatform : deviceFlashPlatform(); }

ScopedFlashPlatform::ScopedFlashPlatform(FlashPlatform& replacement) : previous_(activePlatform) {
  activePlatform = &replacement;
}

ScopedFlashPlatform::~ScopedFlashPlatform() { activePlatform = previous_; }
