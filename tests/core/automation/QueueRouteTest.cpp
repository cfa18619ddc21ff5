// Two sites on one host (another port, another login) are two routes: a
// failure for one never counts for the other, a send pass sends each
// entry to its own server, and deleting one's row keeps the other's.
#include <gtest/gtest.h>

#include "automation/QueueFile.h"
#include "automation/QueueSend.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

class QueueRouteTest : public test::IsolatedHomeTest {};

TEST_F(QueueRouteTest, SitesOnOneHostStayApart) {
    const std::string path = Path("q/zyfarQue.ini");
    const QueueItem failed{"/home/me", "a.txt", "a.txt", "/in", "550 No access", 10, 12003, 0};
    const QueueOptions adding{1, "", 0};
    const QueueRun sites[] = {{QueueMethod::Put, {"h.test", "me", "pw", "/in", 2121}, {}},
                              {QueueMethod::Put, {"h.test", "me", "pw", "/in", 2122}, {}},
                              {QueueMethod::Put, {"h.test", "other", "pw", "/in", 2121}, {}}};
    for (const QueueRun& run : sites) EXPECT_EQ(QueueFile(path).ApplyRun(run, {failed}, adding, true, true).appended, 1);
    // The same site failing again counts its own entry.
    EXPECT_EQ(QueueFile(path).ApplyRun(sites[1], {failed}, adding, true, true).counted, 1);
    std::vector<QueueEntry> rows = QueueFile(path).LoadRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].numTimes, 1);
    EXPECT_EQ(rows[1].numTimes, 2);

    // Deleting the second site's row (by its content) keeps the others.
    ASSERT_TRUE(QueueFile(path).DeleteRows({rows[0], rows[2]}, {rows[1]}));
    rows = QueueFile(path).LoadRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].port, "2121");
    EXPECT_EQ(rows[1].login, "other");

    const QueueSendPlan plan = TakeQueueRoutes(path, false);
    ASSERT_EQ(plan.routes.size(), 2u);
    EXPECT_EQ(plan.routes[0].server.login, "me");
    EXPECT_EQ(plan.routes[1].server.login, "other");
    for (const QueueSendRoute& r : plan.routes) EXPECT_EQ(r.jobs.size(), 1u);
}

}  // namespace
}  // namespace zyfar
