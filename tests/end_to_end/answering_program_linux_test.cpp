// The built binary driven by another program through pipes, which answers
// each prompt only once it has seen it: with nobody at a terminal the
// output is not flushed line by line, so it must be flushed before the
// binary waits for an answer.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

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
  int toChild[2];
  int fromChild[2];
  if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return {"", false};
  std::vector<std::string> argvStrings{DUPSIEVE_BINARY};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argvStrings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::dup2(toChild[0], 0) < 0 || ::dup2(fromChild[1], 1) < 0 ||
        ::chdir(directory.c_str()) != 0) {
      ::_exit(127);
    }
    ::close(toChild[1]);
    ::close(fromChild[0]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);

  std::string output;
  std::size_t answered = 0;
  bool stalled = false;
  char buffer[4096];
  for (;;) {
    if (answered < answers.size() && countOf(output, kPromptEnd) > answered) {
      const std::string answer = answers[answered++] + "\n";
      if (::write(toChild[1], answer.data(), answer.size()) < 0) break;
      if (answered == answers.size()) ::close(toChild[1]);
      continue;
    }
    pollfd ready{fromChild[0], POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) {
      stalled = true;
      break;
    }
    const ssize_t got = ::read(fromChild[0], buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  if (stalled) ::kill(child, SIGKILL);
  if (answered < answers.size()) ::close(toChild[1]);
  ::close(fromChild[0]);
  ::waitpid(child, nullptr, 0);
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
  EXPECT_EQ(output, testing::runDupsieve({"-r"}, "n y n n y\n", tree.path()).output);
}

}  // namespace
}  // namespace dupsieve
