// Reading "uninstall.lng" from disk: where the file is, and the file object
// that feeds the portable loader.
#include "base/disk_file.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "localization/language_table.h"

namespace ozu {
namespace {

class DiskFileSource : public LanguageByteSource {
public:
    explicit DiskFileSource(DiskFile& file) : file_(file) {}
    size_t Read(void* buffer, size_t count) override { return file_.Read(buffer, count); }
    bool Seek(int64_t position) override {
        file_.Seek(position, SeekFromStart);
        return file_.Tell() == position;
    }

private:
    DiskFile& file_;
};

} // namespace

bool LanguageTable::Load(std::u16string_view fileName) {
    Clear();
    // A bare name is the file beside the program.
    std::u16string path(fileName);
    if (fileName.find(u'\\') == std::u16string_view::npos) {
        path = ProgramPath();
        ReplaceNamePart(path, fileName, kPathCapacity);
    }
    DiskFile file;
    // Shared for writing too, so that a translator's editor may hold it open.
    if (!file.Open(path, FileModeOpenShared)) {
        return false;
    }
    DiskFileSource source(file);
    return LoadFrom(source);
}

} // namespace ozu
