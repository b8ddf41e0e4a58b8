#include "roles/WindowProcedure.h"

#include "base/MessageWindow.h"

#include <cstring>

namespace
{

// The record of the window being created or existing; bound at WM_CREATE, never cleared.
MessageWindow* g_boundRecord;

// The record's answer to the message, MESSAGE_NOT_HANDLED where it leaves it (or has no handler
// yet).
LRESULT AnswerOfRecord(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_boundRecord == nullptr || g_boundRecord->handler == nullptr)
        return MESSAGE_NOT_HANDLED;
    return g_boundRecord->handler(g_boundRecord->user, message, wParam, lParam);
}

// WM_GETTEXT: as much of the record's text as fits the caller's buffer of size bytes, whole
// characters only, with its terminating zero; the number of bytes copied. The window is an ANSI
// one, so the text is in the ANSI code page (the system converts it for a Unicode caller), as the
// caption was.
LRESULT CopyRecordText(WPARAM size, LPARAM buffer)
{
    char* to = reinterpret_cast<char*>(buffer);
    if (to == nullptr || size == 0)
        return 0;
    char text[1024];
    if (WideCharToMultiByte(CP_ACP, 0, g_boundRecord->text, -1, text, sizeof text, nullptr,
                            nullptr) == 0)
        text[0] = '\0';
    const char* end = text;
    while (*end != '\0') {
        const char* next = CharNextA(end);
        if (static_cast<WPARAM>(next - text) >= size)
            break;
        end = next;
    }
    const size_t copied = static_cast<size_t>(end - text);
    memcpy(to, text, copied);
    to[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

// WM_GETTEXTLENGTH: the bytes of the text in the ANSI code page, without the terminating zero.
LRESULT RecordTextLength()
{
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, g_boundRecord->text, -1, nullptr, 0, nullptr, nullptr);
    return bytes > 0 ? static_cast<LRESULT>(bytes - 1) : 0;
}

bool HasRecordText()
{
    return g_boundRecord != nullptr && g_boundRecord->text != nullptr;
}

} // namespace

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        g_boundRecord = static_cast<MessageWindow*>(
            reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_GETTEXT:
        if (HasRecordText())
            return CopyRecordText(wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_GETTEXTLENGTH:
        if (HasRecordText())
            return RecordTextLength();
        return DefWindowProcA(window, message, wParam, lParam);
    default: {
        const LRESULT answer = AnswerOfRecord(message, wParam, lParam);
        if (answer != MESSAGE_NOT_HANDLED)
            return answer;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    }
}
