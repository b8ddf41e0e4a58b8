#include "roles/service/PauseControl.h"

uint32_t ControlOfPause(int minutes)
{
    return SERVICE_CONTROL_AMBREL_RESUME + static_cast<uint32_t>(minutes);
}

int PauseOfControl(uint32_t control)
{
    if (control < SERVICE_CONTROL_AMBREL_RESUME ||
        control > SERVICE_CONTROL_AMBREL_RESUME + AMBREL_LONGEST_PAUSE_MINUTES)
        return -1;
    return static_cast<int>(control - SERVICE_CONTROL_AMBREL_RESUME);
}
