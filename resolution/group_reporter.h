#pragma once

#include "catalogue/file_record.h"
#include "platform/file_system.h"
#include "resolution/console.h"

namespace dupsieve {

// Lists one group (a member line each: path, tab, size in decimal, tab,
// digest in lower-case hexadecimal), an empty line, a deletion prompt for
// each member, and an empty line. Lines are flushed as the console says. A
// member whose digest is still 0 has it computed over its first 256 bytes.
// For a person answering, a verdict on the group precedes the prompts (see
// giveVerdict), and a warning precedes the prompt of a last copy.
class GroupReporter {
 public:
  GroupReporter(const Console& console, FileSystem& fileSystem)
      : console_(console), fileSystem_(&fileSystem) {}
  void operator()(Group group) const;

 private:
  Console console_;
  FileSystem* fileSystem_;
};

}  // namespace dupsieve
