#pragma once
// The main frame: the page control with its seven pages, the status line, the
// 100 ms timer that dispatches received frames and supervises the data flow, the
// transmit path every page sends through, and the device link it owns.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "ZarnFrame.h"
#include "ZarnLinkIntf.h"
#include "ZarnVersion.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class TZarnStatusLine;
class TZarnOpFrame;
class TZarnDmdFrame;
class TZarnAlarmFrame;
class TZarnSetupFrame;
class TZarnCommFrame;
class TZarnProgFrame;
class TZarnCalibFrame;
class TZarnAveraging;
struct TZarnSetupDefaults;

class TfrmKivsZarn : public QWidget {
public:
    // Creates the link for start monitoring; the default makes the device link.
    using LinkFactory = std::function<std::unique_ptr<IZarnLink>(TZarnLinkNotifyFn)>;

    explicit TfrmKivsZarn(QWidget* owner, LinkFactory factory = {});
    ~TfrmKivsZarn() override;

    // Controls, named as on screen.
    QTimer* TimerZarn;
    TZarnStatusLine* StatusLine;
    QLabel* lblSize;
    QTabWidget* PageControl;
    QWidget* tsOperation;
    QWidget* tsDemod;
    QWidget* tsAlarm;
    QWidget* tsSetup;
    QWidget* tsComm;
    QWidget* tsProgram;
    QWidget* tsSetupCal;

    TZarnOpFrame* OpFrame;
    TZarnDmdFrame* DemodFrame1;
    TZarnDmdFrame* DemodFrame2;
    TZarnAlarmFrame* AlarmFrame;
    TZarnSetupFrame* SetupFrame;
    TZarnCommFrame* CommFrame;
    TZarnProgFrame* ProgFrame;
    TZarnCalibFrame* CalibFrame;

    // Transmit path: every page sends through Send.
    void Send(uint8_t msgType, int length, const void* payload);
    void Transmit();
    TZarnFrame& TransmitRecord() { return m_txRec; }

    // Status line.
    void SetStatusSection(int index, const QString& text);
    void SetConnStatus(int n);
    int ConnStatus() const { return m_connStatus; }

    // Monitoring and shutdown (the main window calls these).
    void StartMonitoring();
    void BeginShutdown();
    bool ShutdownInProgress() const { return m_shutdownState == 1; }
    int ShutdownState() const { return m_shutdownState; }
    void CloseLink();
    QString LinkAddress() const;
    IZarnLink* Link() const { return m_link.get(); }

    // Link notifications (code 1 connected, 2 disconnected).
    void LinkNotify(int code, const QString& text);

    // The 100 ms tick; public so tests drive it directly.
    void TimerZarnTimer();
    // Dispatches up to ten delivered frames; true when at least one was handled.
    bool Dispatch();

    // Identification.
    bool ApplyIdentity(const QString& text);
    bool IsV3() const { return ::IsV3(m_generation); }
    int Generation() const { return m_generation; }
    QString LastIdentityText() const { return m_lastIdentity; }

    // Operator commands, address, maintenance mode.
    void btnIdleClick();
    void btnPilotClick();
    void btnTelemClick();
    void btnSwapClick();
    void btnAckAlarmClick();
    void btnGetSetupClick();
    void btnSaveSetupClick();
    void SetMaintenanceMode(bool on);
    bool MaintenanceMode() const { return m_maintenance; }
    void SetProgramPageFlag(bool on) { m_programPage = on; }
    bool ProgramPageFlag() const { return m_programPage; }
    void SetDeviceAddress(const QString& text);
    void editIPAddressExit();
    void DisplayReset();
    bool Connected() const { return m_connected; }
    // Refuses a page change while a programming run owns the link.
    bool PageControlChanging();

    // Settings the main window hands over.
    void SetPCAlarm(int value);
    int PCAlarm() const;
    void SetSetupDefaults(const TZarnSetupDefaults& d);

    // Supervision counters (read by tests and the status display).
    int NoDataTicks() const { return m_noDataTicks; }
    int NoLinkTicks() const { return m_noLinkTicks; }
    int NoDataStrikes() const { return m_noDataStrikes; }
    int MessageHold() const { return m_messageHold; }
    int IdentCountdown() const { return m_identCountdown; }
    void SetIdentCountdown(int n) { m_identCountdown = n; }
    bool PageChangeFlag() const { return m_pageChangeFlag; }
    bool SetupRequested() const { return m_setupRequested; }

    // Called with every frame the dispatcher handled (for the traffic view and for tests).
    std::function<void(const TZarnFrame&)> OnFrameDispatched;

    TZarnAveraging& Averaging() { return *m_averaging; }
    // The averaging step the link's classify step calls for each status frame.
    bool AverageStatusFrame(const TZarnFrame& frame);
    // Shows the newest snapshot (the dispatcher's action for a status frame).
    void DisplayStep();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BindMainFunctions(QPushButton* idle, QPushButton* pilot, QPushButton* telem, QPushButton* swap);
    void HandleFrame(const TZarnFrame& f);
    void HandleIdentity(const TZarnFrame& f);
    void ResetDataFlowCounters();
    void SetTabVisible(QWidget* sheet, bool visible);
    QWidget* ActivePage() const;

    LinkFactory m_factory;
    std::unique_ptr<IZarnLink> m_link;
    std::unique_ptr<TZarnAveraging> m_averaging;
    TZarnFrame m_txRec{};
    TZarnFrame m_rxRec{};

    int m_connStatus = 0;
    int m_shutdownState = 0;
    int m_noDataTicks = 0;
    int m_noLinkTicks = 0;
    int m_noDataStrikes = 0;
    int m_messageHold = 0;
    int m_identCountdown = 0;
    bool m_connected = false;
    bool m_maintenance = false;
    bool m_programPage = false;
    bool m_pageChangeFlag = false;
    bool m_setupRequested = false;
    int m_generation = 0;
    QString m_lastIdentity;
};
