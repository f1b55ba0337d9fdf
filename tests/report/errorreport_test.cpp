#include "report/errorreport.h"
#include "report/zentavoerror.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace zentavo;
using zentavo::test::ScriptedDialogs;

namespace {

const QString StartLocation = QStringLiteral("in Zentavo2021/08/31.Form1.PushButton2_Click ");

void saveThatFails() {
    throw ZentavoError(ErrorNumber::CannotSave,
                       QStringLiteral("Cannot save the image. GDI+ Error:7"));
}

}  // namespace

TEST(ErrorReport, MessageIsExactToTheByte) {
    EXPECT_EQ(errorReportMessage("Cannot save the image. GDI+ Error:7", StartLocation, 252),
              QStringLiteral("Cannot save the image. GDI+ Error:7\r\n"
                             "in Zentavo2021/08/31.Form1.PushButton2_Click at line 252\r\r"
                             "Please email screenshot of this message to "
                             "support@zentavo.example.com"));
}

TEST(ErrorReport, AFailureInsideACalledProcedureCarriesTheCallersStatement) {
    ScriptedDialogs dialogs;
    ErrorReport guard(dialogs, StartLocation);
    guard.step(250, [] {});
    guard.step(252, [] { saveThatFails(); });
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              errorReportMessage("Cannot save the image. GDI+ Error:7", StartLocation, 252));
    EXPECT_EQ(dialogs.shown[0].title, "Application Error");
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Exclamation);
}

TEST(ErrorReport, ResumesWithTheNextStatementAndReportsEachFailure) {
    ScriptedDialogs dialogs;
    ErrorReport guard(dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.Form_Load "));
    std::vector<int> ran;
    guard.step(100, [&] { throw std::runtime_error("first"); });
    guard.step(102, [&] { ran.push_back(102); });
    guard.step(104, [&] { throw std::runtime_error("second"); });
    guard.step(106, [&] { ran.push_back(106); });
    EXPECT_EQ(ran, (std::vector<int>{102, 106}));
    ASSERT_EQ(dialogs.messages().size(), 2);
    EXPECT_TRUE(dialogs.messages()[0].startsWith(
        "first\r\nin Zentavo2021/08/31.Form1.Form_Load at line 100\r\r"));
    EXPECT_TRUE(dialogs.messages()[1].contains("at line 104"));
    EXPECT_EQ(guard.reportsShown(), 2);
}

TEST(ErrorReport, AFailingTestEntersTheBranchItGuards) {
    ScriptedDialogs dialogs;
    ErrorReport guard(dialogs, StartLocation);
    const bool entered = guard.test(106, []() -> bool { throw std::runtime_error("test failed"); });
    EXPECT_TRUE(entered);
    EXPECT_TRUE(dialogs.messages().at(0).contains("at line 106"));
}

TEST(ErrorReport, TheFolderCollectorUsesTheApplicationTitle) {
    ScriptedDialogs dialogs;
    ErrorReport guard(dialogs,
                      QStringLiteral("in Dunmere2021/08/31.AddFolder.GetSubDirectories2016 "),
                      QStringLiteral("Zentavo"));
    guard.step(130, [] { throw std::bad_alloc(); });
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Zentavo");
    EXPECT_TRUE(dialogs.shown[0].text.startsWith("Out of memory\r\n"));
}

TEST(ErrorReport, AReportTakenApartGivesBackItsPartsAndOtherTextsAreNoReport) {
    const QString twoLines = QStringLiteral("Overflow\r\nmore");
    const auto parts = parseErrorReportMessage(errorReportMessage(twoLines, StartLocation, 252));
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->description, twoLines);
    EXPECT_EQ(parts->location, StartLocation);
    EXPECT_EQ(parts->line, 252);
    for (const QString& text :
         {QStringLiteral("Done."), QStringLiteral("No files added."),
          errorReportMessage("x", StartLocation, 100).chopped(1),
          QStringLiteral("x at line 3\r\rPlease email screenshot of this message to "
                         "support@zentavo.example.com")}) {
        EXPECT_FALSE(parseErrorReportMessage(text).has_value()) << text.toStdString();
    }
}
