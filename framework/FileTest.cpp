#include "File.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(File, StatusReportsTheFullSizeOfAFileBeyondFourGiB)
{
    TempDir dir;
    const std::wstring path = dir.File(L"big.bin");
    {
        // Sparse: setting the end costs no disk space.
        ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end;
        end.QuadPart = 0x100000010LL;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get()));
    }
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(status.m_size, 0x100000010ULL);
}

TEST(File, StatusOfAMissingFileFailsWithTheSystemCode)
{
    TempDir dir;
    CFileStatus status;
    EXPECT_FALSE(CFile::GetStatus(dir.File(L"missing.xml").c_str(), status));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(File, ShareDenyNoneReadsAFileAnotherProcessIsWriting)
{
    TempDir dir;
    const std::wstring path = dir.File(L"settings.xml");
    ScopedFileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(writer);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(writer.Get(), "<root/>", 7, &written, nullptr));

    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 7u);
    EXPECT_STREQ(buffer, "<root/>");
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);
}

TEST(File, OpenFailsWithTheSystemCodeWhileAnotherHandleDeniesSharing)
{
    TempDir dir;
    const std::wstring path = dir.File(L"settings.xml");
    WriteFileBytes(path, "<root/>");
    ScopedFileHandle holder(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    CFile file;
    EXPECT_FALSE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(File, AFailedReadRaisesTheSystemCode)
{
    CFile file;
    char buffer[4];
    try {
        file.Read(buffer, sizeof(buffer));
        FAIL() << "no exception";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_dwOsError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}
