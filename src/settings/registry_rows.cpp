#include "settings/registry_rows.h"

namespace ozu {

LSTATUS WriteRegData(const RegLocation& key, std::u16string_view name, RegKind kind,
                     RegistryView view, const RegData& data) {
    if (data.skip) {
        return ERROR_SUCCESS;
    }
    return kind == RegKind::Text ? WriteRegString(key, name, data.text, view)
                                 : WriteRegDword(key, name, data.number, view);
}

void RemoveRegRow(const RegLocation& key, std::u16string_view name, RegRemoval removal,
                  RegistryView view) {
    switch (removal) {
    case RegRemoval::Value:
        DeleteRegValue(key, name, view);
        break;
    case RegRemoval::Key:
        DeleteRegKey(key, view);
        break;
    case RegRemoval::Tree:
        DeleteRegTree(key, view);
        break;
    case RegRemoval::InTree:
        break; // gone with the tree above it
    }
}

} // namespace ozu
