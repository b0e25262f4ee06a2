#include "platform/file_system.h"

namespace dupsieve {

void HeadReader::readHeads(std::span<HeadRead> reads) {
  std::string path;
  for (HeadRead& one : reads) {
    path.assign(one.directory).append(one.name);
    one.read = readLeadingBytes(path, one.length, *one.sink);
  }
}

std::unique_ptr<OwnedHeads> HeadReader::startHeads(std::unique_ptr<OwnedHeads> batch) {
  readHeads(batch->reads);
  return batch;
}

std::vector<std::unique_ptr<OwnedHeads>> HeadReader::collectHeads(bool /*wait*/) { return {}; }

}  // namespace dupsieve
