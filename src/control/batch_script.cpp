#include "control/batch_script.h"

namespace ozu {

namespace {

// "%" starts a variable reference in a batch file; "%%" is a literal one.
std::u16string Quoted(std::u16string_view path) {
    std::u16string text(u"\"");
    for (char16_t c : path) {
        text += c;
        if (c == u'%') {
            text += u'%';
        }
    }
    text += u'"';
    return text;
}

void AddLine(std::vector<std::u16string>& lines, std::u16string line) {
    if (line.size() < kBatchLineCapacity) {
        lines.push_back(std::move(line));
    }
}

} // namespace

bool IsPlainAscii(std::u16string_view text) {
    for (char16_t c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

std::optional<std::u16string> ChooseBatchForm(std::u16string_view path,
                                              std::u16string_view shortForm,
                                              bool (*convertsExactly)(std::u16string_view)) {
    if (IsPlainAscii(path)) {
        return std::u16string(path);
    }
    if (!shortForm.empty() && IsPlainAscii(shortForm)) {
        return std::u16string(shortForm);
    }
    if (convertsExactly(path)) {
        return std::u16string(path);
    }
    return std::nullopt;
}

std::vector<std::u16string> ComposeBatchLines(const BatchPathForms& forms, bool silent) {
    std::vector<std::u16string> lines;
    // The program pauses itself with /wait; the interpreter waits for it.
    const std::u16string pause = forms.program ? Quoted(*forms.program) + u" /wait\r\n" : u"";
    if (forms.program) {
        AddLine(lines, pause);
    }
    if (forms.program && forms.folder) {
        std::u16string program = Quoted(*forms.program);
        std::u16string attempt = u"del " + program + u"\r\nrd " + Quoted(*forms.folder) +
                                 u"\r\nif not exist " + program + u" goto done\r\n";
        // Another process can still run the program for a while (a second
        // uninstall that is ending, a pause of its own): without a pause the
        // attempts would all fail within a moment and leave it behind.
        for (int i = 0; i < kBatchRemovalAttempts; ++i) {
            AddLine(lines, i == 0 ? attempt : pause + attempt);
        }
    }
    lines.push_back(u":done\r\n");
    if (!silent && forms.program) {
        std::u16string program = Quoted(*forms.program);
        AddLine(lines, u"if exist " + program + u" " + program + u" /warning\r\n");
    }
    if (forms.batch) {
        AddLine(lines, u"del " + Quoted(*forms.batch) + u"\r\n");
    }
    return lines;
}

} // namespace ozu
