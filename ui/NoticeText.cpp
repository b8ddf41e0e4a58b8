#include "ui/NoticeText.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"

void ComposeThrottleNotice(char16_t* text, size_t size, int32_t t, int32_t mode)
{
    if (size == 0)
        return;
    TextWriter(text, size)
        .Add(u"Ambrel lowered the maximum processor state to ")
        .AddNumber(ThrottlePercentOfMode(mode))
        .Add(u" % at ")
        .AddNumber(t)
        .Add(u" \u00B0C");
}
