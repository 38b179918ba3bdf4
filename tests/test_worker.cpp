// The worker primitive on its own: results come back queued on the owner's thread, in
// order; cancel reaches what was posted before it; finish waits at most its bound, leaves a
// stuck task behind and runs nothing more; the process ends cleanly with it still stuck.
#include "event_waits.h"
#include "platform/worker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

using namespace qarn3;
using namespace std::chrono_literals;
using qarn3::test::waitFor;

namespace {

// What a stuck task waits on; shared with it, so that it owns what it touches.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::atomic<bool> entered{false};
    void pass() {
        entered = true;
        std::unique_lock lock(m);
        cv.wait(lock, [this] { return open; });
    }
    void release() {
        {
            std::lock_guard lock(m);
            open = true;
        }
        cv.notify_all();
    }
};

class WorkerTest : public ::testing::Test {
protected:
    QObject owner;
};

TEST_F(WorkerTest, ResultsArriveQueuedOnTheOwnersThreadInTheOrderPosted) {
    Worker worker(owner, "test worker", 2s);
    constexpr int kTasks = 20;
    std::atomic<int> ran{0};
    std::vector<QThread*> taskThreads(kTasks);
    std::vector<int> delivered;
    bool onOwnersThread = true;
    for (int i = 0; i < kTasks; ++i)
        ASSERT_TRUE(worker.post([&, i](const Worker::Context& job) {
            taskThreads[static_cast<std::size_t>(i)] = QThread::currentThread();
            job.deliver([&, i] {
                onOwnersThread = onOwnersThread && QThread::currentThread() == owner.thread();
                delivered.push_back(i);
            });
            ++ran;
        }));
    // Every task has run and delivered, and nothing arrived before the owner's thread
    // turned to its events.
    while (ran < kTasks)
        QThread::msleep(1);
    EXPECT_TRUE(delivered.empty());
    ASSERT_TRUE(waitFor([&] { return delivered.size() == kTasks; }));
    EXPECT_TRUE(onOwnersThread);
    for (int i = 0; i < kTasks; ++i)
        EXPECT_EQ(delivered[static_cast<std::size_t>(i)], i);
    EXPECT_NE(taskThreads[0], owner.thread());
    for (QThread* t : taskThreads)
        EXPECT_EQ(t, taskThreads[0]) << "the tasks ran on more than one thread";
    EXPECT_TRUE(worker.finish(2s));
}

TEST_F(WorkerTest, CancelReachesTheTaskInHandAndTheQueuedOnesNotLaterOnes) {
    Worker worker(owner, "test worker", 2s);
    std::atomic<bool> inHand{false};
    std::atomic<bool> inHandSawCancel{false};
    std::atomic<int> queuedSaw{-1};
    std::atomic<int> laterSaw{-1};
    worker.post([&](const Worker::Context& job) {
        inHand = true;
        for (int i = 0; i < 5000 && !job.cancel(); ++i)
            QThread::msleep(1);
        inHandSawCancel = job.cancelled();
    });
    worker.post([&](const Worker::Context& job) { queuedSaw = job.cancelled(); });
    while (!inHand)
        QThread::msleep(1);
    worker.cancel();
    worker.post([&](const Worker::Context& job) { laterSaw = job.cancelled(); });
    EXPECT_TRUE(worker.finish(2s, 2s));
    EXPECT_TRUE(inHandSawCancel);
    EXPECT_EQ(queuedSaw, 1);
    EXPECT_EQ(laterSaw, 0);
}

// finish() lets what is queued run, asked to stop unless it runs within the uncancelled
// part of the bound; then nothing is taken any more.
TEST_F(WorkerTest, FinishRunsWhatIsQueuedAndNothingAfter) {
    for (const auto uncancelled : {0ms, 2000ms}) {
        SCOPED_TRACE(uncancelled.count());
        Worker worker(owner, "test worker", 2s);
        std::vector<int> saw;
        std::mutex m;
        // The first task holds the queue until finish() has had its say: with no uncancelled
        // part, until the cancel reaches it, so that the queued ones cannot run before.
        worker.post([&](const Worker::Context& job) {
            if (uncancelled != 0ms)
                return;
            for (int i = 0; i < 5000 && !job.cancel(); ++i)
                QThread::msleep(1);
        });
        for (int i = 0; i < 3; ++i)
            worker.post([&](const Worker::Context& job) {
                std::lock_guard lock(m);
                saw.push_back(job.cancelled());
            });
        EXPECT_TRUE(worker.finish(3s, uncancelled));
        EXPECT_EQ(saw, std::vector<int>(3, uncancelled == 0ms ? 1 : 0));
        std::atomic<bool> ranAfter{false};
        EXPECT_FALSE(worker.post([&](const Worker::Context&) { ranAfter = true; }));
        EXPECT_TRUE(worker.finish(0ms)) << "a second finish answers as the first";
        QThread::msleep(50);
        EXPECT_FALSE(ranAfter);
    }
}

