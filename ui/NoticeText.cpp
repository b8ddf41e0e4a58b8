#include "ui/NoticeText.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "ui/TrayTooltip.h"

void ComposeThrottleNotice(char16_t* text, size_t size, int32_t t, int32_t mode,
                           const TextTable& words)
{
    if (size == 0)
        return;
    char16_t percent[32], degrees[32];
    ComposeQuantity(percent, 32, ThrottlePercentOfMode(mode), IDS_PERCENT, words);
    ComposeQuantity(degrees, 32, t, IDS_DEGREES, words);
    const char16_t* inserts[] = {percent, degrees};
    TextWriter(text, size).AddPattern(words[IDS_NOTICE], inserts, 2);
}

void ComposeNoEffectNotice(char16_t* text, size_t size, int32_t performance, int32_t inForce,
                           const TextTable& words)
{
    if (size == 0)
        return;
    char16_t seen[32], cap[32];
    ComposeQuantity(seen, 32, performance, IDS_PERCENT, words);
    ComposeQuantity(cap, 32, inForce, IDS_PERCENT, words);
    const char16_t* inserts[] = {seen, cap};
    TextWriter(text, size).AddPattern(words[IDS_NOTICE_NO_EFFECT], inserts, 2);
}
