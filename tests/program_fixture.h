#pragma once

#include "app/assembly.h"

#include <memory>

namespace qarn3::test {

// The whole program as main makes it (ProgramAssembly), with a test's USB library, serial
// port and device store; used as a pointer to its main window.
class StartedProgram {
public:
    StartedProgram() = default;
    explicit StartedProgram(const ProgramAssembly::Platform& platform)
        : m_app(std::make_unique<ProgramAssembly>(platform)) {}

    TfmQARN3* operator->() const { return &m_app->window(); }
    TfmQARN3& operator*() const { return m_app->window(); }
    ProgramAssembly& app() const { return *m_app; }
    AnalyzerLinks& links() const { return m_app->links(); }
    explicit operator bool() const { return m_app != nullptr; }
    void reset() { m_app.reset(); }

private:
    std::unique_ptr<ProgramAssembly> m_app;
};

} // namespace qarn3::test