// How a worker with a stuck task is ended: by finish(), or by its destruction.
struct EndingCase {
    const char* name;
    bool byDestruction;
};

std::string nameOf(const ::testing::TestParamInfo<EndingCase>& c) {
    return c.param.name;
}

class StuckWorkerTest : public WorkerTest, public ::testing::WithParamInterface<EndingCase> {};

// A task that does not return is left behind at the bound: the owner's thread goes on, the
// task queued behind never runs and is freed on the worker's thread, nothing more is
// delivered, and the thread ends (running its end) once the stuck task returns.
TEST_P(StuckWorkerTest, StuckTaskIsLeftBehindAtTheBound) {
    auto gate = std::make_shared<Gate>();
    auto endedOn = std::make_shared<std::atomic<QThread*>>(nullptr);
    auto queuedRan = std::make_shared<std::atomic<bool>>(false);
    auto queuedState = std::make_shared<int>(0);
    std::vector<int> delivered;
    auto worker = std::make_unique<Worker>(owner, "test worker", 300ms,
                                           [endedOn] { *endedOn = QThread::currentThread(); });
    worker->post([gate, &delivered](const Worker::Context& job) {
        gate->pass();
        job.deliver([&delivered] { delivered.push_back(1); });
    });
    worker->post([queuedRan, queuedState](const Worker::Context&) { *queuedRan = true; });
    while (!gate->entered)
        QThread::msleep(1);
    QElapsedTimer t;
    t.start();
    if (GetParam().byDestruction) {
        worker.reset();
    } else {
        EXPECT_FALSE(worker->finish(300ms));
    }
    EXPECT_GE(t.elapsed(), 290);
    EXPECT_LT(t.elapsed(), 1500) << "waited past its bound";
    if (worker) {
        EXPECT_FALSE(worker->post([queuedRan](const Worker::Context&) { *queuedRan = true; }));
    }
    gate->release();
    ASSERT_TRUE(waitFor([&] { return endedOn->load() != nullptr; }));
    EXPECT_NE(endedOn->load(), owner.thread());
    EXPECT_FALSE(*queuedRan);
    EXPECT_TRUE(waitFor([&] { return queuedState.use_count() == 1; })) << "never freed";
    EXPECT_FALSE(waitFor([&] { return !delivered.empty(); }, 200));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the thread object
}

INSTANTIATE_TEST_SUITE_P(Worker, StuckWorkerTest,
                         ::testing::Values(EndingCase{"ByFinish", false},
                                           EndingCase{"ByDestruction", true}),
                         nameOf);

// Calls delivered but not yet run when the owner goes never run (and touch nothing freed).
TEST_F(WorkerTest, CallsStillQueuedWhenTheOwnerGoesNeverRun) {
    auto target = std::make_unique<QObject>();
    auto ran = std::make_shared<std::atomic<bool>>(false);
    {
        Worker worker(*target, "test worker", 2s);
        worker.post([ran](const Worker::Context& job) { job.deliver([ran] { *ran = true; }); });
        EXPECT_TRUE(worker.finish(2s));
    }
    target.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(*ran);
}

// The whole process: a task waits on a loopback server that accepts and never answers; the
// worker gives up at its bound and main returns with the task still waiting. The process
// ends by itself, soon, with nothing on its error output (no sanitizer report, no warning
// of a thread destroyed while running).
class StuckAtExitTest : public ::testing::TestWithParam<EndingCase> {};

TEST_P(StuckAtExitTest, ProcessEndsCleanlyWithItsWorkerStuck) {
    QProcess child;
    QElapsedTimer t;
    t.start();
    child.start(QARN3_WORKER_EXIT_CHILD,
                {GetParam().byDestruction ? "destroy" : "finish", QString::number(400)});
    const bool finished = child.waitForFinished(30000);
    if (!finished) child.kill();
    const std::string out = child.readAllStandardOutput().toStdString();
    const std::string err = child.readAllStandardError().toStdString();
    ASSERT_TRUE(finished) << "the process did not end with its worker stuck";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << err;
    EXPECT_EQ(child.exitCode(), 0) << out << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("left behind"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Worker, StuckAtExitTest,
                         ::testing::Values(EndingCase{"ByFinish", false},
                                           EndingCase{"ByDestruction", true}),
                         nameOf);

} // namespace
