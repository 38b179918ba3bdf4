// The test record panel's controls and their layout.
#include "recordswindows/testrecordpanel.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qarn3 {

namespace {

QLineEdit* edit(QWidget* parent, const char* name, const QString& placeholder = {}) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setPlaceholderText(placeholder);
    return e;
}

QLabel* label(const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
}

QComboBox* editableCombo(QWidget* parent, const char* name, const QString& placeholder) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->lineEdit()->setPlaceholderText(placeholder);
    return c;
}

} // namespace

QWidget* TestRecordPanel::buildBreakerTab() {
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    g->setVerticalSpacing(4);
    cbSite = editableCombo(tab, "site", "choose or type a site");
    cbBreaker = editableCombo(tab, "breaker", "its designation on the site");
    ebMaker = edit(tab, "maker");
    ebModel = edit(tab, "model");
    ebSerial = edit(tab, "serial");
    ebRating = edit(tab, "rating", "amperes");
    ebSettings = edit(tab, "settings", "trip unit settings as read");
    ebLocation = edit(tab, "location", "panel, room");
    cbCurve = new QComboBox(tab);
    cbCurve->setObjectName("curve");
    cbTripUnit = new QComboBox(tab);
    cbTripUnit->setObjectName("trip unit");
    cbTripUnit->addItem("(none)");
    ebTripSettings = edit(tab, "trip settings", "LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8");
    g->addWidget(label("&Site", cbSite), 0, 0);
    g->addWidget(cbSite, 0, 1, 1, 3);
    g->addWidget(label("&Breaker", cbBreaker), 1, 0);
    g->addWidget(cbBreaker, 1, 1, 1, 3);
    g->addWidget(label("Maker", ebMaker), 2, 0);
    g->addWidget(ebMaker, 2, 1);
    g->addWidget(label("Model", ebModel), 2, 2);
    g->addWidget(ebModel, 2, 3);
    g->addWidget(label("Serial", ebSerial), 3, 0);
    g->addWidget(ebSerial, 3, 1);
    g->addWidget(label("&In (A)", ebRating), 3, 2);
    g->addWidget(ebRating, 3, 3);
    g->addWidget(label("Trip unit", ebSettings), 4, 0);
    g->addWidget(ebSettings, 4, 1, 1, 3);
    g->addWidget(label("Location", ebLocation), 5, 0);
    g->addWidget(ebLocation, 5, 1, 1, 3);
    g->addWidget(label("Curves", cbCurve), 6, 0);
    g->addWidget(cbCurve, 6, 1, 1, 3);
    g->addWidget(label("Trip-unit profi&le", cbTripUnit), 7, 0);
    g->addWidget(cbTripUnit, 7, 1, 1, 3);
    g->addWidget(label("Trip-unit settin&gs", ebTripSettings), 8, 0);
    g->addWidget(ebTripSettings, 8, 1, 1, 3);
    g->setColumnStretch(1, 3);
    g->setColumnStretch(3, 2);
    g->setRowStretch(9, 1);
    return tab;
}

QWidget* TestRecordPanel::buildSessionTab() {
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    g->setVerticalSpacing(4);
    cbSession = new QComboBox(tab);
    cbSession->setObjectName("session");
    ebOperator = edit(tab, "operator", "who tests");
    cbCondition = new QComboBox(tab);
    cbCondition->setObjectName("condition");
    cbCondition->addItems({"as-found", "as-left", "other"});
    ebNotes = edit(tab, "notes");
    lbAnalyzer = new QLabel(tab);
    lbAnalyzer->setWordWrap(true);
    g->addWidget(label("S&ession", cbSession), 0, 0);
    g->addWidget(cbSession, 0, 1);
    g->addWidget(label("&Operator", ebOperator), 1, 0);
    g->addWidget(ebOperator, 1, 1);
    g->addWidget(label("Condition", cbCondition), 2, 0);
    g->addWidget(cbCondition, 2, 1);
    g->addWidget(label("Notes", ebNotes), 3, 0);
    g->addWidget(ebNotes, 3, 1);
    g->addWidget(new QLabel("Analyzer"), 4, 0);
    g->addWidget(lbAnalyzer, 4, 1);
    g->setColumnStretch(1, 1);
    g->setRowStretch(5, 1);
    return tab;
}

