#include "upgrade/postlog.h"

#include <cstdio>
#include <unistd.h>

namespace {
bool reserved = false;
}

bool postlogReserved() { return reserved; }
void setPostlogReserved() { reserved = true; }

void writePostlog(Console& console) {
  if (!reserved && console.messages.empty()) return;
  std::FILE* log = std::fopen("/flash/postlog", reserved ? "w" : "a");
  sync();
  if (!log) return;
  for (const std::string& message : console.messages) {
    std::fwrite(message.data(), 1, message.size(), log);
    std::fputc('\n', log);
  }
  std::fclose(log);
}
