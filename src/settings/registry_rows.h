#pragma once
// The program's fixed registry writers as tables. Each row names where a
// value lives, its name and kind, and how it is taken back; one Write(rows)
// writes a table in order and one Remove(rows) removes what that table
// wrote, so a value added to a writer cannot be forgotten by its removal.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/reg_location.h"
#include "settings/settings_store.h"

namespace ozu {

enum class RegKind : uint8_t { Text, Number };

// What removing a row takes: its value alone, from a key that others write
// to as well; its whole key, which is the archiver's alone (a key that still
// has subkeys stays, as every single key's deletion leaves it); its key with
// everything below it, where the archiver keeps more than the rows; or
// nothing of its own, for its key lies in the tree of an earlier row.
enum class RegRemoval : uint8_t { Value, Key, Tree, InTree };

// A row's data when it is written: the text of a Text row, the number of a
// Number row. A skipped row writes nothing this time.
struct RegData {
    std::u16string text;
    uint32_t number = 0;
    bool skip = false;
};
inline RegData TextData(std::u16string text) {
    return {std::move(text), 0, false};
}
inline RegData NumberData(uint32_t number) {
    return {{}, number, false};
}
inline RegData SkipData() {
    return {{}, 0, true};
}

// One row; its data is made from what the writer knows at the time (Facts).
template <class Facts> struct RegRow {
    RegLocation key;
    std::u16string_view name;
    RegKind kind;
    RegRemoval removal;
    RegistryView view;
    RegData (*data)(const Facts&);
};

LSTATUS WriteRegData(const RegLocation& key, std::u16string_view name, RegKind kind,
                     RegistryView view, const RegData& data);
void RemoveRegRow(const RegLocation& key, std::u16string_view name, RegRemoval removal,
                  RegistryView view);

// Writes every row in order and returns the first row's status. When the
// first row is refused for want of rights, the rest is not tried: none of it
// could be written either, and the caller learns it from that status.
template <class Facts, size_t N> LSTATUS Write(const RegRow<Facts> (&rows)[N], const Facts& facts) {
    LSTATUS first = ERROR_SUCCESS;
    for (size_t i = 0; i < N; ++i) {
        const RegRow<Facts>& row = rows[i];
        const LSTATUS status = WriteRegData(row.key, row.name, row.kind, row.view, row.data(facts));
        if (i == 0) {
            first = status;
            if (status == ERROR_ACCESS_DENIED) {
                break;
            }
        }
    }
    return first;
}

// Removes what the rows wrote: each value, or each whole key or tree once.
template <class Facts, size_t N> void Remove(const RegRow<Facts> (&rows)[N]) {
    for (size_t i = 0; i < N; ++i) {
        const RegRow<Facts>& row = rows[i];
        bool keyGone = false;
        for (size_t j = 0; j < i && row.removal != RegRemoval::Value; ++j) {
            keyGone = keyGone || (rows[j].removal == row.removal && rows[j].key == row.key &&
                                  rows[j].view == row.view);
        }
        if (!keyGone) {
            RemoveRegRow(row.key, row.name, row.removal, row.view);
        }
    }
}

} // namespace ozu
