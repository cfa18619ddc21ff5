#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

TEST(CommandLine, FlagsTakeTheNextWordAndOnlyTheFirstPairCounts) {
    struct Case {
        std::vector<std::string> words;
        std::string script, link;  // both empty: no job
    };
    const Case cases[] = {
        {{"/b", "/home/me/nightly.cmd"}, "/home/me/nightly.cmd", ""},
        {{"-B", "/x.cmd"}, "/x.cmd", ""},  // the word after a flag is its value, whatever it starts with
        {{"/L", "Nightly"}, "", "Nightly"},
        {{"-l", "-weird"}, "", "-weird"},
        {{"/tmp/x.cmd"}, "", ""},  // a path is no flag, and a value without a flag is ignored
        {{"-l", "Sites", "-b", "/tmp/run.cmd"}, "", "Sites"},
        {{"-b", "/a.cmd", "-b", "/b.cmd"}, "/a.cmd", ""},
        {{"-q", "/tmp/run.cmd"}, "", ""},  // an unknown flag takes no value
        {{"-q", "x", "-l", "L2"}, "", "L2"},
        {{"stray", "/l", "L1"}, "", "L1"},
        {{"-l"}, "", ""},
    };
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(c.words);
        SCOPED_TRACE(c.words[0] + (c.words.size() > 1 ? " " + c.words[1] : std::string()));
        EXPECT_EQ(line.scriptPath, c.script);
        EXPECT_EQ(line.linkName, c.link);
        EXPECT_EQ(line.commandLineJob, !c.script.empty() || !c.link.empty());
    }
    for (const char* word : {"/tmp/x.cmd", "/", "-", "plain"}) EXPECT_FALSE(IsFrameworkFlag(word)) << word;
    for (const char* word : {"/b", "-xyz"}) EXPECT_TRUE(IsFrameworkFlag(word)) << word;
}

TEST(CommandLine, LongOptionsAreSeparateFromTheFlags) {
    const CommandLine line = ParseCommandLine({"--headless", "-b", "/tmp/r.cmd", "--version", "--bogus"});
    EXPECT_TRUE(line.headless);
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.scriptPath, "/tmp/r.cmd");
    ASSERT_EQ(line.unknownOptions.size(), 1u);
    EXPECT_EQ(line.unknownOptions[0], "--bogus");
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
}

TEST(CommandLine, LsTakesTheNextWordAsItsUrl) {
    CommandLine line = ParseCommandLine({"--ls", "ftp://me@host/pub/"});
    EXPECT_TRUE(line.ls);
    EXPECT_EQ(line.lsUrl, "ftp://me@host/pub/");
    EXPECT_FALSE(line.passive);
    EXPECT_TRUE(line.optionError.empty());
    EXPECT_FALSE(line.commandLineJob);

    line = ParseCommandLine({"--passive", "--ls=ftp://host/"});
    EXPECT_TRUE(line.ls);
    EXPECT_TRUE(line.passive);
    EXPECT_EQ(line.lsUrl, "ftp://host/");

    // The value is taken whatever it looks like, and never becomes a flag's value.
    line = ParseCommandLine({"--ls", "--help", "-b", "/x.cmd"});
    EXPECT_EQ(line.lsUrl, "--help");
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.scriptPath, "/x.cmd");
    line = ParseCommandLine({"-b", "--ls", "ftp://h/"});
    EXPECT_EQ(line.lsUrl, "ftp://h/");
    EXPECT_FALSE(line.commandLineJob);  // "-b" still waits for its value
}

TEST(CommandLine, LsWithoutUrlIsAnError) {
    EXPECT_FALSE(ParseCommandLine({"--ls"}).optionError.empty());
    EXPECT_FALSE(ParseCommandLine({"--ls="}).optionError.empty());
    EXPECT_TRUE(ParseCommandLine({"--passive"}).optionError.empty());
    EXPECT_TRUE(ParseCommandLine({}).optionError.empty());
}

TEST(CommandLine, UsageNamesEveryFlag) {
    const std::string usage = UsageText("zyfar");
    for (const char* word : {"/b", "-b", "/l", "-l", "--headless", "--help", "--version", "--ls", "--passive",
                             "ZYFAR_PASSWORD"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace zyfar
