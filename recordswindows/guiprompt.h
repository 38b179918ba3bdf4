#pragma once

#include "store/database.h"

#include <memory>

namespace qarn3 {

class DialogService;

// Asks the operator for a server's password when the client library found none of its own
// (~/.pgpass, PGPASSFILE, PGPASSWORD). The question is asked on the window's thread through
// the dialog service; a worker that asks hands the question over and waits for the answer
// (the window's thread never waits for the worker). Nothing is kept: the answer goes to the
// one connection being made, and every copy this class makes is cleared.
class GuiPasswordPrompt : public DatabasePasswordPrompt {
public:
    // Made on the window's thread, whose dialog service asks.
    explicit GuiPasswordPrompt(DialogService& dialogs);
    ~GuiPasswordPrompt() override;
    GuiPasswordPrompt(const GuiPasswordPrompt&) = delete;
    GuiPasswordPrompt& operator=(const GuiPasswordPrompt&) = delete;

    // Any thread; on the window's thread it asks at once.
    std::optional<std::string> askPassword(const DatabaseLocation& where) override;
    // Window's thread: from now on questions are declined without a box, and a worker waiting
    // for an answer gets none (the program is ending; the dialog service may go).
    void abandon();
    // Boxes shown so far.
    int questions() const;

    // The box's caption and question.
    static constexpr const char* kCaption = "Shared Database";
    static std::string question(const DatabaseLocation& where);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace qarn3
