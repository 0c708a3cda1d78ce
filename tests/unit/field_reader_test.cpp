// The fixed-buffer reader of the kernel's text tables, against real files.
#include "integration/fixtures/Fixtures.h"
#include "supervisor/FieldReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvo {
namespace {

std::vector<std::string> fields(FieldReader& reader) {
  std::vector<std::string> read;
  std::string_view field;
  while (reader.next(field)) {
    read.emplace_back(field);
  }
  return read;
}

TEST(FieldReader, ReadsFieldsAcrossRefillsOfItsBuffer) {
  test::TempFolder folder;
  // Lines of 150 bytes, as in /proc/net/tcp: many of them straddle a refill.
  std::vector<std::string> lines;
  std::string text;
  for (int index = 0; index < 200; ++index) {
    lines.push_back(std::to_string(index) + ":" +
                    std::string(150, static_cast<char>('a' + index % 26)));
    text += lines.back() + "\n";
  }
  test::writeFile(folder / "table", text + "last without newline");
  lines.emplace_back("last without newline");

  FieldReader reader((folder / "table").c_str(), '\n');
  EXPECT_EQ(fields(reader), lines);
  EXPECT_FALSE(reader.failed());
}

TEST(FieldReader, FailsOnAFieldLongerThanItsBufferAndOnAMissingFile) {
  test::TempFolder folder;
  test::writeFile(folder / "long", "short\n" + std::string(5000, 'x') + "\nafter\n");
  FieldReader tooLong((folder / "long").c_str(), '\n');
  EXPECT_EQ(fields(tooLong), std::vector<std::string>{"short"});
  EXPECT_TRUE(tooLong.failed());

  FieldReader absent((folder / "absent").c_str(), ' ');
  EXPECT_EQ(fields(absent), std::vector<std::string>{});
  EXPECT_TRUE(absent.failed());
  EXPECT_TRUE(absent.missing());

  test::writeFile(folder / "children", "12 345 6789 ");
  FieldReader children((folder / "children").c_str(), ' ');
  EXPECT_EQ(fields(children), (std::vector<std::string>{"12", "345", "6789"}));
  EXPECT_FALSE(children.missing());
}

} // namespace
} // namespace tarvo
