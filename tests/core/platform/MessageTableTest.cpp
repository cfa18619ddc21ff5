// The string table: exact texts, lookups at and around every id, the shape callers rely on.
#include "platform/MessageTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zyfar {
namespace {

// Number of printf conversions ("%%" is a literal percent sign, not one).
int CountConversions(std::string_view text) {
  int count = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '%') count += text[++i] != '%';
  return count;
}

// Texts whose blanks, line breaks and quotes are easily lost; the others are checked where they are used.
TEST(MessageTable, ExactTextsAcrossEveryRange) {
  const std::vector<std::pair<int, std::string_view>> expected = {
      {100, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
      {177, "About to rename file %s to %s!\nContinue?"},
      {241, "Please insert the number of times in the\nScheduler Frequency edit box."},
      {301, "Sites <->  File List"},
      {12013, "The request to connect and log on to an FTP server could\n"
              "not be completed because the supplied user name is incorrect."},
      {12041, "Indicates that the content is not entirely secure. Some of\n"
              "the content being viewed may have come from unsecured\nservers.\n"},
      {33027, "Could not parse this line in file: "},
      {33045, "The main screen cannot accept this kind of data.\n"
              "You need to be in \"Multiple Put\" mode."},
      {33048, "Folder was not renamed.\n A folder with the wanted name already exists."},
      {33049, "A Cern Proxy connection to the internet requires\n"
              "a proxy name and/or a port number.\nPlease see your proxy setup."},
      {33050, "Could not open Zyfar Script file, exiting ...."},
      {33051, "Could not find Zyfar link, exiting ..."},
  };
  for (const auto& [id, text] : expected) EXPECT_TRUE(MessageText(id) == text && HasMessage(id)) << "id " << id;
}

TEST(MessageTable, EveryEntryIsFoundWithACleanTextAndItsNeighboursOnlyWhenTheyAreEntries) {
  const std::span<const int> ids = MessageIds();
  ASSERT_FALSE(ids.empty());
  EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<int>()) == ids.end()) << "not rising";
  const std::set<int> known(ids.begin(), ids.end());
  // Only these are formatted with arguments; a "%" elsewhere would be misread by a formatting caller.
  const std::map<int, int> conversions = {{177, 2}, {183, 1}, {347, 2}, {349, 1}};
  for (int id : ids) {
    const std::string_view text = MessageText(id);
    ASSERT_FALSE(text.empty()) << "id " << id;
    EXPECT_EQ(text.find_first_of(std::string_view("\\\r\0", 3)), std::string_view::npos) << "id " << id;
    EXPECT_NE(text.front(), ' ') << "leading blank in " << id;
    const auto it = conversions.find(id);
    if (it == conversions.end()) EXPECT_EQ(text.find('%'), std::string_view::npos) << "id " << id;
    else EXPECT_EQ(CountConversions(text), it->second) << "id " << id;
    EXPECT_EQ(text.find("%d"), std::string_view::npos) << "id " << id;
    // Neighbours exercise the search at both edges of every run of ids.
    for (int near : {id - 1, id + 1})
      EXPECT_TRUE(HasMessage(near) == known.contains(near) && MessageText(near).empty() != known.contains(near)) << near;
  }
  for (int id : {INT_MIN, 0, 12014, 12044, INT_MAX}) EXPECT_TRUE(!HasMessage(id) && MessageText(id).empty()) << id;
}

}  // namespace
}  // namespace zyfar
