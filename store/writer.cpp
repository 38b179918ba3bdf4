#include "store/writer.h"

#include <QThread>

namespace qarn3 {

// Lives on the writer's thread and owns the database connection made there.
class ShotWriter::Worker : public QObject {
    Q_OBJECT
public:
    Worker(DatabaseLocation where, OpenOptions options,
           std::shared_ptr<std::atomic<bool>> dropQueued)
        : m_where(std::move(where)), m_options(options), m_dropQueued(std::move(dropQueued)) {}

    void store(const ShotSubmission& s, std::uint64_t ticket) {
        StoreOutcome outcome;
        outcome.ticket = ticket;
        if (*m_dropQueued) {
            outcome.error = {
                RecordsErrorKind::Failed, {}, "The program ended before the shot was stored"};
            emit done(outcome);
            return;
        }
        if (!openIfNeeded(false, outcome.error)) {
            emit done(outcome);
            return;
        }
        outcome.error = RecordsStore(*m_db).storeShot(s.context, s.shot, outcome.shot);
        // Damage found while writing: read the whole file, set it aside when it is damaged,
        // and store the shot in the new database.
        if (outcome.error.kind == RecordsErrorKind::Damaged && openIfNeeded(true, outcome.error))
            outcome.error = RecordsStore(*m_db).storeShot(s.context, s.shot, outcome.shot);
        emit done(outcome);
    }

    void write(const std::function<RecordsError(RecordsDatabase&)>& change, std::uint64_t ticket) {
        RecordsError error;
        if (*m_dropQueued)
            error = {
                RecordsErrorKind::Failed, {}, "The program ended before the change was stored"};
        else if (openIfNeeded(false, error))
            error = change(*m_db);
        emit wrote(ticket, error);
    }

    void close() { m_db.reset(); }

signals:
    void opened(const qarn3::OpenReport& report);
    void done(const qarn3::StoreOutcome& outcome);
    void wrote(std::uint64_t ticket, const qarn3::RecordsError& error);

private:
    bool openIfNeeded(bool fullCheck, RecordsError& error) {
        if (m_db && m_db->isOpen() && !fullCheck) return true;
        OpenOptions options = m_options;
        options.fullCheck = fullCheck;
        m_db.reset(); // its connection goes before a new one opens the file
        m_db = std::make_unique<RecordsDatabase>(m_where, options);
        const OpenReport report = m_db->open();
        emit opened(report);
        if (report.ok) return true;
        error = report.error;
        m_db.reset();
        return false;
    }

    DatabaseLocation m_where;
    OpenOptions m_options;
    std::shared_ptr<std::atomic<bool>> m_dropQueued;
    std::unique_ptr<RecordsDatabase> m_db;
};

ShotWriter::ShotWriter(DatabaseLocation where, OpenOptions options, QObject* parent)
    : QObject(parent), m_dropQueued(std::make_shared<std::atomic<bool>>(false)) {
    qRegisterMetaType<qarn3::OpenReport>();
    qRegisterMetaType<qarn3::StoreOutcome>();
    qRegisterMetaType<qarn3::RecordsError>();
    m_thread = new QThread;
    m_thread->setObjectName("records writer");
    m_worker = new Worker(std::move(where), options, m_dropQueued);
    m_worker->moveToThread(m_thread);
    connect(m_worker, &Worker::opened, this, &ShotWriter::opened, Qt::QueuedConnection);
    connect(m_worker, &Worker::done, this, &ShotWriter::stored, Qt::QueuedConnection);
    connect(m_worker, &Worker::wrote, this, &ShotWriter::written, Qt::QueuedConnection);
    // The worker goes with its thread, on that thread; the thread object on this one. Both
    // also when finish() left the thread behind.
    Worker* worker = m_worker;
    connect(
        m_thread, &QThread::finished, m_thread, [worker] { delete worker; }, Qt::DirectConnection);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

ShotWriter::~ShotWriter() {
    finish(std::chrono::seconds(5));
}

std::uint64_t ShotWriter::submit(ShotSubmission submission) {
    if (m_finished) return 0;
    const std::uint64_t ticket = ++m_lastTicket;
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, s = std::move(submission), ticket] { worker->store(s, ticket); },
        Qt::QueuedConnection);
    return ticket;
}

std::uint64_t ShotWriter::submitWrite(std::function<RecordsError(RecordsDatabase&)> write) {
    if (m_finished) return 0;
    const std::uint64_t ticket = ++m_lastTicket;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, w = std::move(write), ticket] { worker->write(w, ticket); },
        Qt::QueuedConnection);
    return ticket;
}

bool ShotWriter::finish(std::chrono::milliseconds bound) {
    if (m_finished) return m_endedInTime;
    m_finished = true;
    // Behind every queued shot: close the connection on its own thread, then end the thread.
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker] {
            worker->close();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    // Most of the bound for the queued shots; then they are dropped and only the shot in
    // hand is waited for.
    const auto first = bound * 3 / 4;
    bool ended = m_thread->wait(static_cast<unsigned long>(first.count()));
    if (!ended) {
        *m_dropQueued = true;
        ended = m_thread->wait(static_cast<unsigned long>((bound - first).count()));
    }
    m_endedInTime = ended;
    if (ended) delete m_thread; // its worker is gone with it
    // Otherwise a store still waits on the database: the thread ends once it gives up, and
    // the database keeps its last complete transaction.
    m_thread = nullptr;
    m_worker = nullptr;
    return ended;
}

} // namespace qarn3

#include "writer.moc"
