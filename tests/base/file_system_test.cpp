#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/change_sink.h"
#include "base/disk_file.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/trusted_folder.h"
#include "base/win32_text.h"
#include "support/files.h"
#include "support/links.h"
#include "support/text.h"

namespace ozu {
namespace {

using namespace test;

// Deletes a file as the program does: checked through its handle, then
// deleted through it by the applying sink.
bool DeleteThroughSink(const std::u16string& path) {
    CheckedEntry entry = TrustedFolder(FolderPartOf(path, kLongPathCapacity + 1)).Open(path);
    return entry.Kind() == DiskEntry::File &&
           ApplyingSink().Make(
               {.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &entry}) == 0;
}

constexpr std::u16string_view kExtended = u"\\\\?\\";

// A file in nested folders whose full path is longer than MAX_PATH, made
// through the extended-length form (the plain form cannot reach it).
class LongPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        longFolder_ = temp_.Path();
        while (longFolder_.size() < 400) {
            longFolder_ +=
                u"\\" + std::u16string(60, u'd') + Wide(std::to_string(longFolder_.size()));
            ASSERT_TRUE(::CreateDirectoryW(W(std::u16string(kExtended) + longFolder_), nullptr));
        }
        longFile_ = longFolder_ + u"\\file.txt";
        ASSERT_TRUE(MakeFile(std::u16string(kExtended) + longFile_, "12345"));
        ASSERT_GT(longFile_.size(), static_cast<size_t>(MAX_PATH));
    }

    TempFolder temp_;
    std::u16string longFolder_;
    std::u16string longFile_;
};

// Windows refuses plain paths beyond MAX_PATH and the wrappers get there by
// their second attempt; Wine accepts them either way. Both must work.
TEST_F(LongPathTest, QueryReadAndDeleteThroughThePlainPath) {
    uint32_t attributes = QueryAttributes(longFile_);
    ASSERT_NE(attributes, kInvalidAttributes);
    EXPECT_FALSE(IsDirectoryAttr(attributes));
    EXPECT_TRUE(IsDirectoryAttr(QueryAttributes(longFolder_)));
    EXPECT_TRUE(PathExists(longFile_));
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(longFile_));
        char bytes[8];
        EXPECT_EQ(file.Read(bytes, sizeof bytes), 5u);
    }

    EXPECT_TRUE(DeleteThroughSink(longFile_));
    EXPECT_FALSE(FileExists(std::u16string(kExtended) + longFile_));
    EXPECT_FALSE(PathExists(longFile_));
    EXPECT_FALSE(DeleteThroughSink(longFile_));
}

TEST_F(LongPathTest, RelativeLongPathsAreResolvedAgainstTheCurrentFolder) {
    wchar_t saved[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(W(temp_.Path())));
    std::u16string relative = longFile_.substr(temp_.Path().size() + 1);
    ASSERT_GT(relative.size(), static_cast<size_t>(MAX_PATH));

    EXPECT_TRUE(PathExists(relative));
    EXPECT_TRUE(PathExists(u".\\" + relative));
    EXPECT_TRUE(DeleteThroughSink(relative));
    EXPECT_FALSE(FileExists(std::u16string(kExtended) + longFile_));
    ::SetCurrentDirectoryW(saved);
}

TEST_F(LongPathTest, SearchesReachLongPaths) {
    FoundEntry entry;
    DirectoryScan scan;
    scan.SetMask(longFile_);
    ASSERT_TRUE(scan.Next(entry));
    EXPECT_EQ(entry.name, longFile_);
    EXPECT_EQ(entry.size, 5u);

    scan.SetMask(longFolder_ + u"\\*");
    ASSERT_TRUE(scan.Next(entry));
    EXPECT_EQ(entry.name, longFile_);
    EXPECT_FALSE(scan.Next(entry));
    EXPECT_FALSE(entry.error);
}

// The plain form drops a trailing dot from a name, so a file named "name."
// can only be reached through the extended-length form: every wrapper must get
// there with its second attempt.
class TrailingDotTest : public ::testing::Test {
protected:
    void SetUp() override {
        dotted_ = temp_ / u"name.";
        ASSERT_TRUE(MakeFile(std::u16string(kExtended) + dotted_, "dot"));
        ASSERT_EQ(::GetFileAttributesW(W(dotted_)), INVALID_FILE_ATTRIBUTES)
            << "the plain form must fail for this test to mean anything";
    }

    TempFolder temp_;
    std::u16string dotted_;
};

TEST_F(TrailingDotTest, QueryAndLookUpUseTheSecondAttempt) {
    EXPECT_NE(QueryAttributes(dotted_), kInvalidAttributes);
    EXPECT_TRUE(PathExists(dotted_));

    FoundEntry entry;
    DirectoryScan scan;
    scan.SetMask(dotted_);
    ASSERT_TRUE(scan.Next(entry));
    scan.Close();
    EXPECT_EQ(entry.name, dotted_);
    EXPECT_EQ(entry.size, 3u);
}

