// The engine for where io_uring cannot be used: every step is one plain
// system call, one request after the other.

#include <vector>

#include "platform/batch_io_linux.h"
#include "platform/batch_plain_calls_linux.h"

namespace dupsieve::batch {
namespace {

class PlainBatchIo final : public BatchIo {
 public:
  void lookUp(std::span<const EntryRequest> requests, MetadataSink& sink) override {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      sink.entry(i, plain::lookUp(requests[i].directoryFd, requests[i].name));
    }
  }

  void readHeads(std::span<const HeadRequest> requests, HeadSink& sink) override {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const HeadRequest& request = requests[i];
      const int fd = plain::openHead(request.directoryFd, request.name);
      if (fd < 0) {
        sink.done(i, std::nullopt);
        continue;
      }
      const std::optional<EntryMetadata> file = plain::regularFile(fd);
      if (file && request.length > 0) {
        plain::readRest(fd, 0, request.length, bufferFor(request.length), i, sink);
      }
      plain::close(fd);
      sink.done(i, file);
    }
  }

  BatchMode mode() const override { return BatchMode::PlainCalls; }

 private:
  // One buffer for the whole run, grown to the largest chunk asked for.
  std::span<unsigned char> bufferFor(std::uint64_t length) {
    const std::size_t chunk = plain::chunkFor(length);
    if (buffer_.size() < chunk) buffer_.resize(chunk);
    return std::span<unsigned char>(buffer_).first(chunk);
  }

  std::vector<unsigned char> buffer_;
};

}  // namespace

std::unique_ptr<BatchIo> openPlainBatchIo() { return std::make_unique<PlainBatchIo>(); }

}  // namespace dupsieve::batch
