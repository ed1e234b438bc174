#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "console/line_reader.h"

namespace plo {
namespace {

// A descriptor reading `contents` from a file, as a redirected standard input would.
int input_of(const std::string& contents) {
  const std::string path = ::testing::TempDir() + "plo-answers-" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary) << contents;
  const int fd = ::open(path.c_str(), O_RDONLY);
  ::unlink(path.c_str());
  return fd;
}

TEST(LineReader, SplitsLines) {
  const int fd = input_of("1\r\n\nyes\nlast");
  LineReader reader(fd);
  EXPECT_EQ(reader.read_line(), "1");
  EXPECT_EQ(reader.read_line(), "");
  EXPECT_EQ(reader.read_line(), "yes");
  EXPECT_EQ(reader.read_line(), "last");
  EXPECT_EQ(reader.read_line(), std::nullopt);
  EXPECT_FALSE(reader.overlong());
  ::close(fd);
}

TEST(LineReader, ManyShortLinesAndOneOfTheCapsLength) {
  std::string text;
  for (int i = 0; i < 300000; ++i) text += "n\n";
  text += std::string(LineReader::kMaxLineBytes, 'x') + "\n";
  const int fd = input_of(text);
  LineReader reader(fd);
  for (int i = 0; i < 300000; ++i) ASSERT_EQ(reader.read_line(), "n");
  EXPECT_EQ(reader.read_line()->size(), LineReader::kMaxLineBytes);
  EXPECT_FALSE(reader.overlong());
  ::close(fd);
}

TEST(LineReader, OverlongLineEndsTheInput) {
  for (const std::string& tail : {std::string("\n2\n"), std::string()}) {
    const int fd = input_of("1\n" + std::string(LineReader::kMaxLineBytes + 1, '7') + tail);
    LineReader reader(fd);
    EXPECT_EQ(reader.read_line(), "1");
    EXPECT_EQ(reader.read_line(), std::nullopt);
    EXPECT_TRUE(reader.overlong());
    EXPECT_EQ(reader.read_line(), std::nullopt);
    ::close(fd);
  }
  // An endless input without line ends is given up at the cap.
  const int zero = ::open("/dev/zero", O_RDONLY);
  LineReader reader(zero);
  EXPECT_EQ(reader.read_line(), std::nullopt);
  EXPECT_TRUE(reader.overlong());
  ::close(zero);
}

}  // namespace
}  // namespace plo
