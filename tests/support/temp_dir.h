#pragma once

#include <string>
#include <vector>

namespace dupsieve::testing {

// A fresh directory under the system's temporary folder, removed with all
// its contents when the object goes away. Paths given to it are relative to
// it; what it hands back is absolute.
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
  std::string output;
  int exitStatus = -1;
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments`,
// feeding it `input` on standard input (then end of input), and captures
// standard output. Never touches the test process's own directory.
RunResult runDupsieve(const std::vector<std::string>& arguments, const std::string& input,
                      const std::string& workingDirectory);

}  // namespace dupsieve::testing
