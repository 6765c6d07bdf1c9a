#include "integration/extension_steps.h"

namespace ozu {

ExtensionSteps DecideExtensionSteps(const ExtensionWish& wish, const ExtensionState& state) {
    ExtensionSteps steps;
    const bool hasTemplate = wish.family || wish.zip;
    steps.releaseVolumes = !wish.selected && wish.family;
    // An extension that another program owns, perhaps taken over since our
    // setup, is not ours to give back or to associate anew; only a type that
    // was ours once has a record to drop.
    if (!state.own) {
        if (!wish.selected) {
            steps.forgetLaterOwner = state.recorded;
            steps.removeOwnTemplate = hasTemplate;
            // A key that was not there before setup, left empty by a removal
            // whose key deletion failed: it is ours, and nothing of anyone's.
            steps.deleteEmptyClassKey = state.recorded && !state.existedBefore;
        }
        return steps;
    }
    if (wish.selected && wish.wantNew) {
        return steps;
    }
    steps.releaseClass = !wish.selected;
    steps.restoreNewEntry = hasTemplate;
    if (wish.selected) {
        return steps; // the type stays ours, only its new-file entry goes back
    }
    // The extension's key could not go while its "ShellNew" key was there;
    // now it can, so that no empty key of ours is left.
    steps.deleteEmptyClassKey = !state.recorded || !state.existedBefore;
    steps.deleteRecord = true;
    return steps;
}

} // namespace ozu
