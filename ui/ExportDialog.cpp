#include "ui/ExportDialog.h"

#include "base/Log.h"
#include "base/SystemLibraries.h"
#include "base/TextWriter.h"
#include "res/resource.h"

#include <commdlg.h>

namespace
{

typedef BOOL(WINAPI* SaveFileFunction)(OPENFILENAMEW*);

SaveFileFunction SaveFileDialog()
{
    HMODULE library = LoadSystemLibrary("comdlg32.dll");
    return library != nullptr ? reinterpret_cast<SaveFileFunction>(reinterpret_cast<void (*)()>(
                                    GetProcAddress(library, "GetSaveFileNameW")))
                              : nullptr;
}

} // namespace

bool AskExportFile(HWND owner, const TextTable& words, wchar_t* path, size_t size, bool& days)
{
    days = false;
    SaveFileFunction save = SaveFileDialog();
    if (save == nullptr || size == 0) {
        LogPrint("Export: no Save As dialog (error %lu)\n", GetLastError());
        return false;
    }
    // "<type> (*.csv)", "*.csv", "<Days> (*.csv)", "*.csv", each ended by a zero, and one more.
    char16_t filter[160] = {};
    TextWriter writer(filter, 158);
    writer.Add(words[IDS_EXPORT_FILTER]).Add(u"|*.csv|").Add(words[IDS_RANGE_BY_DAY]);
    writer.Add(u" (*.csv)|*.csv|");
    for (char16_t* c = filter; *c != u'\0'; ++c)
        if (*c == u'|')
            *c = u'\0';
    wchar_t title[64];
    TextWriter(reinterpret_cast<char16_t*>(title), 64).Add(words[IDS_EXPORT_TITLE]);
    TextWriter(reinterpret_cast<char16_t*>(path), size).Add(u"Ambrel history.csv");
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = reinterpret_cast<const wchar_t*>(filter);
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!save(&dialog))
        return false;
    days = dialog.nFilterIndex == 2;
    return true;
}
