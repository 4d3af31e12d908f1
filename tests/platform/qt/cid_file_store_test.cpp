#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/qt/cid_file_store.h"

namespace {

TEST(SacnCid, FileStoreAndItsDirectory) {
    const auto root = std::filesystem::temp_directory_path() / ("cid-test-" + CidText(MakeRandomCid()));
    std::filesystem::remove_all(root);
    CidFileStore store(root / "state");
    EXPECT_EQ(store.Load(), "");
    const SacnCid first = LoadOrMakeCid(store).Cid;
    const SacnCidChoice again = LoadOrMakeCid(store);
    EXPECT_EQ(again.Cid, first);
    EXPECT_TRUE(again.Note.empty());
    std::ofstream(root / "state" / "sacn-cid") << "garbage";
    EXPECT_NE(LoadOrMakeCid(store).Cid, first);
    // Each save renamed its own temporary file: none is left beside the CID.
    const auto entries = std::distance(std::filesystem::directory_iterator(root / "state"), {});
    EXPECT_EQ(entries, 1);

    std::ofstream(root / "plain-file") << "x";
    CidFileStore blocked(root / "plain-file" / "state");  // its directory cannot be made, even by root
    EXPECT_TRUE(LoadOrMakeCid(blocked).Warning);
    std::filesystem::remove_all(root);

    const std::map<std::string, std::string> none;
    auto from = [](std::map<std::string, std::string> env) {
        return BridgeStateDirectory([env](const char* name) -> std::optional<std::string> {
            const auto found = env.find(name);
            if (found == env.end()) return std::nullopt;
            return found->second;
        });
    };
    EXPECT_EQ(from({{"STATE_DIRECTORY", "/var/lib/vantor-bridge:/var/lib/other"}, {"HOME", "/h"}}),
              "/var/lib/vantor-bridge");
    EXPECT_EQ(from({{"XDG_STATE_HOME", "/x"}, {"HOME", "/h"}}), "/x/vantor-dmx");
    EXPECT_EQ(from({{"XDG_STATE_HOME", ""}, {"HOME", "/h"}}), "/h/.local/state/vantor-dmx");
    EXPECT_EQ(from({{"XDG_STATE_HOME", "state"}, {"HOME", "/h"}}), "/h/.local/state/vantor-dmx");
    EXPECT_EQ(from(none), std::nullopt);
}

}  // namespace
