#include "app/commands/StatusQuery.h"

#include "app/commands/ConsoleOutput.h"
#include "base/LocalClock.h"
#include "base/TimeText.h"
#include "base/LoadedTexts.h"
#include "base/SystemLibraries.h"
#include "link/PipeReader.h"
#include "link/PipeServerCheck.h"

#include <wtsapi32.h>

#include <cstring>
#include <new>

namespace
{

// The pipe's instances are all busy for a moment (another viewer connecting): looked at again
// this often until the wait is over.
const DWORD BUSY_RETRY_MS = 250;

class OneQuestion
{
  public:
    StatusAnswer& answer;
    PipeHistory& history;
    ULONGLONG deadline = 0;
    PipeReader reader;
    bool anything = false;
    PipeServerKind server = PipeServerKind::NotAmbrels;

    OneQuestion(StatusAnswer& a, PipeHistory& h) : answer(a), history(h) {}
    void Ask();

  private:
    DWORD Remaining() const;
    StatusOutcome Connect();
    StatusOutcome Read();
    StatusOutcome ReadSome();
    // Answered once the status has come; Partial to read on; anything else ends the question.
    bool Take(StatusOutcome& outcome);
    void FindServer();
};

DWORD OneQuestion::Remaining() const
{
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// Read only, and the server may identify this process but not act as it.
StatusOutcome OneQuestion::Connect()
{
    for (;;) {
        const DWORD error = reader.Open();
        if (error == 0)
            return StatusOutcome::Answered;
        answer.errorCode = error;
        if (error == ERROR_FILE_NOT_FOUND)
            return StatusOutcome::NoController;
        if (error == ERROR_ACCESS_DENIED)
            return StatusOutcome::Denied;
        if (error != ERROR_PIPE_BUSY)
            return StatusOutcome::Failed;
        if (Remaining() == 0)
            return StatusOutcome::TimedOut;
        const DWORD wait = Remaining() < BUSY_RETRY_MS ? Remaining() : BUSY_RETRY_MS;
        if (!WaitNamedPipeW(PIPE_NAME, wait) && GetLastError() != ERROR_SEM_TIMEOUT)
            Sleep(wait);
    }
}

// The Ambrel service's own process, or a tray of this session, named by the user of its session
// where that can be found.
void OneQuestion::FindServer()
{
    ULONG session = 0;
    DWORD own = 0;
    PipeServerSession where = PipeServerSession::Own;
    if (GetNamedPipeServerSessionId(reader.pipe, &session) &&
        ProcessIdToSessionId(GetCurrentProcessId(), &own) && session != own)
        where = session == 0 ? PipeServerSession::Zero : PipeServerSession::Other;
    else
        session = own;
    answer.session = session;
    answer.service =
        server == PipeServerKind::Service && IsMachineService(answer.status.setBy, where);
    if (answer.service)
        return;
    typedef BOOL(WINAPI * Query)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    typedef void(WINAPI * Free)(PVOID);
    HMODULE wts = LoadSystemLibrary("wtsapi32.dll");
    Query query = wts ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                            GetProcAddress(wts, "WTSQuerySessionInformationW")))
                      : nullptr;
    Free release =
        wts ? reinterpret_cast<Free>(reinterpret_cast<void*>(GetProcAddress(wts, "WTSFreeMemory")))
            : nullptr;
    LPWSTR name = nullptr;
    DWORD bytes = 0;
    if (query != nullptr && release != nullptr &&
        query(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &name, &bytes) && name != nullptr) {
        size_t i = 0;
        for (; i + 1 < STATUS_USER_SIZE && name[i] != L'\0'; ++i)
            answer.user[i] = static_cast<char16_t>(name[i]);
        answer.user[i] = u'\0';
        release(name);
    }
    if (wts != nullptr)
        FreeLibrary(wts);
}

bool OneQuestion::Take(StatusOutcome& outcome)
{
    for (;;) {
        PipeMessageView message = {};
        const PipeFrame frame = reader.Next(message);
        if (frame == PipeFrame::Partial)
            return false;
        outcome = StatusOutcome::Garbled;
        if (frame != PipeFrame::Complete)
            return true;
        const bool first = !anything;
        anything = true;
        if (message.kind == PIPE_KIND_STATUS) {
            if (DecodePipeStatus(message.bytes, message.size, answer.status))
                outcome = StatusOutcome::Answered;
            return true;
        }
        // A history comes first or not at all; a kind that a later version adds is passed over.
        if (message.kind == PIPE_KIND_HISTORY &&
            (!first || !DecodePipeHistory(message.bytes, message.size, history)))
            return true;
    }
}

