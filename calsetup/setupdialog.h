#pragma once

#include "calsetup/setupform.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qarn3 {

struct Services;

// The Setup dialog: edits the setup record and the site's mains frequency (kept in the site
// file beside the setup file); every way of closing it saves. A thin view of SetupForm: the
// program's, made at the start-up (the dialog when first opened), or one of its own.
class TfmSetup : public QDialog {
    Q_OBJECT
public:
    explicit TfmSetup(SetupForm& form, QWidget* parent = nullptr);
    TfmSetup(TSetupRecord& record, TSiteSettings& site, Services& services, char decimalSeparator,
             QWidget* parent = nullptr);

    QLineEdit* ebMaxOnTime;
    QLineEdit* ebMaxOffTime;
    QLineEdit* ebMaxOps;
    QLineEdit* ebDataFileName;
    QComboBox* cbSourceName;
    QLineEdit* ebShuntAmperes;
    QLineEdit* ebShuntMillivolts;
    QComboBox* cbMainsHz; // "60 Hz" (the default) or "50 Hz"
    QPushButton* Button1;

    // Takes the fields, writes and re-reads the setup file and the site file; false (the
    // dialog stays) when a field does not convert.
    bool saveAndClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildControls();

    std::unique_ptr<SetupForm> m_ownForm;
    SetupForm& m_form;
    bool m_closing = false;
};

} // namespace qarn3
