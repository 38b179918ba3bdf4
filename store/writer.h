#pragma once

#include "platform/worker.h"
#include "store/store.h"

#include <QMetaType>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace qarn3 {

// A finished shot as the program hands it over at a pulse's end.
struct ShotSubmission {
    ShotContext context;
    NewShot shot;
};

// What became of a submitted shot: stored (its id, multiple, band and verdict in shot) or
// not (error says why; the program tells the operator and still writes its results file).
struct StoreOutcome {
    std::uint64_t ticket = 0;
    ShotRecord shot;
    RecordsError error;
};

// Stores shots off the calling thread. submit() copies the shot into a task and returns at
// once; a Worker with its own database connection, made, used and closed on the worker's
// thread, opens the database (at the first shot, and again after a failure), stores each
// shot in one transaction and reports back through the signals, which arrive on the thread
// that made the writer. The calling thread never waits on the worker: no lock is held
// across any database work, and only finish() (at exit) waits, with a bound.
class ShotWriter : public QObject {
    Q_OBJECT
public:
    explicit ShotWriter(DatabaseLocation where, OpenOptions options = {},
                        QObject* parent = nullptr);
    // Finishes with a bound of five seconds if finish() was not called.
    ~ShotWriter() override;

    // Queues the shot; the outcome will carry the returned ticket (0 after finish()).
    std::uint64_t submit(ShotSubmission submission);
    // Queues another change of the records (a breaker's edit, the curves it names), run on
    // the worker's connection in turn with the shots; written carries the returned ticket
    // (0 after finish()). The function runs on the worker's thread: it takes its values by
    // copy.
    std::uint64_t submitWrite(std::function<RecordsError(RecordsDatabase&)> write);
    // At exit: stores what is queued, waiting at most bound; what is still queued then is
    // dropped and the worker ends after the shot in hand. True when the worker ended in time.
    bool finish(std::chrono::milliseconds bound);

signals:
    // The worker opened the database: notes for the operator (a damaged file set aside, a
    // read-only database) or why it could not.
    void opened(const qarn3::OpenReport& report);
    void stored(const qarn3::StoreOutcome& outcome);
    void written(std::uint64_t ticket, const qarn3::RecordsError& error);

private:
    struct Connection;
    std::shared_ptr<Connection> m_connection; // shared with the tasks, touched by them only
    Worker m_worker;
    std::uint64_t m_lastTicket = 0;
    bool m_finished = false;
    bool m_endedInTime = false;
};

} // namespace qarn3

Q_DECLARE_METATYPE(qarn3::OpenReport)
Q_DECLARE_METATYPE(qarn3::StoreOutcome)
Q_DECLARE_METATYPE(qarn3::RecordsError)
