#include "power/OwnLeftovers.h"

#include "power/SchemeKeeper.h"

#include <new>

void GiveBackOwnLeftoversOfView()
{
    SchemeKeeper* keeper = new (std::nothrow) SchemeKeeper();
    if (keeper == nullptr)
        return;
    keeper->GiveBackOwnLeftovers();
    delete keeper;
}
