#include "recordswindows/guiprompt.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace qarn3 {

struct GuiPasswordPrompt::State {
    std::mutex m;
    std::condition_variable answered;
    DialogService* dialogs = nullptr; // none once abandoned
    QThread* windowThread = nullptr;
    std::atomic<int> questions{0};

    // On the window's thread: the operator's answer, or none when declined or abandoned.
    std::optional<std::string> ask(const std::string& text) {
        DialogService* d = nullptr;
        {
            std::lock_guard lock(m);
            d = dialogs;
        }
        if (!d) return std::nullopt;
        ++questions;
        return d->passwordBox(kCaption, text);
    }
};

namespace {

// One question handed to the window's thread.
struct Question {
    ~Question() {
        if (answer) clearSecret(*answer);
    }
    bool answered = false;
    std::optional<std::string> answer;
};

} // namespace

GuiPasswordPrompt::GuiPasswordPrompt(DialogService& dialogs) : m_state(std::make_shared<State>()) {
    m_state->dialogs = &dialogs;
    m_state->windowThread = QThread::currentThread();
}

GuiPasswordPrompt::~GuiPasswordPrompt() = default;

std::string GuiPasswordPrompt::question(const DatabaseLocation& where) {
    return "The shared database\n" + escapeControls(where.display()) + "\nwants the password" +
           (where.user.empty() ? std::string() : " of " + escapeControls(where.user)) +
           " (used for this connection only, never stored):";
}

std::optional<std::string> GuiPasswordPrompt::askPassword(const DatabaseLocation& where) {
    const std::string text = question(where);
    if (QThread::currentThread() == m_state->windowThread) return m_state->ask(text);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return std::nullopt;
    auto q = std::make_shared<Question>();
    {
        std::lock_guard lock(m_state->m);
        if (!m_state->dialogs) return std::nullopt;
    }
    // The call captures the shared state, never this object, which may be gone by the time
    // the window's thread runs it.
    const bool posted = QMetaObject::invokeMethod(
        app,
        [state = m_state, q, text] {
            std::optional<std::string> got = state->ask(text);
            std::lock_guard lock(state->m);
            if (got) {
                // Abandoned meanwhile, the worker has gone without an answer.
                if (state->dialogs) q->answer.emplace(*got);
                clearSecret(*got);
            }
            q->answered = true;
            state->answered.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted) return std::nullopt;
    std::optional<std::string> password;
    std::unique_lock lock(m_state->m);
    m_state->answered.wait(lock, [&] { return q->answered || !m_state->dialogs; });
    if (q->answer) {
        password.emplace(*q->answer);
        clearSecret(*q->answer);
        q->answer.reset();
    }
    return password;
}

void GuiPasswordPrompt::abandon() {
    std::lock_guard lock(m_state->m);
    m_state->dialogs = nullptr;
    m_state->answered.notify_all();
}

int GuiPasswordPrompt::questions() const {
    return m_state->questions.load();
}

} // namespace qarn3
