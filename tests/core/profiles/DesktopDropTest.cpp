// What the main window takes from the desktop: dropped files and folders,
// and the anonymous e-mail address asked for at start.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProfileFixture.h"
#include "profiles/FileList.h"
#include "profiles/SiteProfile.h"

namespace zyfar::testing {
namespace {

TEST(EmailTest, StoredAndTypedRules) {
    struct Case {
        const char* email;
        bool stored;
        bool typed;
    } cases[] = {
        {"me@example.org", true, true}, {"@example.org", false, true}, {"me@", false, true},
        {"a@b", true, true},            {"", false, false},            {"plain", false, false},
        {"@", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStoredEmailValid(c.email), c.stored) << c.email;
        EXPECT_EQ(IsTypedEmailValid(c.email), c.typed) << c.email;
    }
}

class DesktopDropTest : public ProfileFixture {};

std::vector<std::string> Names(const DroppedFiles& d) {
    std::vector<std::string> out;
    for (const FileListItem& i : d.items) out.push_back(i.folder + i.localName);
    return out;
}

TEST_F(DesktopDropTest, FilesAndSubtreesOnceIgnoringCase) {
    WriteText(Path("drop/a.txt"), "12345");
    WriteText(Path("drop/sub/b.bin"), "x");
    WriteText(Path("drop/sub/deeper/c"), "");
    WriteText(Path("single.TXT"), "abc");
    std::filesystem::create_symlink(Path("drop"), Path("drop/sub/loop"));
    const std::string tooLong = Path(std::string(190, 'n'));

    DroppedFiles first = CollectDroppedFiles({Path("drop"), Path("single.TXT"), Path("missing"), tooLong}, {});
    std::vector<std::string> names = Names(first);
    EXPECT_EQ(names, (std::vector<std::string>{Path("drop/a.txt"), Path("drop/sub/b.bin"),
                                               Path("drop/sub/deeper/c"), Path("single.TXT")}));
    EXPECT_EQ(first.items[0].size, 5);
    EXPECT_EQ(first.items[0].folder, Path("drop/"));
    EXPECT_TRUE(first.items[0].remoteName.empty());
    EXPECT_GT(first.items[0].lastWrite, 0);
    EXPECT_FALSE(first.truncated);

    // The same drop again, and a name differing only in case, add nothing.
    EXPECT_TRUE(CollectDroppedFiles({Path("drop"), Path("single.TXT")}, first.items).items.empty());
    std::vector<FileListItem> upper = first.items;
    upper[3].localName = "SINGLE.txt";
    EXPECT_TRUE(CollectDroppedFiles({Path("single.TXT")}, upper).items.empty());
}

TEST_F(DesktopDropTest, StopsAtTheLimit) {
    for (int i = 0; i < 5; ++i) WriteText(Path("many/f" + std::to_string(i)), "");
    const DroppedFiles d = CollectDroppedFiles({Path("many")}, {}, 3);
    EXPECT_EQ(d.items.size(), 3u);
    EXPECT_TRUE(d.truncated);
}

}  // namespace
}  // namespace zyfar::testing
