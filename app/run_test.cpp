#include "app/run.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/errors.h"
#include "platform/testing.h"

namespace corvane {
namespace {

TEST(Run, MissingSettingsFileGivesReportAndStatus2) {
    testing::FakePlatform p;
    std::ostringstream err;
    const char* argv[] = {"corvane", "no such settings.ini"};
    EXPECT_EQ(corvanemain(2, argv, p, err), 2);
    EXPECT_EQ(p.fakeconsole.transcript, "\nCorvane Loran-C monitor " CORVANE_VERSION "\n\n");
    // The detail line names the operation and the file; the OS words vary.
    const std::string report = err.str();
    EXPECT_EQ(report.rfind("\ncannot open settings file \"no such settings.ini\": ", 0), 0u) << report;
    const std::string tail = "\nAborting due to runtime error 2 (file not found)\n\n";
    ASSERT_GT(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(Run, HelpAndVersionExitZero) {
    testing::FakePlatform p;
    std::ostringstream err;
    const char* version[] = {"corvane", "--version"};
    EXPECT_EQ(corvanemain(2, version, p, err), 0);
    EXPECT_NE(p.fakeconsole.transcript.find(CORVANE_VERSION), std::string::npos);
    const char* help[] = {"corvane", "--help"};
    EXPECT_EQ(corvanemain(2, help, p, err), 0);
    EXPECT_NE(p.fakeconsole.transcript.find("usage"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
}

TEST(Run, ErrorReportFormat) {
    EXPECT_EQ(runtimeerrorreport(3, ""), "\nAborting due to runtime error 3 (file I/O error)\n\n");
    EXPECT_EQ(runtimeerrorreport(1, "x"), "\nx\nAborting due to runtime error 1 (illegal function call)\n\n");
}

}  // namespace
}  // namespace corvane
