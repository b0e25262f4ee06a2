#include "catalogue/heads_ahead.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "catalogue/sample_digest.h"

namespace dupsieve {
namespace {

// Sizes below this are marked in a bitmap of 128 KiB.
constexpr std::uint64_t kSmallSizes = std::uint64_t{1} << 20;

// A batch with what its reads point to: the paths' parts, copied, each
// directory once for the files of it that come one after another, the sums
// its reads go into and the records they belong to.
struct AheadBatch final : OwnedHeads {
  std::string text;
  std::vector<LaneSum> sums;
  std::vector<std::size_t> records;
};

}  // namespace

void HeadsAhead::recorded(std::size_t index) {
  const std::uint64_t size = (*files_)[index].size;
  // The length depends on the size alone: none of this size is ever read.
  if (sampleLength(size, blockSize_) == 0) return;
  // The first file of a size lies in a directory listed earlier, mostly
  // one the batch holds nothing else of, which would cost the reader an
  // opening of that directory for one file: it is left to the digest
  // stage, which reads it with its directory's other candidates.
  if (firstOfItsSize(size)) return;
  waiting_.push_back(index);
  if (waiting_.size() >= kAheadBatch) handOver();
}

void HeadsAhead::finish() {
  if (!waiting_.empty()) handOver();
  for (const std::unique_ptr<OwnedHeads>& batch : reader_->collectHeads(true)) take(*batch);
  smallSizesSeen_ = {};
  largeSizesSeen_ = {};
}

bool HeadsAhead::firstOfItsSize(std::uint64_t size) {
  if (size >= kSmallSizes) return largeSizesSeen_.insert(size).second;
  if (smallSizesSeen_.empty()) smallSizesSeen_.resize(kSmallSizes);
  auto seen = smallSizesSeen_[size];
  if (seen) return false;
  seen = true;
  return true;
}

void HeadsAhead::handOver() {
  auto batch = std::make_unique<AheadBatch>();
  const std::vector<FileRecord>& files = *files_;
  // Sized first: the reads point into the text, which must not move.
  std::size_t length = 0;
  const FileRecord* previous = nullptr;
  for (const std::size_t index : waiting_) {
    const FileRecord& record = files[index];
    if (previous == nullptr || !record.sameListedDirectory(*previous)) {
      length += record.directoryPart().size();
    }
    length += record.name().size();
    previous = &record;
  }
  batch->text.reserve(length);
  batch->sums.resize(waiting_.size());
  batch->reads.reserve(waiting_.size());
  const auto copy = [&text = batch->text](std::string_view part) {
    const std::size_t at = text.size();
    text.append(part);
    return std::string_view(text).substr(at, part.size());
  };
  std::string_view directory;
  previous = nullptr;
  for (std::size_t k = 0; k < waiting_.size(); ++k) {
    const FileRecord& record = files[waiting_[k]];
    if (previous == nullptr || !record.sameListedDirectory(*previous)) {
      directory = copy(record.directoryPart());
    }
    batch->reads.push_back(HeadRead{directory, copy(record.name()), record.listed(),
                                    sampleLength(record.size, blockSize_), &batch->sums[k]});
    previous = &record;
  }
  batch->records = std::move(waiting_);
  waiting_.clear();

  if (const std::unique_ptr<OwnedHeads> back = reader_->startHeads(std::move(batch))) take(*back);
  for (const std::unique_ptr<OwnedHeads>& read : reader_->collectHeads(false)) take(*read);
}

void HeadsAhead::take(OwnedHeads& heads) {
  const auto& batch = static_cast<const AheadBatch&>(heads);
  for (std::size_t k = 0; k < batch.reads.size(); ++k) {
    // A head that could not be read is left to the digest stage, which
    // tries it as it always has.
    if (!batch.reads[k].read) continue;
    FileRecord& record = (*files_)[batch.records[k]];
    record.digest = batch.sums[k].value();
    record.markHeadReadAhead();
  }
}

}  // namespace dupsieve
