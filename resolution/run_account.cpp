#include "resolution/run_account.h"

#include "resolution/number_text.h"

namespace dupsieve {
namespace {

std::string counted(std::uint64_t count, const std::string& one, const std::string& many) {
  return groupedNumber(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string accountLine(const RunAccount& account) {
  return counted(account.filesDeleted, "file", "files") + " deleted, " +
         inHumanUnits(account.bytesFreed) + " freed; " +
         counted(account.deletionsFailed, "confirmed deletion", "confirmed deletions") +
         " failed";
}

std::string outOfMemoryLine(const RunAccount& account) {
  std::string line = "dupsieve: out of memory after " +
                     counted(account.filesFound, "file was", "files were") + " found; ";
  if (account.filesDeleted == 0) return line + "nothing was deleted";
  return line + counted(account.filesDeleted, "file was", "files were") + " deleted (" +
         inHumanUnits(account.bytesFreed) + ")";
}

}  // namespace dupsieve