QWidget* TestRecordPanel::buildTestPointTab() {
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    g->setVerticalSpacing(4);
    cbPole = new QComboBox(tab);
    cbPole->setObjectName("pole");
    cbPole->addItems({"A", "B", "C", "N"});
    cbKind = new QComboBox(tab);
    cbKind->setObjectName("kind");
    cbKind->addItems({"long-time", "short-time", "instantaneous", "ground-fault", "other"});
    ebMultiple = edit(tab, "multiple", "3, 3 x Ir, 1.5 x Isd");
    lbTargetAmps = new QLabel(tab);
    lbTargetAmps->setObjectName("target amps");
    lbTargetBand = new QLabel(tab);
    lbTargetBand->setObjectName("target band");
    lbTargetBand->setWordWrap(true);
    ebTolerance = edit(tab, "tolerance", "%");
    ebTolerance->setText("10");
    rbBandTyped = new QRadioButton("Band", tab);
    rbBandCurve = new QRadioButton("Band from the breaker's curve or trip unit", tab);
    rbMustNotTrip = new QRadioButton("Must not trip, hold", tab);
    auto* group = new QButtonGroup(tab);
    for (QRadioButton* b : {rbBandTyped, rbBandCurve, rbMustNotTrip})
        group->addButton(b);
    rbBandTyped->setChecked(true);
    ebBandMin = edit(tab, "band minimum", "min s");
    ebBandMax = edit(tab, "band maximum", "max s");
    ebHold = edit(tab, "hold", "s");
    g->addWidget(label("&Pole", cbPole), 0, 0);
    g->addWidget(cbPole, 0, 1);
    g->addWidget(label("&Kind", cbKind), 0, 2);
    g->addWidget(cbKind, 0, 3, 1, 2);
    g->addWidget(label("T&arget", ebMultiple), 1, 0);
    g->addWidget(ebMultiple, 1, 1);
    g->addWidget(label("Tolerance %", ebTolerance), 1, 2);
    g->addWidget(ebTolerance, 1, 3, 1, 2);
    g->addWidget(rbBandTyped, 2, 0);
    g->addWidget(ebBandMin, 2, 1);
    g->addWidget(new QLabel("to"), 2, 2, Qt::AlignCenter);
    g->addWidget(ebBandMax, 2, 3);
    g->addWidget(new QLabel("s"), 2, 4);
    g->addWidget(rbBandCurve, 3, 0, 1, 5);
    g->addWidget(rbMustNotTrip, 4, 0, 1, 2);
    g->addWidget(ebHold, 4, 3);
    g->addWidget(new QLabel("s"), 4, 4);
    g->addWidget(lbTargetAmps, 5, 0, 1, 5);
    g->addWidget(lbTargetBand, 6, 0, 1, 5);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    g->setRowStretch(7, 1);
    // Tab goes as the rows read: a band's fields follow its button.
    QWidget::setTabOrder(rbBandTyped, ebBandMin);
    QWidget::setTabOrder(ebBandMin, ebBandMax);
    QWidget::setTabOrder(ebBandMax, rbBandCurve);
    QWidget::setTabOrder(rbBandCurve, rbMustNotTrip);
    QWidget::setTabOrder(rbMustNotTrip, ebHold);
    return tab;
}

void TestRecordPanel::buildControls() {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(6, 6, 6, 6);
    v->setSpacing(6);
    Tabs = new QTabWidget(this);
    Tabs->addTab(buildBreakerTab(), "Breaker");
    Tabs->addTab(buildSessionTab(), "Session");
    Tabs->addTab(buildTestPointTab(), "Test point");
    Tabs->addTab(buildPlanTab(), "Plan");
    v->addWidget(Tabs);

    lbState = new QLabel(this);
    lbState->setWordWrap(true);
    lbState->setObjectName("state");
    QFont bold = lbState->font();
    bold.setBold(true);
    lbState->setFont(bold);
    v->addWidget(lbState);
    lbMessage = new QLabel(this);
    lbMessage->setWordWrap(true);
    lbMessage->setObjectName("message");
    lbMessage->hide();
    v->addWidget(lbMessage);
    lbCalibration = new QLabel(this);
    lbCalibration->setWordWrap(true);
    lbCalibration->setObjectName("calibration");
    lbCalibration->setStyleSheet("color: #c00000;");
    lbCalibration->hide();
    v->addWidget(lbCalibration);

    auto* buttons = new QHBoxLayout;
    btStart = new QPushButton("Start recor&ding", this);
    btUsePoint = new QPushButton("&Use test point", this);
    btEnd = new QPushButton("E&nd session", this);
    buttons->addWidget(btStart);
    buttons->addWidget(btUsePoint);
    buttons->addWidget(btEnd);
    v->addLayout(buttons);

    ShotList = new QTableWidget(0, ShotColumns, this);
    ShotList->setHorizontalHeaderLabels({"#", "Pole", "Current", "Seconds", "Cycles", "x In",
                                         "Verdict", "Target", "Band", "Basis"});
    ShotList->verticalHeader()->hide();
    ShotList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ShotList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShotList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ShotList->setAlternatingRowColors(false);
    // Columns as wide as their widest text: sizing them to the contents at each new row
    // would cost a pulse's end more with every row.
    const char* const widest[ShotColumns] = {"999",
                                             "Pole",
                                             "1200.0 A?",
                                             "Seconds",
                                             "Cycles",
                                             "0.00",
                                             "FAIL SLOW",
                                             "off target, near pickup",
                                             "0.947 – 9.09 s",
                                             "settings LTD=4"};
    QFont boldCells = ShotList->font();
    boldCells.setBold(true);
    const QFontMetrics boldMetrics(boldCells);
    for (int c = 0; c < ShotColumns; ++c)
        ShotList->setColumnWidth(c, boldMetrics.horizontalAdvance(widest[c]) + 12);
    ShotList->horizontalHeader()->setStretchLastSection(true);
    v->addWidget(ShotList, 1);
}

} // namespace qarn3
