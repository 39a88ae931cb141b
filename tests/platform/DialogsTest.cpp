#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"

#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace selvanix;
using namespace selvanix::platform;
using selvanix::test::ScriptedDialogs;

namespace {

TEST(ErrorReport, FullStopOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(errorReportText("Unable to write to C:\\x"),
              QStringLiteral("Unable to write to C:\\x."));
    EXPECT_EQ(errorReportText("Done."), QStringLiteral("Done."));
    EXPECT_EQ(errorReportText("Native error: 00008"), QStringLiteral("Native error: 00008."));
    EXPECT_EQ(errorReportText("What?"), QStringLiteral("What?."));  // '?' sorts after '.'
    EXPECT_EQ(errorReportText("Stop!"), QStringLiteral("Stop!"));   // '!' sorts before '.'
    EXPECT_EQ(errorReportText("(x)"), QStringLiteral("(x)"));
    EXPECT_EQ(errorReportText(""), QString());
    EXPECT_EQ(errorReportText(QStringLiteral("Chyba č")), QStringLiteral("Chyba č."));
}

TEST(ErrorReport, GoesThroughTheInstalledDialogs) {
    auto scripted = std::make_shared<ScriptedDialogs>();
    setDialogs(scripted);
    reportError(EInOutError(5));
    reportError(std::runtime_error("plain"));
    ASSERT_EQ(scripted->calls.size(), 2u);
    EXPECT_EQ(scripted->calls[0].kind, ScriptedDialogs::Kind::ErrorReport);
    EXPECT_EQ(scripted->calls[0].caption, QStringLiteral("Selvanix"));
    EXPECT_EQ(scripted->calls[0].text, QStringLiteral("File access denied."));
    EXPECT_EQ(scripted->calls[1].text, QStringLiteral("plain."));
    setDialogs(nullptr);
}

TEST(ErrorReport, ScriptedDialogsRefuseUnscriptedQuestions) {
    ScriptedDialogs scripted;
    scripted.messageAnswers.push_back(MessageResult::Retry);
    EXPECT_EQ(scripted.message("c", "t", MessageIcon::Error, MessageButtons::AbortRetryIgnore),
              MessageResult::Retry);
    EXPECT_THROW(scripted.message("c", "t", MessageIcon::Error, MessageButtons::Ok),
                 std::logic_error);
    EXPECT_THROW(scripted.password("c", "l", 255), std::logic_error);
}

TEST(InOutError, TextsByCode) {
    EXPECT_EQ(EInOutError(2).message(), QStringLiteral("File not found"));
    EXPECT_EQ(EInOutError(3).message(), QStringLiteral("Invalid filename"));
    EXPECT_EQ(EInOutError(5).message(), QStringLiteral("File access denied"));
    EXPECT_EQ(EInOutError(21).message(), QStringLiteral("I/O error 21"));
    EXPECT_EQ(EInOutError(21).errorCode(), 21);
    EXPECT_STREQ(EInOutError(5).what(), "File access denied");
}

}  // namespace
