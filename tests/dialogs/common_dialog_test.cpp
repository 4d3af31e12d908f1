#include "dialogs/common_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/scripted_file_dialog.h"

namespace {

using namespace std::string_literals;

struct DialogUse : ::testing::Test {
    FileDialogResult Show(VBool centreOnOwner = kTrue) {
        return module.ShowOpenFileDialog(&dialog, dialog.OwnerWindow(), centreOnOwner);
    }
    ScriptedFileDialog dialog;
    ZEVID_CommonDialog module;
};

TEST_F(DialogUse, RepliesSplitIntoDirectoryAndNames) {
    struct Row {
        const char* name;
        OpenFileNameReply reply;
        std::string directory;
        std::vector<std::string> names;
        VBool cancelled;
    };
    const std::vector<Row> rows{
        {"single file keeps the separator",
         {true, "/fw/image.bin\0"s, 4, "image.bin"},
         "/fw/",
         {"image.bin"},
         kFalse},
        {"file at the root", {true, "/image.bin\0"s, 1, "image.bin"}, "/", {"image.bin"}, kFalse},
        {"list of two", {true, "/fw\0a.bin\0b.bin\0\0"s, 4, ""}, "/fw", {"a.bin", "b.bin"}, kFalse},
        {"list of one", {true, "/fw\0a.bin\0\0"s, 4, ""}, "/fw", {"a.bin"}, kFalse},
        {"names with spaces",
         {true, "/my fw\0new a.bin\0b c.bin\0\0"s, 7, ""},
         "/my fw",
         {"new a.bin", "b c.bin"},
         kFalse},
        {"cancelled", {false, "", 0, ""}, "", {}, kTrue},
        {"reply longer than the buffer fails like a cancel",
         {true, std::string(3000, 'a') + '\0', 0, "a"},
         "",
         {},
         kTrue},
    };
    for (const auto& row : rows) {
        ZEVID_CommonDialog fresh;
        dialog.replies = {row.reply};
        const FileDialogResult result = fresh.ShowOpenFileDialog(&dialog, dialog.OwnerWindow(), kTrue);
        EXPECT_EQ(result.Directory, row.directory) << row.name;
        EXPECT_EQ(result.FileNames, row.names) << row.name;
        EXPECT_EQ(result.FileCount, static_cast<std::int16_t>(row.names.size())) << row.name;
        EXPECT_EQ(result.Cancelled, row.cancelled) << row.name;
    }
}

TEST_F(DialogUse, FileNamesAreCountedFromOne) {
    dialog.ChooseFiles("/fw", {"a.bin", "b.bin"});
    const FileDialogResult result = Show();
    EXPECT_EQ(result.FileName(1), "a.bin");
    EXPECT_EQ(result.FileName(2), "b.bin");
    EXPECT_THROW(result.FileName(0), std::out_of_range);
    EXPECT_THROW(result.FileName(3), std::out_of_range);
}

TEST_F(DialogUse, NoDialogServiceCountsAsCancelled) {
    const FileDialogResult result = module.ShowOpenFileDialog(nullptr, 0, kTrue);
    EXPECT_EQ(result.Cancelled, kTrue);
    EXPECT_EQ(result.FileCount, 0);
}

TEST_F(DialogUse, TwoHundredNamesFitAndOneMoreIsAnErrorForTheCaller) {
    std::vector<std::string> names;
    for (int i = 1; i <= kNameListSize; ++i) names.push_back(std::to_string(i));
    dialog.ChooseFiles("/fw", names);
    const FileDialogResult result = Show();
    EXPECT_EQ(result.FileCount, kNameListSize);
    EXPECT_EQ(result.FileName(kNameListSize), "200");

    names.push_back("201");
    dialog.ChooseFiles("/fw", names);
    EXPECT_THROW(Show(), FileDialogError);
}

TEST_F(DialogUse, AListWithoutItsClosingNulIsAnErrorNotAHang) {
    dialog.replies = {{true, "/fw\0a.bin\0"s, 4, ""}};
    EXPECT_THROW(Show(), FileDialogError);
}

TEST_F(DialogUse, FirstUseFillsTheRecordAsTheSystemDialogExpects) {
    module.OpenDialogRecord.lpstrFilter = "Binary Files (*.bin)\0*.bin"s;
    module.OpenDialogRecord.lpstrTitle = "Title";
    module.OpenDialogRecord.lpstrInitialDir = "/lib/";
    dialog.Cancel();
    Show();
    ASSERT_EQ(dialog.shownWith.size(), 1u);
    const OpenFileNameRecord& shown = dialog.shownWith[0];
    EXPECT_EQ(shown.lStructSize, 76u);
    EXPECT_EQ(shown.hwndOwner, ScriptedFileDialog::kOwner);
    EXPECT_EQ(shown.Flags, 0x382204u);
    EXPECT_EQ(shown.lpstrFile, std::string(2047, ' ') + '\0');
    EXPECT_EQ(shown.nMaxFile, 2048u);
    EXPECT_EQ(shown.lpstrFileTitle, std::string(2048, ' '));
    EXPECT_EQ(shown.nMaxFileTitle, 2048u);
    EXPECT_EQ(shown.nFilterIndex, 0u);
    EXPECT_EQ(shown.lpstrFilter, "Binary Files (*.bin)\0*.bin"s);
    EXPECT_EQ(shown.lpstrTitle, "Title");
    EXPECT_EQ(shown.lpstrInitialDir, "/lib/");
    EXPECT_EQ(module.DialogOwner, ScriptedFileDialog::kOwner);
}

TEST_F(DialogUse, SecondUseOffersTheFirstChoiceInAFileBufferTwiceAsLong) {
    dialog.ChooseFile("/fw/image.bin");
    dialog.Cancel();
    Show();
    Show();
    ASSERT_EQ(dialog.shownWith.size(), 2u);
    const std::string& buffer = dialog.shownWith[1].lpstrFile;
    EXPECT_EQ(buffer.size(), 4096u);
    EXPECT_EQ(dialog.shownWith[1].nMaxFile, 4096u);
    EXPECT_EQ(buffer.substr(0, 14), "/fw/image.bin\0"s);
    EXPECT_EQ(buffer.back(), '\0');
    // The file title buffer starts blank on every use, so a list reply after a single one is still a list.
    EXPECT_EQ(dialog.shownWith[1].lpstrFileTitle, std::string(2048, ' '));
}

TEST_F(DialogUse, ListAfterALongerSingleChoiceStillSplitsAtTheClosingPair) {
    dialog.ChooseFile("/firmware/images/widget-v2.bin");
    dialog.ChooseFiles("/fw", {"a.bin"});
    Show();
    const FileDialogResult result = Show();
    EXPECT_EQ(result.Directory, "/fw");
    EXPECT_EQ(result.FileNames, std::vector<std::string>{"a.bin"});
}

TEST_F(DialogUse, TheDialogIsMovedOnceBeforeTheUserSeesIt) {
    struct Row {
        const char* name;
        VBool centreOnOwner;
        ScriptedFileDialog::Move expected;
    };
    const std::vector<Row> rows{
        {"over the owner, halves to even", kTrue, {ScriptedFileDialog::kDialog, 300, 250}},
        {"on the screen for False", kFalse, {ScriptedFileDialog::kDialog, 760, 390}},
        {"on the screen for any value but True", 1, {ScriptedFileDialog::kDialog, 760, 390}},
    };
    for (const auto& row : rows) {
        dialog.moves.clear();
        dialog.Cancel();
        Show(row.centreOnOwner);
        EXPECT_EQ(dialog.moves, std::vector<ScriptedFileDialog::Move>{row.expected}) << row.name;
    }
}

TEST(Centring, HalvesGoToTheEvenNeighbour) {
    const std::vector<std::pair<double, int>> rows{{0.5, 0},     {1.5, 2},     {2.5, 2},  {300.5, 300},
                                                   {250.4, 250}, {250.6, 251}, {-0.5, 0}, {-1.5, -2},
                                                   {-2.5, -2},   {-2.6, -3},   {7.0, 7}};
    for (auto [value, expected] : rows) EXPECT_EQ(RoundHalfToEven(value), expected) << value;
}

TEST(Centring, DialogCentresOverOwnerOrScreen) {
    EXPECT_EQ(CentreOverOwner({100, 100, 901, 701}, {0, 0, 400, 300}), (WindowPosition{300, 250}));
    EXPECT_EQ(CentreOverOwner({0, 0, 800, 600}, {50, 60, 450, 360}), (WindowPosition{200, 150}));
    // A dialog larger than its owner sticks out on every side, even beyond the screen's corner.
    EXPECT_EQ(CentreOverOwner({0, 0, 200, 100}, {0, 0, 401, 301}), (WindowPosition{-100, -100}));
    EXPECT_EQ(CentreOnScreen({1920, 1080}, {0, 0, 400, 300}), (WindowPosition{760, 390}));
    EXPECT_EQ(CentreOnScreen({1025, 769}, {0, 0, 400, 301}), (WindowPosition{312, 234}));
}

}  // namespace
