#pragma once
// The persistent settings: the INI file beside the executable, section "ZARN".
// Only three keys are written back; everything else in the file is kept as it is.
#include <QString>

struct TZarnIniSettings {
    QString IpAddress;
    int PcAlarm = -20;
    QString LastVersion = QStringLiteral("V2.00");
    bool GoesZarn = true;
    float DefaultIfGoesN = 77.4474f;
    float DefaultIfGoesR = 62.85f;
    float DefaultSawGoesN = 160.1f;
    float DefaultSawGoesR = 160.1f;
};

// Where no INI names a device, the simulator on this machine is the device.
inline const char* const kDefaultDeviceAddress = "127.0.0.1";

// The INI file for an executable: its path with the extension replaced by ".INI".
// When the executable's folder cannot be written, the user's configuration folder is used.
QString ZarnIniPath(const QString& executablePath);

// Reads the eight keys; a missing file or key gives its default.
TZarnIniSettings LoadZarnIni(const QString& path);

// Writes "IP Address", "PC Alarm" and "Last Version" (deleted when empty), keeping the
// rest of the file. Returns false when the file could not be written.
bool SaveZarnIni(const QString& path, const QString& ipAddress, int pcAlarm, const QString& lastVersion);
