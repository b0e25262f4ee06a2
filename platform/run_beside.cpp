#include "platform/run_beside.h"

#include <exception>
#include <utility>

namespace dupsieve {

void runBeside(const std::function<void()>& there, const std::function<void()>& here) {
  std::exception_ptr failedThere;
  std::thread thread;
  const bool started = startThreadBeside(thread, [&there, &failedThere] {
    try {
      there();
    } catch (...) {
      failedThere = std::current_exception();
    }
  });
  // Joined however `here` ends, so that nothing `there` touches goes first.
  struct Join {
    std::thread* thread;
    ~Join() {
      if (thread->joinable()) thread->join();
    }
  };
  {
    const Join join{&thread};
    here();
  }
  if (!started) there();
  if (failedThere) std::rethrow_exception(failedThere);
}

}  // namespace dupsieve
