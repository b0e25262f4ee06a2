#include "catalogue/heads_ahead.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "catalogue/sample_digest.h"

namespace dupsieve {
namespace {

// Sizes below this are kept by size, in 256 KiB.
constexpr std::uint64_t kSmallSizes = std::uint64_t{1} << 16;
// The larger sizes whose first file is kept, at most: about 2.5 MiB.
constexpr std::size_t kMostLargeSizes = std::size_t{1} << 16;
constexpr std::uint32_t kShared = static_cast<std::uint32_t>(-1);

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
  std::uint32_t* const first = firstOf(size);
  // Not a candidate yet, or one this bookkeeping cannot tell: the digest
  // stage reads it if it is one.
  if (first == nullptr || index >= kShared - 1) return;
  if (*first == 0) {
    *first = static_cast<std::uint32_t>(index + 1);
    return;
  }
  // The first of its size lies in a directory listed earlier: it is read
  // after the files of this one, with the other such files of its batch.
  if (*first != kShared) firsts_.push_back(std::exchange(*first, kShared) - 1);
  waiting_.push_back(index);
  if (waiting_.size() + firsts_.size() >= kAheadBatch) handOver();
}

void HeadsAhead::finish() {
  if (!waiting_.empty() || !firsts_.empty()) handOver();
  for (const std::unique_ptr<OwnedHeads>& batch : reader_->collectHeads(true)) take(*batch);
  // What is known of the sizes is kept in the records it spares a sort.
  const auto markAlone = [this](std::uint32_t first) {
    if (first != 0 && first != kShared) (*files_)[first - 1].markAloneInItsSize();
  };
  for (const std::uint32_t first : smallFirsts_) markAlone(first);
  for (const auto& [size, first] : largeFirsts_) markAlone(first);
  smallFirsts_ = {};
  largeFirsts_ = decltype(largeFirsts_)(&pool_);
  pool_.release();
}

std::uint32_t* HeadsAhead::firstOf(std::uint64_t size) {
  if (size < kSmallSizes) {
    if (smallFirsts_.empty()) smallFirsts_.resize(kSmallSizes);
    return &smallFirsts_[size];
  }
  if (const auto known = largeFirsts_.find(size); known != largeFirsts_.end()) {
    return &known->second;
  }
  if (largeFirsts_.size() >= kMostLargeSizes) return nullptr;
  return &largeFirsts_.emplace(size, 0).first->second;
}

void HeadsAhead::handOver() {
  // In the order they were listed, so that the files of one directory
  // come together and it is opened once for them.
  std::sort(firsts_.begin(), firsts_.end());
  waiting_.insert(waiting_.end(), firsts_.begin(), firsts_.end());
  firsts_.clear();
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
