#include "platform/linux/lazy_flush_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <istream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>

namespace dupsieve {
namespace {

// Output that counts its flushes and tells the first one to whoever waits.
class FlushCountingBuffer final : public std::stringbuf {
 public:
  std::atomic<int> flushes{0};
  std::promise<std::string> firstFlush;

 protected:
  int sync() override {
    if (flushes++ == 0) firstFlush.set_value(str());
    return 0;
  }
};

class LazyFlushInputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::pipe(ends), 0); }
  void TearDown() override {
    ::close(ends[0]);
    if (ends[1] >= 0) ::close(ends[1]);
  }
  void write(const std::string& bytes) {
    ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void closeWriter() {
    ::close(ends[1]);
    ends[1] = -1;
  }

  int ends[2] = {-1, -1};
  FlushCountingBuffer written;
  std::ostream out{&written};
};

TEST_F(LazyFlushInputTest, AnswersAlreadyThereAreReadWithoutFlushing) {
  write("y n\n\nY");
  closeWriter();
  linux_io::LazyFlushInput input(ends[0], out);
  std::istream in(&input);
  std::string answers[4];
  for (int i = 0; i < 4; ++i) {
    out << "Delete " << i + 1 << " ? (y/other): ";
    in >> answers[i];
  }
  EXPECT_EQ(answers[0], "y");
  EXPECT_EQ(answers[1], "n");
  EXPECT_EQ(answers[2], "Y");
  EXPECT_EQ(answers[3], "");
  EXPECT_EQ(written.flushes, 0);
  out.flush();
  EXPECT_EQ(written.str(),
            "Delete 1 ? (y/other): Delete 2 ? (y/other): Delete 3 ? (y/other): "
            "Delete 4 ? (y/other): ");
}

TEST_F(LazyFlushInputTest, APromptIsFlushedBeforeTheReadWaitsForItsAnswer) {
  // The other end answers only once it has seen the prompt, as a program
  // driving this one through pipes would; should the prompt never come, it
  // answers after a while anyway and the test fails instead of hanging.
  std::future<std::string> seen = written.firstFlush.get_future();
  std::thread answerer([&] {
    if (seen.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the prompt was never flushed";
    }
    write("y\n");
  });
  linux_io::LazyFlushInput input(ends[0], out);
  std::istream in(&input);
  out << "Delete x ? (y/other): ";
  std::string answer;
  in >> answer;
  answerer.join();
  EXPECT_EQ(answer, "y");
  ASSERT_EQ(seen.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(seen.get(), "Delete x ? (y/other): ");
}

}  // namespace
}  // namespace dupsieve
