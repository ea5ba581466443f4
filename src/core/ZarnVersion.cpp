#include "ZarnVersion.h"

#include <algorithm>
#include <cstring>

#include "ZarnFrame.h"

int ParseVersion(const QString& text)
{
    const qsizetype p = text.indexOf(QChar('V')); // 0-based; the token is p..p+4
    if (p < 0 || text.size() < p + 5 || text[p + 2] != QChar('.'))
        return 0;
    const QString token = text.mid(p, 5);
    const QChar x = token[1];
    const QChar y = token[3];
    const QChar z = token[4];
    const bool desktop = text.contains("Desktop");
    if (x == QChar('3'))
        return (z >= QChar('4') ? 10 : 8) + (desktop ? 1 : 0);
    if (x == QChar('2')) {
        if (y < QChar('1'))
            return 3;
        return (z >= QChar('1') ? 6 : 4) + (desktop ? 1 : 0);
    }
    if (token == "V1.10")
        return 2;
    if (token == "V1.00")
        return 1;
    return 0;
}

bool IsV3(int generation)
{
    return generation >= 8 && generation <= 11;
}

QString IdentityText(const TZarnFrame& frame)
{
    const size_t n = std::min<size_t>(frame.Length, ZarnMaxPayload);
    const void* nul = std::memchr(frame.Payload, 0, n);
    const size_t len = nul ? static_cast<const uint8_t*>(nul) - frame.Payload : n;
    return QString::fromLatin1(reinterpret_cast<const char*>(frame.Payload), static_cast<qsizetype>(len));
}

TZarnIdentityPlan PlanIdentity(const QString& text, const TZarnIdentityInputs& in)
{
    TZarnIdentityPlan plan;
    const int g = ParseVersion(text);
    plan.Generation = g;
    plan.ProgramTabVisible = in.Maintenance || in.ProgramFlag;
    if (g == 0) {
        plan.RunOperationLayout = true;
        plan.DemodTabVisible = plan.AlarmTabVisible = plan.SetupTabVisible = in.Maintenance;
        plan.CommTabVisible = plan.SetupCalTabVisible = in.Maintenance;
        plan.BtnTelemVisible = in.Maintenance;
        plan.AlarmButtonVisible = false;
        return plan;
    }
    plan.Recognised = true;
    plan.Changed = g != in.Generation;
    plan.RunOperationLayout = plan.Changed;
    plan.DemodTabVisible = in.Connected;
    if (g >= 2) {
        plan.AlarmButtonVisible = plan.AlarmTabVisible = plan.SetupTabVisible = in.Connected;
        if (plan.Changed) {
            plan.SetupCalCaption = QString("Calibration");
            plan.RunSetupApplyLayout = g >= 3;
        }
    } else {
        if (plan.Changed)
            plan.SetupCalCaption = QString("Setup/Cal");
    }
    plan.RunCalibGenerationStep = true;
    plan.CommTabVisible = plan.SetupCalTabVisible = in.Connected && in.Maintenance;
    return plan;
}
