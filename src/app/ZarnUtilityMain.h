#pragma once
// The program's one window: hosts the main frame, reads and writes the settings,
// applies the command line and decides the titles, and waits for the link on close.
#include <QString>
#include <QStringList>
#include <QWidget>

#include "KivsZarnFrame.h"
#include "ZarnCmdParams.h"

class QLabel;

class TfrmZarnUtility : public QWidget {
public:
    static constexpr const char* kCaption = "ZARN Monitor V3.1";

    // iniPath empty: the INI beside the executable. args: the command line without the program name.
    TfrmZarnUtility(const QString& iniPath, const QStringList& args, TfrmKivsZarn::LinkFactory factory = {});
    ~TfrmZarnUtility() override;

    QLabel* pnlTitle;
    TfrmKivsZarn* MainFrame;

    void FormShow();
    void GetCmdParams();
    const TCmdParams& CmdParams() const { return m_params; }
    bool TitleBanner() const { return m_titleBanner; }
    QString TitleText() const { return m_titleText; }
    QString IniPath() const { return m_iniPath; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();
    void ScheduleScreenshot();

    QString m_iniPath;
    QStringList m_args;
    TCmdParams m_params;
    bool m_titleBanner = false;
    QString m_titleText;
    bool m_shown = false;
    bool m_closed = false;
};
