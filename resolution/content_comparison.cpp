#include "resolution/content_comparison.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace dupsieve {
namespace {

// A file being read, with the bytes of its current chunk.
struct OpenFile {
  std::size_t member = 0;
  std::unique_ptr<ContentReader> reader;  // null until its first chunk is due
  std::vector<unsigned char> chunk;
};

// Files identical so far, read in step.
struct Candidates {
  std::vector<OpenFile> files;
  std::optional<std::size_t> differsFrom;
  std::uint64_t firstDifference = 0;
};

// Two names of one file: both identities known and equal.
bool sameFile(const ListedFile& a, const ListedFile& b) {
  return a.inode != 0 && a.device != 0 && a.inode == b.inode && a.device == b.device;
}

MemberOutcome outcomeOf(ContentOpening opening) {
  switch (opening) {
    case ContentOpening::Gone: return MemberOutcome::Gone;
    case ContentOpening::Changed: return MemberOutcome::Changed;
    case ContentOpening::Opened:
    case ContentOpening::Unreadable: break;
  }
  return MemberOutcome::Unreadable;
}

class Comparison {
 public:
  Comparison(std::span<const ListedFile> members, const OpenMember& open,
             const ComparisonProgress& progress, const ComparisonLimits& limits)
      : members_(members), open_(open), progress_(progress), limits_(limits) {}

  ContentComparison run();

 private:
  // Marks the members that name an earlier member's file; the others, which
  // are read.
  std::vector<std::size_t> distinctFiles();
  // Reads `all` (files of `size` bytes) in step, `chunk` bytes at a time,
  // parting them at every difference, until each part is settled.
  void readInStep(Candidates&& all, std::uint64_t size, std::size_t chunk);
  // Reads the next `length` bytes of every file of `candidates`, dropping
  // those that cannot be opened or read, that end early or, at the `last`
  // chunk, that go on past their listed size; there, those written since
  // they were opened are marked changed.
  void readChunk(Candidates& candidates, std::size_t length, bool last);
  // Parts the candidates by the chunk just read, in the order of their
  // first files; a new part records where it parted from the earlier part
  // that it agreed with longest.
  std::vector<Candidates> part(Candidates&& candidates, std::uint64_t offset, std::size_t length);
  void settle(Candidates&& candidates);
  // Takes the files written while they were compared out of their sets: the
  // bytes read of them may be no bytes they ever held all at once. Where
  // another set parted from one of them, it parted as well from the files
  // that were read in step with it: one of those is named instead, if any.
  void leaveOutChanged();

  std::span<const ListedFile> members_;
  const OpenMember& open_;
  const ComparisonProgress& progress_;
  const ComparisonLimits& limits_;
  ContentComparison result_;
  std::size_t bufferSize_ = 0;
  std::uint64_t read_ = 0;
  std::uint64_t total_ = 0;
};

ContentComparison Comparison::run() {
  Candidates all;
  for (const std::size_t member : distinctFiles()) all.files.push_back(OpenFile{member, nullptr, {}});
  if (all.files.size() < 2) {
    settle(std::move(all));  // nothing to compare it with: not even opened
    return std::move(result_);
  }
  const std::uint64_t size = members_[all.files.front().member].size;
  const std::size_t chunk = std::clamp(limits_.memoryBudget / all.files.size(),
                                       limits_.smallestChunk, limits_.largestChunk);
  // Files that fit in one chunk are read whole and closed one after the
  // other; longer ones stay open from chunk to chunk.
  if (all.files.size() > limits_.mostFilesOpen && size > chunk) {
    result_.tooManyFiles = true;
    return std::move(result_);
  }
  readInStep(std::move(all), size, chunk);
  leaveOutChanged();
  std::sort(result_.sets.begin(), result_.sets.end(),
            [](const auto& a, const auto& b) { return a.files.front() < b.files.front(); });
  return std::move(result_);
}

std::vector<std::size_t> Comparison::distinctFiles() {
  result_.members.resize(members_.size());
  std::vector<std::size_t> files;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    result_.members[i].file = i;
    for (std::size_t j = 0; j < i; ++j) {
      if (sameFile(members_[i], members_[j])) {
        result_.members[i] = {MemberOutcome::SameFile, result_.members[j].file};
        break;
      }
    }
    if (result_.members[i].outcome == MemberOutcome::Compared) files.push_back(i);
  }
  return files;
}

void Comparison::readInStep(Candidates&& all, std::uint64_t size, std::size_t chunk) {
  bufferSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(size, chunk));
  total_ = size * all.files.size();
  std::vector<Candidates> reading;
  reading.push_back(std::move(all));
  for (std::uint64_t offset = 0; !reading.empty();) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size - offset));
    const bool last = offset + length == size;
    std::vector<Candidates> stillIdentical;
    for (Candidates& candidates : reading) {
      readChunk(candidates, length, last);
      for (Candidates& part : part(std::move(candidates), offset, length)) {
        if (part.files.size() < 2 || last) {
          settle(std::move(part));
        } else {
          stillIdentical.push_back(std::move(part));
        }
      }
    }
    reading = std::move(stillIdentical);
    offset += length;
  }
}

