#pragma once
// Device identification: the version token in the identity text selects a firmware
// generation (0 = not identified, 1-11; 8-11 are the V3 generations), and the
// generation decides which pages and buttons are shown.
#include <QString>
#include <optional>

struct TZarnFrame;

// Generation code 0-11 for an identity text.
int ParseVersion(const QString& text);
// Generations 8 to 11.
bool IsV3(int generation);
// Identity text of a message 14 frame: payload up to the first NUL, at most Length characters.
QString IdentityText(const TZarnFrame& frame);

// What the main frame knows when it applies an identity.
struct TZarnIdentityInputs {
    int Generation = 0;       // generation in force before this identity
    bool Connected = false;   // the link's connected flag
    bool Maintenance = false; // maintenance mode
    bool ProgramFlag = false; // -PRG: keep the Program page
};

// What applying an identity decides; the main frame carries it out in this order:
// Operation layout, tab/button visibility and caption, Setup ApplyLayout, Setup/Cal
// generation step, then Generation := Generation field.
struct TZarnIdentityPlan {
    int Generation = 0;                     // new generation (0 when not recognised)
    bool Recognised = false;                // ApplyIdentity's result
    bool Changed = false;                   // recognised and different from the one in force
    bool RunOperationLayout = false;        // Operation page layout for Generation
    bool RunSetupApplyLayout = false;       // Setup page ApplyLayout(Generation)
    bool RunCalibGenerationStep = false;    // Setup/Cal page generation step with Generation
    std::optional<QString> SetupCalCaption; // new caption of tsSetupCal, when it changes
    std::optional<bool> BtnTelemVisible;    // Operation page btnTelem; untouched when empty
    bool AlarmButtonVisible = false;        // Operation page rzbtnAlarm
    bool DemodTabVisible = false;
    bool AlarmTabVisible = false;
    bool SetupTabVisible = false;
    bool CommTabVisible = false;
    bool ProgramTabVisible = false;
    bool SetupCalTabVisible = false;
};

// Decides what ApplyIdentity(text) does, given the current state.
TZarnIdentityPlan PlanIdentity(const QString& text, const TZarnIdentityInputs& in);
