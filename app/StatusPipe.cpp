#include "app/StatusPipe.h"

#include "app/TrayApp.h"
#include "watch/TempConversion.h"

#include <cstring>
#include <new>

static_assert(ZONE_NAME_SIZE <= PIPE_ZONE_SIZE, "a zone name must fit the pipe's zone field");

namespace
{

// The service's settings are the machine's; a tray controller's are its user's.
uint8_t SetByOf(const TrayApp& app)
{
    const MenuLocks& locked = app.settings.locked;
    return static_cast<uint8_t>(
        (app.service != nullptr ? PIPE_SET_FOR_MACHINE : 0) | (locked.zone ? PIPE_SET_ZONE : 0) |
        (locked.throttleAt ? PIPE_SET_THROTTLE_AT : 0) |
        (locked.onBattery ? PIPE_SET_ON_BATTERY : 0) | (locked.notify ? PIPE_SET_NOTIFY : 0));
}

void FillStatus(const TrayApp& app, PipeStatus& status)
{
    const HistoryRing& readings = app.history.readings;
    status.temperature = TEMP_NO_READING;
    status.status = READING_FAILED;
    if (readings.count > 0) {
        const HistoryEntry& last = readings.At(readings.count - 1);
        status.temperature = last.value;
        status.mode = last.mode;
        status.status = last.status;
    }
    status.inForce = app.capInForce;
    status.lowered = app.capLowered;
    std::strncpy(status.zone, app.tempWatch.ZoneRead(app.settings.zone), PIPE_ZONE_SIZE - 1);
    status.throttleAt = app.settings.throttleAt;
    status.onBattery = app.settings.onBattery;
    status.setBy = SetByOf(app);
    status.failedHour = static_cast<uint8_t>(app.failedSince.wHour);
    status.failedMinute = static_cast<uint8_t>(app.failedSince.wMinute);
}

// The newest samples that fit, each with its age now.
void FillHistory(const HistoryRing& readings, PipeHistory& history)
{
    const int64_t now = static_cast<int64_t>(GetTickCount64());
    const int count =
        readings.count < PIPE_HISTORY_CAPACITY ? readings.count : PIPE_HISTORY_CAPACITY;
    const int skipped = readings.count - count;
    history.count = count;
    for (int i = 0; i < count; ++i) {
        const HistoryEntry& entry = readings.At(skipped + i);
        const int64_t age = now - entry.timeMs;
        history.samples[i] = {static_cast<uint32_t>(age < 0 ? 0 : age), entry.value, entry.mode,
                              entry.status};
    }
}

} // namespace

void PublishStatus(TrayApp& app)
{
    if (app.statusPipe.thread == nullptr)
        return;
    PipeStatus status = {};
    FillStatus(app, status);
    PipeHistory* history = new (std::nothrow) PipeHistory();
    if (history == nullptr)
        return;
    FillHistory(app.history.readings, *history);
    if (PipeSnapshot* snapshot = MakePipeSnapshot(status, *history))
        app.statusPipe.Publish(snapshot);
    delete history;
}

void LockMachineChoices(TrayApp& app)
{
    app.settings.locked.zone = true;
    app.settings.locked.throttleAt = true;
    app.settings.locked.onBattery = true;
}

void TakeViewStatus(TrayApp& app, const PipeStatus& status, PipeServerSession session)
{
    app.controllerIsTray = !IsMachineService(status.setBy, session);
    std::memcpy(app.settings.zone, status.zone, sizeof app.settings.zone);
    app.settings.zone[sizeof app.settings.zone - 1] = '\0';
    app.settings.throttleAt = status.throttleAt;
    app.settings.onBattery = status.onBattery;
    app.readingStatus = status.status;
    app.failedSince.wHour = status.failedHour;
    app.failedSince.wMinute = status.failedMinute;
    app.capInForce = status.inForce;
    app.capLowered = status.lowered;
}

void TakeViewHistory(TrayApp& app, const PipeHistory& history)
{
    const int64_t now = static_cast<int64_t>(GetTickCount64());
    app.history.readings.Clear();
    for (int i = 0; i < history.count; ++i) {
        const PipeSample& s = history.samples[i];
        app.history.readings.Add({now - static_cast<int64_t>(s.ageMs), s.value, s.mode, s.status});
    }
}

void TakeControllerLost(TrayApp& app)
{
    app.readingStatus = app.controllerIsTray ? READING_CONTROLLER_ENDED : READING_NO_CONTROLLER;
    app.capInForce = 0;
    app.capLowered = false;
}
