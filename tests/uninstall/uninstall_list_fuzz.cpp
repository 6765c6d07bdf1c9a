// The libFuzzer target: list entries of arbitrary UTF-16 text against the
// inside-the-program-folder rule, and the batch lines built from the result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "control/batch_script.h"
#include "control/uninstall_list.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool AlwaysExact(std::u16string_view) {
    return true;
}

const std::u16string kFolder = u"C:\\Program Files\\Mivora\\";

// What a resolved path may hold after the folder: plain names separated by
// single backslashes, none of them ".", "..", empty, or ending in a dot or a
// space, and no character the file system reads specially.
void CheckPlainRest(std::u16string_view rest) {
    Check(!rest.empty());
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = rest.size();
        std::u16string_view name = rest.substr(start, end - start);
        Check(!name.empty() && name != u"." && name != u"..");
        Check(name.back() != u'.' && name.back() != u' ');
        for (char16_t c : name)
            Check(c >= 0x20 && c != u':' && c != u'/' && c != u'*' && c != u'?' && c != u'"' &&
                  c != u'<' && c != u'>' && c != u'|');
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string entry;
    for (size_t i = 0; i + 1 < size; i += 2)
        entry.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    std::optional<std::u16string> resolved = ozu::ResolveInsideFolder(kFolder, kFolder + entry);
    if (resolved) {
        Check(resolved->compare(0, kFolder.size(), kFolder) == 0);
        CheckPlainRest(std::u16string_view(*resolved).substr(kFolder.size()));
        // A resolved path is its own resolution.
        Check(ozu::ResolveInsideFolder(kFolder, *resolved) == resolved);

        // The batch file's lines: each fits, and each quoted path is closed
        // with every percent sign doubled.
        ozu::BatchPathForms forms{*resolved, kFolder.substr(0, kFolder.size() - 1),
                                  u"C:\\Temp\\Uninstall_Ozu.Bat"};
        for (const std::u16string& line : ozu::ComposeBatchLines(forms, entry.size() % 2 == 0)) {
            Check(line.size() < ozu::kBatchLineCapacity);
            size_t quotes = 0;
            for (char16_t c : line)
                quotes += c == u'"';
            Check(quotes % 2 == 0);
            for (size_t at = line.find(u'%'); at != std::u16string::npos;
                 at = line.find(u'%', at + 2))
                Check(at + 1 < line.size() && line[at + 1] == u'%');
        }
        Check(ozu::ChooseBatchForm(*resolved, u"", AlwaysExact).has_value());
    }
    return 0;
}
