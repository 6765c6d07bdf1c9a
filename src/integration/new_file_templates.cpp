// The template files that the "New" menu's entries of the family format and
// of ZIP name: an empty archive of each, beside the program.
#include "integration/new_file_templates.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "base/change_sink.h"
#include "base/program_path.h"
#include "base/trusted_folder.h"

namespace ozu {

namespace {

// An empty archive of the family format: the signature, a main archive header
// and an end-of-archive header, each beginning with its CRC32.
constexpr std::array<uint8_t, 24> kOzuTemplate{0x4F, 0x7A, 0x75, 0x21, 0x1A, 0x07, 0x01, 0x00,
                                               0xC1, 0xDF, 0x5F, 0x56, 0x03, 0x01, 0x04, 0x00,
                                               0x1D, 0x77, 0x56, 0x51, 0x03, 0x05, 0x04, 0x00};
// The end-of-central-directory record of an empty ZIP archive.
constexpr std::array<uint8_t, 22> kZipTemplate{0x50, 0x4B, 0x05, 0x06};

// Writes a template file unless one of the right size is already there; a
// file that cannot be written is left out silently. A link planted at the
// name is never written through: it stays, and so does the file it names. A
// file of the wrong size goes first and the template is made anew, so that a
// second name of that file (a hard link) keeps its own content.
void WriteTemplate(const std::u16string& path, std::span<const uint8_t> bytes) {
    CheckedEntry existing = TrustedFolder(ProgramFolder()).Open(path);
    switch (existing.Kind()) {
    case DiskEntry::Missing:
        break;
    case DiskEntry::File:
        if (existing.Size() == bytes.size() ||
            !Made({.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &existing})) {
            return;
        }
        break;
    default:
        return;
    }
    existing.Close();
    // A new file only: a name that appears in the meantime is not followed.
    Made({.kind = ChangeKind::CreateFile,
          .verb = "template-create",
          .path = path,
          .bytes = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())});
}

} // namespace

std::u16string TemplatePath(bool family) {
    return FileBesideProgram(family ? u"ozunew.dat" : u"zipnew.dat");
}

void EnsureTemplateFile(bool family) {
    if (family) {
        WriteTemplate(TemplatePath(true), kOzuTemplate);
    } else {
        WriteTemplate(TemplatePath(false), kZipTemplate);
    }
}

} // namespace ozu
