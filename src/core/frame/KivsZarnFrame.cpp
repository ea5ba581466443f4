#include "KivsZarnFrame.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

#include "Beep.h"
#include "KivZarnAlarmFrame.h"
#include "KivZarnCalibFrame.h"
#include "KivZarnClSk.h"
#include "KivZarnCommFrame.h"
#include "KivZarnDmdFrame.h"
#include "KivZarnOpFrame.h"
#include "KivZarnProgFrame.h"
#include "KivZarnSetupFrame.h"
#include "ZarnAveraging.h"
#include "ZarnRxPath.h"
#include "ZarnStatusLine.h"
#include "ZarnStatusRec.h"
#include "ZarnVersion.h"

namespace {
const char* const kStatusTexts[6] = {
    "", "Searching for ZARN ...", "Connected", "Receiving Data", "Disconnecting ...", "Disconneted"};

QWidget* MakeSheet(QTabWidget* pc, const char* name, const char* caption)
{
    auto* ts = new QWidget;
    ts->setObjectName(QString::fromLatin1(name));
    pc->addTab(ts, QString::fromLatin1(caption));
    return ts;
}

bool InBootloaderRawStates(int s)
{
    return s >= 2 && s <= 11;
}
} // namespace

TfrmKivsZarn::TfrmKivsZarn(QWidget* owner, LinkFactory factory)
    : QWidget(owner), m_factory(std::move(factory)), m_averaging(std::make_unique<TZarnAveraging>())
{
    setObjectName(QStringLiteral("frmKivsZarn"));
    resize(600, 420);

    TimerZarn = new QTimer(this);
    TimerZarn->setObjectName(QStringLiteral("TimerZarn"));
    TimerZarn->setInterval(100);
    TimerZarn->setTimerType(Qt::PreciseTimer);
    connect(TimerZarn, &QTimer::timeout, this, [this] { TimerZarnTimer(); });

    lblSize = new QLabel(QStringLiteral("Label Used to Check Size of Text"), this);
    lblSize->setObjectName(QStringLiteral("lblSize"));
    lblSize->setVisible(false);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    tsOperation = MakeSheet(PageControl, "tsOperation", "Operation");
    tsDemod = MakeSheet(PageControl, "tsDemod", "Demod");
    tsAlarm = MakeSheet(PageControl, "tsAlarm", "Alarms");
    tsSetup = MakeSheet(PageControl, "tsSetup", "Setup");
    tsComm = MakeSheet(PageControl, "tsComm", "Comm");
    tsProgram = MakeSheet(PageControl, "tsProgram", "Program");
    tsSetupCal = MakeSheet(PageControl, "tsSetupCal", "Setup/Cal");

    StatusLine = new TZarnStatusLine(3, this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->SetSection(0, QStringLiteral("TCP/IP  Status"));
    StatusLine->SetSection(1, QStringLiteral("S/N XXXX"));
    StatusLine->SetSection(2, QStringLiteral("Messages"));
    StatusLine->SetSectionWidth(0, 80);
    StatusLine->SetSectionWidth(1, 59);
    StatusLine->SetSectionWidth(2, 89);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PageControl, 1);
    StatusLine->setFixedHeight(20);
    layout->addWidget(StatusLine);

    // 1. Operation page and its command buttons.
    OpFrame = new TZarnOpFrame(tsOperation);
    BindMainFunctions(OpFrame->btnIdle, OpFrame->btnPilot, OpFrame->btnTelem, OpFrame->btnSwap);
    connect(OpFrame->rzbtnAlarm, &QPushButton::clicked, this, [this] { btnAckAlarmClick(); });

    // 2. The two demodulator panels.
    DemodFrame1 = new TZarnDmdFrame(tsDemod);
    DemodFrame1->setObjectName(QStringLiteral("DemodFrame1"));
    DemodFrame1->move(DemodFrame1->x(), 8);
    DemodFrame1->SetCaption(QStringLiteral("Demod 1"));
    DemodFrame2 = new TZarnDmdFrame(tsDemod);
    DemodFrame2->setObjectName(QStringLiteral("DemodFrame2"));
    DemodFrame2->move(DemodFrame2->x(), 188);
    DemodFrame2->SetCaption(QStringLiteral("Demod 2"));

    // 3. Setup page.
    SetupFrame = new TZarnSetupFrame(tsSetup);
    connect(SetupFrame->btnGetSetup, &QPushButton::clicked, this, [this] { btnGetSetupClick(); });
    connect(SetupFrame->btnSaveSetup, &QPushButton::clicked, this, [this] { btnSaveSetupClick(); });

    // 4. Alarms page, which colours the Operation page's ALARM button.
    AlarmFrame = new TZarnAlarmFrame(tsAlarm);
    AlarmFrame->SetAlarmButton(OpFrame->rzbtnAlarm);

    // 5. Comm page.
    CommFrame = new TZarnCommFrame(tsComm);
    CommFrame->Clear();

    // 6. Program page.
    ProgFrame = new TZarnProgFrame(tsProgram);
    ProgFrame->SetTimer(TimerZarn);

    // 7. Setup/Cal page; its address edit and label move to the Operation page's main functions.
    CalibFrame = new TZarnCalibFrame(tsSetupCal);
    BindMainFunctions(CalibFrame->btnIdleTest, CalibFrame->btnPilotTest, CalibFrame->btnTelemTest,
                      CalibFrame->btnSwapTest);
    connect(CalibFrame->editIPAddress, &QLineEdit::editingFinished, this, [this] { editIPAddressExit(); });
    CalibFrame->lblZARNIpAddr->setParent(OpFrame->gbMainFunc);
    CalibFrame->lblZARNIpAddr->move(6, 160);
    CalibFrame->lblZARNIpAddr->show();
    CalibFrame->editIPAddress->setParent(OpFrame->gbMainFunc);
    CalibFrame->editIPAddress->setGeometry(6, 176, 121, 21);
    CalibFrame->editIPAddress->show();

    PageControl->tabBar()->installEventFilter(this);

    // 8.-13. Snapshot queue lives in the averaging; no link yet.
    SetMaintenanceMode(false);
    SetStatusSection(0, QStringLiteral("No Connection"));
    SetStatusSection(1, QStringLiteral("S/N"));
    m_connStatus = 0;
    SetStatusSection(2, QString::fromLatin1(kStatusTexts[0]));
    m_shutdownState = 0;
    m_identCountdown = 0;
    m_messageHold = 0;
    ApplyIdentity(QStringLiteral("V2.00"));
    m_generation = 0;
    m_lastIdentity.clear();
    DisplayReset();
    m_programPage = false;
    m_pageChangeFlag = false;
}