StatusOutcome OneQuestion::ReadSome()
{
    if (!reader.BeginRead()) {
        answer.errorCode = GetLastError();
        return StatusOutcome::Refused;
    }
    if (WaitForSingleObject(reader.ReadEvent(), Remaining()) != WAIT_OBJECT_0) {
        reader.Close();
        return StatusOutcome::TimedOut;
    }
    if (!reader.EndRead()) {
        answer.errorCode = GetLastError();
        return StatusOutcome::Refused;
    }
    return StatusOutcome::Answered;
}

StatusOutcome OneQuestion::Read()
{
    StatusOutcome outcome = StatusOutcome::Answered;
    while (!Take(outcome)) {
        // A server that stops within a message has sent no answer either.
        outcome = ReadSome();
        if (outcome != StatusOutcome::Answered)
            break;
    }
    return outcome;
}

void OneQuestion::Ask()
{
    deadline = GetTickCount64() + STATUS_WAIT_SECONDS * 1000ull;
    history.count = 0;
    if (!reader.Start()) {
        answer.errorCode = GetLastError();
        answer.outcome = StatusOutcome::Failed;
        return;
    }
    answer.outcome = Connect();
    if (answer.outcome == StatusOutcome::Answered) {
        answer.errorCode = 0;
        // Nothing a program that is not Ambrel says is read, let alone printed.
        ULONG processId = 0;
        server = IdentifyPipeServer(reader.pipe, processId);
        if (server == PipeServerKind::NotAmbrels) {
            answer.outcome = StatusOutcome::NotAmbrels;
            answer.serverProcess = processId;
        } else {
            answer.outcome = Read();
            if (answer.outcome == StatusOutcome::Answered) {
                FindServer();
                answer.recent = SummariseHistory(history);
            }
        }
    }
    reader.Release();
}

// As the tray shows it: the user's locale's time without seconds.
void FailedAtText(const PipeStatus& status, wchar_t* text, int size)
{
    HourMinuteText(status.failedHour, status.failedMinute, text, size);
}

// The local time at which the pause ends, from the seconds it has left.
void PausedUntilText(const PipeStatus& status, wchar_t* text, int size)
{
    ShortTimeText(LocalTimeIn(status.pausedSeconds), text, size);
}

} // namespace

void AskController(StatusAnswer& answer, PipeHistory& history)
{
    OneQuestion* question = new (std::nothrow) OneQuestion(answer, history);
    if (question == nullptr) {
        answer.outcome = StatusOutcome::Failed;
        answer.errorCode = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    question->Ask();
    delete question;
}

int RunStatusQuery(HINSTANCE instance, const CommandSwitches& switches)
{
    static StatusAnswer answer;
    static PipeHistory history;
    answer = StatusAnswer{};
    if (switches.other != nullptr || switches.diagnose) {
        answer.outcome = StatusOutcome::BadArguments;
        answer.argument = switches.other != nullptr ? switches.other : "--diagnose";
    } else {
        AskController(answer, history);
    }
    wchar_t failedAt[64] = L"";
    FailedAtText(answer.status, failedAt, 64);
    answer.failedAt = reinterpret_cast<const char16_t*>(failedAt);
    wchar_t pausedUntil[64] = L"";
    if (answer.status.pausedSeconds > 0) {
        PausedUntilText(answer.status, pausedUntil, 64);
        answer.pausedUntil = reinterpret_cast<const char16_t*>(pausedUntil);
    }
    ConsoleOutput output;
    output.Open();
    if (switches.json) {
        static char json[STATUS_JSON_SIZE];
        ComposeStatusJson(json, sizeof json, answer);
        output.WriteAscii(json);
    } else {
        static LoadedTexts texts;
        static char16_t text[STATUS_TEXT_SIZE];
        texts.Load(instance, 0);
        ComposeStatusText(text, STATUS_TEXT_SIZE, answer, texts.table);
        output.Write(reinterpret_cast<const wchar_t*>(text));
    }
    output.Close();
    return StatusExitCode(answer);
}