void Comparison::readChunk(Candidates& candidates, std::size_t length, bool last) {
  const auto drop = [&](const OpenFile& file, MemberOutcome outcome) {
    result_.members[file.member].outcome = outcome;
    return true;
  };
  std::erase_if(candidates.files, [&](OpenFile& file) {
    if (!file.reader) {
      OpenedContent opened = open_(file.member);
      if (opened.outcome != ContentOpening::Opened || !opened.reader) {
        return drop(file, outcomeOf(opened.outcome));
      }
      file.reader = std::move(opened.reader);
      file.chunk.resize(bufferSize_);
    }
    const auto got = file.reader->read(std::span(file.chunk.data(), length));
    if (!got) return drop(file, MemberOutcome::Unreadable);
    read_ += *got;
    if (progress_) progress_(read_, total_);
    if (*got < length) return drop(file, MemberOutcome::Changed);  // shorter than listed
    if (last) {
      unsigned char beyond = 0;
      const auto more = file.reader->read(std::span(&beyond, 1));
      if (!more) return drop(file, MemberOutcome::Unreadable);
      if (*more > 0) return drop(file, MemberOutcome::Changed);  // longer than listed
      // Written meanwhile: parted with the rest all the same, so that a set
      // that parted from it can name another file instead (see
      // leaveOutChanged).
      if (!file.reader->unchangedSinceOpened()) {
        result_.members[file.member].outcome = MemberOutcome::Changed;
      }
      file.reader.reset();  // read whole: closed before the next file is opened
    }
    return false;
  });
}

std::vector<Candidates> Comparison::part(Candidates&& candidates, std::uint64_t offset,
                                         std::size_t length) {
  std::vector<Candidates> parts;
  for (OpenFile& file : candidates.files) {
    const auto bytes = file.chunk.begin();
    const auto end = bytes + static_cast<std::ptrdiff_t>(length);
    const auto same = std::find_if(parts.begin(), parts.end(), [&](const Candidates& p) {
      return std::equal(bytes, end, p.files.front().chunk.begin());
    });
    if (same != parts.end()) {
      same->files.push_back(std::move(file));
      continue;
    }
    Candidates fresh;
    if (parts.empty()) {
      fresh.differsFrom = candidates.differsFrom;
      fresh.firstDifference = candidates.firstDifference;
    } else {
      std::size_t longest = 0;
      for (const Candidates& p : parts) {
        const auto agreed = static_cast<std::size_t>(
            std::mismatch(bytes, end, p.files.front().chunk.begin()).first - bytes);
        if (!fresh.differsFrom || agreed > longest) {
          longest = agreed;
          fresh.differsFrom = p.files.front().member;
        }
      }
      fresh.firstDifference = offset + longest;
    }
    fresh.files.push_back(std::move(file));
    parts.push_back(std::move(fresh));
  }
  return parts;
}

void Comparison::settle(Candidates&& candidates) {
  if (candidates.files.empty()) return;
  ContentComparison::IdenticalSet set;
  for (const OpenFile& file : candidates.files) {
    // Parted from the rest before its end: what was read of it must not
    // have been written over meanwhile either.
    if (file.reader && !file.reader->unchangedSinceOpened()) {
      result_.members[file.member].outcome = MemberOutcome::Changed;
    }
    set.files.push_back(file.member);
  }
  set.differsFrom = candidates.differsFrom;
  set.firstDifference = candidates.firstDifference;
  result_.sets.push_back(std::move(set));
  // The files close and their chunks go as the candidates do.
}

void Comparison::leaveOutChanged() {
  const auto changed = [&](std::size_t member) {
    return result_.members[member].outcome == MemberOutcome::Changed;
  };
  // The member to name for each member where a set parted from it: itself
  // unless it changed.
  std::vector<std::optional<std::size_t>> standIn(members_.size());
  for (std::size_t member = 0; member < members_.size(); ++member) {
    if (!changed(member)) standIn[member] = member;
  }
  for (const auto& set : result_.sets) {
    const auto kept = std::find_if_not(set.files.begin(), set.files.end(), changed);
    if (kept == set.files.end()) continue;
    for (const std::size_t file : set.files) {
      if (changed(file)) standIn[file] = *kept;
    }
  }
  for (auto& set : result_.sets) {
    if (set.differsFrom) set.differsFrom = standIn[*set.differsFrom];
    std::erase_if(set.files, changed);
  }
  std::erase_if(result_.sets, [](const auto& set) { return set.files.empty(); });
}

}  // namespace

ContentComparison compareContents(std::span<const ListedFile> members, const OpenMember& open,
                                  const ComparisonProgress& progress,
                                  const ComparisonLimits& limits) {
  return Comparison(members, open, progress, limits).run();
}

}  // namespace dupsieve
