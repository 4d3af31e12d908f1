#include <gtest/gtest.h>

#include <QtGlobal>
#include <string>
#include <vector>

#include "platform/qt/qt_message_box.h"
#include "qt_test_app.h"

namespace {

std::vector<std::string>* capturedWarnings = nullptr;

void CaptureWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (capturedWarnings && type == QtWarningMsg && context.category)
        capturedWarnings->push_back(std::string(context.category) + ": " + text.toStdString());
}

TEST(QtMessageBoxHeadless, LogsTheTextAsAWarningAndReturnsAtOnce) {
    EnsureQtApplication();
    std::vector<std::string> warnings;
    capturedWarnings = &warnings;
    const auto previous = qInstallMessageHandler(CaptureWarning);
    QtMessageBox box;
    std::vector<std::string> observed;
    bool openWhileShown = false;
    box.Observer = [&](const std::string& text, QMessageBox* onScreen) {
        observed.push_back(text);
        openWhileShown = box.IsOpen();
        EXPECT_EQ(onScreen, nullptr);
    };
    box.Show("Port is closed");
    qInstallMessageHandler(previous);
    capturedWarnings = nullptr;

    EXPECT_EQ(observed, std::vector<std::string>{"Port is closed"});
    EXPECT_TRUE(openWhileShown);
    EXPECT_FALSE(box.IsOpen());
    EXPECT_EQ(warnings, std::vector<std::string>{"vantor.widget: Port is closed"});
}

}  // namespace
