#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dupsieve::testing {

// Paths in tests are UTF-8 text with "/" separators, as the tool holds
// them; these convert to and from the standard library's paths, which on
// Windows would otherwise read a std::string in the code page.
std::filesystem::path utf8Path(std::string_view path);
std::string utf8String(const std::filesystem::path& path);

// A fresh directory under the system's temporary folder, removed with all
// its contents when the object goes away. Paths given to it are relative to
// it; what it hands back is absolute, with "/" separators.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes a file (creating its parent directories) and returns its path.
  std::string write(const std::string& relative, const std::string& contents) const;
  std::string makeDirectory(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  // The file's contents; empty when it cannot be read.
  std::string read(const std::string& relative) const;

 private:
  std::string path_;
};

// What a run of the built binary printed and how it ended.
struct RunResult {
  // Standard output as text: the line ends of the platform's text streams
  // (CRLF on Windows) read as "\n".
  std::string output;
  std::string rawOutput;  // the bytes as written
  std::string errors;     // standard error, bytes as written
  int exitStatus = -1;
  bool finished = false;  // false when it had to be killed for taking too long
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments`,
// feeding it `input` on standard input (then end of input), and captures
// standard output and standard error. A run that takes longer than any run
// should is killed and fails the calling test. Never touches the test
// process's own directory.
RunResult runDupsieve(const std::vector<std::string>& arguments, const std::string& input,
                      const std::string& workingDirectory);

}  // namespace dupsieve::testing
