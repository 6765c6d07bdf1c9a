#include "base/trusted_folder.h"

#include "base/change_plan.h"
#include "base/file_system.h"
#include "base/handle_info.h"
#include "base/paths.h"
#include "base/system_text.h"

namespace ozu {

TrustedFolder::TrustedFolder(std::u16string_view folder) : folder_(folder) {
    EnsureTrailingSeparator(folder_, kLongPathCapacity);
    final_ = FinalFolderPath(folder_);
}

CheckedEntry TrustedFolder::Open(std::u16string_view path) const {
    return OpenWith(path, true);
}

std::optional<TrustedFolder> TrustedFolder::Hold(std::u16string_view path) const {
    CheckedEntry entry;
    entry.path_ = path;
    // Reading the attributes counts for no sharing: a search of the folder,
    // and the opening of its entries for deletion, still work.
    entry.handle_.Reset(OpenByName(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, kNoFollow,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (!entry.handle_ || path.size() <= folder_.size() ||
        !SameFileName(path.substr(0, folder_.size()), folder_) || !Verify(entry) ||
        entry.kind_ != DiskEntry::Folder) {
        return std::nullopt;
    }
    TrustedFolder held;
    held.folder_ = path;
    EnsureTrailingSeparator(held.folder_, kLongPathCapacity);
    held.final_ = FinalPathOf(entry.handle_.Get());
    if (!held.final_.empty()) {
        EnsureTrailingSeparator(held.final_, kLongPathCapacity);
    } else if (!final_.empty()) {
        // Named by Verify only through its volume path: the same rest below
        // this folder's final path.
        held.final_ = final_ + std::u16string(path.substr(folder_.size()));
        EnsureTrailingSeparator(held.final_, kLongPathCapacity);
    }
    held.held_ = std::move(entry.handle_);
    return held;
}

DiskEntry TrustedFolder::Inspect(std::u16string_view path, uint32_t* attributes) const {
    const CheckedEntry entry = OpenWith(path, false);
    if (attributes) {
        *attributes = entry.Kind() == DiskEntry::Missing ? kInvalidAttributes : entry.Attributes();
    }
    return entry.Kind();
}

CheckedEntry TrustedFolder::OpenWith(std::u16string_view path, bool forChange) const {
    CheckedEntry entry;
    entry.path_ = path;
    entry.kind_ = DiskEntry::Link;
    if (path.size() <= folder_.size() || !SameFileName(path.substr(0, folder_.size()), folder_)) {
        return entry;
    }
    // What the plan removed or moved away is not there for the steps after.
    if (std::optional<uint32_t> planned = PlannedAttributes(path)) {
        if (*planned == kInvalidAttributes) {
            entry.kind_ = DiskEntry::Missing;
            return entry;
        }
    }
    if (forChange) {
        entry.handle_.Reset(OpenByName(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                       OPEN_EXISTING, kNoFollow));
        entry.canChange_ = entry.handle_.IsValid();
    }
    if (!entry.handle_) {
        // Held by a program that does not share its deletion, or only to be
        // looked at: reading the attributes is never refused for sharing.
        if (forChange && IsNothingThere(::GetLastError())) {
            entry.kind_ = DiskEntry::Missing;
            return entry;
        }
        entry.handle_.Reset(OpenByName(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, kNoFollow));
        if (!entry.handle_) {
            if (IsNothingThere(::GetLastError())) {
                entry.kind_ = DiskEntry::Missing;
            }
            return entry;
        }
    }
    if (!Verify(entry)) {
        entry.handle_.Reset();
        entry.canChange_ = false;
        entry.kind_ = DiskEntry::Link;
        return entry;
    }
    if (!forChange) {
        entry.handle_.Reset();
    }
    return entry;
}

bool TrustedFolder::Verify(CheckedEntry& entry) const {
    HandleFacts facts;
    if (!QueryFacts(entry.handle_.Get(), facts) || IsReparseAttr(facts.attributes)) {
        return false;
    }
    entry.attributes_ = facts.attributes;
    entry.links_ = facts.links;
    entry.size_ = facts.size;
    const std::u16string_view rest = std::u16string_view(entry.path_).substr(folder_.size());
    if (!final_.empty()) {
        // A link need not show a reparse attribute through its handle (under
        // Wine neither a file link nor a folder link does), but the system
        // names its target as the final path: the entry is plain when its
        // final path is the folder's with the same rest, which also rules out
        // a link anywhere in between.
        const std::u16string reached = ReachedPath(entry.handle_.Get());
        if (reached.size() != final_.size() + rest.size() ||
            !SameFileName(std::u16string_view(reached).substr(0, final_.size()), final_) ||
            !SameFileName(std::u16string_view(reached).substr(final_.size()), rest)) {
            return false;
        }
    } else {
        for (size_t slash = rest.find(u'\\'); slash != std::u16string_view::npos;
             slash = rest.find(u'\\', slash + 1)) {
            const uint32_t between =
                QueryAttributes(folder_ + std::u16string(rest.substr(0, slash)));
            if (between == kInvalidAttributes || IsReparseAttr(between)) {
                return false;
            }
        }
    }
    entry.kind_ = IsDirectoryAttr(facts.attributes) ? DiskEntry::Folder : DiskEntry::File;
    return true;
}

std::u16string TrustedFolder::ReachedPath(HANDLE handle) const {
    std::u16string reached = FinalPathOf(handle);
    if (!reached.empty()) {
        return reached;
    }
    // Some systems (Wine) name no final path beyond MAX_PATH. The handle's
    // path on its volume, on the folder's own volume, says the same.
    if (!volumeKnown_) {
        volumeKnown_ = true;
        FileHandle folder(
            OpenByName(folder_, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
        std::u16string own = folder ? VolumePathOf(folder.Get()) : std::u16string();
        if (!own.empty()) {
            EnsureTrailingSeparator(own, kLongPathCapacity);
        }
        if (!own.empty() && final_.size() > own.size() &&
            SameFileName(std::u16string_view(final_).substr(final_.size() - own.size()), own)) {
            volumeRoot_ = final_.substr(0, final_.size() - own.size());
            volumeSerial_ = VolumeSerialOf(folder.Get());
        }
    }
    const std::u16string onVolume = VolumePathOf(handle);
    if (volumeRoot_.empty() || onVolume.empty() || VolumeSerialOf(handle) != volumeSerial_) {
        return {};
    }
    return volumeRoot_ + onVolume;
}

} // namespace ozu
