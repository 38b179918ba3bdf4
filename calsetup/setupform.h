#pragma once

#include "calsetup/setup.h"
#include "calsetup/sitesettings.h"

namespace qarn3 {

struct Services;

// The Setup dialog without its widgets: made at the start-up, it gives the fields the dialog
// shows and saves what the operator typed (the setup file and the site file written and read
// back, so that what the files hold afterwards is what counts).
class SetupForm {
public:
    SetupForm(TSetupRecord& record, TSiteSettings& site, Services& services, char decimalSeparator);

    // The dialog is shown: its fields and the site's mains frequency (50 or 60 Hz).
    SetupFields FormShow() const;
    int mainsHz() const { return m_site.MainsHz; }
    // Save and Exit: false (a box says why) when a field does not convert or the shunt
    // cannot scale the ranges; the dialog then stays.
    bool save(const SetupFields& fields, int mainsHz);

private:
    TSetupRecord& m_record;
    TSiteSettings& m_site;
    Services& m_s;
    char m_sep;
};

} // namespace qarn3
