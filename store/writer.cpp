#include "store/writer.h"

namespace qarn3 {

// The worker's database connection: made, used and closed on the worker's thread only. The
// writer it reports to is reached only from the calls delivered to it.
struct ShotWriter::Connection {
    DatabaseLocation where;
    OpenOptions options;
    ShotWriter* owner;
    std::unique_ptr<RecordsDatabase> db;

    // A task asked to stop is a shot or change still queued when finish() gave up waiting.
    void store(const ShotSubmission& s, std::uint64_t ticket, const Worker::Context& job) {
        StoreOutcome outcome;
        outcome.ticket = ticket;
        if (job.cancelled())
            outcome.error = {
                RecordsErrorKind::Failed, {}, "The program ended before the shot was stored"};
        else if (openIfNeeded(false, outcome.error, job)) {
            outcome.error = RecordsStore(*db).storeShot(s.context, s.shot, outcome.shot);
            // Damage found while writing: read the whole file, set it aside when it is
            // damaged, and store the shot in the new database.
            if (outcome.error.kind == RecordsErrorKind::Damaged &&
                openIfNeeded(true, outcome.error, job))
                outcome.error = RecordsStore(*db).storeShot(s.context, s.shot, outcome.shot);
        }
        job.deliver([w = owner, outcome] { emit w->stored(outcome); });
    }

    void write(const std::function<RecordsError(RecordsDatabase&)>& change, std::uint64_t ticket,
               const Worker::Context& job) {
        RecordsError error;
        if (job.cancelled())
            error = {
                RecordsErrorKind::Failed, {}, "The program ended before the change was stored"};
        else if (openIfNeeded(false, error, job))
            error = change(*db);
        job.deliver([w = owner, ticket, error] { emit w->written(ticket, error); });
    }

    bool openIfNeeded(bool fullCheck, RecordsError& error, const Worker::Context& job) {
        if (db && db->isOpen() && !fullCheck) return true;
        OpenOptions o = options;
        o.fullCheck = fullCheck;
        db.reset(); // its connection goes before a new one opens the file
        db = std::make_unique<RecordsDatabase>(where, o);
        const OpenReport report = db->open();
        job.deliver([w = owner, report] { emit w->opened(report); });
        if (report.ok) return true;
        error = report.error;
        db.reset();
        return false;
    }
};

ShotWriter::ShotWriter(DatabaseLocation where, OpenOptions options, QObject* parent)
    : QObject(parent),
      m_connection(std::make_shared<Connection>(Connection{std::move(where), options, this, {}})),
      m_worker(*this, "records writer", std::chrono::seconds(5),
               [c = m_connection] { c->db.reset(); }) {
    qRegisterMetaType<qarn3::OpenReport>();
    qRegisterMetaType<qarn3::StoreOutcome>();
    qRegisterMetaType<qarn3::RecordsError>();
}

ShotWriter::~ShotWriter() {
    finish(std::chrono::seconds(5));
}

std::uint64_t ShotWriter::submit(ShotSubmission submission) {
    if (m_finished) return 0;
    const std::uint64_t ticket = ++m_lastTicket;
    m_worker.post([c = m_connection, s = std::move(submission),
                   ticket](const Worker::Context& job) { c->store(s, ticket, job); });
    return ticket;
}

std::uint64_t ShotWriter::submitWrite(std::function<RecordsError(RecordsDatabase&)> write) {
    if (m_finished) return 0;
    const std::uint64_t ticket = ++m_lastTicket;
    m_worker.post([c = m_connection, w = std::move(write), ticket](const Worker::Context& job) {
        c->write(w, ticket, job);
    });
    return ticket;
}

bool ShotWriter::finish(std::chrono::milliseconds bound) {
    if (m_finished) return m_endedInTime;
    m_finished = true;
    // Most of the bound for the queued shots; then they are dropped and only the shot in
    // hand is waited for. Left behind, a store still waits on the database: the thread ends
    // once it gives up, closing its connection, and the database keeps its last complete
    // transaction.
    m_endedInTime = m_worker.finish(bound, bound * 3 / 4);
    return m_endedInTime;
}

} // namespace qarn3
