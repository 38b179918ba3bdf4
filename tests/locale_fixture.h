#pragma once

#include <clocale>
#include <cstdio>
#include <string>

namespace qarn3::test {

// Switches the C library's number formatting to a locale with a decimal comma for its scope,
// where one is installed, as Qt does at start from an environment such as
// LC_ALL=de_DE.UTF-8. Text the program formats must not change with it.
class CommaNumericLocale {
public:
    CommaNumericLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        m_saved = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name)) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%.1f", 2.5);
                m_active = std::string(buf) == "2,5";
                break;
            }
        }
    }
    ~CommaNumericLocale() { std::setlocale(LC_NUMERIC, m_saved.c_str()); }
    CommaNumericLocale(const CommaNumericLocale&) = delete;
    CommaNumericLocale& operator=(const CommaNumericLocale&) = delete;

    // False where no such locale is installed (the checks then run in the current one).
    bool active() const { return m_active; }

private:
    std::string m_saved;
    bool m_active = false;
};

} // namespace qarn3::test
