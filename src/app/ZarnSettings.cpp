#include "ZarnSettings.h"

#include "ZarnCmdParams.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <SimpleIni.h>
#include <cstdint>

namespace {
constexpr const char* kSection = "ZARN";

// Integers as the settings have always been written: decimal, or hexadecimal after "$".
bool ReadIntText(const char* text, int& out)
{
    const auto v = ReadIntegerText(QString::fromUtf8(text));
    if (!v || *v < INT32_MIN || *v > INT32_MAX)
        return false;
    out = static_cast<int>(*v);
    return true;
}

float ReadFloat(CSimpleIniA& ini, const char* key, float def)
{
    const char* v = ini.GetValue(kSection, key, nullptr);
    if (!v)
        return def;
    bool ok = false;
    double d = QString::fromUtf8(v).trimmed().toDouble(&ok);
    return ok ? static_cast<float>(d) : def;
}
} // namespace

QString ZarnIniPath(const QString& executablePath)
{
    QFileInfo exe(executablePath);
    const QString name = exe.completeBaseName() + QStringLiteral(".INI");
    const QString beside = exe.absolutePath() + QDir::separator() + name;
    QFileInfo besideInfo(beside);
    const bool writable =
        besideInfo.exists() ? besideInfo.isWritable() : QFileInfo(exe.absolutePath()).isWritable();
    if (writable)
        return beside;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/zarn-monitor");
    QDir().mkpath(dir);
    return dir + QDir::separator() + name;
}

TZarnIniSettings LoadZarnIni(const QString& path)
{
    TZarnIniSettings s;
    s.IpAddress = QString::fromLatin1(kDefaultDeviceAddress);
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    if (ini.LoadFile(QFile::encodeName(path).constData()) < 0)
        return s;
    if (const char* v = ini.GetValue(kSection, "IP Address", nullptr))
        s.IpAddress = QString::fromUtf8(v);
    if (const char* v = ini.GetValue(kSection, "PC Alarm", nullptr)) {
        int n = 0;
        if (ReadIntText(v, n))
            s.PcAlarm = n;
    }
    if (const char* v = ini.GetValue(kSection, "Last Version", nullptr))
        s.LastVersion = QString::fromUtf8(v);
    if (const char* v = ini.GetValue(kSection, "GOES_ZARN", nullptr)) {
        int n = 0;
        QString t = QString::fromUtf8(v).trimmed();
        if (ReadIntText(v, n))
            s.GoesZarn = n != 0;
        else if (t.compare("true", Qt::CaseInsensitive) == 0)
            s.GoesZarn = true;
        else if (t.compare("false", Qt::CaseInsensitive) == 0)
            s.GoesZarn = false;
    }
    s.DefaultIfGoesN = ReadFloat(ini, "DefaultIF_GOESN", s.DefaultIfGoesN);
    s.DefaultIfGoesR = ReadFloat(ini, "DefaultIF_GOESR", s.DefaultIfGoesR);
    s.DefaultSawGoesN = ReadFloat(ini, "DefaultSAW_GOESN", s.DefaultSawGoesN);
    s.DefaultSawGoesR = ReadFloat(ini, "DefaultSAW_GOESR", s.DefaultSawGoesR);
    return s;
}

bool SaveZarnIni(const QString& path, const QString& ipAddress, int pcAlarm, const QString& lastVersion)
{
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    const QByteArray file = QFile::encodeName(path);
    SI_Error rc = ini.LoadFile(file.constData());
    if (rc < 0 && QFileInfo::exists(path))
        return false; // unreadable: do not replace the operator's file with three keys
    ini.SetValue(kSection, "IP Address", ipAddress.toUtf8().constData());
    ini.SetValue(kSection, "PC Alarm", QByteArray::number(pcAlarm).constData());
    if (!lastVersion.isEmpty())
        ini.SetValue(kSection, "Last Version", lastVersion.toUtf8().constData());
    else
        ini.Delete(kSection, "Last Version");
    return ini.SaveFile(file.constData(), false) >= 0;
}