TfrmKivsZarn::~TfrmKivsZarn()
{
    TimerZarn->stop();
    m_link.reset(); // the link's teardown stops its worker before the pages go
}

void TfrmKivsZarn::BindMainFunctions(QPushButton* idle, QPushButton* pilot, QPushButton* telem,
                                     QPushButton* swap)
{
    connect(idle, &QPushButton::clicked, this, [this] { btnIdleClick(); });
    connect(pilot, &QPushButton::clicked, this, [this] { btnPilotClick(); });
    connect(telem, &QPushButton::clicked, this, [this] { btnTelemClick(); });
    connect(swap, &QPushButton::clicked, this, [this] { btnSwapClick(); });
}

// ---------------------------------------------------------------- transmit path

void TfrmKivsZarn::Send(uint8_t msgType, int length, const void* payload)
{
    if (length < 0 || length > ZarnMaxPayload)
        return; // no valid frame can carry it
    m_txRec.MsgType = msgType;
    m_txRec.Length = static_cast<uint8_t>(length);
    if (length > 0 && payload)
        std::memcpy(m_txRec.Payload, payload, static_cast<size_t>(length));
    Transmit();
}

void TfrmKivsZarn::Transmit()
{
    // Framed traffic is held back while the main processor's bootloader is being recovered.
    if (ProgFrame->cbBL->isChecked() && !ProgFrame->rbProgIRIG->isChecked())
        return;
    if (!ZarnSealFrame(m_txRec))
        return;
    if (m_link && m_link->IsConnected()) {
        auto bytes = ZarnWireBytes(m_txRec);
        m_link->SendBlock(bytes.data(), static_cast<int>(bytes.size()));
        if (m_maintenance)
            CommFrame->LogFrame(true, m_txRec);
    }
}

// ---------------------------------------------------------------- status line

void TfrmKivsZarn::SetStatusSection(int index, const QString& text)
{
    StatusLine->SetSection(index, text);
    switch (index) {
    case 0:
        StatusLine->SetSectionWidth(0, 150);
        break;
    case 1: {
        lblSize->setText(text);
        lblSize->adjustSize();
        StatusLine->SetSectionWidth(1, std::max(lblSize->width() + 10, 100));
        break;
    }
    case 2:
        StatusLine->SetSectionWidth(2, 350);
        break;
    default:
        break;
    }
}

