#include "calsetup/setupform.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"

namespace qarn3 {

SetupForm::SetupForm(TSetupRecord& record, TSiteSettings& site, Services& services,
                     char decimalSeparator)
    : m_record(record), m_site(site), m_s(services), m_sep(decimalSeparator) {
    m_s.log.AddDebugLine("FormCreate Setup ");
}

SetupFields SetupForm::FormShow() const {
    m_s.log.AddDebugLine("Setup Form Show ");
    return setupFieldsOf(m_record, m_sep);
}

bool SetupForm::save(const SetupFields& fields, int mainsHz) {
    m_s.log.AddDebugLine("Setup Form Close ");
    try {
        takeSetupFields(fields, m_record, m_sep);
    } catch (const ConvertError& e) {
        m_s.dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
        return false;
    }
    if (const std::string problem = shuntProblem(m_record); !problem.empty()) {
        m_s.dialogs.messageDlg(problem, MsgKind::Error, {MsgButton::OK});
        return false;
    }
    WriteSetupFile(m_record, m_s, m_sep);
    try {
        ReadSetupFile(m_record, m_s, m_sep);
    } catch (const std::exception& e) {
        m_s.dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
    }
    // As with the setup file, what the file holds afterwards is what counts: a refused write
    // leaves the old choice.
    m_site.MainsHz = mainsHz;
    const std::string sitePath = siteFileBeside(m_record.SetupFileName);
    WriteSiteFile(m_site, sitePath, m_s);
    ReadSiteFile(m_site, sitePath, m_s);
    return true;
}

} // namespace qarn3
