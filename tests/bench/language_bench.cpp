// Benchmark of the language file loader (not a test): loads a 2 MiB language
// file held in memory, in the 8-bit and in the UTF-16 form, and times a plain
// scan of the same bytes that only counts line feeds as the baseline.
//
//   language_bench [8-bit | UTF-16]   one form only (for callgrind's counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "localization/language_table.h"
#include "support/bytes.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lines of the kinds a real language file holds, repeated up to `bytes`.
std::u16string MakeLanguageText(size_t chars) {
    static const char16_t* const lines[] = {
        u"; Mivora language file\r\n",
        u":STRINGS\r\n",
        u"IDS_UNINSTALLSHOULDDELETE Please delete the folder %s by hand.\\nThen restart.\r\n",
        u"IDS_MIVORAARC \"  Mivora archive  \"\r\n",
        u"IDS_CONTINUEUNINSTALL Do you want to remove Mivora and all of its components?\r\n",
        u":DIALOG SETUPDLG\r\n",
        u"CAPTION Mivora setup\r\n",
        u"IDC_ASSOCOZU Associate Mivora with .ozu archives\r\n",
        u"IDC_SHELLEXT\tIntegrate Mivora into the shell context menu\r\n",
        u"\r\n",
    };
    std::u16string text = u"\uFEFF; header\r\n***messages***\r\n";
    for (size_t i = 0; text.size() < chars; ++i) {
        text += lines[i % std::size(lines)];
    }
    text.resize(chars);
    return text;
}

struct Timing {
    double seconds;
    size_t result;
};

template <typename F> Timing Best(int rounds, F run) {
    Timing best{1e9, 0};
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const size_t result = run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = {std::min(best.seconds, seconds), result};
    }
    return best;
}

void Report(const char* form, const std::string& bytes) {
    const Timing parse = Best(30, [&] {
        ozu::LanguageTable table;
        ozu::MemoryByteSource source(bytes);
        table.LoadFrom(source);
        return table.Entries().size();
    });
    const Timing scan =
        Best(10, [&] { return static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')); });
    const double mib = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);
    std::printf("%-6s %.2f MiB: load %8.1f MiB/s (%zu entries, %.2f ms)  "
                "line-feed scan %8.1f MiB/s (%zu LF)  load takes %.1fx the scan time\n",
                form, mib, mib / parse.seconds, parse.result, parse.seconds * 1e3,
                mib / scan.seconds, scan.result,
                scan.seconds > 0 ? parse.seconds / scan.seconds : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    // 8-bit: 2 MiB of bytes (of which the loader parses the first 1,048,576
    // characters, its text limit); UTF-16: 2 MiB of bytes, 1,048,576 characters.
    const std::u16string ansiText = MakeLanguageText(ozu::kMaxLanguageFileBytes).substr(1);
    const std::string ansi(ansiText.begin(), ansiText.end());
    const std::u16string wideText = MakeLanguageText(ozu::kMaxLanguageFileBytes / 2);
    const std::string utf16 =
        ozu::test::Utf16Le(wideText); // its mark is the text's first character
    if (only.empty() || only == "8-bit") {
        Report("8-bit", ansi);
    }
    if (only.empty() || only == "UTF-16") {
        Report("UTF-16", utf16);
    }
    return 0;
}