void TfrmKivsZarn::SetConnStatus(int n)
{
    if (n == m_connStatus || n < 0 || n > 5)
        return;
    m_connStatus = n;
    const QString address = LinkAddress();
    if (n == 1 && !address.isEmpty())
        SetStatusSection(2, QString::fromLatin1(kStatusTexts[1]) + QStringLiteral(" @ ") + address);
    else
        SetStatusSection(2, QString::fromLatin1(kStatusTexts[n]));
}

// ---------------------------------------------------------------- monitoring

void TfrmKivsZarn::StartMonitoring()
{
    if (!m_link) {
        TZarnLinkNotifyFn notify = [this](int code, const QString& text) { LinkNotify(code, text); };
        m_link = m_factory ? m_factory(notify) : std::make_unique<TZarnSckObj>(this, notify);
        m_link->CreateClient();
        m_link->SetAddress(CalibFrame->editIPAddress->text());
        TZarnRxPath& rx = m_link->RxPath();
        rx.SetBootStateFn([this] { return ProgFrame->BootloaderState(); });
        rx.SetAverageFn([this](const TZarnFrame& f) { return AverageStatusFrame(f); });
    } else if (!m_link->IsLinkUp()) {
        m_link->Open(true);
    }
    SetConnStatus(1);
    TimerZarn->start();
}

void TfrmKivsZarn::BeginShutdown()
{
    if (m_link)
        m_link->RequestShutdown();
    m_shutdownState = 1;
    TimerZarn->start();
}

void TfrmKivsZarn::CloseLink()
{
    if (m_link)
        m_link->Open(false);
}

QString TfrmKivsZarn::LinkAddress() const
{
    return m_link ? m_link->GetAddress() : QString();
}

void TfrmKivsZarn::LinkNotify(int code, const QString& text)
{
    if (m_shutdownState != 0)
        return;
    if (code == 1) {
        m_connected = true;
        SetStatusSection(0, text);
        SetConnStatus(2);
        m_identCountdown = 2;
        m_noDataTicks = m_noLinkTicks = m_noDataStrikes = 0;
    } else if (code == 2) {
        SetStatusSection(0, text);
        SetConnStatus(5);
        SetStatusSection(1, QStringLiteral("S/N"));
        DisplayReset();
        SetConnStatus(1);
    }
}

// ---------------------------------------------------------------- timer and dispatch

void TfrmKivsZarn::TimerZarnTimer()
{
    if (m_shutdownState == 1 && !(m_link && m_link->IsLinkUp())) {
        m_shutdownState = 2;
        TimerZarn->stop();
        return;
    }
    if (m_shutdownState != 0)
        return;
    const int bl = ProgFrame->BootloaderState();
    if (InBootloaderRawStates(bl)) {
        ProgFrame->Tick();
        return;
    }
    m_messageHold = m_messageHold > 0 ? m_messageHold - 1 : 0;

    if (!Dispatch() && ProgFrame->BootloaderState() >= 12) {
        ProgFrame->FrameStep(nullptr);
        m_noDataTicks = m_noLinkTicks = m_noDataStrikes = 0;
    }

    if (m_connStatus == 2) {
        if (++m_noDataTicks > 20) {
            m_noDataTicks = 0;
            SetStatusSection(2, QStringLiteral("Connected - No Data"));
            if (++m_noDataStrikes >= 5)
                CloseLink();
        }
        AlarmFrame->BeeperTick();
    } else {
        if (++m_noLinkTicks >= 20) {
            m_noLinkTicks = 0;
            DisplayReset();
        }
    }

    if (m_identCountdown > 0 && --m_identCountdown == 0)
        Send(14, 0, nullptr);
}

bool TfrmKivsZarn::Dispatch()
{
    if (!m_link || !m_link->IsLinkUp())
        return false;
    auto& queue = m_link->RxPath().DeliveryQueue();
    int handled = 0;
    while (handled < 10) {
        const TZarnFrame* head = queue.Peek();
        if (!head)
            break;
        m_rxRec = *head;
        ++handled;
        // The frame leaves the queue even when handling it fails.
        struct RemoveHead {
            TZarnSafeQueue<TZarnFrame>& Q;
            ~RemoveHead() { Q.RemoveHead(); }
        } remove{queue};
        HandleFrame(m_rxRec);
    }
    return handled > 0;
}

