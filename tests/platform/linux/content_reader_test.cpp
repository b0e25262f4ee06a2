// Opening listed files for their whole contents on real trees: only the
// very file that was listed is opened, on every fallback.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/real_file_system.h"
#include "tests/support/listings.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::listedNow;
using testing::TempDir;

// Everything the reader hands out, 4,096 bytes asked for at a time; "!"
// when a read fails.
std::string readAll(ContentReader& reader) {
  std::string contents;
  std::vector<unsigned char> chunk(4096);
  for (;;) {
    const auto got = reader.read(chunk);
    if (!got) return contents + "!";
    contents.append(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*got));
    if (*got < chunk.size()) return contents;
  }
}

TEST(ListedContent, TheListedFileIsReadWholeOnEveryFallback) {
  const TempDir tmp;
  std::string contents;
  for (int i = 0; contents.size() < 100000; ++i) contents += std::to_string(i) + ",";
  const std::string path = tmp.write("d/file", contents);

  for (const PreferredCalls preferred : {PreferredCalls{}, PreferredCalls{false, false, false, false}}) {
    RealFileSystem fileSystem(preferred);
    OpenedContent opened = fileSystem.openListedFile(path, listedNow(fileSystem, path));
    ASSERT_EQ(opened.outcome, ContentOpening::Opened);
    ASSERT_NE(opened.reader, nullptr);
    EXPECT_EQ(readAll(*opened.reader), contents);
  }
}

TEST(ListedContent, AnythingButTheListedFileIsNotOpened) {
  const TempDir tmp;
  RealFileSystem fileSystem;
  const auto openAfter = [&](const std::string& name, auto&& change) {
    const std::string path = tmp.write("d/" + name, "abc");
    const ListedFile listed = listedNow(fileSystem, path);
    change(path);
    OpenedContent opened = fileSystem.openListedFile(path, listed);
    EXPECT_EQ(opened.reader != nullptr, opened.outcome == ContentOpening::Opened) << name;
    return opened.outcome;
  };

  EXPECT_EQ(openAfter("gone", [](const std::string& path) { ::unlink(path.c_str()); }),
            ContentOpening::Gone);
  EXPECT_EQ(openAfter("replaced", [&](const std::string& path) {
              std::rename(tmp.write("other", "xyz").c_str(), path.c_str());
            }),
            ContentOpening::Changed);
  EXPECT_EQ(openAfter("grown", [&](const std::string&) { tmp.write("d/grown", "abcd"); }),
            ContentOpening::Changed);
  // A link to a file of the very same contents is still not the file.
  EXPECT_EQ(openAfter("link",
                      [&](const std::string& path) {
                        const std::string target = tmp.write("target", "abc");
                        ::unlink(path.c_str());
                        ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
                      }),
            ContentOpening::Changed);
  // A FIFO without a writer: refused at once, never waited on.
  EXPECT_EQ(openAfter("fifo",
                      [](const std::string& path) {
                        ::unlink(path.c_str());
                        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                      }),
            ContentOpening::Changed);
  EXPECT_EQ(openAfter("unchanged", [](const std::string&) {}), ContentOpening::Opened);
  EXPECT_EQ(fileSystem.openListedFile(tmp / "no/such/file", {}).outcome, ContentOpening::Gone);
}

}  // namespace
}  // namespace dupsieve
