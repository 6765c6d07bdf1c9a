// What becomes of one extension of an archive type: a pure decision from the
// user's choice and what the registry holds, so that every combination can be
// checked without a registry (associations.cpp takes the steps).
#pragma once

namespace ozu {

// What the registry holds for the extension once a take-over (if chosen) was
// tried.
struct ExtensionState {
    bool own = false;           // its class is one of ours now
    bool recorded = false;      // a record of its previous owner exists
    bool existedBefore = false; // that record says the extension existed before setup
};

// How the extension is to be handled (the wanted new-file entry already
// reflects the user's switches for the "New" menu).
struct ExtensionWish {
    bool selected = false; // associated, not given back
    bool wantNew = false;  // its new-archive entry is wanted
    bool family = false;   // the family's own format: volume extensions, template
    bool zip = false;
};

// The steps, in the order they are taken.
struct ExtensionSteps {
    bool releaseVolumes = false;      // the family's volume extensions go back
    bool forgetLaterOwner = false;    // another program took it over: drop our record
    bool removeOwnTemplate = false;   // only our own template entry goes
    bool releaseClass = false;        // the previous owner gets the extension back
    bool restoreNewEntry = false;     // the previous new-file entry comes back
    bool deleteEmptyClassKey = false; // the extension did not exist before setup
    bool deleteRecord = false;

    bool operator==(const ExtensionSteps&) const = default;
};

ExtensionSteps DecideExtensionSteps(const ExtensionWish& wish, const ExtensionState& state);

} // namespace ozu
