#include "SimFaults.h"

namespace zsim {

const char* FaultName(SimFault f)
{
    switch (f) {
    case SimFault::Garbage:
        return "garbage";
    case SimFault::Split:
        return "split";
    case SimFault::BadMarker:
        return "bad-marker";
    case SimFault::BadLength:
        return "bad-length";
    case SimFault::BadEnd:
        return "bad-end";
    case SimFault::Silent:
        return "silent";
    case SimFault::DropAfter:
        return "drop-after";
    case SimFault::BootDelay:
        return "boot-delay";
    case SimFault::BootMute:
        return "boot-mute";
    case SimFault::BootDropAt:
        return "boot-drop-at";
    case SimFault::BootErrorAt:
        return "boot-error-at";
    case SimFault::BootNoRestart:
        return "boot-no-restart";
    case SimFault::Refuse:
        return "refuse";
    }
    return "?";
}

} // namespace zsim
