#include "link/ControllerReport.h"

#include <cstring>

ControllerReport ReportFromPipe(const PipeStatus& status, bool service)
{
    ControllerReport report = {};
    report.temperature = status.temperature;
    report.mode = status.mode;
    report.readingStatus = status.status;
    report.failedHour = status.failedHour;
    report.failedMinute = status.failedMinute;
    std::memcpy(report.zone, status.zone, sizeof report.zone);
    report.zone[sizeof report.zone - 1] = '\0';
    report.capInForce = status.inForce;
    report.capLowered = status.lowered;
    report.capEffect = status.effect;
    report.capPerformance = status.performance;
    report.pausedSeconds = status.pausedSeconds;
    report.throttleAt = status.throttleAt;
    report.onBattery = status.onBattery;
    report.setBy = status.setBy;
    report.choicesOf = service ? ChoicesOf::Machine : ChoicesOf::OtherSession;
    return report;
}

PipeStatus PipeStatusOf(const ControllerReport& report)
{
    PipeStatus status = {};
    status.temperature = report.temperature;
    status.mode = report.mode;
    status.status = report.readingStatus;
    status.inForce = report.capInForce;
    status.lowered = report.capLowered;
    status.effect = static_cast<uint8_t>(report.capEffect);
    status.performance = static_cast<uint16_t>(report.capPerformance);
    std::memcpy(status.zone, report.zone, sizeof status.zone);
    status.zone[sizeof status.zone - 1] = '\0';
    status.throttleAt = report.throttleAt;
    status.onBattery = report.onBattery;
    status.setBy = report.setBy;
    status.failedHour = report.failedHour;
    status.failedMinute = report.failedMinute;
    status.pausedSeconds = report.pausedSeconds;
    return status;
}
