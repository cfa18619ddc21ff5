#include "platform/CommandLine.h"

#include <gtest/gtest.h>

namespace zyfar {
namespace {

TEST(CommandLine, FlagSpellingsTakeTheirValue) {
    for (const char* flag : {"/b", "-b", "/B", "-B"}) {
        const CommandLine line = ParseCommandLine({flag, "/home/me/nightly.cmd"});
        EXPECT_TRUE(line.commandLineJob) << flag;
        EXPECT_EQ(line.scriptPath, "/home/me/nightly.cmd") << flag;
        EXPECT_TRUE(line.linkName.empty()) << flag;
    }
    for (const char* flag : {"/l", "-l", "/L", "-L"}) {
        const CommandLine line = ParseCommandLine({flag, "Nightly"});
        EXPECT_EQ(line.linkName, "Nightly") << flag;
        EXPECT_TRUE(line.scriptPath.empty()) << flag;
    }
}

TEST(CommandLine, AbsolutePathsAreNotFlags) {
    EXPECT_FALSE(IsFrameworkFlag("/tmp/x.cmd"));
    EXPECT_FALSE(IsFrameworkFlag("/"));
    EXPECT_FALSE(IsFrameworkFlag("-"));
    EXPECT_FALSE(IsFrameworkFlag("plain"));
    EXPECT_TRUE(IsFrameworkFlag("/b"));
    EXPECT_TRUE(IsFrameworkFlag("-xyz"));
    // A path given without a flag is a value that follows no flag: ignored.
    const CommandLine line = ParseCommandLine({"/tmp/x.cmd"});
    EXPECT_FALSE(line.commandLineJob);
    EXPECT_TRUE(line.scriptPath.empty());
}

TEST(CommandLine, ValueAfterFlagIsTakenWhateverItStartsWith) {
    // "/x.cmd" would look like a flag, but the word after a flag is its value.
    EXPECT_EQ(ParseCommandLine({"/b", "/x.cmd"}).scriptPath, "/x.cmd");
    EXPECT_EQ(ParseCommandLine({"-l", "-weird"}).linkName, "-weird");
}

TEST(CommandLine, OnlyTheFirstPairCounts) {
    const CommandLine line = ParseCommandLine({"-l", "Sites", "-b", "/tmp/run.cmd"});
    EXPECT_EQ(line.linkName, "Sites");
    EXPECT_TRUE(line.scriptPath.empty());
    const CommandLine again = ParseCommandLine({"-b", "/a.cmd", "-b", "/b.cmd"});
    EXPECT_EQ(again.scriptPath, "/a.cmd");
}

TEST(CommandLine, UnknownFlagsAndStrayWords) {
    // An unknown flag takes no value: the word after it is a stray value.
    const CommandLine line = ParseCommandLine({"-q", "/tmp/run.cmd"});
    EXPECT_FALSE(line.commandLineJob);
    EXPECT_TRUE(line.scriptPath.empty());
    // An unknown flag between two known ones leaves the later pair working.
    EXPECT_EQ(ParseCommandLine({"-q", "x", "-l", "L2"}).linkName, "L2");
    // A flag without a value at the end leaves no job.
    EXPECT_FALSE(ParseCommandLine({"-l"}).commandLineJob);
    // A plain word before any flag is ignored and does not block a later pair.
    EXPECT_EQ(ParseCommandLine({"stray", "/l", "L1"}).linkName, "L1");
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