void TfrmKivsZarn::HandleFrame(const TZarnFrame& f)
{
    if (m_connStatus != 2 && m_connStatus != 3)
        return;
    switch (f.MsgType) {
    case 0:
        DisplayStep();
        if (m_identCountdown <= 0 && --m_identCountdown <= -29)
            m_identCountdown = 10;
        break;
    case 10:
        ProgFrame->FrameStep(&f);
        break;
    case 14:
        HandleIdentity(f);
        break;
    case 16:
        CalibFrame->ShowCalRecord(f.Payload);
        break;
    case 17:
        SetStatusSection(2, QStringLiteral("Configuration Downloaded"));
        m_messageHold = 20;
        break;
    case 19:
        if (f.Length == 26)
            AlarmFrame->ShowSetupRecord(f.Payload);
        break;
    case 21:
        if (m_setupRequested || ActivePage() != tsSetup) {
            m_setupRequested = false;
            SetupFrame->ShowRecord(f.Payload);
        }
        break;
    case 23:
        CalibFrame->ShowVcoDac(f.Payload);
        break;
    case 25:
        CalibFrame->ShowVcoAdc(f.Payload);
        break;
    default:
        break;
    }
    if (m_maintenance)
        CommFrame->LogFrame(false, f);
    if (OnFrameDispatched)
        OnFrameDispatched(f);
}

// ---------------------------------------------------------------- identification

void TfrmKivsZarn::HandleIdentity(const TZarnFrame& f)
{
    m_identCountdown = 0;
    const QString text = IdentityText(f);
    if (ApplyIdentity(text)) {
        SetStatusSection(1, text);
        m_lastIdentity = text;
        if (ActivePage() != tsSetup)
            btnGetSetupClick();
    } else {
        SetStatusSection(1, QStringLiteral("Could Not Identify ZARN"));
        m_identCountdown = 20;
        m_lastIdentity.clear();
    }
}

bool TfrmKivsZarn::ApplyIdentity(const QString& text)
{
    TZarnIdentityInputs in;
    in.Generation = m_generation;
    in.Connected = m_connected;
    in.Maintenance = m_maintenance;
    in.ProgramFlag = m_programPage;
    const TZarnIdentityPlan plan = PlanIdentity(text, in);
    if (plan.RunOperationLayout)
        OpFrame->ApplyGeneration(plan.Generation);
    SetTabVisible(tsDemod, plan.DemodTabVisible);
    SetTabVisible(tsAlarm, plan.AlarmTabVisible);
    SetTabVisible(tsSetup, plan.SetupTabVisible);
    OpFrame->rzbtnAlarm->setVisible(plan.AlarmButtonVisible);
    if (plan.BtnTelemVisible)
        OpFrame->btnTelem->setVisible(*plan.BtnTelemVisible);
    if (plan.SetupCalCaption)
        PageControl->setTabText(PageControl->indexOf(tsSetupCal), *plan.SetupCalCaption);
    if (plan.RunSetupApplyLayout)
        SetupFrame->ApplyLayout(plan.Generation);
    if (plan.RunCalibGenerationStep)
        CalibFrame->ApplyGeneration(plan.Generation);
    SetTabVisible(tsComm, plan.CommTabVisible);
    SetTabVisible(tsSetupCal, plan.SetupCalTabVisible);
    SetTabVisible(tsProgram, plan.ProgramTabVisible);
    m_generation = plan.Generation;
    return plan.Recognised;
}

// ---------------------------------------------------------------- averaging and display

bool TfrmKivsZarn::AverageStatusFrame(const TZarnFrame& frame)
{
    if (m_generation == 0)
        return false;
    const TZarnAveraging::Result r = m_averaging->Average(frame, m_generation);
    if (r.Processed && (m_connStatus == 2 || m_connStatus == 3) && m_messageHold == 0)
        ResetDataFlowCounters();
    return r.Deliver;
}

void TfrmKivsZarn::DisplayStep()
{
    if (m_generation == 0)
        return;
    auto snap = m_averaging->TakeNewestSnapshot();
    if (!snap)
        return;
    CalibFrame->ShowVcoVolts(snap->Rec.VcoVolts);
    OpFrame->ApplyStatus(snap->Rec);
    try {
        DemodFrame1->Apply(snap->Rec.Demod1, snap->Sample1);
        DemodFrame2->Apply(snap->Rec.Demod2, snap->Sample2);
    } catch (...) {
        // A panel that cannot show a reading keeps its previous look.
    }
    if ((m_connStatus == 2 || m_connStatus == 3) && m_messageHold == 0) {
        ResetDataFlowCounters();
        SetStatusSection(2, ReceivingDataText(snap->Rec));
    }
}

void TfrmKivsZarn::ResetDataFlowCounters()
{
    m_noDataTicks = m_noLinkTicks = m_noDataStrikes = 0;
}

