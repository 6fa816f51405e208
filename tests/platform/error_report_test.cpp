#include "platform/error_report.h"
#include "platform/exception.h"
#include "platform/file_errors.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

TEST(ErrorReportTest, FullStopIsAddedOnlyAfterCharactersThatSortAboveIt)
{
    EXPECT_EQ(ErrorBoxText("'abc' is not a valid integer value"), "'abc' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText("List index out of bounds (-1)"), "List index out of bounds (-1)");
    EXPECT_EQ(ErrorBoxText("Socket Error # 11001\r\nHost not found."), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(ErrorBoxText("Socket Error # 10093\r\n"), "Socket Error # 10093\r\n");
    EXPECT_EQ(ErrorBoxText("I/O error 7"), "I/O error 7.");
    EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(ErrorReportTest, TitleIsTheExecutableNameCapitalised)
{
    EXPECT_EQ(ApplicationTitle("corvane"), "Corvane");
    EXPECT_EQ(ApplicationTitle("CORVANE.exe"), "Corvane");
    EXPECT_EQ(ApplicationTitle("my.tool.bin"), "My");
}

TEST(FileErrorsTest, MessagesFollowTheErrorCode)
{
    EXPECT_EQ(EInOutError::FromErrno(ENOENT).Message(), "File not found");
    EXPECT_EQ(EInOutError::FromErrno(ENOENT).ErrorCode(), 2);
    EXPECT_EQ(EInOutError::FromErrno(ENOTDIR).Message(), "Invalid filename");
    EXPECT_EQ(EInOutError::FromErrno(EMFILE).Message(), "Too many open files");
    EXPECT_EQ(EInOutError::FromErrno(EACCES).Message(), "File access denied");
    // EIO is 5 on Linux, which must not read as "access denied".
    EXPECT_EQ(EInOutError::FromErrno(EIO).Message(), "I/O error 5");
    EXPECT_EQ(EInOutError::FromErrno(EINTR).Message(), "I/O error 4");
    EXPECT_EQ(InOutErrorMessage(123), "I/O error 123");
    EXPECT_EQ(EFileOpenError("/x/a.cvr", ENOENT).Message(), "Cannot open file \"/x/a.cvr\". No such file or directory");
    EXPECT_EQ(EFileCreateError("/x/a.cvr", EACCES).Message(), "Cannot create file \"/x/a.cvr\". Permission denied");
}

} // namespace
