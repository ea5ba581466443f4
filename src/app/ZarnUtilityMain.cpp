#include "ZarnUtilityMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "KivZarnSetupFrame.h"
#include "MessageBoxes.h"
#include "ZarnSettings.h"

TfrmZarnUtility::TfrmZarnUtility(const QString& iniPath, const QStringList& args,
                                 TfrmKivsZarn::LinkFactory factory)
    : QWidget(nullptr), m_iniPath(iniPath), m_args(args)
{
    setObjectName(QStringLiteral("frmZarnUtility"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // Single border, minimize only: the window keeps its design size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    if (m_iniPath.isEmpty())
        m_iniPath = ZarnIniPath(QCoreApplication::applicationFilePath());

    // FormCreate
    pnlTitle = new QLabel(this);
    pnlTitle->setObjectName(QStringLiteral("pnlTitle"));
    pnlTitle->setAlignment(Qt::AlignCenter);
    pnlTitle->setAutoFillBackground(true);
    pnlTitle->setFrameShape(QFrame::Panel);
    pnlTitle->setFrameShadow(QFrame::Raised);
    QFont f = pnlTitle->font();
    f.setBold(true);
    f.setPixelSize(16);
    pnlTitle->setFont(f);
    pnlTitle->setVisible(true);
    m_titleBanner = false;
    m_titleText.clear();

    MainFrame = new TfrmKivsZarn(this, std::move(factory));
    const int bannerHeight = 32;
    pnlTitle->setGeometry(0, 0, MainFrame->width(), bannerHeight);
    MainFrame->move(0, bannerHeight);
    setFixedSize(MainFrame->width(), MainFrame->height() + bannerHeight);
}

TfrmZarnUtility::~TfrmZarnUtility() = default;

void TfrmZarnUtility::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmZarnUtility::FormShow()
{
    const TZarnIniSettings ini = LoadZarnIni(m_iniPath);
    MainFrame->SetDeviceAddress(ini.IpAddress);
    MainFrame->SetPCAlarm(ini.PcAlarm);
    TZarnSetupDefaults d;
    d.GoesZarn = ini.GoesZarn;
    d.IfGoesN = ini.DefaultIfGoesN;
    d.IfGoesR = ini.DefaultIfGoesR;
    d.SawGoesN = ini.DefaultSawGoesN;
    d.SawGoesR = ini.DefaultSawGoesR;
    MainFrame->SetSetupDefaults(d);
    MainFrame->ApplyIdentity(ini.LastVersion);

    GetCmdParams();

    // Titles
    const QString appTitle =
        m_titleText.isEmpty() ? QStringLiteral("ZARN Monitor") : QStringLiteral("ZARN ") + m_titleText;
    plat::SetApplicationTitle(appTitle);
    if (m_titleBanner && !m_titleText.isEmpty()) {
        setWindowTitle(QString::fromLatin1(kCaption));
        pnlTitle->setText(m_titleText);
    } else {
        pnlTitle->setVisible(false);
        MainFrame->move(0, 0);
        setFixedSize(width(), height() - pnlTitle->height());
        setWindowTitle(m_titleText.isEmpty()
                           ? QString::fromLatin1(kCaption)
                           : m_titleText + QStringLiteral(" - ") + QString::fromLatin1(kCaption));
    }

    MainFrame->StartMonitoring();
    ScheduleScreenshot();
}

void TfrmZarnUtility::GetCmdParams()
{
    m_params = ParseCmdParams(m_args);
    // Apply in the order the options take effect; a repeated option has already kept its last value.
    for (const QString& a : m_args) {
        if (a == QLatin1String("-AQDSS"))
            MainFrame->SetMaintenanceMode(true);
        else if (a == QLatin1String("-PRG"))
            MainFrame->SetProgramPageFlag(true);
        else if (a.startsWith(QLatin1String("-IP=")))
            MainFrame->SetDeviceAddress(a.mid(4));
        else if (a.startsWith(QLatin1String("-PA=")))
            if (auto v = ParseCmdParams({a}).PcAlarm)
                MainFrame->SetPCAlarm(*v);
    }
    if (m_params.TitleText)
        m_titleText = *m_params.TitleText;
    if (m_params.TitleBanner)
        m_titleBanner = true;
    if (m_params.BannerColor) {
        QPalette pal = pnlTitle->palette();
        const QColor c = ColorFromRef(*m_params.BannerColor);
        pal.setColor(QPalette::Window, c);
        pnlTitle->setPalette(pal);
        pnlTitle->setStyleSheet(QStringLiteral("QLabel#pnlTitle { background-color: %1; }").arg(c.name()));
    }
}

void TfrmZarnUtility::ScheduleScreenshot()
{
    if (!m_params.ShotDelayMs)
        return;
    QTimer::singleShot(*m_params.ShotDelayMs, this, [this] {
        if (!m_params.ShotTab.isEmpty()) {
            QTabWidget* pc = MainFrame->PageControl;
            for (int i = 0; i < pc->count(); ++i)
                if (pc->tabText(i) == m_params.ShotTab && pc->isTabVisible(i))
                    pc->setCurrentIndex(i);
            QCoreApplication::processEvents();
        }
        const QPixmap shot = grab();
        if (!shot.save(m_params.ShotFile, "PNG"))
            std::fprintf(stderr, "could not write the screenshot to %s\n", qPrintable(m_params.ShotFile));
        close();
    });
}

void TfrmZarnUtility::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TfrmZarnUtility::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    if (!SaveZarnIni(m_iniPath, MainFrame->LinkAddress(), MainFrame->PCAlarm(),
                     MainFrame->LastIdentityText()))
        std::fprintf(stderr, "could not write the settings to %s\n", qPrintable(m_iniPath));
    MainFrame->BeginShutdown();
    // The main frame's timer ends the shutdown once the link is down; keep it running meanwhile.
    while (MainFrame->ShutdownInProgress()) {
        QThread::msleep(20);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}
