#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

// Every field of a parsed line that differs from its default, in one text.
std::string Describe(const CommandLine& c) {
    std::string s;
    auto add = [&s](bool on, const std::string& text) { s += on ? (s.empty() ? "" : " ") + text : ""; };
    add(c.commandLineJob, "job");
    add(!c.scriptPath.empty(), "script=" + c.scriptPath);
    add(!c.linkName.empty(), "link=" + c.linkName);
    add(c.headless, "headless");
    add(c.help, "help");
    add(c.version, "version");
    add(c.ls, "ls=" + c.lsUrl);
    add(c.passive, "passive");
    for (const std::string& u : c.unknownOptions) add(true, "unknown=" + u);
    add(!c.optionError.empty(), "error");
    return s;
}

TEST(CommandLine, FlagsTakeTheNextWordOnlyTheFirstPairCountsAndLongOptionsAreSeparate) {
    const struct {
        std::vector<std::string> words;
        const char* want;
    } cases[] = {
        {{"/b", "/home/me/nightly.cmd"}, "job script=/home/me/nightly.cmd"},
        {{"-B", "/x.cmd"}, "job script=/x.cmd"},  // the word after a flag is its value, whatever it starts with
        {{"/L", "Nightly"}, "job link=Nightly"},
        {{"-l", "-weird"}, "job link=-weird"},
        {{"/tmp/x.cmd"}, ""},  // a path is no flag, and a value without a flag is ignored
        {{"-l", "Sites", "-b", "/tmp/run.cmd"}, "job link=Sites"},
        {{"-b", "/a.cmd", "-b", "/b.cmd"}, "job script=/a.cmd"},
        {{"-q", "/tmp/run.cmd"}, ""},  // an unknown flag takes no value
        {{"-q", "x", "-l", "L2"}, "job link=L2"},
        {{"stray", "/l", "L1"}, "job link=L1"},
        {{"-l"}, ""},
        {{}, ""},
        {{"--headless", "-b", "/tmp/r.cmd", "--version", "--bogus"},
         "job script=/tmp/r.cmd headless version unknown=--bogus"},
        {{"--help"}, "help"},
        {{"--ls", "ftp://me@host/pub/"}, "ls=ftp://me@host/pub/"},
        {{"--passive", "--ls=ftp://host/"}, "ls=ftp://host/ passive"},
        {{"--passive"}, "passive"},
        // The --ls value is taken whatever it looks like, and never becomes a flag's value.
        {{"--ls", "--help", "-b", "/x.cmd"}, "job script=/x.cmd ls=--help"},
        {{"-b", "--ls", "ftp://h/"}, "ls=ftp://h/"},
        {{"--ls"}, "ls= error"},
        {{"--ls="}, "ls= error"},
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParseCommandLine(c.words)), c.want) << testing::PrintToString(c.words);
    for (const char* word : {"/tmp/x.cmd", "/", "-", "plain"}) EXPECT_FALSE(IsFrameworkFlag(word)) << word;
    for (const char* word : {"/b", "-xyz"}) EXPECT_TRUE(IsFrameworkFlag(word)) << word;
}

TEST(CommandLine, UsageNamesEveryFlag) {
    const std::string usage = UsageText("zyfar");
    for (const char* word : {"/b", "-b", "/l", "-l", "--headless", "--help", "--version", "--ls", "--passive",
                             "ZYFAR_PASSWORD"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace zyfar
