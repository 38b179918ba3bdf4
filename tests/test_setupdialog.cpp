#include "calsetup/setupdialog.h"

#include "record_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class SetupDialogTest : public RecordTest {
protected:
    SetupDialogTest() {
        rec.SetupFileName = file("QARN3.osf");
        rec.DataFileName = file("QARN3.odf");
        ReadSetupFile(rec, services, '.');
        dialogs.clear();
    }
    TSetupRecord rec;
    TSiteSettings site;
};

TEST_F(SetupDialogTest, ShowsTheRecordInItsFormats) {
    TfmSetup dlg(rec, site, services, '.');
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Setup");
    EXPECT_EQ(dlg.ebMaxOnTime->text(), "5.00");
    EXPECT_EQ(dlg.ebShuntAmperes->text(), "1000.0");
    EXPECT_EQ(dlg.ebShuntMillivolts->text(), "100.00");
    EXPECT_EQ(dlg.cbSourceName->currentText(), "COM");
    EXPECT_EQ(dlg.Button1->text(), "Save and Exit");
    dlg.cbSourceName->setEditText("USB");
    dlg.ebMaxOffTime->setText("7.5");
    dlg.close(); // the close box saves like the button
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(rec.SourceKind, kSourceUsb);
    EXPECT_DOUBLE_EQ(rec.MaxOffTime, 7.5);
    EXPECT_NE(contents("QARN3.osf").find("7.50\r\n"), std::string::npos);
}

TEST_F(SetupDialogTest, LettersInShuntAmperesRefuseTheClose) {
    const std::string before = contents("QARN3.osf");
    TfmSetup dlg(rec, site, services, '.');
    dlg.show();
    dlg.ebMaxOnTime->setText("2.00");
    dlg.ebShuntAmperes->setText("lots");
    dlg.Button1->click();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "'lots' is not a valid floating point value");
    EXPECT_DOUBLE_EQ(rec.MaxOnTime, 2.0);
    EXPECT_EQ(contents("QARN3.osf"), before);
    dlg.ebShuntAmperes->setText("500");
    dlg.Button1->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_DOUBLE_EQ(rec.ShuntAmperes, 500);
}

TEST_F(SetupDialogTest, ZeroShuntMillivoltsRefusesTheClose) {
    const std::string before = contents("QARN3.osf");
    TfmSetup dlg(rec, site, services, '.');
    dlg.show();
    dlg.ebShuntMillivolts->setText("0");
    dlg.Button1->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dialogs.shown().back().text,
              "Shunt Amperes and Shunt Millivolts must be greater than zero");
    EXPECT_EQ(contents("QARN3.osf"), before);
}

// The mains frequency goes to the site file beside the setup file, whose nine lines stay as
// they were; a read-only site file keeps the old choice, which the dialog then holds too.
TEST_F(SetupDialogTest, MainsFrequencyIsKeptBesideTheSetupFile) {
    const std::string setupBefore = contents("QARN3.osf");
    TfmSetup dlg(rec, site, services, '.');
    dlg.show();
    EXPECT_EQ(dlg.cbMainsHz->currentText(), "60 Hz");
    dlg.cbMainsHz->setCurrentText("50 Hz");
    dlg.Button1->click();
    EXPECT_EQ(site.MainsHz, 50);
    EXPECT_NE(contents("QARN3Site.ini").find("\r\nMainsHz=50\r\n"), std::string::npos);
    EXPECT_EQ(contents("QARN3.osf"), setupBefore);
    EXPECT_TRUE(dialogs.shown().empty());

    ASSERT_TRUE(files.setReadOnly(file("QARN3Site.ini"), true));
    dlg.show();
    EXPECT_EQ(dlg.cbMainsHz->currentText(), "50 Hz");
    dlg.cbMainsHz->setCurrentText("60 Hz");
    dlg.Button1->click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Error writing file: " + file("QARN3Site.ini"));
    EXPECT_EQ(site.MainsHz, 50);
}

} // namespace
