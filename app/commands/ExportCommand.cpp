#include "app/commands/ExportCommand.h"

#include "app/commands/ConsoleOutput.h"
#include "base/ErrorOutput.h"
#include "app/RunningInstance.h"
#include "base/HistoryExport.h"
#include "base/HistoryFile.h"
#include "base/Log.h"
#include "link/KeptHistoryReader.h"
#include "link/PipeServerCheck.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>

namespace
{

// The argument after --export, from the wide command line, so that any file name comes whole.
bool ExportFile(wchar_t* file, size_t size)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return false;
    bool found = false;
    for (int i = 1; i + 1 < count && !found; ++i) {
        if (std::wcscmp(arguments[i], L"--export") != 0 || std::wcslen(arguments[i + 1]) >= size)
            continue;
        std::wcscpy(file, arguments[i + 1]);
        found = true;
    }
    LocalFree(arguments);
    return found;
}

// The history file of the user (%LOCALAPPDATA%\Ambrel) or of the machine (%ProgramData%\Ambrel).
bool HistoryFileOf(bool machine, wchar_t* path, size_t size)
{
    wchar_t folder[MAX_PATH];
    wchar_t directory[MAX_PATH + 8];
    if (FAILED(SHGetFolderPathW(nullptr, machine ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA,
                                nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        std::swprintf(directory, MAX_PATH + 8, L"%ls\\Ambrel", folder) < 0)
        return false;
    return HistoryFilePath(directory, path, size);
}

bool ReadFrom(bool machine, HistoryStore& store)
{
    wchar_t path[MAX_PATH + 16];
    return HistoryFileOf(machine, path, MAX_PATH + 16) && ReadHistoryFile(path, store);
}

int Fail(int code, const char* text)
{
    LogPrint("%s", text);
    WriteError(text);
    return code;
}

} // namespace

int RunExportCommand(const CommandSwitches& switches)
{
    wchar_t file[MAX_PATH * 2];
    if (switches.exportTo < 0 || !ExportFile(file, MAX_PATH * 2))
        return Fail(EXPORT_USAGE, "Ambrel: --export needs the file to write: Ambrel.exe --export "
                                  "FILE [--days]\n");
    std::unique_ptr<HistoryStore> store(new (std::nothrow) HistoryStore());
    if (!store)
        return Fail(EXPORT_NO_HISTORY, "Ambrel: no memory for the history\n");
    store->Clear();
    // The controller that serves this session tells its history up to now. One of a version
    // without the history's pipe: the tray of this session writes what it holds first; the
    // service's file is at most ten minutes old. Nobody runs: the user's file, else the machine's.
    HistoryDecode decoded = HistoryDecode::Ok;
    const KeptRead asked = ReadKeptHistory(*store, nullptr, decoded);
    if (asked != KeptRead::Ok && asked != KeptRead::NoServer)
        LogPrint("Ambrel.exe --export: the controller's history cannot be read: %s\n",
                 KeptReadText(asked));
    const bool tray = asked != KeptRead::Ok && AskRunningToSaveHistory();
    const bool service = asked != KeptRead::Ok && !tray && AmbrelServiceServesPipe();
    const bool read = asked == KeptRead::Ok ||
                      (service ? ReadFrom(true, *store)
                               : ReadFrom(false, *store) || (!tray && ReadFrom(true, *store)));
    if (!read)
        return Fail(EXPORT_NO_HISTORY,
                    "Ambrel: there is no history to export (no Ambrel has kept one for this user "
                    "or this machine)\n");
    int rows = 0;
    const DWORD error = ExportHistoryCsv(*store, switches.days != 0, file, rows);
    if (error != 0) {
        char text[MAX_PATH * 2 + 96];
        std::snprintf(text, sizeof text, "Ambrel: cannot write %ls (error %lu)\n", file, error);
        return Fail(EXPORT_NOT_WRITTEN, text);
    }
    char done[96];
    std::snprintf(done, sizeof done, "%d %s written\r\n", rows,
                  switches.days != 0 ? "days" : "minutes");
    ConsoleOutput output;
    output.Open();
    output.WriteAscii(done);
    output.Close();
    LogPrint("Ambrel.exe --export: %s", done);
    return 0;
}
