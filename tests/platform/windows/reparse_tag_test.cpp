#include "platform/windows/reparse_tag.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace dupsieve::windows {
namespace {

TEST(ReparseTag, LinksAreNeverFollowedAndTransparentFilesAreFiles) {
  struct Case {
    std::uint32_t tag;
    ReparseKind kind;
    const char* what;
  };
  const Case cases[] = {
      {0xA000000C, ReparseKind::Link, "symbolic link"},
      {0xA0000003, ReparseKind::Link, "junction or mount point"},
      {0xA000001D, ReparseKind::Link, "Linux subsystem symbolic link"},
      {0xA0000027, ReparseKind::Link, "container link"},
      {0x00000000, ReparseKind::Link, "no tag reported"},
      {0x80000023, ReparseKind::Special, "AF_UNIX socket"},
      {0x80000024, ReparseKind::Special, "Linux subsystem FIFO"},
      {0x80000025, ReparseKind::Special, "Linux subsystem character device"},
      {0x80000026, ReparseKind::Special, "Linux subsystem block device"},
      {0x8000001B, ReparseKind::Special, "application alias"},
      {0x80000014, ReparseKind::Special, "NFS special file"},
      {0x9000001A, ReparseKind::Transparent, "cloud placeholder"},
      {0x9000601A, ReparseKind::Transparent, "cloud placeholder, numbered"},
      {0x80000021, ReparseKind::Transparent, "OneDrive"},
      {0x80000013, ReparseKind::Transparent, "deduplicated file"},
      {0x80000017, ReparseKind::Transparent, "compressed file"},
      {0xC0000004, ReparseKind::Transparent, "hierarchical storage"},
      {0x9000001C, ReparseKind::Transparent, "projected file"},
      {0x00001234, ReparseKind::Transparent, "another vendor's filter"},
  };
  for (const Case& c : cases) EXPECT_EQ(classifyReparseTag(c.tag), c.kind) << c.what;
}

}  // namespace
}  // namespace dupsieve::windows