TEST_F(TrailingDotTest, ScanMaskReachesTheFile) {
    DirectoryScan scan;
    scan.SetMask(dotted_);
    FoundEntry entry;
    ASSERT_TRUE(scan.Next(entry));
    EXPECT_EQ(entry.name, dotted_);
}

TEST(FileSystem, MissingPathsFailWithTheirOwnError) {
    TempFolder temp;
    std::u16string missing = temp / u"missing.txt";
    EXPECT_EQ(QueryAttributes(missing), kInvalidAttributes);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(PathExists(missing));
    EXPECT_FALSE(DeleteThroughSink(missing));
    EXPECT_FALSE(IsDirectoryAttr(kInvalidAttributes));
    EXPECT_TRUE(IsReparseAttr(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_FALSE(IsReparseAttr(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(FileSystem, ExtendedLengthFormUsesTheProcessCurrentFolder) {
    TempFolder temp;
    wchar_t saved[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(W(temp.Path())));
    std::u16string out;
    ASSERT_TRUE(ToExtendedLengthPath(u"a\\b", out));
    EXPECT_EQ(out, std::u16string(kExtended) + temp.Path() + u"\\a\\b");
    ASSERT_TRUE(ToExtendedLengthPath(u"\\x", out));
    EXPECT_EQ(out, std::u16string(kExtended) + temp.Path().substr(0, 2) + u"\\x");
    ::SetCurrentDirectoryW(saved);
}

std::vector<std::u16string> ScanNames(std::u16string_view mask, bool* error = nullptr) {
    DirectoryScan scan;
    scan.SetMask(mask);
    std::vector<std::u16string> names;
    FoundEntry entry;
    while (scan.Next(entry)) {
        names.push_back(entry.name);
    }
    if (error != nullptr) {
        *error = entry.error;
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DirectoryScan, EmptyAndMissingFoldersGiveNothingAndNoError) {
    TempFolder temp;
    ASSERT_TRUE(::CreateDirectoryW(W(temp / u"empty"), nullptr));
    bool error = true;
    EXPECT_TRUE(ScanNames(temp / u"empty\\*", &error).empty());
    EXPECT_FALSE(error);
    error = true;
    EXPECT_TRUE(ScanNames(temp / u"missing\\*", &error).empty());
    EXPECT_FALSE(error);
    error = true;
    EXPECT_TRUE(ScanNames(u"", &error).empty());
    EXPECT_FALSE(error);
}

TEST(DirectoryScan, ListsEntriesWithFullPathsButNeverDotEntries) {
    TempFolder temp;
    ASSERT_TRUE(MakeFile(temp / u"a.txt", "abc"));
    ASSERT_TRUE(MakeFile(temp / u"b.dat", ""));
    ASSERT_TRUE(::CreateDirectoryW(W(temp / u"sub"), nullptr));

    using Names = std::vector<std::u16string>;
    EXPECT_EQ(ScanNames(temp / u"*"), (Names{temp / u"a.txt", temp / u"b.dat", temp / u"sub"}));
    EXPECT_EQ(ScanNames(temp / u"*.txt"), (Names{temp / u"a.txt"}));
    // Slashes in the mask are kept; the name part follows the last one.
    EXPECT_EQ(ScanNames(temp.Path() + u"/*.dat"), (Names{temp.Path() + u"/b.dat"}));

    DirectoryScan scan;
    scan.SetMask(temp / u"*");
    FoundEntry entry;
    int directories = 0;
    while (scan.Next(entry)) {
        if (entry.name == temp / u"a.txt") {
            EXPECT_EQ(entry.size, 3u);
            EXPECT_FALSE(entry.isDirectory);
            uint64_t ticks = (uint64_t{entry.rawWriteTime.dwHighDateTime} << 32) |
                             entry.rawWriteTime.dwLowDateTime;
            EXPECT_EQ(entry.modificationTime, ticks * 100);
            // Nanoseconds since 1601 outgrow a signed 64-bit count in 1893;
            // today's times must still come out in the right century.
            EXPECT_GT(entry.modificationTime / 1000000000 / 3600 / 24 / 365, 400u);
        }
        directories += entry.isDirectory ? 1 : 0;
    }
    EXPECT_EQ(directories, 1);
    scan.Close();
    // A new mask starts a new search on the same object.
    scan.SetMask(temp / u"sub");
    ASSERT_TRUE(scan.Next(entry));
    EXPECT_TRUE(entry.isDirectory);
}

TEST(OpenReadStream, SharesTheFileWithOtherReadersAndWriters) {
    TempFolder temp;
    const std::u16string path = temp / u"stream.bat";
    ASSERT_TRUE(MakeFile(path, "line\r\n"));
    FileStream in = OpenReadStream(path);
    ASSERT_TRUE(in);
    // Another writer may open the file while the stream holds it.
    HANDLE other =
        ::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    ::CloseHandle(other);
    char buffer[16] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof(buffer), in.get()), 6u);
    EXPECT_STREQ(buffer, "line\r\n");
    EXPECT_FALSE(OpenReadStream(temp / u"missing"));
}

TEST(FreeSpace, BareNameAsksAboutTheCurrentDrive) {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(nullptr, &available, &total, &totalFree));
    uint64_t bare = FreeSpaceForPath(u"file.txt");
    EXPECT_GT(bare, 0u);
    // Free space moves while other programs run; the same volume stays close.
    uint64_t difference =
        bare > available.QuadPart ? bare - available.QuadPart : available.QuadPart - bare;
    EXPECT_LT(difference, uint64_t{1} << 30);

    TempFolder temp;
    EXPECT_GT(FreeSpaceForPath(temp / u"anything"), 0u);
    EXPECT_EQ(FreeSpaceForPath(u"Q:\\no\\drive"), 0u); // no such drive in the prefix
}

// The run log opens only where its name holds a plain file of its own: a
// link or a second name planted there by someone else would carry the
// writing into their file. The folder named is trusted, also when it is
// reached through a link (a temporary folder moved elsewhere).
TEST(RunLog, OpensOnlyAPlainFileOfOneName) {
    enum class Planted { Nothing, PlainLog, HardLink, SymbolicLink, LinkedFolder };
    for (const Planted planted : {Planted::Nothing, Planted::PlainLog, Planted::HardLink,
                                  Planted::SymbolicLink, Planted::LinkedFolder}) {
        SCOPED_TRACE(static_cast<int>(planted));
        TempFolder temp;
        std::u16string log = temp / u"Mivora-uninstall.log";
        const std::u16string victim = temp / u"victim.txt";
        MakeFile(victim, "a user's file");
        bool made = true;
        if (planted == Planted::LinkedFolder) {
            MakeFolder(AsWide(temp / u"real"));
            made = MakeLink(AsWide(temp / u"via"), AsWide(temp / u"real"));
            log = temp / u"via\\Mivora-uninstall.log";
        } else if (planted == Planted::PlainLog) {
            made = MakeFile(log, "earlier\r\n");
        } else if (planted == Planted::HardLink) {
            made = MakeHardLink(AsWide(log), AsWide(victim));
        } else if (planted == Planted::SymbolicLink) {
            made = MakeLink(AsWide(log), AsWide(victim));
        }
        if (!made) {
            GTEST_SKIP() << "no links here";
        }
        const bool plain = planted == Planted::Nothing || planted == Planted::PlainLog ||
                           planted == Planted::LinkedFolder;

        EXPECT_EQ(OpenRunLog(log), plain);
        LogLine(u"event");
        CloseRunLog();

        EXPECT_EQ(ReadBytes(AsWide(victim)), "a user's file");
        if (plain) {
            const std::string text = ReadBytes(AsWide(log));
            EXPECT_EQ(text.rfind(planted == Planted::PlainLog ? "earlier" : "\xEF\xBB\xBF", 0), 0u);
            EXPECT_NE(text.find(" event\r\n"), std::string::npos);
        }
        if (planted == Planted::LinkedFolder) {
            EXPECT_TRUE(FileExists(AsWide(temp / u"real\\Mivora-uninstall.log")));
        }
        if (planted == Planted::SymbolicLink) {
            RemoveLink(AsWide(log));
        } else if (planted == Planted::LinkedFolder) {
            RemoveLink(AsWide(temp / u"via"));
        }
    }
}

// An entry opened and checked, then its folder swapped for a link to a
// folder that holds the same name: acting through the checked handle never
// reaches the file behind the link.
TEST(CheckedEntry, AFolderSwappedForALinkAfterTheCheckIsNotFollowed) {
    TempFolder temp;
    const std::u16string folder = temp / u"install";
    const std::u16string victims = temp / u"victims";
    for (const std::u16string& f : {folder + u"\\sub", victims}) {
        MakeFolder(AsWide(f));
    }
    MakeFile(folder + u"\\sub\\file.txt", "ours");
    MakeFile(victims + u"\\file.txt", "victim");
    const TrustedFolder installation(folder);
    CheckedEntry entry = installation.Open(folder + u"\\sub\\file.txt");
    ASSERT_EQ(entry.Kind(), DiskEntry::File);

    ASSERT_TRUE(MoveFileW(W(folder + u"\\sub"), W(folder + u"\\moved")));
    if (!MakeLink(AsWide(folder + u"\\sub"), AsWide(victims))) {
        GTEST_SKIP() << "no symbolic links here";
    }
    ApplyingSink().Make(
        {.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &entry});
    entry.Close();

    EXPECT_EQ(ReadBytes(AsWide(victims + u"\\file.txt")), "victim");
    EXPECT_EQ(installation.Inspect(folder + u"\\sub\\file.txt"), DiskEntry::Link);
    RemoveLink(AsWide(folder + u"\\sub"));
}

} // namespace
} // namespace ozu
