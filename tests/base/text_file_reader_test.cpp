#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/string_list.h"
#include "base/text_file_reader.h"
#include "base/win32_text.h"
#include "support/files.h"
#include "support/text.h"

namespace ozu {
namespace {

using namespace test;
using Lines = std::vector<std::u16string>;

class TextFileReaderTest : public ::testing::Test {
protected:
    // Reads a file holding the bytes; the lines, or {"<false>"} when Read failed.
    Lines ReadBytes(std::string_view bytes) {
        const std::u16string path = temp_ / u"text.txt";
        EXPECT_TRUE(MakeFile(path, bytes));
        StringList list;
        if (!TextFileReader::Read(path, list)) {
            return {u"<false>"};
        }
        Lines lines;
        std::u16string_view line;
        while (list.GetString(line)) {
            lines.emplace_back(line);
        }
        return lines;
    }

    TempFolder temp_;
};

TEST_F(TextFileReaderTest, MissingFileFailsAndLeavesTheListAlone) {
    StringList list;
    list.AddString(u"kept");
    EXPECT_FALSE(TextFileReader::Read(temp_ / u"missing.ini", list));
    EXPECT_EQ(list.Count(), 1u);
}

TEST_F(TextFileReaderTest, EmptyAndBlankFilesGiveNoLines) {
    EXPECT_EQ(ReadBytes(""), Lines{});
    EXPECT_EQ(ReadBytes("\r\n\n \t\r\n\t\r\r"), Lines{});
}

TEST_F(TextFileReaderTest, AnsiTextWithEveryLineBreak) {
    EXPECT_EQ(ReadBytes("a\r\n\r\nb"), (Lines{u"a", u"b"}));
    EXPECT_EQ(ReadBytes("a\rb"), (Lines{u"a", u"b"}));
    EXPECT_EQ(ReadBytes("[Section]  \nKey=Value\t\n"), (Lines{u"[Section]", u"Key=Value"}));
    // The ANSI code page of the test prefix is Windows-1252.
    EXPECT_EQ(ReadBytes("caf\xe9\n\x80"), (Lines{u"caf\u00e9", u"\u20ac"}));
}

TEST_F(TextFileReaderTest, Utf16WithAndWithoutMark) {
    EXPECT_EQ(ReadBytes(std::string("\xFF\xFEh\0i\0\r\0\n\0\x16\x04", 12)),
              (Lines{u"hi", u"\u0416"}));
    EXPECT_EQ(ReadBytes(std::string("\xFE\xFF\0h\0i", 6)), (Lines{u"hi"}));
    // Without the mark the same bytes are ANSI text ending at the first zero.
    EXPECT_EQ(ReadBytes(std::string("h\0i\0", 4)), (Lines{u"h"}));
    // Odd length: the last byte is ignored.
    EXPECT_EQ(ReadBytes(std::string("\xFF\xFEh\0i\0j", 7)), (Lines{u"hi"}));
}

TEST_F(TextFileReaderTest, MarkAloneIsNotEnoughForUtf16AndNeverText) {
    EXPECT_EQ(ReadBytes("\xFF\xFE"), Lines{});
    EXPECT_EQ(ReadBytes("\xFF\xFE"
                        "ab"),
              (Lines{u"ab"}));
}

TEST_F(TextFileReaderTest, Utf8WithMark) {
    EXPECT_EQ(ReadBytes("\xEF\xBB\xBFx\xF0\x9F\x98\x80y\n\xC3\xA9"),
              (Lines{u"x\U0001F600y", u"\u00e9"}));
    // A five-byte sequence ends the text.
    EXPECT_EQ(ReadBytes("\xEF\xBB\xBF"
                        "a\nb\xF8\x88\x80\x80\x80"
                        "c\nd"),
              (Lines{u"a", u"b"}));
    // Truncated at the end: not UTF-8, so ANSI, without the mark.
    EXPECT_EQ(ReadBytes("\xEF\xBB\xBF"
                        "a\xE2\x82"),
              (Lines{u"a\u00e2\u201a"}));
}

// A read that fails after the first lines: a pipe whose writer goes away
// (the read then fails with ERROR_BROKEN_PIPE). The lines before are
// delivered, and the reader tells that they are not the whole file.
TEST_F(TextFileReaderTest, ReadFailingPartWayDeliversTheLinesBeforeAndSaysSo) {
    const std::u16string name =
        u"\\\\.\\pipe\\ozu-reader-" + Wide(std::to_string(::GetCurrentProcessId()));
    HANDLE server = ::CreateNamedPipeW(W(name), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                       4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    std::thread writer([server] {
        DWORD written = 0;
        if (::ConnectNamedPipe(server, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
            ::WriteFile(server, "A=1\r\nB=2\r\n", 10, &written, nullptr);
        }
        ::CloseHandle(server);
    });
    StringList list;
    bool whole = true;
    const bool read = TextFileReader::Read(name, list, &whole);
    if (!read) { // the writer still waits for a reader
        ::CloseHandle(::CreateFileW(W(name), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    writer.join();
    ASSERT_TRUE(read);
    EXPECT_FALSE(whole);
    std::u16string_view line;
    ASSERT_TRUE(list.GetString(line));
    EXPECT_EQ(line, u"A=1");
    ASSERT_TRUE(list.GetString(line));
    EXPECT_EQ(line, u"B=2");
}

TEST_F(TextFileReaderTest, LargeFileAcrossManyReads) {
    std::string content;
    Lines expected;
    for (int i = 0; i < 3000; ++i) {
        std::string line =
            "line " + std::to_string(i) + std::string(static_cast<size_t>(i % 7), 'x');
        content += line + "\r\n";
        expected.emplace_back(line.begin(), line.end());
    }
    ASSERT_GT(content.size(), 4096u * 8);
    EXPECT_EQ(ReadBytes(content), expected);
}

} // namespace
} // namespace ozu
