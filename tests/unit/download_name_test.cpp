#include "shell/DownloadName.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo {
namespace {

TEST(DownloadName, SuggestionsBecomeOneSafeFileName) {
  EXPECT_EQ(cleanDownloadName("report.csv"), "report.csv");
  EXPECT_EQ(cleanDownloadName("../../.bashrc"), "_._.bashrc");
  EXPECT_EQ(cleanDownloadName("a/b\\c"), "a_b_c");
  EXPECT_EQ(cleanDownloadName("..."), "download");
  EXPECT_EQ(cleanDownloadName(" .hidden "), "hidden");
  EXPECT_EQ(cleanDownloadName("x..y"), "x.y");
  EXPECT_EQ(cleanDownloadName("r\x01\n\x7fport\xc2\x85.csv"), "rport.csv");
  EXPECT_EQ(cleanDownloadName("invoice\u202Efdp.exe"), "invoicefdp.exe"); // no reversed text
  EXPECT_EQ(cleanDownloadName("caf\xe9.txt"), "caf_.txt");                // not UTF-8
  EXPECT_EQ(cleanDownloadName("\xc0\xaf.txt"), "__.txt");                 // an overlong '/'
  EXPECT_EQ(cleanDownloadName("Grüße.txt"), "Grüße.txt");
  EXPECT_EQ(cleanDownloadName(""), "download");
}

TEST(DownloadName, LongNamesKeepTheirExtensionWithin255Bytes) {
  const std::string stem(300, 'a');
  EXPECT_EQ(cleanDownloadName(stem + ".csv"), std::string(251, 'a') + ".csv");
  std::string wide; // two bytes a character: never cut in half
  for (int i = 0; i < 200; ++i) {
    wide += "é";
  }
  const auto cut = cleanDownloadName(wide + ".json");
  EXPECT_EQ(cut, wide.substr(0, 250) + ".json");
  EXPECT_LE(numberedName(cut, 12).size(), maxFileNameBytes);
  EXPECT_EQ(numberedName(cut, 12).substr(numberedName(cut, 12).size() - 10), " (12).json");
}

TEST(DownloadName, NextNamesAreNumberedBeforeTheExtension) {
  EXPECT_EQ(numberedName("report.csv", 0), "report.csv");
  EXPECT_EQ(numberedName("report.csv", 1), "report (1).csv");
  EXPECT_EQ(numberedName("archive.tar.gz", 2), "archive (2).tar.gz");
  EXPECT_EQ(numberedName("README", 3), "README (3)");
  EXPECT_EQ(numberedName("v1.2.notes", 1), "v1.2 (1).notes");
}

} // namespace
} // namespace tarvo
