#pragma once

#include <string>
#include <vector>

namespace dupsieve::testing {

// The progress and count lines that open every run, and the empty line
// after them.
inline std::string countLines(int found, int actuallyFound, int sameSized, int groups) {
  return "serching all files.\n" + std::to_string(found) +
         " files were found.\n"
         "removing file-info registered repeatedly.\n" +
         std::to_string(actuallyFound) +
         " files were actually found.\n"
         "serching doubtful same-sized files.\n" +
         std::to_string(sameSized) +
         " files were found.\n"
         "serching doubtful same-hashed files.\n" +
         std::to_string(groups) + " pairs of doubtful files were found.\n\n";
}

inline std::string memberLine(const std::string& path, const std::string& size,
                              const std::string& digest) {
  return path + "\t" + size + "\t" + digest + "\n";
}

inline std::string prompt(const std::string& shownPath) {
  return "Delete " + shownPath + " ? (y/other): ";
}

// One group's block: its member lines, an empty line, a prompt per member,
// and the newline that ends the prompts' line.
inline std::string groupBlock(const std::vector<std::string>& paths, const std::string& size,
                              const std::string& digest) {
  std::string block;
  for (const std::string& path : paths) block += memberLine(path, size, digest);
  block += "\n";
  for (const std::string& path : paths) block += prompt(path);
  return block + "\n";
}

}  // namespace dupsieve::testing
