#include "platform/linux/anchored_heads.h"

#include <fcntl.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/listed_file.h"
#include "platform/linux/long_path.h"

namespace dupsieve::linux_io {
namespace {

// Nothing known of a file (a single read by path): any regular file there.
bool isKnown(const ListedFile& listed) { return listed != ListedFile{}; }

// One round: the requests, what they need to stay valid until the engine is
// done with them, and the hand-over of each one's bytes and outcome to the
// read it came from.
class Round final : public HeadSink {
 public:
  Round(std::span<HeadRead> reads, BatchIo& engine, std::size_t directories)
      : reads_(reads), engine_(&engine), most_(directories < 1 ? 1 : directories) {}

  bool full() const { return directories_.size() >= most_; }
  // Holds `directory` open for the rest of the round; returns its descriptor.
  int hold(UniqueFd directory) {
    directories_.push_back(std::move(directory));
    return directories_.back().get();
  }
  void add(std::size_t read, int directoryFd) {
    const HeadRead& head = reads_[read];
    nameAt_.push_back(names_.size());
    names_.append(head.name).push_back('\0');
    const ListedFile* listed = isKnown(head.listed) ? &head.listed : nullptr;
    requests_.push_back(HeadRequest{directoryFd, nullptr, head.length, listed});
    readOf_.push_back(read);
  }
  void run() {
    // The names are all copied now, so they no longer move.
    for (std::size_t k = 0; k < requests_.size(); ++k) requests_[k].name = names_.c_str() + nameAt_[k];
    if (!requests_.empty()) engine_->readHeads(requests_, *this);
    requests_.clear();
    readOf_.clear();
    nameAt_.clear();
    names_.clear();
    directories_.clear();
  }
  void bytes(std::size_t index, std::span<const unsigned char> chunk) override {
    reads_[readOf_[index]].sink->consume(chunk);
  }
  void done(std::size_t index, const std::optional<EntryMetadata>& file) override {
    reads_[readOf_[index]].read = file.has_value();
  }

 private:
  std::span<HeadRead> reads_;
  BatchIo* engine_;
  std::size_t most_;  // directories held open by one round
  std::vector<UniqueFd> directories_;
  std::vector<HeadRequest> requests_;
  std::vector<std::size_t> readOf_;
  std::vector<std::size_t> nameAt_;
  std::string names_;  // each name followed by a NUL, for the system calls
};

}  // namespace

void readAnchoredHeads(std::span<HeadRead> reads, BatchIo& engine, SystemCalls& calls,
                       std::size_t directoriesPerRound) {
  Round round(reads, engine, directoriesPerRound);
  const HeadRead* first = nullptr;  // of the files of the directory at hand
  int directoryFd = -1;
  for (std::size_t i = 0; i < reads.size(); ++i) {
    HeadRead& read = reads[i];
    read.read = false;
    if (first == nullptr || read.directory != first->directory ||
        read.listed.directory != first->listed.directory) {
      if (round.full()) round.run();
      first = &read;
      // The directory part is resolved as the user named it, links
      // included; its identity tells whether it is still the one listed.
      UniqueFd fd(openDirectoryPart(calls, read.directory));
      const bool listedHere = fd.get() >= 0 && (!isKnown(read.listed) ||
                                                isListedDirectory(calls, fd.get(), read.listed.directory));
      directoryFd = listedHere ? round.hold(std::move(fd)) : -1;
    }
    // Its directory is gone, or is another one now: nothing of it is read.
    if (directoryFd < 0) continue;
    round.add(i, directoryFd);
  }
  round.run();
}

}  // namespace dupsieve::linux_io
