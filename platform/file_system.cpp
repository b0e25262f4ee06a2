#include "platform/file_system.h"

namespace dupsieve {

void HeadReader::readHeads(std::span<HeadRead> reads) {
  std::string path;
  for (HeadRead& one : reads) {
    path.assign(one.directory).append(one.name);
    one.read = readLeadingBytes(path, one.length, *one.sink);
  }
}

}  // namespace dupsieve
