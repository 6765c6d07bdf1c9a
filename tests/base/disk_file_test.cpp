#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/disk_file.h"
#include "base/error_handler.h"
#include "base/win32_text.h"
#include "support/files.h"

namespace ozu {
namespace {

using namespace test;

class DiskFileTest : public ::testing::Test {
protected:
    TempFolder temp_;
};

TEST_F(DiskFileTest, OpenedFileIsClosedNotDeleted) {
    const std::u16string path = temp_ / u"existing.txt";
    ASSERT_TRUE(MakeFile(path, "keep me"));
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(path, 0));
        // Others may read, not write or delete, while it is open.
        EXPECT_FALSE(::DeleteFileW(W(path)));
    }
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(::DeleteFileW(W(path))); // the handle is gone
}

TEST_F(DiskFileTest, SharingFollowsTheOpenModes) {
    const std::u16string path = temp_ / u"shared.lng";
    ASSERT_TRUE(MakeFile(path, "x"));
    auto otherWriterCanOpen = [&] {
        HANDLE h = ::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        ::CloseHandle(h);
        return true;
    };
    DiskFile file;
    ASSERT_TRUE(file.Open(path, 0));
    EXPECT_FALSE(otherWriterCanOpen());
    ASSERT_TRUE(file.Open(path, FileModeOpenShared)); // the second Open lets go of the first
    EXPECT_TRUE(otherWriterCanOpen());
    ASSERT_TRUE(file.Open(path, FileModeExclusive));
    HANDLE reader = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
}

TEST_F(DiskFileTest, ReadSeekTellAndLength) {
    std::string bytes(100, 'a');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>('a' + i % 26);
    }
    ASSERT_TRUE(MakeFile(temp_ / u"data.bin", bytes));
    DiskFile file;
    ASSERT_TRUE(file.Open(temp_ / u"data.bin"));
    file.Seek(0, SeekFromEnd);
    EXPECT_EQ(file.Tell(), 100);
    EXPECT_EQ(file.FileLength(), 100);
    EXPECT_EQ(file.Tell(), 100); // the length does not move the position
    file.Seek(-10, SeekFromEnd);
    EXPECT_EQ(file.Tell(), 90);
    file.Seek(-5, SeekFromCurrent);
    EXPECT_EQ(file.Tell(), 85);
    file.Seek(3, SeekFromCurrent);
    EXPECT_EQ(file.Tell(), 88);
    file.Seek(0, SeekFromStart);
    char buffer[200];
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 100u);
    EXPECT_EQ(std::string(buffer, 100), bytes);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u); // end of file
    file.Close();
    EXPECT_FALSE(file.IsOpened());
}

TEST_F(DiskFileTest, ReadErrorBecomesEndOfFileUntilTheNextOpen) {
    // A pipe whose other end has gone fails every read.
    const std::u16string pipe = u"\\\\.\\pipe\\disk-file-test";
    HANDLE server =
        ::CreateNamedPipeW(W(pipe), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    DiskFile file;
    ASSERT_TRUE(file.Open(pipe, FileModeOpenShared));
    ::CloseHandle(server);
    char buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);

    const std::u16string path = temp_ / u"content.txt";
    ASSERT_TRUE(MakeFile(path, "content"));
    ASSERT_TRUE(file.Open(path, 0));
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 7u);
}

TEST_F(DiskFileTest, LockViolationOnALargeReadIsRetriedWith32768Bytes) {
    const std::u16string path = temp_ / u"locked.bin";
    ASSERT_TRUE(MakeFile(path, std::string(70000, 'z')));
    HANDLE other =
        ::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::LockFile(other, 40000, 0, 30000, 0));

    DiskFile file;
    ASSERT_TRUE(file.Open(path, FileModeOpenShared));
    std::vector<char> buffer(65536);
    DWORD plain = 0;
    bool enforced = !::ReadFile(file.Handle(), buffer.data(), 65536, &plain, nullptr) &&
                    ::GetLastError() == ERROR_LOCK_VIOLATION;
    if (!enforced) {
        ::UnlockFile(other, 40000, 0, 30000, 0);
        ::CloseHandle(other);
        GTEST_SKIP() << "this system does not enforce byte-range locks on reads";
    }
    file.Seek(0, SeekFromStart);
    EXPECT_EQ(file.Read(buffer.data(), 65536), 32768u);
    // A small read over the locked range is a read error.
    file.Seek(40000, SeekFromStart);
    EXPECT_EQ(file.Read(buffer.data(), 100), 0u);
    ::UnlockFile(other, 40000, 0, 30000, 0);
    ::CloseHandle(other);
}

} // namespace
} // namespace ozu
