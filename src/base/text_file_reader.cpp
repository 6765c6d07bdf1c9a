#include "base/text_file_reader.h"

#include "base/disk_file.h"
#include "base/encodings.h"
#include "base/growable_array.h"
#include "base/string_list.h"

namespace ozu {

bool TextFileReader::Read(std::u16string_view fileName, StringList& list, bool* whole) {
    DiskFile file;
    if (!file.Open(fileName, 0)) {
        return false;
    }
    // 4096 free bytes always follow what was read so far.
    constexpr uint32_t kStep = 4096;
    GrowableArray<uint8_t> data(kStep);
    uint32_t total = 0;
    for (;;) {
        size_t got = file.Read(data.Data() + total, kStep);
        if (got == 0) {
            break;
        }
        total += static_cast<uint32_t>(got);
        data.Add(static_cast<uint32_t>(got));
    }
    data.SetCount(total);
    if (file.ReadFailed() && whole != nullptr) {
        *whole = false;
    }
    SplitLines(DecodeText(data.Data(), total, whole), list);
    file.Close();
    return true;
}

} // namespace ozu
