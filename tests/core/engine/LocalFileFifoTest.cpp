// A put source that is not a regular file must be refused at once: opening a
// FIFO for reading would otherwise block the worker until a writer appears.
#include "engine/BufferedLocalFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zyfar {
namespace {

TEST(BufferedLocalFileOpen, AFifoIsRefusedWithoutBlocking) {
    char tmpl[] = "/tmp/zyfar-fifo-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string fifo = std::string(tmpl) + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    auto opened = BufferedLocalFile::OpenRead(fifo);  // returns at once
    EXPECT_FALSE(opened.ok());
    EXPECT_NE(opened.result.text.find(fifo), std::string::npos) << opened.result.text;

    // A folder is no file to send either.
    EXPECT_FALSE(BufferedLocalFile::OpenRead(tmpl).ok());
    ::unlink(fifo.c_str());
    ::rmdir(tmpl);
}

}  // namespace
}  // namespace zyfar
