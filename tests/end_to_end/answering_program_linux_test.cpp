// The built binary driven by another program through pipes, which answers
// each prompt only once it has seen it: with nobody at a terminal the
// output is not flushed line by line, so it must be flushed before the
// binary waits for an answer.

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/binary_run.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::TempDir;

constexpr std::string_view kPromptEnd = "? (y/other): ";

std::size_t countOf(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Runs the binary with `arguments` in `directory`, answering `answers` one
// at a time, each only after its prompt has come out. Stops at the first
// wait of more than a few seconds: the binary then waits for an answer to
// a prompt it has not shown. Returns the output and whether every answer
// could be given.
std::pair<std::string, bool> answerEachPromptSeen(const std::vector<std::string>& arguments,
                                                 const std::string& directory,
                                                 const std::vector<std::string>& answers) {
  testing::Pipe toChild;
  testing::Pipe fromChild;
  testing::StartSettings settings;
  settings.input = toChild.read();
  settings.output = fromChild.write();
  const pid_t child = testing::startBinary(arguments, directory, settings);
  toChild.closeRead();
  fromChild.closeWrite();

  std::string output;
  std::size_t answered = 0;
  bool stalled = false;
  char buffer[4096];
  for (;;) {
    if (answered < answers.size() && countOf(output, kPromptEnd) > answered) {
      const std::string answer = answers[answered++] + "\n";
      if (::write(toChild.write(), answer.data(), answer.size()) < 0) break;
      if (answered == answers.size()) toChild.closeWrite();
      continue;
    }
    pollfd ready{fromChild.read(), POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) {
      stalled = true;
      break;
    }
    const ssize_t got = ::read(fromChild.read(), buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  toChild.closeWrite();
  fromChild.closeRead();
  testing::waitForChild(child, stalled ? testing::Clock::now()
                                       : testing::Clock::now() + testing::kRunTimeLimit);
  return {output, !stalled && answered == answers.size()};
}

TEST(AnsweringProgram, SeesEachPromptBeforeItAnswersAndGetsTheSameBytes) {
  const TempDir tree;
  for (const char* name : {"a", "b", "c"}) tree.write(name, "abc");
  for (const char* name : {"x", "y"}) tree.write(name, "xyz");
  const std::vector<std::string> answers = {"n", "y", "n", "n", "y"};

  const auto [output, answeredAll] = answerEachPromptSeen({"-r"}, tree.path(), answers);

  EXPECT_TRUE(answeredAll) << "waited for an answer to a prompt not shown:\n" << output;
  EXPECT_EQ(countOf(output, kPromptEnd), answers.size());
  EXPECT_FALSE(tree.exists("b"));
  EXPECT_FALSE(tree.exists("y"));
  // The same bytes as with every answer there at the start.
  for (const char* name : {"b", "y"}) tree.write(name, std::string(name) == "b" ? "abc" : "xyz");
  const testing::RunResult onTerminal = testing::runDupsieve(
      {.arguments = {"-r"}, .workingDirectory = tree.path(), .outputOnTerminal = true});
  const testing::RunResult inFiles = testing::runDupsieve({{"-r"}, "n y n n y\n", tree.path()});
  EXPECT_EQ(output, inFiles.output);
  // Answers all there at the start: the lines go out in far fewer writes than at a terminal.
  EXPECT_LT(inFiles.writeCalls + countOf(output, "\n") / 2, onTerminal.writeCalls);
}

}  // namespace
}  // namespace dupsieve
