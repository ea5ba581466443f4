// Program entry: the application title, the one window, the message loop.
#include <QApplication>

#include "KivUtils.h"
#include "MessageBoxes.h"
#include "ZarnUtilityMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zarn-monitor"));
    plat::SetApplicationTitle(QStringLiteral("ZARN Monitor"));
    ApplyStartupFormatSettings();
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    auto* window = new TfrmZarnUtility(QString(), args);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return app.exec();
}
