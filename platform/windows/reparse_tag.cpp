#include "platform/windows/reparse_tag.h"

namespace dupsieve::windows {
namespace {

// Tags whose "name surrogate" bit is set stand for another named entity:
// links of every kind, the Linux subsystem's too.
constexpr std::uint32_t kNameSurrogateBit = 0x20000000;

constexpr std::uint32_t kSpecialTags[] = {
    0x8000001B,  // application execution alias
    0x80000014,  // NFS special file
    0x80000023,  // AF_UNIX socket
    0x80000024,  // Linux subsystem FIFO
    0x80000025,  // Linux subsystem character device
    0x80000026,  // Linux subsystem block device
};

}  // namespace

ReparseKind classifyReparseTag(std::uint32_t tag) {
  if (tag == 0 || (tag & kNameSurrogateBit) != 0) return ReparseKind::Link;
  for (const std::uint32_t special : kSpecialTags) {
    if (tag == special) return ReparseKind::Special;
  }
  return ReparseKind::Transparent;
}

}  // namespace dupsieve::windows
