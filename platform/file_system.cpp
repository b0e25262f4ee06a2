#include "platform/file_system.h"

namespace dupsieve {
namespace {

class ReadThrough final : public HeadReader {
 public:
  explicit ReadThrough(FileSystem& fileSystem) : fileSystem_(&fileSystem) {}
  bool readLeadingBytes(const std::string& path, std::uint64_t length, ByteSink& sink) override {
    return fileSystem_->readLeadingBytes(path, length, sink);
  }

 private:
  FileSystem* fileSystem_;
};

}  // namespace

std::unique_ptr<HeadReader> FileSystem::passReader() {
  return std::make_unique<ReadThrough>(*this);
}

}  // namespace dupsieve
