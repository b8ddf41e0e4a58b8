#include "ui/IconSize.h"

#include "res/resource.h"

const int DesignedIconSizes[DESIGNED_ICON_SIZE_COUNT] = {16, 20, 24, 32};

namespace
{

const int TempIconResources[DESIGNED_ICON_SIZE_COUNT] = {IDB_TEMPICON16, IDB_TEMPICON20,
                                                         IDB_TEMPICON24, IDB_TEMPICON};

} // namespace

int DesignedIconSize(int smallIconSize)
{
    int chosen = DesignedIconSizes[0];
    for (int size : DesignedIconSizes)
        if (size <= smallIconSize)
            chosen = size;
    return chosen;
}

int TempIconResource(int designedSize)
{
    for (int i = 0; i < DESIGNED_ICON_SIZE_COUNT; ++i)
        if (DesignedIconSizes[i] == designedSize)
            return TempIconResources[i];
    return 0;
}
