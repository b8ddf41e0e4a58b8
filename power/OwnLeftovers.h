// A view's one give-back of what this user's own earlier run left in its ledger
// (SchemeKeeper::GiveBackOwnLeftovers), on a keeper of its own that lives only as long.
#pragma once

// Nothing where there is no memory for a keeper.
void GiveBackOwnLeftoversOfView();