// ---------------------------------------------------------------- commands, address, modes

void TfrmKivsZarn::btnIdleClick()
{
    Send(1, 0, nullptr);
}
void TfrmKivsZarn::btnPilotClick()
{
    Send(2, 0, nullptr);
}
void TfrmKivsZarn::btnTelemClick()
{
    Send(3, 0, nullptr);
}
void TfrmKivsZarn::btnSwapClick()
{
    Send(4, 0, nullptr);
}
void TfrmKivsZarn::btnAckAlarmClick()
{
    Send(18, 0, nullptr);
}

void TfrmKivsZarn::btnGetSetupClick()
{
    m_setupRequested = true;
    Send(21, 0, nullptr);
}

void TfrmKivsZarn::btnSaveSetupClick() {}

void TfrmKivsZarn::SetMaintenanceMode(bool on)
{
    m_maintenance = on;
    PageControl->setCurrentWidget(tsOperation);
    if (m_connected) {
        SetTabVisible(tsComm, on);
        SetTabVisible(tsProgram, on || m_programPage);
        SetTabVisible(tsSetupCal, on);
        OpFrame->btnTelem->setVisible(on && !IsV3());
    } else {
        DisplayReset();
    }
}

void TfrmKivsZarn::SetDeviceAddress(const QString& text)
{
    if (m_link && m_link->GetAddress() != text) {
        CloseLink();
        m_link->SetAddress(text);
        if (m_connStatus == 1)
            SetStatusSection(2, QString::fromLatin1(kStatusTexts[1]) + QStringLiteral(" @ ") + text);
    }
    CalibFrame->editIPAddress->setText(text);
}

void TfrmKivsZarn::editIPAddressExit()
{
    const QString text = CalibFrame->editIPAddress->text();
    if (text == LinkAddress())
        return;
    if (m_connStatus == 2 || m_connStatus == 3)
        SetConnStatus(4);
    SetDeviceAddress(text);
}

void TfrmKivsZarn::DisplayReset()
{
    m_connected = false;
    OpFrame->Reset();
    DemodFrame1->Reset();
    DemodFrame2->Reset();
    m_averaging->Reset();
    SetTabVisible(tsDemod, m_maintenance);
    SetTabVisible(tsAlarm, m_maintenance);
    SetTabVisible(tsSetup, m_maintenance);
    SetTabVisible(tsComm, m_maintenance);
    SetTabVisible(tsProgram, m_maintenance || m_programPage);
    SetTabVisible(tsSetupCal, m_maintenance);
    if (ActivePage() != tsOperation && !m_maintenance && !(m_programPage && ActivePage() == tsProgram))
        PageControl->setCurrentWidget(tsOperation);
    OpFrame->btnTelem->setVisible(m_maintenance && !IsV3());
    OpFrame->rzbtnAlarm->setVisible(false);
    AlarmFrame->Reset();
    CalibFrame->Reset();
    m_pageChangeFlag = true;
    m_setupRequested = false;
}

bool TfrmKivsZarn::PageControlChanging()
{
    // While a programming run owns the link, other pages would show stale data and their
    // commands would interleave with the bootloader exchange: keep the Program page in front.
    if (ProgFrame->BootloaderState() != 0) {
        plat::Beep(plat::BeepKind::Default);
        return false;
    }
    return true;
}

bool TfrmKivsZarn::eventFilter(QObject* watched, QEvent* event)
{
    // Only the operator's page changes are subject to refusal; the program moves pages freely.
    if (watched == PageControl->tabBar()) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            auto* me = static_cast<QMouseEvent*>(event);
            const int index = PageControl->tabBar()->tabAt(me->position().toPoint());
            if (index >= 0 && index != PageControl->currentIndex() && !PageControlChanging())
                return true;
        } else if (type == QEvent::Wheel || type == QEvent::KeyPress) {
            if (!PageControlChanging())
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmKivsZarn::SetTabVisible(QWidget* sheet, bool visible)
{
    PageControl->setTabVisible(PageControl->indexOf(sheet), visible);
}

QWidget* TfrmKivsZarn::ActivePage() const
{
    return PageControl->currentWidget();
}

// ---------------------------------------------------------------- settings

void TfrmKivsZarn::SetPCAlarm(int value)
{
    AlarmFrame->SetPCAlarm(value);
}
int TfrmKivsZarn::PCAlarm() const
{
    return AlarmFrame->PCAlarm();
}
void TfrmKivsZarn::SetSetupDefaults(const TZarnSetupDefaults& d)
{
    SetupFrame->SetDefaults(d);
}
