// The archiver's file classes, "Mivora", "Mivora.ZIP" and "Mivora.REV", as
// one table each: their writing and their removal beside one another.
#include "integration/file_classes.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/paths.h"
#include "base/program_path.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/registry_rows.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

// What a file class's rows are made of.
struct FileClassFacts {
    std::u16string name;    // shown for its files
    std::u16string command; // opens them
    std::u16string icon;
    bool iconKept = false; // an icon already there (from a theme, say) stays
};

RegData ClassName(const FileClassFacts& facts) {
    return TextData(facts.name);
}
RegData OpenCommand(const FileClassFacts& facts) {
    return TextData(facts.command);
}
RegData ClassIcon(const FileClassFacts& facts) {
    return facts.iconKept ? SkipData() : TextData(facts.icon);
}

using FileClassRows = RegRow<FileClassFacts>[3];

// A file class: its name, open command and icon, all of it the archiver's,
// so that the class goes as a whole. The first write's status tells whether
// we have administrator rights; nothing more is written when it was refused.
constexpr FileClassRows kArchiveClassRows = {
    {RegLocation::Class(u"Mivora"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora\\shell\\open\\command"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
constexpr FileClassRows kZipClassRows = {
    {RegLocation::Class(u"Mivora.ZIP"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora.ZIP\\shell\\open\\command"), u"", RegKind::Text,
     RegRemoval::InTree, RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora.ZIP\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
constexpr FileClassRows kRecoveryClassRows = {
    {RegLocation::Class(u"Mivora.REV"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora.REV\\shell\\open\\command"), u"", RegKind::Text,
     RegRemoval::InTree, RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora.REV\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
static_assert(kArchiveClassRows[0].key == RegLocation::Class(kProgId) &&
              kZipClassRows[0].key == RegLocation::Class(kZipProgId) &&
              kRecoveryClassRows[0].key == RegLocation::Class(kRevProgId));

FileClassFacts FileClassFactsOf(const FileClassRows& rows, uint32_t nameId,
                                std::u16string_view command, std::u16string_view icon) {
    FileClassFacts facts{GetLocalizedString(nameId), std::u16string(command), std::u16string(icon)};
    std::u16string kept;
    ReadRegString(rows[2].key, u"", kept, u"", kPathCapacity, RegistryView::Default);
    facts.iconKept = !kept.empty();
    return facts;
}

} // namespace

LSTATUS WriteFileClass(FileClass which) {
    const std::u16string program = FileBesideProgram(u"Mivora.exe");
    const std::u16string command = u"\"" + program + u"\" \"%1\"";
    switch (which) {
    case FileClass::Archive:
        return Write(kArchiveClassRows,
                     FileClassFactsOf(kArchiveClassRows, IDS_MIVORAARC, command, program + u",0"));
    case FileClass::Zip:
        return Write(kZipClassRows,
                     FileClassFactsOf(kZipClassRows, IDS_MIVORAZIPARC, command, program + u",0"));
    case FileClass::Recovery:
        return Write(kRecoveryClassRows,
                     FileClassFactsOf(kRecoveryClassRows, IDS_OZURECVOL, command, program + u",1"));
    }
    return ERROR_INVALID_PARAMETER;
}

void UnregisterProgIds() {
    Remove(kArchiveClassRows);
    Remove(kZipClassRows);
    Remove(kRecoveryClassRows);
}

} // namespace ozu
