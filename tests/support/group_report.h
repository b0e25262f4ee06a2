#pragma once

#include <functional>
#include <istream>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/file_record.h"
#include "resolution/group_reporter.h"
#include "tests/support/answers_after_action.h"
#include "tests/support/records.h"

namespace dupsieve::testing {

// What standard output gets when each of `groups` is reported in turn
// through one reporter, as the run does, with notes written through
// `notes` and `answers` served once `whileWaiting` has run.
inline std::string reportGroups(FileSystem& fileSystem, std::vector<OwnedGroup>& groups, Notes& notes,
                                const std::string& answers,
                                const std::function<void()>& whileWaiting = [] {},
                                bool escapeControls = false) {
  AnswersAfterAction input(whileWaiting, answers);
  std::istream in(&input);
  std::ostringstream out;
  const GroupReporter reporter(Console{out, in, escapeControls, notes}, fileSystem);
  for (OwnedGroup& group : groups) reporter(group);
  return out.str();
}

}  // namespace dupsieve::testing
